// Waiting on the user-interface thread for a thread that may still send it messages.
#pragma once

#include <windows.h>

namespace chatdesk {

// Waits for the handle while dispatching this thread's messages, so a thread that sends
// or posts to a window of this thread can finish. An invalid or null handle ends the wait
// at once; so does the time limit (INFINITE for none). True when the handle was signalled.
bool PumpWait(HANDLE handle, DWORD timeoutMs = INFINITE);

// Pumps until `done` answers true, checking it whenever a message came or every 20 ms.
template <typename Done>
void PumpUntil(Done done) {
    while (!done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace chatdesk
