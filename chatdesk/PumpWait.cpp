#include "PumpWait.h"

namespace chatdesk {

bool PumpWait(HANDLE handle, DWORD timeoutMs) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return false;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (waited >= timeoutMs ? 0 : timeoutMs - waited);
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;  // timed out or the handle is unusable
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace chatdesk
