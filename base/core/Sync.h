// Locks: a critical section and its scope guard, and a lock with a bounded wait.
#pragma once

#include <windows.h>

namespace vantor {

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&cs_); }
    ~CriticalSection() { DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }
private:
    CRITICAL_SECTION cs_;
};

class Lock {
public:
    explicit Lock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~Lock() { cs_.Leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
private:
    CriticalSection& cs_;
};

// A lock that a caller may give up on: TryEnterFor waits at most `ms` for it. Not
// recursive; whoever entered leaves.
class TimedLock {
public:
    TimedLock() = default;
    TimedLock(const TimedLock&) = delete;
    TimedLock& operator=(const TimedLock&) = delete;
    bool TryEnterFor(DWORD ms) {
        AcquireSRWLockExclusive(&state_);
        DWORD start = GetTickCount();
        bool entered = false;
        for (;;) {
            if (!held_) {
                held_ = entered = true;
                break;
            }
            DWORD spent = GetTickCount() - start;
            if (spent >= ms) break;
            SleepConditionVariableSRW(&freed_, &state_, ms - spent, 0);
        }
        ReleaseSRWLockExclusive(&state_);
        return entered;
    }
    void Enter() { TryEnterFor(INFINITE); }
    void Leave() {
        AcquireSRWLockExclusive(&state_);
        held_ = false;
        ReleaseSRWLockExclusive(&state_);
        WakeConditionVariable(&freed_);
    }
private:
    SRWLOCK state_ = SRWLOCK_INIT;
    CONDITION_VARIABLE freed_ = CONDITION_VARIABLE_INIT;
    bool held_ = false;
};

}  // namespace vantor
