// What every transfer keeps to, whatever the server does: a post ends by its deadline, a
// download ends when no byte came for as long, and a reply held in memory has a ceiling.
// Wine's own timeouts are unlimited, so both engines get these set on every request.
#pragma once

#include <windows.h>

#include <cstdint>

namespace webfetch {

// A post's overall deadline, a download's stall limit and the engines' connect, send and
// receive timeouts: 60 s. The test suites shorten it for their hostile servers through
// the environment variable named below; nothing else sets it.
const DWORD kTransferLimitMs = 60000;
const wchar_t kTransferLimitVariable[] = L"WEBFETCH_TEST_TRANSFER_LIMIT_MS";
DWORD TransferLimitMs();

// A reply body collected in memory stops here and fails: an endless reply must not
// grow the process until it dies.
const uint64_t kMaxReplyBytes = 64ull << 20;

class Deadline {
public:
    explicit Deadline(DWORD ms) : start_(GetTickCount64()), ms_(ms) {}
    bool Passed() const { return GetTickCount64() - start_ >= ms_; }
    // What is left, at least 1 ms (a timeout of 0 would mean none).
    DWORD RemainingMs() const {
        ULONGLONG spent = GetTickCount64() - start_;
        return spent >= ms_ ? 1 : static_cast<DWORD>(ms_ - spent);
    }

private:
    ULONGLONG start_;
    DWORD ms_;
};

}  // namespace webfetch
