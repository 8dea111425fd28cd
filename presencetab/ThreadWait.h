// Joining a worker on a thread that owns windows: its messages keep flowing, so a worker
// that sends to the window while it ends cannot deadlock the join.
#pragma once

#include <windows.h>

namespace presence {

// Waits for the thread while pumping this thread's messages (a failed wait, an invalid
// handle, ends it too), then closes the handle and sets it to null.
void JoinPumping(HANDLE* thread);

}  // namespace presence
