// A tab manager that records every call and parents the plug-ins in a window named "deck".
#include <windows.h>

#include "TabPlug.h"
#include <string>

#include "Trace.h"
#include "outside/TabDeck.h"

using plugtest::Trace;

namespace {
HMODULE g_self = nullptr;

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::string Utf8FromAnsi(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::string();
    std::wstring wide(static_cast<size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    return Utf8(wide.c_str());
}
}  // namespace

extern "C" {

TabDeckHandle WINAPI TabDeck_Create(HWND parent, HMODULE container, HostContext context) {
    Trace(g_self, "Create parent=%s container=%s ctx=%llu", plugtest::WindowName(parent).c_str(),
          plugtest::ModuleName(container).c_str(), static_cast<unsigned long long>(context));
    if (plugtest::Behaviour(g_self, "CreateNull", 0)) return nullptr;
    return CreateWindowExA(0, "STATIC", "deck", WS_CHILD | WS_VISIBLE, 0, 0, 400, 300, parent, nullptr, g_self,
                           nullptr);
}

HWND WINAPI TabDeck_GetWnd(TabDeckHandle deck) { return static_cast<HWND>(deck); }

int WINAPI TabDeck_AddTabA(TabDeckHandle deck, PlugId id, const char* tip, const char* normal, const char* hover,
                           const char* select, const char* disable) {
    Trace(g_self, "AddTab %d tip=%s n=%s h=%s s=%s d=%s", id, tip, normal, hover, select, disable);
    return 1;
}

void WINAPI TabPlug_DoCommand(TabPlugHandle deck, int command, INT_PTR parameter) {
    Trace(g_self, "DoCommand %d param=%p", command, reinterpret_cast<void*>(parameter));
    // The commands with a documented parameter, decoded (behave.cfg Decode=0 turns this off
    // for callers that send other pointers).
    if (!plugtest::Behaviour(g_self, "Decode", 1)) return;
    if (command == TABDECK_CMD_OPEN_SERVICE && parameter) {
        const wchar_t* const* texts = reinterpret_cast<const wchar_t* const*>(parameter);
        std::string line;
        for (int i = 0; i < 3; ++i) {
            line += i ? "|" : "";
            line += texts[i] ? Utf8(texts[i]) : "null";
        }
        Trace(g_self, "OpenService %s", line.c_str());
    } else if (command == TABDECK_CMD_BUILTIN_BACKGROUND) {
        Trace(g_self, "Background %lld", static_cast<long long>(parameter));
    } else if (command == TABDECK_CMD_CUSTOM_BACKGROUND && parameter) {
        Trace(g_self, "CustomBackground %s", Utf8FromAnsi(reinterpret_cast<const char*>(parameter)).c_str());
    }
}

int WINAPI TabDeck_ChangeStyle(TabDeckHandle deck, int style) {
    Trace(g_self, "ChangeStyle %d", style);
    return deck ? 1 : 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}
