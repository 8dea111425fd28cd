// A second host for the chat tests (never shipped): runs the tab container from its own
// program folder, with its own account and contact book, and follows a script. ChatDesk
// comes up as the chat service of an account with service policy 9; the recording
// plug-in is plug -3.
//
//   ChatScriptHost.exe <script file> <log folder>
//
// The script is UTF-8 text, one step a line; a failed step ends the script:
//   signin <own id> <peer id> ClientCore logs the account in to the platform stand-in
//                             (zumbase) and the presence server, which gives the book and
//                             the friends online
//   forget [<local address>]  the store forgets the peer's addresses, as before the
//                             presence tab's first refresh of the friends online (keeping
//                             only the local address when one is given)
//   load                      Container_Load into the host window
//   login <ms>                until the IM server holds a session for the account
//   open                      command 1 to plug 9 with the peer's entry
//   pause <ms>
//   type <text>               typed into the chat window, not sent
//   send <text>               typed into the chat window and sent
//   await <ms> <text>         until the chat display shows the text
//   await-typing <ms> <text>  until the chat window's typing label shows the text
//   offline <ms> <text>       until the offline-message window shows the text
//   log <name>                the chat display's text into "<log folder>\<name>.txt"
//   log-offline <name>        the same of the offline-message window
//   shot <path>               a picture of the chat window, shown for it, as a bitmap file
//   unload                    Container_Unload
// At the end the container's call trace goes to "<log folder>\trace.log" and the steps
// taken to "<log folder>\steps.txt" (after a failure, the display to "failed.txt"). The
// exit code is the number of the failed line, 0 when every step passed.
#include <winsock2.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "ChatDialog.h"
#include "ClientCore.h"
#include "ContactRecords.h"
#include "DialogDriver.h"
#include "ImFake.h"
#include "ModulePath.h"
#include "OfflineWindow.h"
#include "RostBase.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/OrderHub.h"

namespace {

// Any non-zero value reaches the signed-in account's store.
constexpr HostContext kBook = 1;

struct Host {
    HWND window = nullptr;
    HMODULE container = nullptr;
    std::string ownId;
    FriendHandle peer = nullptr;
    std::wstring logs;
    std::string steps;
};

std::string Utf8(const std::wstring& text) { return vantor::EncodeText(text, CP_UTF8); }

struct OnlineWalk {
    RostBaseHandle store;
    HMODULE rostBase;
    int taken;
};

int __stdcall TakeOnlineFriend(FriendInfoA record, UINT_PTR context) {
    auto* w = reinterpret_cast<OnlineWalk*>(context);
    auto find = vantor::ProcAddress<decltype(&RostBase_IsUserInFriendsA)>(w->rostBase, "RostBase_IsUserInFriendsA");
    auto get = vantor::ProcAddress<decltype(&RostBase_GetFriendInfoA)>(w->rostBase, "RostBase_GetFriendInfoA");
    auto modify = vantor::ProcAddress<decltype(&RostBase_ModifyFriendA)>(w->rostBase, "RostBase_ModifyFriendA");
    GroupHandle group = nullptr;
    FriendHandle entry = find && get && modify ? find(w->store, record.id, &group) : nullptr;
    FriendInfoA info = {};
    if (entry && get(w->store, entry, &info)) {
        info.status = record.status;
        if (modify(w->store, entry, &info)) ++w->taken;
    }
    return 1;
}

// The friends online and their addresses, as the presence tab puts them into the store
// (no presence tab runs here).
bool TakeOnlineFriends(RostBaseHandle store) {
    typedef int(__stdcall * EnumProc)(FriendInfoA, UINT_PTR);
    auto online = vantor::ProcAddress<int(__stdcall*)(EnumProc, UINT_PTR)>(GetModuleHandleW(L"PresenceCore.dll"),
                                                                          "PS_Cco_GetOnlineFriendsA");
    OnlineWalk walk = {store, GetModuleHandleW(L"RostBase.dll"), 0};
    return online && online(TakeOnlineFriend, reinterpret_cast<UINT_PTR>(&walk)) == 0 && walk.taken > 0;
}

// The account logs in through ClientCore, whose login fills the store from the presence
// server; the peer is found in it.
bool SignIn(Host& host, const std::string& own, const std::string& peer) {
    HMODULE platform = vantor::LoadProgramLibrary(L"zumbase.dll");
    auto set = vantor::ProcAddress<void(__cdecl*)(const char*, const char*, const char*)>(platform, "ZumStub_Set");
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    auto alive = vantor::ProcAddress<decltype(&Cco_IsAlive)>(core, "Cco_IsAlive");
    auto login = vantor::ProcAddress<decltype(&Cco_LoginA)>(core, "Cco_LoginA");
    auto store = vantor::ProcAddress<decltype(&Cco_GetRostBaseHandle)>(core, MAKEINTRESOURCEA(27));
    if (!set || !alive || !login || !store) return false;
    set("Customer", "account", own.c_str());
    set("Customer", "nickname", own.c_str());
    int connected = 0;
    if (alive(&connected) != 0 || login(0, 0, 0, nullptr, nullptr) != 0) return false;
    // The login loaded the store's library.
    HMODULE rostBase = GetModuleHandleW(L"RostBase.dll");
    auto find = vantor::ProcAddress<decltype(&RostBase_IsUserInFriendsA)>(rostBase, "RostBase_IsUserInFriendsA");
    GroupHandle group = nullptr;
    host.peer = find && store() ? find(store(), peer.c_str(), &group) : nullptr;
    host.ownId = own;
    return host.peer != nullptr && TakeOnlineFriends(store());
}

struct WindowSearch {
    int control;
    HWND found;
};

BOOL CALLBACK FindWindowWith(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !GetDlgItem(window, search->control)) return TRUE;
    search->found = window;
    return FALSE;
}

// A top-level window of this process holding the control; null when none.
HWND WindowWith(int control) {
    WindowSearch search = {control, nullptr};
    EnumWindows(FindWindowWith, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ChatWindow() { return WindowWith(chatdesk::kComposeId); }

std::wstring Shown(HWND window, int control) {
    return window ? testkit::Text(window, control) : std::wstring();
}

// Until the text shows in `textControl` of the window that holds `windowControl`.
bool Awaits(int windowControl, int textControl, DWORD ms, const std::wstring& text) {
    return testkit::PumpUntilDone(
        [&] { return Shown(WindowWith(windowControl), textControl).find(text) != std::wstring::npos; }, ms);
}

bool Send(const std::wstring& text) {
    HWND window = ChatWindow();
    if (!window || !testkit::SetText(window, chatdesk::kComposeId, text)) return false;
    testkit::PumpUntilDone([] { return false; }, 50);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, chatdesk::kSendButton)));
    return true;
}

// One step of the script; false when it failed.
bool RunStep(Host& host, const std::string& line) {
    std::istringstream in(line);
    std::string step;
    in >> step;
    auto rest = [&in] {
        std::string text;
        std::getline(in >> std::ws, text);
        return testkit::Wide(text.c_str());
    };
    DWORD ms = 0;
    if (step == "signin") {
        std::string own, peer;
        in >> own >> peer;
        return SignIn(host, own, peer);
    }
    if (step == "forget") {
        HMODULE rostBase = GetModuleHandleW(L"RostBase.dll");
        auto store = vantor::ProcAddress<decltype(&Cco_GetRostBaseHandle)>(GetModuleHandleW(L"ClientCore.dll"),
                                                                           MAKEINTRESOURCEA(27));
        auto get = vantor::ProcAddress<decltype(&RostBase_GetFriendInfoA)>(rostBase, "RostBase_GetFriendInfoA");
        auto modify = vantor::ProcAddress<decltype(&RostBase_ModifyFriendA)>(rostBase, "RostBase_ModifyFriendA");
        FriendInfoA info = {};
        if (!store || !get || !modify || !host.peer || !get(store(), host.peer, &info)) return false;
        std::string local;
        in >> local;
        info.status.publicIp = 0;
        info.status.localIp = local.empty() ? 0 : inet_addr(local.c_str());
        info.status.publicPort = info.status.localPort = 0;
        return modify(store(), host.peer, &info) != 0;
    }
    if (step == "load") {
        host.container = vantor::LoadProgramLibrary(L"PlugHost.dll");
        auto load = vantor::ProcAddress<PFN_Container_Load>(host.container, CONTAINER_LOAD_NAME);
        if (!load) return false;
        load(kBook, host.window);
        auto query = vantor::ProcAddress<PFN_Container_QueryModule>(host.container, CONTAINER_QUERYMODULE_NAME);
        return query && query(PLUG_CHAT, nullptr, nullptr);
    }
    if (step == "login") {
        in >> ms;
        return testkit::PumpUntilDone([&] { return testkit::ImFake::Get().HasSession(host.ownId); }, ms);
    }
    if (step == "open") {
        auto action = vantor::ProcAddress<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
        if (!action) return false;
        action(PLUG_CHAT, 1, reinterpret_cast<INT_PTR>(host.peer));
        return ChatWindow() != nullptr;
    }
    if (step == "pause") {
        in >> ms;
        testkit::PumpUntilDone([] { return false; }, ms);
        return true;
    }
    if (step == "type") {
        HWND window = ChatWindow();
        return window && testkit::SetText(window, chatdesk::kComposeId, rest());
    }
    if (step == "send") return Send(rest());
    if (step == "await") {
        in >> ms;
        return Awaits(chatdesk::kComposeId, chatdesk::kDisplayId, ms, rest());
    }
    if (step == "await-typing") {
        in >> ms;
        return Awaits(chatdesk::kComposeId, chatdesk::kTypingLabel, ms, rest());
    }
    if (step == "offline") {
        in >> ms;
        return Awaits(chatdesk::kOfflineEditId, chatdesk::kOfflineEditId, ms, rest());
    }
    if (step == "log") {
        std::string name;
        in >> name;
        return testkit::WriteFileBytes(host.logs + vantor::AnsiToWide(name) + L".txt",
                                       Utf8(Shown(ChatWindow(), chatdesk::kDisplayId)));
    }
    if (step == "log-offline") {
        std::string name;
        in >> name;
        return testkit::WriteFileBytes(host.logs + vantor::AnsiToWide(name) + L".txt",
                                       Utf8(Shown(WindowWith(chatdesk::kOfflineEditId), chatdesk::kOfflineEditId)));
    }
    if (step == "shot") {
        HWND window = ChatWindow();
        if (!window) return false;
        // The picture is what the screen shows there: above the windows of other hosts.
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        SetForegroundWindow(window);
        testkit::PumpUntilDone([] { return false; }, 500);
        return testkit::SaveBitmapFile(testkit::CaptureWindow(window), rest());
    }
    if (step == "unload") {
        auto unload = vantor::ProcAddress<PFN_Container_Unload>(host.container, CONTAINER_UNLOAD_NAME);
        if (unload) unload();
        return unload != nullptr;
    }
    return step.empty() || step[0] == '#';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 1;
    Host host;
    host.logs = vantor::AnsiToWide(argv[2]);
    if (!host.logs.empty() && host.logs.back() != L'\\') host.logs += L'\\';
    host.window = CreateWindowExW(0, L"STATIC", L"chat host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    std::istringstream script(testkit::ReadFileBytes(vantor::AnsiToWide(argv[1])));
    int failed = 0, number = 0;
    std::string line;
    while (!failed && std::getline(script, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool passed = RunStep(host, line);
        host.steps += (passed ? "ok   " : "FAIL ") + line + "\r\n";
        if (!passed) failed = number;
    }
    // A script cut short leaves what the chat showed, and the container is still unloaded
    // before the process ends.
    if (failed) testkit::WriteFileBytes(host.logs + L"failed.txt", Utf8(Shown(ChatWindow(), chatdesk::kDisplayId)));
    if (failed && host.container) {
        if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(host.container, CONTAINER_UNLOAD_NAME)) unload();
    }
    // The account logs off as the host's does, after the container is gone.
    if (auto logoff = vantor::ProcAddress<decltype(&Cco_Logoff)>(GetModuleHandleW(L"ClientCore.dll"), "Cco_Logoff"))
        logoff();
    testkit::WriteFileBytes(host.logs + L"steps.txt", host.steps);
    testkit::WriteFileBytes(host.logs + L"trace.log", testkit::ReadFileBytes(testkit::ProgramDir() + L"trace.log"));
    DestroyWindow(host.window);
    return failed;
}
