// Waiting for a thread on a thread that owns windows: messages keep being dispatched
// meanwhile, so the thread may still send to those windows while it ends.
#pragma once

#include <windows.h>

#include <atomic>

namespace vantor {

// Returns once `thread` has ended (or its handle is no good). A WM_QUIT seen meanwhile
// belongs to the loop further out: it is posted again once the thread is gone.
void JoinPumping(HANDLE thread);

// Returns once `count` (calls in progress on other threads, say) is down to zero. A counter
// has nothing to wait on: it is looked at again after each message and every 10 ms. A
// WM_QUIT seen meanwhile is posted again at the end, as above.
void WaitZeroPumping(const std::atomic<int>& count);

}  // namespace vantor
