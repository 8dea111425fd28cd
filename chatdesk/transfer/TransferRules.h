// The small rules of file transfer in a chat window: how many transfers a window runs at
// once and how their count is kept, which files can be offered, and the size text shown
// in the transfer control.
//
// Plain C++ without Windows headers: builds natively as well.
#pragma once

#include <atomic>
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

// The window's count of transfers being offered, accepted or run.
class TransferCount {
public:
    long Value() const { return count_.load(); }
    bool AtLimit(long limit = kTransferLimit) const { return limit != 0 && count_.load() >= limit; }
    void Raise() { ++count_; }
    // Never below 0; true when this call brought the count to 0 (the window then sets its
    // last-transfer-ended event).
    bool Lower();

private:
    std::atomic<long> count_{0};
};

// Marks whether one transfer has raised the window's count, so that whichever of the
// many ways a transfer can end comes first lowers the count, and only once.
class CountedTransfer {
public:
    // Raises the count unless this transfer was counted before; true when it raised it.
    bool Raise(TransferCount& count);
    // Lowers the count if this transfer raised it and has not lowered it yet; true when
    // the count reached 0 through this call.
    bool Lower(TransferCount& count);
    // Raised and not yet lowered.
    bool Counted() const { return state_.load() == kRaised; }

private:
    enum : int { kNever, kRaised, kEnded };
    std::atomic<int> state_{kNever};
};

}  // namespace chatdesk
