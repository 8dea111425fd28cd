// Cuts a connection's byte stream into IM messages, one message per pass.
//
// Every part is read to exactly its announced length, so the stream stays in step
// whatever pieces the bytes arrive in. A source that goes quiet inside a message for
// longer than the stall limit ends the connection rather than leaving half a message
// to be read as the next header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ImCodes.h"

namespace chatdesk {

// Where the bytes come from: a socket in the transport, scripted chunks in tests.
class ImByteSource {
public:
    enum class Status { Data, Closed, Error, TimedOut };
    struct Result {
        Status status;
        size_t count;   // bytes stored, for Data (at least 1)
        int error;      // the system's error code, for Error
    };
    virtual ~ImByteSource() = default;
    // Reads at most `size` bytes. `waitMs` < 0 waits for as long as it takes; otherwise
    // TimedOut when nothing arrived within that time.
    virtual Result Read(uint8_t* buffer, size_t size, int waitMs) = 0;
};

// What one pass found.
struct ImFrame {
    enum class Kind {
        Message,   // a whole message, `length` bytes (for "015B" the stored form's length)
        Skipped,   // a header alone was consumed: unknown code, "001S" or fixed length 0
        Dropped,   // a chat text whose length digits are out of range, read whole and dropped
        Closed,    // the peer closed the connection
        Error,     // a receive failed (`error`)
        Stalled,   // nothing arrived inside a message for the stall limit
    };
    Kind kind;
    size_t length;
    int error;
    bool insideMessage;  // Closed/Error came after the header had started
};

constexpr int kImStallLimitMs = 30000;
// A chat text carries at most 800 bytes of text and its two status characters.
constexpr uint32_t kImMinTextField = 2;
constexpr uint32_t kImMaxTextField = 802;

class ImFramer {
public:
    explicit ImFramer(ImByteSource& source, int stallLimitMs = kImStallLimitMs);
    ImFramer(const ImFramer&) = delete;
    ImFramer& operator=(const ImFramer&) = delete;

    // One pass: zeroes the buffer, then reads one message into it.
    ImFrame Next();
    // The bytes of the last pass (kImBufferSize, zero behind the message).
    const uint8_t* Buffer() const { return buffer_; }

private:
    // Reads exactly `size` bytes to `at`; false with `failure` set when the source ends first.
    bool ReadExactly(size_t at, size_t size, bool insideMessage, ImFrame* failure);

    ImByteSource& source_;
    int stallLimitMs_;
    uint8_t buffer_[kImBufferSize];
};

}  // namespace chatdesk
