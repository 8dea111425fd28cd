#include "PumpingJoin.h"

namespace vantor {

void JoinPumping(HANDLE thread) {
    if (!thread) return;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1) return;  // the thread ended, or the handle is no good
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) continue;
        if (msg.message == WM_QUIT) {
            WaitForSingleObject(thread, INFINITE);
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void WaitZeroPumping(const std::atomic<int>& count) {
    constexpr DWORD kLookMs = 10;
    bool quit = false;
    WPARAM quitCode = 0;
    while (count.load() > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kLookMs, QS_ALLINPUT);
        MSG msg;
        while (count.load() > 0 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

}  // namespace vantor
