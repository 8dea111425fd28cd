// HookRelay stand-in: keyboard navigation for hooked modeless dialogs.
//
// Each thread with hooked dialogs gets one message hook; it hands keyboard messages for
// a hooked dialog (or a control inside it) to IsDialogMessage and blanks the ones it
// handled. While any dialog is hooked the library holds a reference on itself, so the
// callers that free it right after installing do not leave a hook pointing at freed code.
#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

#include "ModulePath.h"
#include "Sync.h"

namespace {

struct ThreadHook {
    HHOOK hook = nullptr;
    std::vector<HWND> dialogs;
};

vantor::CriticalSection g_lock;
std::map<DWORD, ThreadHook> g_threads;
HMODULE g_selfReference = nullptr;

HWND HookedDialogFor(DWORD thread, HWND target) {
    vantor::Lock lock(g_lock);
    auto it = g_threads.find(thread);
    if (it == g_threads.end()) return nullptr;
    for (HWND dialog : it->second.dialogs) {
        if (target == dialog || IsChild(dialog, target)) return dialog;
    }
    return nullptr;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
            HWND dialog = HookedDialogFor(GetCurrentThreadId(), msg->hwnd);
            if (dialog && IsDialogMessageW(dialog, msg)) {
                msg->message = WM_NULL;
                msg->wParam = 0;
                msg->lParam = 0;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

size_t HookedCount() {
    size_t n = 0;
    for (auto& entry : g_threads) n += entry.second.dialogs.size();
    return n;
}

}  // namespace

extern "C" {

int WINAPI HookRelay_InstallHook(HWND dialog) {
    if (!IsWindow(dialog)) return 0;
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    vantor::Lock lock(g_lock);
    ThreadHook& entry = g_threads[thread];
    // Dialogs destroyed without being unhooked would otherwise keep the hook for good.
    entry.dialogs.erase(std::remove_if(entry.dialogs.begin(), entry.dialogs.end(), [](HWND w) { return !IsWindow(w); }),
                        entry.dialogs.end());
    if (std::find(entry.dialogs.begin(), entry.dialogs.end(), dialog) != entry.dialogs.end()) return 1;
    if (!entry.hook) {
        entry.hook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, vantor::ThisModule(), thread);
        if (!entry.hook) {
            g_threads.erase(thread);
            return 0;
        }
    }
    if (!g_selfReference) {
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&GetMessageHook),
                           &g_selfReference);
    }
    entry.dialogs.push_back(dialog);
    return 1;
}

int WINAPI HookRelay_UninstallHook(HWND dialog) {
    HMODULE release = nullptr;
    {
        vantor::Lock lock(g_lock);
        bool found = false;
        for (auto it = g_threads.begin(); it != g_threads.end(); ++it) {
            auto& dialogs = it->second.dialogs;
            auto pos = std::find(dialogs.begin(), dialogs.end(), dialog);
            if (pos == dialogs.end()) continue;
            dialogs.erase(pos);
            if (dialogs.empty()) {
                UnhookWindowsHookEx(it->second.hook);
                g_threads.erase(it);
            }
            found = true;
            break;
        }
        if (!found) return 0;
        if (HookedCount() == 0) {
            release = g_selfReference;
            g_selfReference = nullptr;
        }
    }
    // The caller holds its own reference for this call, so this never unloads the code
    // that is running.
    if (release) FreeLibrary(release);
    return 1;
}

}  // extern "C"
