// Waits on a thread that owns windows: the thread's messages keep being dispatched
// meanwhile, so a thread or a call that sends to those windows while it ends can finish.
//
// A WM_QUIT taken from the queue during a wait belongs to the thread's own loop further
// out: it is kept, the wait goes on dispatching (as that loop would until its queue is
// empty), and the quit is posted again when the wait returns.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace vantor {

// Waits for `handle` (a thread, an event) up to timeoutMs (INFINITE for no limit). True
// when the handle was signalled; false at the time limit, or when the wait itself fails
// (GetLastError then tells why), or at once for a null or INVALID_HANDLE_VALUE handle.
bool WaitPumping(HANDLE handle, DWORD timeoutMs = INFINITE);

// Returns once `thread` has ended (or its handle is no good).
void JoinPumping(HANDLE thread);

// Returns true once done() answers true, false when it has not by timeoutMs (INFINITE for
// no limit). A condition has nothing to wait on: it is looked at again after each message
// and every 10 ms.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = INFINITE);

// Returns once `count` (calls in progress on other threads, say) is down to zero.
void WaitZeroPumping(const std::atomic<int>& count);

}  // namespace vantor
