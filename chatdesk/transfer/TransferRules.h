// The small rules of file transfer in a chat window: how many transfers a window runs at
// once, which files can be offered, and the size text shown in the transfer control.
//
// Plain C++ without Windows headers: builds natively as well.
#pragma once

#include <cstdint>
#include <string>

namespace chatdesk {

// Transfers one chat window runs at a time (0 would mean no limit).
constexpr long kTransferLimit = 1;

// Shown instead of an offer when the file is 4 GiB or more, or its size can't be read:
// the size field of an offer carries 32 bits only.
extern const wchar_t kFileTooLargeText[];

// A file can be offered when its size is known and below 4 GiB.
bool CanOfferFile(bool sizeKnown, uint64_t size);

// The size text of a transfer control, from the size's high and low 32-bit halves:
// "1024B", "1.00KB", "1024.00KB", "1024.00MB", "1.50GB", "2.00TB".
std::wstring FormatFileSize(uint32_t low, uint32_t high);
inline std::wstring FormatFileSize(uint64_t size) {
    return FormatFileSize(static_cast<uint32_t>(size), static_cast<uint32_t>(size >> 32));
}

}  // namespace chatdesk
