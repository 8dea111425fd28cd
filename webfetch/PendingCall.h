// The completions of one request an engine runs in its asynchronous mode, waited for on
// the caller's thread. Both engines report a call that went pending through their status
// callback, on a thread of their own; the callback hands the report on with Complete,
// keyed by the context value the request was given (Key). A key that is no longer live
// (its request was abandoned and its PendingCall gone) is ignored, so a late report
// touches nothing of the transfer. What the engine may still read or write for an
// abandoned request (what it sends, what it reads into) is kept in the same table until
// the engine reports the request's handle closing. The table's lock is the library's
// one lock: it is held only while a report is noted, never across a call out.
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

    // Memory an engine call that went pending may still use once its request is
    // abandoned. Handed over before the request's handle is closed, it is freed when the
    // engine reports that handle closing (Closed), so the request's status callback stays
    // on. Handing over never fails: the table links what it is given.
    struct EngineHeld {
        virtual ~EngineHeld() = default;
        DWORD_PTR key = 0;
        EngineHeld* next = nullptr;
    };
    static void KeepUntilClosed(DWORD_PTR key, EngineHeld* held);
    // The engine closed the request of key: what it held is freed.
    static void Closed(DWORD_PTR key);
    // Once the request's handle is closed: when the engine still holds something of key,
    // its status callback may yet come, so the library keeps itself loaded until a later
    // call finds everything freed (LetGoOfLibrary).
    static void StayWhileHeld(DWORD_PTR key);
    // At the start of a call into the library, whose caller holds it loaded: lets go of
    // the library's own reference once the engines hold nothing of abandoned requests.
    static void LetGoOfLibrary();

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
