// Waiting for a worker on a thread that owns windows: its messages keep flowing, so
// a worker that sends to the window while it ends cannot deadlock the wait.
#pragma once

#include <windows.h>

namespace presence {

// Waits for the handle while pumping this thread's messages; a failed wait (an invalid
// handle) ends the wait too. Then closes the handle and sets it to null.
void JoinPumping(HANDLE* thread);

// The same for a handle that stays open (an event).
void WaitPumping(HANDLE handle, DWORD timeoutMs = INFINITE);

}  // namespace presence
