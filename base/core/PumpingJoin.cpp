#include "PumpingJoin.h"

#include <algorithm>

namespace vantor {

namespace {

// Dispatches this thread's queued messages, keeping a WM_QUIT for the loop outside.
class QuitKeepingPump {
public:
    QuitKeepingPump() = default;
    QuitKeepingPump(const QuitKeepingPump&) = delete;
    QuitKeepingPump& operator=(const QuitKeepingPump&) = delete;
    ~QuitKeepingPump() {
        if (quit_) PostQuitMessage(static_cast<int>(quitCode_));
    }

    // Takes one queued message; false when the queue is empty.
    bool DispatchOne() {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
        if (msg.message == WM_QUIT) {
            quit_ = true;
            quitCode_ = msg.wParam;
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        return true;
    }

private:
    bool quit_ = false;
    WPARAM quitCode_ = 0;
};

// Wakes when the handle is signalled or any message is queued, even one already seen.
DWORD WaitHandleOrInput(DWORD count, HANDLE* handles, DWORD timeoutMs) {
    return MsgWaitForMultipleObjectsEx(count, handles, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// The wait's own result; on WAIT_FAILED *error holds why, read before the kept quit is posted.
// One message is taken per wake, so the handle is looked at between any two messages: a
// message that posts itself again cannot hold the wait past the handle or the time limit.
DWORD WaitPumpingResult(HANDLE handle, DWORD timeoutMs, DWORD* error) {
    QuitKeepingPump pump;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD waited = GetTickCount() - start;
            left = waited >= timeoutMs ? 0 : timeoutMs - waited;
        }
        DWORD woken = left == 0 ? WaitForSingleObject(handle, 0) : WaitHandleOrInput(1, &handle, left);
        if (woken == WAIT_FAILED) *error = GetLastError();
        if (woken != WAIT_OBJECT_0 + 1) return woken;
        pump.DispatchOne();
    }
}

}  // namespace

bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return false;
    DWORD error = 0;
    DWORD woken = WaitPumpingResult(handle, timeoutMs, &error);
    if (woken == WAIT_FAILED) SetLastError(error);
    return woken == WAIT_OBJECT_0;
}

void JoinPumping(HANDLE thread) { WaitPumping(thread); }

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    constexpr DWORD kLookMs = 10;
    QuitKeepingPump pump;
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        DWORD left = kLookMs;
        if (timeoutMs != INFINITE) {
            DWORD waited = GetTickCount() - start;
            if (waited >= timeoutMs) return false;
            left = std::min(kLookMs, timeoutMs - waited);
        }
        // One message at a time, so that the condition and the limit are looked at between any two.
        if (!pump.DispatchOne()) WaitHandleOrInput(0, nullptr, left);
    }
}

void WaitZeroPumping(const std::atomic<int>& count) {
    PumpUntil([&count] { return count.load() <= 0; });
}

}  // namespace vantor
