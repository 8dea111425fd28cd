// Waiting for a thread on a thread that owns windows: messages keep being dispatched
// meanwhile, so the thread may still send to those windows while it ends.
#pragma once

#include <windows.h>

namespace vantor {

// Returns once `thread` has ended (or its handle is no good). A WM_QUIT seen meanwhile
// belongs to the loop further out: it is posted again once the thread is gone.
void JoinPumping(HANDLE thread);

}  // namespace vantor
