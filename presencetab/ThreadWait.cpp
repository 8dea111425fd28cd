#include "ThreadWait.h"

namespace presence {

void WaitPumping(HANDLE handle, DWORD timeoutMs) {
    if (!handle) return;
    DWORD until = GetTickCount() + timeoutMs;
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD now = GetTickCount();
            if (static_cast<LONG>(until - now) <= 0) return;
            left = until - now;
        }
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void JoinPumping(HANDLE* thread) {
    if (!*thread) return;
    WaitPumping(*thread);
    CloseHandle(*thread);
    *thread = nullptr;
}

}  // namespace presence
