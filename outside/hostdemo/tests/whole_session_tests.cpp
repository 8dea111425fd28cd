// One signed-in session as a host runs it, in a program folder of its own whose addresses
// name the main job's pages (served by the tests' nginx), with the platform stand-in set up
// as the demo host sets it: the account logs in through ClientCore (the platform stand-in
// and the demo presence server), the container makes every tab plug-in of the sample
// configuration at start-up, and then in order: the contact tree holds every friend of the
// book with its online state, each tab is shown and pictured, a friend is added and one
// deleted through the contact dialogs (both seen in the tree and the contact file), the
// settings pane applies a background, a friend whose client runs in a second host chats
// both ways and takes a file of a few MB, the presence tab takes a friend request from a
// fake friend's client and opens its dialog, and the container's unload and the logoff
// leave no plug-in, window or thread of ours behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "ContainerHost.h"
#include "DemoChat.h"
#include "DemoSession.h"
#include "DemoPagesServed.h"
#include "DialogDriver.h"
#include "FakeServers.h"
#include "ImFake.h"
#include "ModulePath.h"
#include "RostBase.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"
#include "FakeControl.h"
#include "outside/CoreFront.h"
#include "outside/TabDeck.h"

using hostdemo::ContainerHost;
using hostdemo::DemoSession;

namespace {

const wchar_t kParentVariable[] = L"WHOLE_SESSION_PARENT";
// Set for the friend's host instead: the folder where the two runs meet.
const wchar_t kFriendVariable[] = L"WHOLE_SESSION_FRIEND";
// The sample configuration's contact list and settings pane.
const PlugId kContactList = -1;
const PlugId kSettings = 51;
const int kFriendTree = 1;
const int kSettingsList = 1010;
const int kSettingsApply = 1007;
const int kImageOffline = 4;
const int kImageOnline = 5;
// The presence tab's answer dialog to a friend request, and its requester's id field.
const wchar_t kRequestDialog[] = L"系统消息";
const int kRequesterId = 1011;
// The contact dialogs' friend form and deletion box.
const wchar_t kAddFriendDialog[] = L"新增电话好友";
const wchar_t kDeleteFriendDialog[] = L"删除好友";
const int kFriendSave = 1001;
const int kFriendName = 1003;
const int kDeleteOk = 1046;
// The friend of the book whose client the second host runs, on a loopback address of its
// own (where the presence server says the friend is online), and what the two say.
const char kOwnAccount[] = "demo01";
const char kFriendAccount[] = "xiaozhang";
const int kOwnAddressLast = 1;
const int kFriendAddressLast = 2;
const int kChatPort = 60045;
const wchar_t kGreeting[] = L"你好，小张！我发给你一个文件。";
const wchar_t kAnswer[] = L"收到，请发吧。";
const size_t kFileSize = 4 * 1024 * 1024;
// What the runs leave each other in the meeting folder.
const wchar_t kSentFile[] = L"whole-session-sent.bin";
const wchar_t kReceivedFile[] = L"whole-session-received.bin";
const wchar_t kFriendSaw[] = L"whole-session-friend.txt";     // the friend's display, once the file is in
const wchar_t kChatChecked[] = L"whole-session-chat.done";    // the session has checked the chat
const wchar_t kSessionEnded[] = L"whole-session.ended";       // the session's run is over
const wchar_t kFriendGone[] = L"whole-session-friend.gone";   // the friend's windows are gone
const wchar_t kTransferControlClass[] = L"FileSendCtlWindow";
typedef void(WINAPI* PFN_AddFriend)(HostContext, GroupHandle);
typedef void(WINAPI* PFN_DelFriend)(HostContext, FriendHandle, GroupHandle);

std::wstring ParentDir() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(kParentVariable, value, MAX_PATH);
    return value;
}

bool RunsAsChild() { return !ParentDir().empty(); }

std::wstring FriendMeeting() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(kFriendVariable, value, MAX_PATH);
    return value;
}

bool RunsAsFriend() { return !FriendMeeting().empty(); }

std::wstring PresenceUrl(const std::wstring& stage) {
    int port = atoi(testkit::ReadFileBytes(stage + L"hostdemo-presence.port").c_str());
    return port > 0 ? L"http://127.0.0.1:" + std::to_wstring(port) + L"/web/" : std::wstring();
}

std::wstring Profile(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(section, key, L"", value, 1024, file.c_str());
    return value;
}

std::vector<PlugId> ConfiguredTabs(const std::wstring& folder) {
    std::vector<PlugId> ids;
    std::wstringstream list(Profile(folder + L"config\\pruv2.cfg", L"UI", L"TabPlugs"));
    std::wstring piece;
    while (std::getline(list, piece, L',')) ids.push_back(static_cast<PlugId>(_wtol(piece.c_str())));
    return ids;
}

// --- the container's plug-ins, as a host reaches them

struct Plug {
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
};

Plug QueryPlug(PlugId id) {
    Plug plug;
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(GetModuleHandleW(L"PlugHost.dll"),
                                                                CONTAINER_QUERYMODULE_NAME);
    if (query) query(id, &plug.module, &plug.handle);
    return plug;
}

HWND PlugWindow(PlugId id) {
    Plug plug = QueryPlug(id);
    auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(plug.module, TABPLUG_GETSAFEHWND_NAME);
    return window && plug.handle ? window(plug.handle) : nullptr;
}

void ChooseTab(PlugId id) {
    Plug deck = QueryPlug(PLUG_TABDECK);
    auto command = vantor::ProcAddress<PFN_TabPlug_DoCommand>(deck.module, TABPLUG_DOCOMMAND_NAME);
    std::wstring text = std::to_wstring(id);
    const wchar_t* texts[3] = {text.c_str(), L"", L""};
    if (command && deck.handle) command(deck.handle, TABDECK_CMD_OPEN_SERVICE, reinterpret_cast<INT_PTR>(texts));
}

template <typename Fn>
Fn Dialogs(const char* name) {
    auto get = vantor::ProcAddress<PFN_RostDialogs_GetProcAddress>(GetModuleHandleW(L"CoreFront.dll"),
                                                                  "RostDialogs_GetProcAddress");
    return get ? reinterpret_cast<Fn>(reinterpret_cast<void*>(get(name))) : nullptr;
}

// The next reply of the demo presence server to `action`.
void QueueReply(const std::wstring& stage, const char* action, const std::string& cells) {
    int port = atoi(testkit::ReadFileBytes(stage + L"hostdemo-presence.port").c_str());
    testkit::PostToFake(port, std::string("/_ctl/queue?action=") + action,
                        "<lwData docId=\"1\" opname=\"x\">" + cells + "</lwData>");
}

// --- the book as the store holds it, and the tree as the contact list shows it

// The store's own calls, from the library the login loaded.
struct BookWalk {
    RostBaseHandle store;
    bool telephone;
    std::map<std::wstring, int> expected;  // shown text -> status image
    decltype(&RostBase_GetFriendInfoW) friendInfo;
    decltype(&RostBase_EnumGroupFriends) groupFriends;
};

BOOL CALLBACK TakeFriend(FriendHandle entry, GroupHandle, UINT_PTR user) {
    auto* walk = reinterpret_cast<BookWalk*>(user);
    FriendInfoW info = {};
    if (!walk->friendInfo(walk->store, entry, &info)) return TRUE;
    std::wstring text = info.nickname[0] ? info.nickname : info.name;
    bool online = info.status.status != 0 && info.status.status != 10;
    walk->expected[text] = walk->telephone || online ? kImageOnline : kImageOffline;
    return TRUE;
}

BOOL CALLBACK TakeGroup(GroupHandle group, GroupHandle, UINT_PTR user) {
    auto* walk = reinterpret_cast<BookWalk*>(user);
    walk->groupFriends(walk->store, group, TakeFriend, user);
    return TRUE;
}

std::map<std::wstring, int> BookFriends(RostBaseHandle store) {
    HMODULE rostBase = GetModuleHandleW(L"RostBase.dll");
    auto groups = vantor::ProcAddress<decltype(&RostBase_EnumGroup)>(rostBase, "RostBase_EnumGroup");
    BookWalk walk = {store, true, {},
                     vantor::ProcAddress<decltype(&RostBase_GetFriendInfoW)>(rostBase, "RostBase_GetFriendInfoW"),
                     vantor::ProcAddress<decltype(&RostBase_EnumGroupFriends)>(rostBase, "RostBase_EnumGroupFriends")};
    if (!groups || !walk.friendInfo || !walk.groupFriends) return {};
    groups(store, 1, TakeGroup, reinterpret_cast<UINT_PTR>(&walk));
    walk.telephone = false;
    groups(store, 2, TakeGroup, reinterpret_cast<UINT_PTR>(&walk));
    return walk.expected;
}

// Friend rows of the tree (the rows with a status image), text -> image.
void TreeFriends(HWND tree, HTREEITEM first, std::map<std::wstring, int>* rows) {
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t text[64] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_IMAGE;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 64;
        if (SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) &&
            (tv.iImage == kImageOffline || tv.iImage == kImageOnline)) {
            (*rows)[text] = tv.iImage;
        }
        TreeFriends(tree, TreeView_GetChild(tree, item), rows);
    }
}

std::map<std::wstring, int> TreeFriends(HWND tree) {
    std::map<std::wstring, int> rows;
    if (tree) TreeFriends(tree, TreeView_GetRoot(tree), &rows);
    return rows;
}

// --- what is left of the session

bool IsSystemModule(HMODULE module) {
    wchar_t path[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    return _wcsnicmp(path, windows, wcslen(windows)) == 0;
}

// Threads of this process that run code of the program folder, or code no longer loaded.
std::wstring ThreadsOfOurs() {
    typedef LONG(WINAPI * QueryThread)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = vantor::ProcAddress<QueryThread>(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread");
    std::wstring found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        void* start = nullptr;
        const int kWin32StartAddress = 9;
        if (thread && query) query(thread, kWin32StartAddress, &start, sizeof start, nullptr);
        if (thread) CloseHandle(thread);
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(start), &module);
        if (module && (IsSystemModule(module) || module == GetModuleHandleW(nullptr))) continue;
        wchar_t name[MAX_PATH] = L"(code no longer loaded)";
        if (module) GetModuleFileNameW(module, name, MAX_PATH);
        found += L"thread " + std::to_wstring(entry.th32ThreadID) + L" in " + name + L"\n";
    }
    CloseHandle(snapshot);
    return found;
}

struct WindowSearch {
    HWND host;
    HWND deckTip;
    const std::map<HWND, std::wstring>* known;
    std::wstring found;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK TakeTopWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || window == search->host) return TRUE;
    std::wstring name = ClassOf(window);
    // The system's own windows of the thread.
    if (name == L"IME" || name == L"OleMainThreadWndClass" || name == L"CicMarshalWndClass") return TRUE;
    // The tab manager stays with its windows (the container neither destroys nor frees it).
    if (window == search->deckTip) return TRUE;
    HWND owner = GetWindow(window, GW_OWNER);
    auto known = search->known->find(window);
    search->found += L"window of class " + name + L", owner of class " + (owner ? ClassOf(owner) : L"(none)") +
                     (known != search->known->end() ? L", made for " + known->second : L"") + L"\n";
    return TRUE;
}

// Windows of this process besides the host and the tab manager's own.
std::wstring WindowsOfOurs(HWND host, const std::map<HWND, std::wstring>& known) {
    HWND deck = FindWindowExW(host, nullptr, L"VantorTabDeck", nullptr);
    HWND strip = deck ? FindWindowExW(deck, nullptr, WC_TABCONTROLW, nullptr) : nullptr;
    HWND deckTip = strip ? reinterpret_cast<HWND>(SendMessageW(strip, TCM_GETTOOLTIPS, 0, 0)) : nullptr;
    WindowSearch search = {host, deckTip, &known, {}};
    EnumWindows(TakeTopWindow, reinterpret_cast<LPARAM>(&search));
    // Below the tab manager's page only plug-in windows would stand.
    HWND page = deck ? FindWindowExW(deck, nullptr, L"VantorTabDeckPage", nullptr) : nullptr;
    for (HWND pane = page ? GetWindow(page, GW_CHILD) : nullptr; pane; pane = GetWindow(pane, GW_HWNDNEXT))
        search.found += L"pane window of class " + ClassOf(pane) + L"\n";
    return search.found;
}

struct TipSearch {
    std::vector<std::pair<PlugId, HWND>> panes;
    std::map<HWND, std::wstring> tips;
};

BOOL CALLBACK TakeTip(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TipSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || ClassOf(window) != TOOLTIPS_CLASSW) return TRUE;
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    int count = static_cast<int>(SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0));
    if (!SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool))) {
        search->tips[window] = L"no tool (" + std::to_wstring(count) + L")";
        return TRUE;
    }
    HWND served = tool.uFlags & TTF_IDISHWND ? reinterpret_cast<HWND>(tool.uId) : tool.hwnd;
    std::wstring chain;
    for (HWND w = served; w; w = GetParent(w)) chain += ClassOf(w) + L"<";
    search->tips[window] = L"a tool of " + chain;
    for (const auto& pane : search->panes) {
        if (served == pane.second || IsChild(pane.second, served))
            search->tips[window] = L"plug-in " + std::to_wstring(pane.first) + L" (" + ClassOf(served) + L")";
    }
    return TRUE;
}

// Which plug-in's window each tool tip of the process serves.
std::map<HWND, std::wstring> TooltipsOfPanes(const std::vector<PlugId>& tabs) {
    TipSearch search;
    for (PlugId id : tabs) search.panes.push_back({id, PlugWindow(id)});
    search.panes.push_back({PLUG_CHAT, PlugWindow(PLUG_CHAT)});
    search.panes.push_back({PLUG_PRESENCE, PlugWindow(PLUG_PRESENCE)});
    EnumWindows(TakeTip, reinterpret_cast<LPARAM>(&search));
    return search.tips;
}

std::wstring PluginsLoaded(const std::wstring& folder) {
    std::vector<std::wstring> names = {L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll", L"PresenceTab.dll",
                                       L"ChatDesk.dll", L"RostBase.dll", L"PresenceCore.dll"};
    for (PlugId id : ConfiguredTabs(folder)) {
        std::wstring name = Profile(folder + L"config\\pruv2.cfg", L"PlugsModule", std::to_wstring(id).c_str());
        if (!name.empty()) names.push_back(name);
    }
    std::wstring loaded;
    for (const std::wstring& name : names)
        if (GetModuleHandleW((folder + name).c_str())) loaded += name + L"\n";
    return loaded;
}

bool Varied(const testkit::Capture& picture) {
    for (COLORREF pixel : picture.pixels)
        if (pixel != picture.pixels.front()) return true;
    return false;
}


// --- the chat with the friend's host

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// 127.0.0.<last> in network order.
DWORD Loopback(int last) { return 127u | (static_cast<DWORD>(last) << 24); }

// The [IMConfig] of a client on 127.0.0.<last>, logging in to the IM server through the fake
// gatekeeper; both clients listen on one port, each on its own address.
std::string ImSettings(int last) {
    return "[IMConfig]\r\nIMGk=" + testkit::ImFake::Get().GatekeeperUrl() + "\r\nLocalTcpAddress=127.0.0." +
           std::to_string(last) + "\r\nLocalTcpPort=" + std::to_string(kChatPort) + "\r\n";
}

// `size` bytes of no pattern a transfer could hide a fault in.
std::string VariedBytes(size_t size) {
    std::mt19937 generator(45);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Drops the file onto the window, as the shell does when the user lets go of it there.
void DropFile(HWND window, const std::wstring& path) {
    size_t size = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES), path.c_str(), path.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

BOOL CALLBACK TakeTransferControl(HWND window, LPARAM out) {
    if (ClassOf(window) != kTransferControlClass) return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
}

// The window of the first file-transfer control in the chat window's display; null if none.
HWND TransferControlIn(HWND chat) {
    HWND found = nullptr;
    EnumChildWindows(chat, TakeTransferControl, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Puts the chat window above every other window for its picture.
void ShowOnTop(HWND window) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(window);
    testkit::PumpFor(500);
}

}  // namespace

TEST(WholeSession, EveryTabOfOneSignedInSession) {
    if (!RunsAsChild()) GTEST_SKIP() << "child run only";
    std::wstring folder = testkit::ProgramDir();
    std::wstring shots = ParentDir() + L"screenshots\\";
    CreateDirectoryW(shots.c_str(), nullptr);

    // The host's set-up: OLE on its thread, the rich-edit and date-picker classes.
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    LoadLibraryW(L"riched20.dll");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);

    DemoSession session;
    ASSERT_TRUE(session.Open(folder)) << session.LastMessage();
    ASSERT_TRUE(hostdemo::PrepareDemoPlatform(folder, "")) << "no platform stand-in in the folder";
    ASSERT_EQ(0, session.Connect()) << "the platform connection: " << vantor::WideToAnsi(session.LastMessage());
    ASSERT_EQ(0, session.Login(DemoSession::ProgressFn())) << "the login: " << vantor::WideToAnsi(session.LastMessage());
    RostBaseHandle store = session.Store();
    ASSERT_NE(nullptr, store) << "the login left no contact store";

    HWND host = CreateWindowExW(0, L"STATIC", L"Vantor", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 960,
                                640, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, host);
    ContainerHost container;
    ASSERT_TRUE(container.Load(folder, reinterpret_cast<HostContext>(store), host)) << "no container in the folder";
    ASSERT_TRUE(container.HasTabs()) << "the container made no tab manager";
    RECT client = {};
    GetClientRect(host, &client);
    container.Fit(client.right, client.bottom);
    testkit::PumpFor(500);

    std::vector<PlugId> tabs = ConfiguredTabs(folder);
    for (PlugId id : tabs) {
        Plug plug = QueryPlug(id);
        EXPECT_TRUE(plug.module && plug.handle) << "plug-in " << id << " was not made at start-up";
    }

    // The contact tree: every friend of the book, under its text, with its online state.
    std::map<std::wstring, int> book = BookFriends(store);
    ASSERT_FALSE(book.empty()) << "the login gave an empty book";
    HWND tree = GetDlgItem(PlugWindow(kContactList), kFriendTree);
    ASSERT_NE(nullptr, tree) << "the contact list has no friend tree";
    testkit::PumpUntilDone([&] { return TreeFriends(tree) == book; }, 10000);
    std::map<std::wstring, int> rows = TreeFriends(tree);
    for (const auto& entry : book) {
        auto row = rows.find(entry.first);
        if (row == rows.end()) {
            ADD_FAILURE() << "the contact tree lacks the friend " << vantor::WideToAnsi(entry.first);
        } else {
            EXPECT_EQ(entry.second, row->second) << "the online state of " << vantor::WideToAnsi(entry.first);
        }
    }
    EXPECT_EQ(book.size(), rows.size()) << "friend rows in the contact tree";

    // A telephone friend added through the contact dialogs' form: in the tree and the file.
    std::wstring contactFile = folder + session.Collect().account + L"\\rostledger.xml";
    auto addFriend = Dialogs<PFN_AddFriend>("RostDialogs_AddFriend");
    ASSERT_NE(nullptr, addFriend) << "no contact dialogs through the kernel facade";
    addFriend(reinterpret_cast<HostContext>(store), nullptr);
    HWND form = testkit::FindWindowByTitle(kAddFriendDialog, 10000);
    ASSERT_NE(nullptr, form) << "the friend form did not open";
    testkit::SetText(form, kFriendName, L"阿强");
    QueueReply(ParentDir(), "AddFriend2PS", "<cell name=\"id\" type=\"8\">t9</cell>");
    testkit::Click(form, kFriendSave);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(form); }, 10000)) << "the friend form stays open";
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return TreeFriends(tree).count(L"阿强") == 1; }, 5000))
        << "the added friend is not in the tree";
    EXPECT_NE(std::string::npos, testkit::ReadFileBytes(contactFile).find("\"t9\"")) << "the added friend is not in the file";

    // A network friend deleted through the deletion box (modal: a helper confirms it).
    auto findFriend = vantor::ProcAddress<decltype(&RostBase_IsUserInFriendsA)>(GetModuleHandleW(L"RostBase.dll"),
                                                                               "RostBase_IsUserInFriendsA");
    GroupHandle group = nullptr;
    FriendHandle gone = findFriend ? findFriend(store, "xiaoming", &group) : nullptr;
    ASSERT_NE(nullptr, gone) << "the book has no friend xiaoming";
    auto delFriend = Dialogs<PFN_DelFriend>("RostDialogs_DelFriend");
    ASSERT_NE(nullptr, delFriend);
    QueueReply(ParentDir(), "DelFriend2PS", "");
    bool confirmed = false;
    std::thread user([&] {
        HWND box = testkit::FindWindowByTitle(kDeleteFriendDialog, 10000);
        confirmed = box && testkit::Click(box, kDeleteOk);
    });
    delFriend(reinterpret_cast<HostContext>(store), gone, group);
    user.join();
    EXPECT_TRUE(confirmed) << "the deletion box did not open";
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return TreeFriends(tree).count(L"小明") == 0; }, 5000))
        << "the deleted friend is still in the tree";
    EXPECT_EQ(std::string::npos, testkit::ReadFileBytes(contactFile).find("\"xiaoming\"")) << "the deleted friend is still in the file";
    EXPECT_EQ(BookFriends(store), TreeFriends(tree)) << "the tree and the book after the changes";

    // Each tab in turn: its window shows, and its picture is taken.
    for (PlugId id : tabs) {
        ChooseTab(id);
        HWND window = PlugWindow(id);
        bool shown = testkit::PumpUntilDone([&] { return window && IsWindowVisible(window); }, 3000);
        EXPECT_TRUE(shown) << "the window of tab " << id << " is not shown";
        if (!shown) continue;
        testkit::PumpFor(400);
        // Panes of their own (top-level windows) are pictured alone.
        HWND pictured = GetAncestor(window, GA_ROOT) == host ? host : window;
        testkit::Capture picture = testkit::CaptureWindow(pictured);
        EXPECT_TRUE(Varied(picture)) << "the picture of tab " << id << " is of one colour";
        testkit::SaveBitmapFile(picture, shots + L"whole-session-tab" + std::to_wstring(id) + L".bmp");
    }

    // The settings pane applies a built-in background: the tab manager's settings file keeps it.
    HWND settings = PlugWindow(kSettings);
    ASSERT_NE(nullptr, settings) << "no settings pane";
    HWND list = GetDlgItem(settings, kSettingsList);
    std::wstring deckSettings = folder + L"resource\\TabDeck\\config.cfg";
    // The last built-in background, which the start does not show.
    int chosen = _wtoi(Profile(deckSettings, L"bkgnd", L"count").c_str()) - 1;
    ASSERT_GE(chosen, 1) << "the tab manager lists fewer than two backgrounds";
    ASSERT_NE(std::to_wstring(chosen), Profile(deckSettings, L"bkgnd", L"def"));
    SendMessageW(list, LB_SETCURSEL, chosen, 0);
    SendMessageW(settings, WM_COMMAND, MAKEWPARAM(kSettingsList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    SendMessageW(settings, WM_COMMAND, MAKEWPARAM(kSettingsApply, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(settings, kSettingsApply)));
    testkit::PumpFor(300);
    EXPECT_EQ(std::to_wstring(chosen), Profile(deckSettings, L"bkgnd", L"def")) << "the applied background";
    ChooseTab(kContactList);
    testkit::PumpFor(300);
    testkit::SaveBitmapFile(testkit::CaptureWindow(host), shots + L"whole-session-background.bmp");

    // A friend whose client runs in a second host: the chat opens through the chat service,
    // a text goes each way and shows on both sides, then a file dropped on the window
    // arrives there byte for byte.
    {
        std::wstring meeting = ParentDir();
        EXPECT_TRUE(testkit::PumpUntilDone(
            [] {
                return testkit::ImFake::Get().HasSession(kOwnAccount) && testkit::ImFake::Get().HasSession(kFriendAccount);
            },
            60000))
            << "the session and the friend's host are not both logged in to the IM server";
        hostdemo::ChatPlan plan;
        plan.peer = kFriendAccount;
        plan.text = kGreeting;
        plan.settleMs = 0;
        plan.answerMs = 30000;
        HWND chat = nullptr;
        hostdemo::ChatResult result = hostdemo::RunChat(container, store, plan, [] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            return true;
        }, &chat);
        ASSERT_EQ(hostdemo::ChatResult::Answered, result)
            << "the chat with the friend's host (" << static_cast<int>(result) << ": 2 no service, 3 no window, 5 no answer)";
        std::wstring shown = hostdemo::DisplayText(chat);
        EXPECT_NE(std::wstring::npos, shown.find(kGreeting)) << "our text is not in our chat window";
        EXPECT_NE(std::wstring::npos, shown.find(kAnswer)) << "the friend's text is not in our chat window";

        std::string sent = VariedBytes(kFileSize);
        std::wstring source = folder + kSentFile, received = meeting + kReceivedFile;
        ASSERT_TRUE(testkit::WriteFileBytes(source, sent));
        // Without a direct link the window says so in a message box, which is dismissed here.
        std::atomic<bool> dropped{false};
        std::wstring refusal;
        std::thread user([&] {
            testkit::MessageBoxSeen box;
            while (!dropped && !(box = testkit::WaitMessageBox(200, chat))) {
            }
            if (box) {
                refusal = box.text;
                testkit::DismissMessageBox(box);
            }
        });
        DropFile(chat, source);
        dropped = true;
        user.join();
        ASSERT_EQ("", vantor::WideToAnsi(refusal)) << "the chat window refused the dropped file";
        EXPECT_TRUE(testkit::PumpUntilDone([&] { return Exists(meeting + kFriendSaw); }, 90000))
            << "the friend's host neither took the file nor gave up";
        EXPECT_TRUE(Exists(received)) << "the file did not arrive at the friend's host";
        if (Exists(received)) {
            std::string got = testkit::ReadFileBytes(received);
            EXPECT_EQ(sent.size(), got.size()) << "the size of the file the friend's host received";
            EXPECT_TRUE(got == sent) << "the file the friend's host received differs from the file sent";
            std::wstring friendShown = vantor::AnsiToWide(testkit::ReadFileBytes(meeting + kFriendSaw));
            EXPECT_NE(std::wstring::npos, friendShown.find(kGreeting)) << "our text is not in the friend's chat window";
            EXPECT_NE(std::wstring::npos, friendShown.find(kAnswer)) << "the friend's text is not in the friend's chat window";
        }
        testkit::PumpFor(500);
        ShowOnTop(chat);
        testkit::SaveBitmapFile(testkit::CaptureWindow(chat), shots + L"whole-session-chat.bmp");
        SendMessageW(chat, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(chat); }, 5000)) << "the chat window stays open";
        testkit::WriteFileBytes(meeting + kChatChecked, "done");
        // The friend's windows go before the next pictures.
        testkit::PumpUntilDone([&] { return Exists(meeting + kFriendGone); }, 20000);
    }

    // A fake friend's client asks the account for friendship: the presence tab opens its dialog.
    int peerPort = pttest::PeerControlPort(ParentDir());
    ASSERT_GT(peerPort, 0) << "the fake friends' clients are not running";
    pttest::FakePeer peer(peerPort);
    ASSERT_TRUE(peer.Reset());
    int listening = _wtoi(Profile(folder + L"config\\psimprof.cfg", L"PSConfig", L"LocalTcpPort").c_str());
    std::string own = vantor::WideToAnsi(session.Collect().account);
    peer.Send("127.0.0.1", listening,
              "cmd=0001\nsender=q1\nreceiver=" + own + "\nsub=02\nnick=" + vantor::EncodeText(L"张三", CP_UTF8) +
                  "\nmsg=" + vantor::EncodeText(L"你好，加个好友", CP_UTF8) + "\nanswer=\n");
    HWND request = testkit::FindWindowByTitle(kRequestDialog, 10000);
    ASSERT_NE(nullptr, request) << "no dialog for the friend request";
    EXPECT_EQ(L"q1", testkit::Text(request, kRequesterId)) << "the requester in the dialog";
    testkit::PumpFor(300);
    testkit::SaveBitmapFile(testkit::CaptureWindow(request), shots + L"whole-session-request.bmp");

    // The end of the session.
    std::map<HWND, std::wstring> tips = TooltipsOfPanes(tabs);
    container.Unload();
    EXPECT_EQ(0, session.Logoff()) << "the logoff";
    testkit::PumpUntilDone([&] { return ThreadsOfOurs().empty(); }, 5000);
    EXPECT_EQ("", vantor::WideToAnsi(PluginsLoaded(folder))) << "libraries still loaded after the unload";
    EXPECT_EQ("", vantor::WideToAnsi(WindowsOfOurs(host, tips))) << "windows left after the unload";
    EXPECT_EQ("", vantor::WideToAnsi(ThreadsOfOurs())) << "threads left after the unload";
    session.Close();
    DestroyWindow(host);
    OleUninitialize();
    testkit::WriteFileBytes(ParentDir() + L"whole-session.done", "done");
}

// The friend's client, run by the parent beside the session in a program folder of its own
// (without the presence tab, which the session's owns on this machine): its account signs
// in, its book learns where the session's client is, and the container brings up the chat
// service. It answers the session's text, takes the offered file into the meeting folder
// and stays until the session has checked the chat.
TEST(WholeSession, FriendHost) {
    if (!RunsAsFriend()) GTEST_SKIP() << "friend's host only";
    std::wstring folder = testkit::ProgramDir();
    std::wstring meeting = FriendMeeting();
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    LoadLibraryW(L"riched20.dll");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    // The platform stand-in's customer is the friend; the kernel uses the same library.
    HMODULE platform = LoadLibraryW((folder + L"zumbase.dll").c_str());
    auto set = vantor::ProcAddress<void(__cdecl*)(const char*, const char*, const char*)>(platform, "ZumStub_Set");
    ASSERT_NE(nullptr, set) << "no platform stand-in in the friend's folder";
    set("Customer", "account", kFriendAccount);

    DemoSession session;
    ASSERT_TRUE(session.Open(folder)) << session.LastMessage();
    ASSERT_EQ(0, session.Connect()) << "the friend's platform connection";
    ASSERT_EQ(0, session.Login(DemoSession::ProgressFn())) << "the friend's login: " << vantor::WideToAnsi(session.LastMessage());
    RostBaseHandle store = session.Store();
    ASSERT_NE(nullptr, store);
    // The session's account in the friend's book, online where its client is.
    HMODULE rostBase = GetModuleHandleW(L"RostBase.dll");
    auto add = vantor::ProcAddress<decltype(&RostBase_AddFriendA)>(rostBase, "RostBase_AddFriendA");
    auto root = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rostBase, "RostBase_GetOnRootGroup");
    ASSERT_TRUE(add && root);
    FriendInfoA own = {};
    strcpy(own.id, kOwnAccount);
    strcpy(own.nickname, kOwnAccount);
    own.status.status = 1;
    own.status.publicIp = own.status.localIp = Loopback(kOwnAddressLast);
    own.status.publicPort = own.status.localPort = kChatPort;
    FriendHandle peer = add(store, &own, root(store));
    ASSERT_NE(nullptr, peer);
    std::wstring name = hostdemo::FriendName(store, peer);

    HWND host = CreateWindowExW(0, L"STATIC", L"friend", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    ContainerHost container;
    ASSERT_TRUE(container.Load(folder, reinterpret_cast<HostContext>(store), host));
    auto ended = [&] { return Exists(meeting + kSessionEnded); };
    // What the friend's window showed goes to the session when the file is in, or when this
    // run gives up, so that the session does not wait in vain.
    HWND chat = nullptr;
    struct ShownAtEnd {
        std::wstring note;
        const HWND* chat;
        ~ShownAtEnd() {
            if (!Exists(note)) testkit::WriteFileBytes(note, vantor::WideToAnsi(*chat ? hostdemo::DisplayText(*chat) : L""));
        }
    } shownAtEnd = {meeting + kFriendSaw, &chat};

    // The session's text: the window opens by itself, the user answers.
    bool greeted = testkit::PumpUntilDone([&] {
        chat = hostdemo::FindChatWindow(name);
        return ended() || (chat && hostdemo::DisplayText(chat).find(kGreeting) != std::wstring::npos);
    }, 120000);
    ASSERT_TRUE(greeted && !ended()) << "the session's text did not come";
    testkit::PumpFor(500);
    ASSERT_TRUE(hostdemo::SendChatText(chat, kAnswer));

    // The offer: "同意", and the save dialog answered with the meeting folder's file.
    std::wstring target = meeting + kReceivedFile;
    HWND offer = nullptr;
    ASSERT_TRUE(testkit::PumpUntilDone([&] { return ended() || (offer = TransferControlIn(chat)) != nullptr; }, 60000) &&
                offer)
        << "no file offer in the friend's chat window";
    testkit::PumpFor(500);
    {
        testkit::FileDialogAnswer answer([&](HWND dialog) { testkit::FileDialogAnswer::Confirm(dialog, target); });
        testkit::ClickFirstLink(offer);
        EXPECT_TRUE(answer.Found()) << "no save dialog for the offered file";
    }
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return ended() || Exists(target); }, 90000) && Exists(target))
        << "the file did not arrive";
    testkit::PumpFor(500);
    testkit::WriteFileBytes(meeting + kFriendSaw, vantor::WideToAnsi(hostdemo::DisplayText(chat)));
    testkit::PumpUntilDone([&] { return ended() || Exists(meeting + kChatChecked); }, 60000);

    container.Unload();
    DestroyWindow(host);
    testkit::WriteFileBytes(meeting + kFriendGone, "gone");
    EXPECT_EQ(0, session.Logoff());
    session.Close();
    OleUninitialize();
}

// The session runs as a child in a program folder of its own: the kernel keeps its account
// folder and settings beside the program, and the settings pane writes its choice there.
TEST(WholeSession, RunsInAProgramFolderOfItsOwn) {
    if (RunsAsChild() || RunsAsFriend()) GTEST_SKIP();
    std::wstring stage = testkit::ProgramDir();
    std::wstring url = PresenceUrl(stage);
    ASSERT_FALSE(url.empty()) << "the demo presence server is not running";
    ASSERT_TRUE(testkit::ImFake::Get().loaded) << "the fake IM server is not running";
    ASSERT_NE('!', testkit::ImFake::Get().Control("reset")[0]) << "the fake IM server cannot be reset";
    std::vector<std::wstring> libraries;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((stage + L"*.dll").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        libraries.push_back(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    // The presence tab listens for friends' clients on a port of its own.
    std::string presence = "[PSConfig]\r\npsUrl=" + vantor::WideToAnsi(url) +
                           "\r\ngkenable=0\r\nLocalTcpPort=" + std::to_string(ClosedPort()) +
                           "\r\nLocalTcpAddress=127.0.0.1\r\n";
    // The panes' pages as the main job serves them, from the tests' nginx.
    std::string pages = testkit::PublishPages(L"hostdemo");
    ASSERT_FALSE(pages.empty()) << "the main job's pages are not served";
    testkit::PrivateFolder folder;
    folder.name = L"whole-session";
    folder.files = libraries;
    folder.trees = {L"config", L"resource", L"Skins", L"Container"};
    folder.written = {{L"config\\psimprof.cfg", presence + ImSettings(kOwnAddressLast)},
                      {L"config\\commprof.cfg", hostdemotest::AddressesServedAt(stage, pages)}};

    // The friend's host: the contact list alone, and no presence tab.
    testkit::PrivateFolder friendFolder = folder;
    friendFolder.name = L"whole-session-friend";
    friendFolder.files.erase(std::remove_if(friendFolder.files.begin(), friendFolder.files.end(),
                                            [](const std::wstring& file) { return _wcsicmp(file.c_str(), L"PresenceTab.dll") == 0; }),
                             friendFolder.files.end());
    friendFolder.written = {{L"config\\psimprof.cfg", presence + ImSettings(kFriendAddressLast)},
                            {L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-1\r\nSubPlugs=\r\n"
                                                     "[PlugsLoadStyle]\r\n-1=immediately\r\n[PlugsModule]\r\n-1=RostView.dll\r\n"}};

    for (const wchar_t* file : {L"whole-session.done", kSentFile, kReceivedFile, kFriendSaw, kChatChecked, kSessionEnded, kFriendGone})
        DeleteFileW((stage + file).c_str());
    std::wstring ports = vantor::AnsiToWide(testkit::ImFake::Get().PortsText());
    int friendCode = -1;
    std::thread friendHost([&] {
        friendCode = testkit::RunThisExeInPrivateFolder(friendFolder, {{kFriendVariable, stage}, {L"VANTOR_IM_FAKE_PORTS", ports}});
    });
    EXPECT_EQ(0, testkit::RunThisExeInPrivateFolder(folder, {{kParentVariable, stage}, {L"VANTOR_IM_FAKE_PORTS", ports}}));
    testkit::WriteFileBytes(stage + kSessionEnded, "ended");
    friendHost.join();
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((stage + L"whole-session.done").c_str())) << "the session stopped early";
    EXPECT_EQ(0, friendCode) << "the friend's host failed";
}
