#include "Trace.h"

#include <cstdarg>
#include <cstdio>

#include "outside/RostLedger.h"

namespace plugtest {

std::string ProgramFolderA() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
    std::string s(path);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

std::string ModuleName(HMODULE module) {
    if (!module) return "null";
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(module, path, sizeof(path) - 1);
    std::string s(path);
    return s.substr(s.find_last_of("\\/") + 1);
}

std::string WindowName(HWND wnd) {
    if (!wnd) return "null";
    char text[256] = {};
    GetWindowTextA(wnd, text, sizeof(text));
    return text[0] ? text : "unnamed";
}

void Trace(HMODULE self, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    _vsnprintf(text, sizeof(text) - 1, format, args);
    va_end(args);
    text[sizeof(text) - 1] = '\0';
    std::string line = ModuleName(self) + " " + text + "\r\n";
    std::string file = ProgramFolderA() + "trace.log";
    HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(h);
}

HANDLE InsideEvent() {
    std::string name = "PlugTestInside-" + std::to_string(GetCurrentProcessId());
    return CreateEventA(nullptr, FALSE, FALSE, name.c_str());
}

void SignalInside() {
    HANDLE inside = InsideEvent();
    if (!inside) return;
    SetEvent(inside);
    CloseHandle(inside);
}

int Behaviour(HMODULE self, const char* key, int fallback) {
    std::string file = ProgramFolderA() + "behave.cfg";
    return static_cast<int>(GetPrivateProfileIntA(ModuleName(self).c_str(), key, fallback, file.c_str()));
}

namespace {
template <typename Record, typename Fn, typename Handle>
std::string IdOf(const char* exportName, HostContext book, Handle handle) {
    if (!handle) return "null";
    HMODULE ledger = LoadLibraryA((ProgramFolderA() + "RostLedger.dll").c_str());
    auto read = reinterpret_cast<Fn>(reinterpret_cast<void*>(ledger ? GetProcAddress(ledger, exportName) : nullptr));
    Record info = {};
    std::string id = read && read(book, handle, &info) ? std::string(info.id) : "?";
    if (ledger) FreeLibrary(ledger);
    return id;
}
}  // namespace

std::string GroupId(HostContext book, GroupHandle group) {
    return IdOf<GroupInfoA, PFN_RostLedger_GetGroupInfoA>("RostLedger_GetGroupInfoA", book, group);
}

std::string FriendId(HostContext book, FriendHandle entry) {
    return IdOf<FriendInfoA, PFN_RostLedger_GetFriendInfoA>("RostLedger_GetFriendInfoA", book, entry);
}

}  // namespace plugtest
