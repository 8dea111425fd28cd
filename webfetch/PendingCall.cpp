#include "PendingCall.h"

#include <algorithm>
#include <vector>

#include "Sync.h"

namespace webfetch {

namespace {

// The calls whose reports are still wanted.
struct LiveCalls {
    vantor::CriticalSection lock;
    std::vector<PendingCall*> calls;
};

LiveCalls& Live() {
    static LiveCalls live;
    return live;
}

}  // namespace

PendingCall::PendingCall(HANDLE stopEvent)
    : done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), stop_(stopEvent), waiter_(GetCurrentThreadId()) {
    if (!done_) return;
    LiveCalls& live = Live();
    vantor::Lock lock(live.lock);
    try {
        live.calls.push_back(this);
    } catch (...) {
        CloseHandle(done_);
        done_ = nullptr;
    }
}

PendingCall::~PendingCall() {
    if (!done_) return;
    {
        LiveCalls& live = Live();
        vantor::Lock lock(live.lock);
        live.calls.erase(std::remove(live.calls.begin(), live.calls.end(), this), live.calls.end());
    }
    CloseHandle(done_);
}

PendingCall::Outcome PendingCall::Wait(DWORD timeoutMs) {
    if (reportedHere_) {
        reportedHere_ = false;
        return Outcome::Completed;
    }
    HANDLE waits[2] = {done_, stop_};
    DWORD w = WaitForMultipleObjects(stop_ ? 2 : 1, waits, FALSE, timeoutMs);
    if (w == WAIT_OBJECT_0) return Outcome::Completed;
    return w == WAIT_OBJECT_0 + 1 ? Outcome::Stopped : Outcome::Late;
}

void PendingCall::Complete(DWORD_PTR key, bool succeeded, DWORD error, DWORD bytes) {
    LiveCalls& live = Live();
    vantor::Lock lock(live.lock);
    auto* call = reinterpret_cast<PendingCall*>(key);
    if (std::find(live.calls.begin(), live.calls.end(), call) == live.calls.end()) return;
    call->succeeded_ = succeeded;
    call->error_ = error;
    call->bytes_ = bytes;
    if (GetCurrentThreadId() == call->waiter_) {
        call->reportedHere_ = true;
    } else {
        SetEvent(call->done_);
    }
}

}  // namespace webfetch
