// The pane's commands inside the container, against the recording modules: the fake
// contact dialogs staged as RostDialogs.dll and recording plug-ins for the phone and
// message services, the chat and the presence tab. A copy of this program runs in a
// folder of its own holding them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "ContactBookFixture.h"
#include "ModulePath.h"
#include "PaneDriver.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

using rvtest::FindItem;
using rvtest::Pump;
using rvtest::PumpUntil;
using testkit::BookDescription;
using testkit::BookGroup;
using testkit::ContactBookFixture;

const char kChildMarker[] = "ROSTVIEW_COMMAND_CHILD";
const UINT UM_ROST_COMMAND = WM_USER + 1807;

BookDescription CommandBook() {
    BookDescription book;
    BookGroup phone{L"10", L"电话好友", {}, {}};
    phone.friends.push_back({L"t1", L"张三", L"", L"13900000001"});
    BookGroup net{L"11", L"网络好友", {}, {}};
    net.friends.push_back({L"n1", L"小明", L"", L"", L"", L"", L"", {9}});
    net.groups.push_back({L"111", L"同事", {{L"n4", L"王五"}}, {}});
    net.groups.push_back({L"112", L"同学", {}, {}});
    book.roots = {phone, net};
    book.blackList.push_back({L"bad1", L"骚扰"});
    return book;
}

std::string U8(const wchar_t* text) { return vantor::EncodeText(text, CP_UTF8); }

TEST(RostViewCommands, ReachTheDialogsAndPlugInsInTheContainer) {
    if (GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "only in the parent";
    ContactBookFixture f(L"rostview-commands");
    ASSERT_TRUE(f.WriteBook(CommandBook()));
    for (const wchar_t* part : {L"RostView.dll", L"resource", L"Skins", L"PlugHost.dll", L"OrderHub.dll",
                                L"CoreFront.dll", L"TraceDeck.dll", L"CoreStub.dll"}) {
        ASSERT_TRUE(f.Stage(part)) << U8(part);
    }
    ASSERT_TRUE(testkit::CopyFromProgramDir(f.Folder(), L"FakeDialogs.dll", L"RostDialogs.dll"));
    for (const wchar_t* as : {L"plug14.dll", L"plug3.dll", L"plug8.dll", L"ChatDesk.dll", L"PresenceTab.dll"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(f.Folder(), L"TracePlug.dll", as));
    }
    ASSERT_TRUE(f.Write(L"config\\uiprof.cfg", "[Global]\r\nSkinName=Default\r\n"));
    ASSERT_TRUE(f.Write(L"config\\pruv2.cfg",
                        "[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=-1\r\n14=plug14.dll\r\n3=plug3.dll\r\n8=plug8.dll\r\n"
                        "[PlugsLoadStyle]\r\n-1=immediately\r\n[PlugsModule]\r\n-1=RostView.dll\r\n14=plug14.dll\r\n3=plug3.dll\r\n"
                        "8=plug8.dll\r\n"));
    ASSERT_TRUE(f.Write(L"behave.cfg", "[plug14.dll]\r\nParam2=4\r\n[ChatDesk.dll]\r\nParam1=1\r\n"
                                       "[PresenceTab.dll]\r\nParam5=3\r\nParam3=2\r\n"));
    std::wstring exe = testkit::CopyThisExeTo(f.Folder());
    ASSERT_FALSE(exe.empty());
    // The child opens the book itself: the store is held by the process that opened it.
    DWORD code =
        testkit::RunProgram(exe, L"--gtest_filter=CommandChild.*", f.Folder(), {{L"ROSTVIEW_COMMAND_CHILD", L"1"}});
    EXPECT_EQ(0u, code);
    for (const wchar_t* name : {L"rostview-friend-menu.bmp", L"rostview-black-menu.bmp", L"rostview-new-group-editor.bmp",
                                L"rostview-duplicate-group.bmp", L"rostview-drag-image.bmp"}) {
        std::string shot = testkit::ReadFileBytes(f.Folder() + L"screenshots\\" + name);
        EXPECT_FALSE(shot.empty()) << U8(name);
        testkit::WriteFileBytes(testkit::ProgramDir() + L"screenshots\\" + name, shot);
    }
}

std::string Trace() { return testkit::ReadFileBytes(testkit::ProgramDir() + L"trace.log"); }
bool Traced(const std::string& line) {
    return PumpUntil([&] { return Trace().find(line) != std::string::npos; }, 3000);
}


// Sets the flag when the helper thread is done, however it ends.
struct Finally {
    std::atomic<bool>& flag;
    explicit Finally(std::atomic<bool>& f) : flag(f) {}
    ~Finally() { flag = true; }
};

// Synthetic input at screen coordinates.
void MouseAt(POINT screen) { rvtest::MouseTo(GetDesktopWindow(), screen.x, screen.y); }
void RightClick() {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, input, sizeof input[0]);
}
POINT LabelCentre(HWND tree, HTREEITEM item) {
    RECT r = {};
    TreeView_GetItemRect(tree, item, &r, TRUE);
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tree, &p);
    return p;
}
// The n-th popup menu window on screen (1 the first), null when none comes.
HWND WaitMenu(int count) {
    for (int i = 0; i < 300; ++i) {
        int seen = 0;
        HWND last = nullptr;
        for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
             w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
            if (IsWindowVisible(w)) {
                ++seen;
                last = w;
            }
        }
        if (seen >= count) return last;
        Sleep(10);
    }
    return nullptr;
}
HWND WaitWindow(const wchar_t* caption) {
    for (int i = 0; i < 300; ++i) {
        if (HWND w = FindWindowW(nullptr, caption)) return w;
        Sleep(10);
    }
    return nullptr;
}
void Key(WORD vk) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = vk;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

// The container of this folder with the contact list as its one tab.
struct Container {
    HMODULE module = nullptr;
    HWND frame = nullptr;
    HWND pane = nullptr;
    HWND Tree(int id) const { return GetDlgItem(pane, id); }

    Container() {
        frame = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 300, 460,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        module = LoadLibraryW((testkit::ProgramDir() + L"PlugHost.dll").c_str());
        auto load = vantor::ProcAddress<PFN_Container_Load>(module, CONTAINER_LOAD_NAME);
        if (!load) return;
        load(1, frame);
        auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module, CONTAINER_QUERYMODULE_NAME);
        HMODULE view = nullptr;
        TabPlugHandle plug = nullptr;
        if (!query || !query(-1, &view, &plug) || !plug) return;
        auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(view, TABPLUG_GETSAFEHWND_NAME);
        pane = window ? window(plug) : nullptr;
        if (pane) {
            SetParent(pane, frame);
            MoveWindow(pane, 0, 0, 300, 460, TRUE);
            ShowWindow(pane, SW_SHOW);
        }
    }
    ~Container() {
        if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(module, CONTAINER_UNLOAD_NAME)) unload();
        if (module) FreeLibrary(module);
        DestroyWindow(frame);
    }
    void Post(UINT id, HTREEITEM item) { PostMessageW(pane, UM_ROST_COMMAND, id, reinterpret_cast<LPARAM>(item)); }
    HTREEITEM Item(int tree, const wchar_t* text) { return FindItem(Tree(tree), U8(text)); }
};

TEST(CommandChild, EachCommandsCallAndArguments) {
    if (!GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "run by the parent";
    // The book is opened in a folder of its own; the libraries of this folder reach it
    // through the modules already loaded.
    ContactBookFixture book(L"book");
    ASSERT_TRUE(book.WriteBook(CommandBook()));
    ASSERT_TRUE(book.Open(L"me", {9, 8, 14}));
    ASSERT_TRUE(book.SetStatus(L"n1", 1));
    Container c;
    ASSERT_NE(nullptr, c.pane);
    ASSERT_TRUE(PumpUntil([&] { return c.Item(1, L"王五") != nullptr && c.Item(2, L"骚扰") != nullptr; }, 20000));

    // Phone: service 14 is prepared (and so loaded) first, then called with the number.
    c.Post(21001, c.Item(1, L"张三"));
    EXPECT_TRUE(Traced(" text=13900000001"));
    std::string trace = Trace();
    size_t created = trace.find("plug14.dll Create");
    size_t called = trace.find("plug14.dll DoCommand 2 ");
    EXPECT_NE(std::string::npos, created);
    EXPECT_LT(created, called);

    c.Post(21005, c.Item(1, L"小明"));
    EXPECT_TRUE(Traced("friend=n1 " + vantor::EncodeText(L"小明", 936)));
    c.Post(21011, c.Item(1, L"小明"));
    EXPECT_TRUE(Traced("pair=n1 " + vantor::EncodeText(L"小明", 936) + " group"));
    c.Post(31000, c.Item(2, L"骚扰"));
    EXPECT_TRUE(Traced("info=bad1 " + vantor::EncodeText(L"骚扰", 936)));

    c.Post(21008, c.Item(1, L"王五"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelFriend book=1 friend=n4 group=111"));
    c.Post(20001, c.Item(1, L"同事"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelGroup book=1 group=111 parent=11"));
    c.Post(21014, c.Item(1, L"网络好友"));
    EXPECT_TRUE(Traced("RostDialogs.dll SearchUser book=1"));
    c.Post(21007, c.Item(1, L"电话好友"));
    EXPECT_TRUE(Traced("RostDialogs.dll AddFriend book=1 group=10"));
    c.Post(31001, c.Item(2, L"骚扰"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelBlackUser book=1 friend=bad1"));

    // A dismissed menu, a command on the wrong kind, on an item gone, and the details
    // without a menu item: nothing.
    size_t before = Trace().size();
    c.Post(0, c.Item(1, L"王五"));
    c.Post(20001, c.Item(1, L"网络好友"));
    c.Post(21011, c.Item(1, L"张三"));
    c.Post(21008, reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(0x7fff1234)));
    c.Post(21010, c.Item(1, L"王五"));
    Pump(500);
    EXPECT_EQ(before, Trace().size()) << Trace().substr(before);

    HWND friends = c.Tree(1);
    SetForegroundWindow(c.frame);
    // The editor on the new group's temporary node; Enter hands the name to the dialogs.
    c.Post(20000, c.Item(1, L"网络好友"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    EXPECT_NE(nullptr, c.Item(1, L"新建自定义组"));
    RedrawWindow(c.pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(800);
    rvtest::SaveScreenshot(c.frame, L"rostview-new-group-editor.bmp");
    SetWindowTextW(TreeView_GetEditControl(friends), L"新组");
    TreeView_EndEditLabelNow(friends, FALSE);
    EXPECT_TRUE(Traced("RostDialogs.dll AddGroupA book=1 name=" + vantor::EncodeText(L"新组", 936) + " parent=11"));
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));
    EXPECT_EQ(nullptr, c.Item(1, L"新组")) << "shown only through the callback";

    // An emptied edit leaves no node and calls nothing.
    before = Trace().size();
    c.Post(20000, c.Item(1, L"网络好友"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    SetWindowTextW(TreeView_GetEditControl(friends), L"");
    TreeView_EndEditLabelNow(friends, FALSE);
    Pump(300);
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));

    // Renaming to a sibling's name: the duplicate-name box, and nothing sent.
    {
        std::atomic<bool> done{false};
        std::thread helper([&] {
            Finally finish(done);
            HWND box = WaitWindow(L"修改组");
            if (!box) return;
            Sleep(300);
            rvtest::SaveScreenshot(box, L"rostview-duplicate-group.bmp");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        c.Post(20002, c.Item(1, L"同学"));
        if (PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; })) {
            SetWindowTextW(TreeView_GetEditControl(friends), L"同事");
            TreeView_EndEditLabelNow(friends, FALSE);
        } else {
            ADD_FAILURE() << "no editor for the rename";
        }
        PumpUntil([&] { return done.load(); });
        helper.join();
        Pump(300);
    }
    EXPECT_EQ(std::string::npos, Trace().find("ModifyGroupA", before));
    EXPECT_EQ(std::string::npos, Trace().find("AddGroupA", before));
    EXPECT_NE(nullptr, c.Item(1, L"同学"));

    // The black-list menu, dismissed: nothing.
    PostMessageW(c.pane, WM_USER + 1800, 0, 1);
    HWND black = c.Tree(2);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(black) != FALSE; }));
    Pump(200);
    before = Trace().size();
    {
        std::atomic<bool> done{false};
        std::thread helper([&] {
            Finally finish(done);
            if (!WaitMenu(1)) return;
            Sleep(300);
            rvtest::SaveScreenshot(c.frame, L"rostview-black-menu.bmp", 160, 40);
            Key(VK_ESCAPE);
        });
        MouseAt(LabelCentre(black, c.Item(2, L"骚扰")));
        Pump(100);
        RightClick();
        PumpUntil([&] { return done.load(); });
        helper.join();
        Pump(300);
    }
    EXPECT_EQ(before, Trace().size()) << Trace().substr(before);
    PostMessageW(c.pane, WM_USER + 1800, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(friends) != FALSE; }));
    Pump(200);

    // The friend menu with its move submenu open; its first entry is the first group
    // under the network root (the root is the friend's own group).
    {
        std::atomic<bool> done{false};
        std::thread helper([&] {
            Finally finish(done);
            HWND menu = WaitMenu(1);
            if (!menu) return;
            Sleep(200);
            HMENU popup = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            int index = -1;
            for (int i = 0; i < GetMenuItemCount(popup); ++i) {
                if (GetSubMenu(popup, i)) index = i;
            }
            RECT r = {};
            if (index < 0 || !GetMenuItemRect(nullptr, popup, index, &r)) {
                Key(VK_ESCAPE);
                return;
            }
            MouseAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            HWND sub = WaitMenu(2);
            Sleep(300);
            rvtest::SaveScreenshot(c.frame, L"rostview-friend-menu.bmp", 260, 120);
            RECT first = {};
            if (sub && GetMenuItemRect(nullptr, GetSubMenu(popup, index), 0, &first)) {
                MouseAt(POINT{(first.left + first.right) / 2, (first.top + first.bottom) / 2});
                Sleep(200);
                rvtest::MouseButton(true);
                rvtest::MouseButton(false);
            } else {
                Key(VK_ESCAPE);
                Key(VK_ESCAPE);
            }
        });
        MouseAt(LabelCentre(friends, c.Item(1, L"小明")));
        Pump(100);
        RightClick();
        EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=n1 old=11 new=111 proxy=0"));
        PumpUntil([&] { return done.load(); });
        helper.join();
    }

    // One real drag: 小明 onto 同学 moves him there.
    {
        POINT from = LabelCentre(friends, c.Item(1, L"小明"));
        POINT to = LabelCentre(friends, c.Item(1, L"同学"));
        std::atomic<bool> done{false};
        std::thread helper([&] {
            Finally finish(done);
            MouseAt(from);
            Sleep(100);
            rvtest::MouseButton(true);
            for (int i = 1; i <= 10; ++i) {
                Sleep(40);
                MouseAt(POINT{from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10});
            }
            Sleep(300);
            MouseAt(to);
            Sleep(200);
            rvtest::SaveScreenshot(c.frame, L"rostview-drag-image.bmp");
            rvtest::MouseButton(false);
        });
        EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=n1 old=11 new=112 proxy=0"));
        PumpUntil([&] { return done.load(); });
        helper.join();
    }
}

}  // namespace
