// The completions of one request an engine runs in its asynchronous mode, waited for on
// the caller's thread. Both engines report a call that went pending through their status
// callback, on a thread of their own; the callback hands the report on with Complete,
// keyed by the context value the request was given (Key). A key that is no longer live
// (its request was abandoned and its PendingCall gone) is ignored, so a late report
// touches nothing of the transfer (what the engine may still use of an abandoned
// request, and the request's hold on the library, are EngineRequests'). The table's lock
// is held only while a report is noted, never across a call out.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>

#include "Handles.h"

namespace webfetch {

class PendingCall {
public:
    // stopEvent: the engine's Break, which ends every wait at once.
    explicit PendingCall(HANDLE stopEvent);
    ~PendingCall();
    PendingCall(const PendingCall&) = delete;
    PendingCall& operator=(const PendingCall&) = delete;

    // The context value the engine is given for the request: a number no other call
    // had, so a late report of an abandoned request is never taken for a later one's.
    DWORD_PTR Key() const { return key_; }
    bool Usable() const { return static_cast<bool>(done_); }
    // The engine's Break event this call's waits watch.
    HANDLE StopEvent() const { return stop_; }

    // Before each engine call that reports: a report left by a call that failed at once
    // (an engine may report that failure too) is not the next call's.
    void Arm() { state_ = kArmed; }

    enum class Outcome { Completed, Late, Stopped };
    // Waits for the report of the call that went pending, at most timeoutMs. A report
    // that comes at once is taken without a sleep: the waiter spins a few microseconds
    // first, and the engine's thread sets the event only for a waiter that sleeps (each
    // event set and wait is a round trip to the wineserver under Wine).
    Outcome Wait(DWORD timeoutMs);

    // The last report: whether the call succeeded, its error, and its byte count (bytes
    // available or read, where the call has one).
    bool Succeeded() const { return succeeded_; }
    DWORD Error() const { return error_; }
    DWORD Bytes() const { return bytes_; }

    // From an engine's status callback, on any thread, the waiting one included (an
    // engine may complete a call inside it).
    static void Complete(DWORD_PTR key, bool succeeded, DWORD error, DWORD bytes);

private:
    // The live call of a key, or null; the table's lock is held.
    static PendingCall* Find(DWORD_PTR key);

    // Takes a report that came: true once.
    bool TakeReport();

    enum : LONG { kArmed, kReported, kSleeping };

    DWORD_PTR key_ = 0;
    vantor::UniqueHandle done_;
    HANDLE stop_;
    std::atomic<LONG> state_{kArmed};
    bool succeeded_ = false;
    DWORD error_ = 0;
    DWORD bytes_ = 0;
};

}  // namespace webfetch
