#include "PendingCall.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Sync.h"

namespace webfetch {

namespace {

// The calls whose reports are still wanted, by key, and what the engines still hold of
// abandoned ones.
struct LiveCalls {
    vantor::CriticalSection lock;
    DWORD_PTR lastKey = 0;
    std::vector<std::pair<DWORD_PTR, PendingCall*>> calls;
    PendingCall::EngineHeld* held = nullptr;
    // The library's reference to itself while the engines may still call its status
    // callback for a request they hold.
    HMODULE self = nullptr;
};

LiveCalls& Live() {
    static LiveCalls live;
    return live;
}

}  // namespace

PendingCall::PendingCall(HANDLE stopEvent) : done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), stop_(stopEvent) {
    if (!done_) return;
    LiveCalls& live = Live();
    vantor::Lock lock(live.lock);
    if (++live.lastKey == 0) ++live.lastKey;   // 0 is no context: the engines report nothing for it
    key_ = live.lastKey;
    try {
        live.calls.emplace_back(key_, this);
    } catch (...) {
        done_.reset();
    }
}

PendingCall::~PendingCall() {
    if (!done_) return;
    LiveCalls& live = Live();
    vantor::Lock lock(live.lock);
    live.calls.erase(std::remove_if(live.calls.begin(), live.calls.end(),
                                    [this](const std::pair<DWORD_PTR, PendingCall*>& c) { return c.second == this; }),
                     live.calls.end());
}

bool PendingCall::TakeReport() {
    LONG reported = kReported;
    return state_.compare_exchange_strong(reported, kArmed);
}

PendingCall::Outcome PendingCall::Wait(DWORD timeoutMs) {
    // How long a report that is on its way is waited for without a sleep.
    const LONGLONG kSpinMicroseconds = 100;
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG spinTicks = frequency.QuadPart * kSpinMicroseconds / 1000000;
    for (;;) {
        if (TakeReport()) return Outcome::Completed;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart >= spinTicks) break;
        YieldProcessor();
    }
    LONG armed = kArmed;
    if (!state_.compare_exchange_strong(armed, kSleeping)) {
        state_ = kArmed;   // the report came
        return Outcome::Completed;
    }
    HANDLE waits[2] = {done_.get(), stop_};
    DWORD w = WaitForMultipleObjects(stop_ ? 2 : 1, waits, FALSE, timeoutMs);
    if (w == WAIT_OBJECT_0) {
        state_ = kArmed;
        return Outcome::Completed;
    }
    LONG sleeping = kSleeping;
    if (state_.compare_exchange_strong(sleeping, kArmed)) {
        return w == WAIT_OBJECT_0 + 1 ? Outcome::Stopped : Outcome::Late;
    }
    // The report came as the wait ended: its event is set under the table's lock, and
    // is taken here so that it does not end the next wait.
    { vantor::Lock lock(Live().lock); }
    WaitForSingleObject(done_.get(), 0);
    state_ = kArmed;
    return Outcome::Completed;
}

PendingCall* PendingCall::Find(DWORD_PTR key) {
    LiveCalls& live = Live();
    auto found = std::find_if(live.calls.begin(), live.calls.end(),
                              [key](const std::pair<DWORD_PTR, PendingCall*>& c) { return c.first == key; });
    return found == live.calls.end() ? nullptr : found->second;
}

void PendingCall::KeepUntilClosed(DWORD_PTR key, EngineHeld* held) {
    if (!held) return;
    LiveCalls& live = Live();
    vantor::Lock lock(live.lock);
    held->key = key;
    held->next = live.held;
    live.held = held;
}

void PendingCall::Closed(DWORD_PTR key) {
    LiveCalls& live = Live();
    EngineHeld* done = nullptr;
    {
        vantor::Lock lock(live.lock);
        for (EngineHeld** at = &live.held; *at;) {
            EngineHeld* h = *at;
            if (h->key == key) {
                *at = h->next;
                h->next = done;
                done = h;
            } else {
                at = &h->next;
            }
        }
    }
    while (done) {
        EngineHeld* next = done->next;
        delete done;
        done = next;
    }
}

void PendingCall::StayWhileHeld(DWORD_PTR key) {
    LiveCalls& live = Live();
    {
        vantor::Lock lock(live.lock);
        bool stillHeld = false;
        for (EngineHeld* h = live.held; h && !stillHeld; h = h->next) stillHeld = h->key == key;
        if (!stillHeld || live.self) return;
    }
    // The engine calls the status callback of this library until it closes the request:
    // unloading the library before then would leave it a callback into nothing.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<const wchar_t*>(&PendingCall::Closed),
                            &self)) {
        return;
    }
    {
        vantor::Lock lock(live.lock);
        if (!live.self) {
            live.self = self;
            self = nullptr;
        }
    }
    if (self) FreeLibrary(self);   // another call took the reference meanwhile
}

void PendingCall::LetGoOfLibrary() {
    LiveCalls& live = Live();
    HMODULE self = nullptr;
    {
        vantor::Lock lock(live.lock);
        if (live.held) return;
        self = live.self;
        live.self = nullptr;
    }
    // The caller holds the library loaded while it calls into it: this is not the last
    // reference.
    if (self) FreeLibrary(self);
}

void PendingCall::Complete(DWORD_PTR key, bool succeeded, DWORD error, DWORD bytes) {
    vantor::Lock lock(Live().lock);
    PendingCall* call = Find(key);
    if (!call) return;
    call->succeeded_ = succeeded;
    call->error_ = error;
    call->bytes_ = bytes;
    if (call->state_.exchange(kReported) == kSleeping) SetEvent(call->done_.get());
}

}  // namespace webfetch
