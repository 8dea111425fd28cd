// CoreFront stand-in: hands out the contact dialogs' entry points and unloads the
// contact dialogs when they report themselves idle.
//
// The contact dialogs report idleness from inside their own code (often from a window's
// last message, just before the object deletes itself), so the library is never freed
// during that call: the free is posted to a message-only window of the thread that
// started the facade and runs from its message loop, after the caller has returned. A
// report made on any other thread leaves the library loaded until the facade stops.
#include <windows.h>

#include "DebugOut.h"
#include "ModulePath.h"
#include "Sync.h"
#include "outside/CoreFront.h"

namespace {

const UINT kFreeIdleDialogs = WM_APP + 1;
const wchar_t kWindowClass[] = L"CoreFrontIdle";

vantor::CriticalSection g_lock;
HMODULE g_dialogs = nullptr;
bool g_idle = false;
HWND g_window = nullptr;
DWORD g_windowThread = 0;

typedef int(WINAPI* PFN_SetFacadeModule)(HMODULE facade);

void FreeDialogsIfIdle() {
    HMODULE module = nullptr;
    {
        vantor::Lock lock(g_lock);
        if (!g_idle || !g_dialogs) return;
        module = g_dialogs;
        g_dialogs = nullptr;
        g_idle = false;
    }
    FreeLibrary(module);
}

LRESULT CALLBACK IdleWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kFreeIdleDialogs) {
        FreeDialogsIfIdle();
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

void CreateIdleWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = IdleWindowProc;
    wc.hInstance = vantor::ThisModule();
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    g_window = CreateWindowW(kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    g_windowThread = g_window ? GetCurrentThreadId() : 0;
}

}  // namespace

extern "C" {

int WINAPI CoreFront_Start(void) {
    if (!g_window) CreateIdleWindow();
    return 1;
}

int WINAPI CoreFront_Stop(void) {
    if (g_window && g_windowThread == GetCurrentThreadId()) {
        DestroyWindow(g_window);
        UnregisterClassW(kWindowClass, vantor::ThisModule());
        g_window = nullptr;
        g_windowThread = 0;
    }
    HMODULE module;
    {
        vantor::Lock lock(g_lock);
        module = g_dialogs;
        g_dialogs = nullptr;
        g_idle = false;
    }
    if (module) FreeLibrary(module);
    return 1;
}

FARPROC WINAPI RostDialogs_GetProcAddress(const char* name) {
    if (!name) return nullptr;
    HMODULE module;
    bool fresh = false;
    {
        vantor::Lock lock(g_lock);
        g_idle = false;  // whoever asks is about to use them
        module = g_dialogs;
    }
    if (!module) {
        // Loaded outside the lock: their start-up code may report to this facade.
        HMODULE loaded = vantor::LoadProgramLibrary(L"RostDialogs.dll");
        HMODULE extra = nullptr;
        {
            vantor::Lock lock(g_lock);
            if (!g_dialogs) {
                g_dialogs = loaded;
                fresh = loaded != nullptr;
            } else {
                extra = loaded;  // another thread was first
            }
            g_idle = false;
            module = g_dialogs;
        }
        if (extra) FreeLibrary(extra);
    }
    if (!module) {
        vantor::DebugLine(L"RostDialogs.dll could not be loaded\n");
        return nullptr;
    }
    if (fresh) {
        if (auto setFacade = vantor::ProcAddress<PFN_SetFacadeModule>(module, MAKEINTRESOURCEA(1))) {
            setFacade(vantor::ThisModule());
        }
    }
    return GetProcAddress(module, name);
}

int WINAPI Facade_FreeModule(HMODULE module) {
    vantor::Lock lock(g_lock);
    if (!module || module != g_dialogs) return 0;
    g_idle = true;
    if (g_window && g_windowThread == GetCurrentThreadId()) PostMessageW(g_window, kFreeIdleDialogs, 0, 0);
    return 1;
}

}  // extern "C"
