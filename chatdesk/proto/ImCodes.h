// The common frame of every IM message: the 64-byte header with its four-character code,
// and the table that says how long the message behind a header is.
//
// Plain C++ without Windows headers, so the framing builds and tests natively as well.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chatdesk {

constexpr size_t kImHeaderSize = 64;
constexpr size_t kImCodeOffset = 60;
constexpr size_t kImCodeSize = 4;
// One receive pass reads into a buffer of this size; the longest message (a formatted
// chat text announcing 9999 bytes) still fits.
constexpr size_t kImBufferSize = 16384;

// Bytes 0-59 are zero in every message the client sends and are never read on receipt.
struct ImHeader {
    uint8_t unused[60];
    char code[4];
};
static_assert(sizeof(ImHeader) == kImHeaderSize, "the header is 64 bytes on the wire");

// Case-insensitive over exactly four characters; `code` needs no terminator.
bool SameImCode(const void* code, const char* expected);

// Length of the fixed part behind the header, by the code alone; 0 for an unknown code
// and for "001S", whose header is then all a receiver consumes.
size_t ImFixedLength(const void* code);

// Length of the variable part for a message whose header and fixed part are at `message`:
// "003S" 4 or 46 by byte 144; "014S" and "015B" 806 or 836 by byte 124. As the table says,
// "015B" included (on the wire it comes 2 bytes shorter, see ImWireShortfall).
size_t ImVariableLength(const uint8_t* message);

// "015B" arrives without the final CR LF of the stored message it carries: 2, else 0.
size_t ImWireShortfall(const void* code);

// The number in up to `count` ASCII digits, read to the first non-digit ("54\0\0" -> 54,
// "ab12" -> 0).
uint32_t ReadDecimalField(const uint8_t* field, size_t count);

}  // namespace chatdesk
