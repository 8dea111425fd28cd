// The pane under a display, on contact books of the fixture: the trees match the book,
// every change through RostKeeper shows, the folder bar, icons and tool tips, skins, and
// destruction while the load or other threads are still at work.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

#include "AddressCallback.h"
#include "ContactBookFixture.h"
#include "Handles.h"
#include "PaneDriver.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/RostKeeper.h"

namespace {

using rvtest::DumpTree;
using rvtest::FindItem;
using rvtest::PaneHost;
using rvtest::Pump;
using rvtest::PumpUntil;
using rvtest::RostViewLibrary;
using testkit::BookDescription;
using testkit::BookFriend;
using testkit::BookGroup;
using testkit::ContactBookFixture;

const char kChildMarker[] = "ROSTVIEW_SKIN_CHILD";

BookDescription SampleBook() {
    BookDescription book;
    BookGroup phone{L"10", L"电话好友", {}, {}};
    phone.friends.push_back({L"t1", L"张三", L"", L"13900000001"});
    phone.friends.push_back({L"t2", L"李四", L"", L""});
    phone.groups.push_back({L"101", L"家人", {{L"t3", L"妈妈"}, {L"t4", L"爸爸"}}, {}});
    BookGroup net{L"11", L"网络好友", {}, {}};
    net.friends.push_back({L"n1", L"小明", L"", L"13900000005", L"", L"", L"", {9}});
    net.friends.push_back({L"n2", L"小红", L""});
    net.friends.push_back({L"n3", L"", L"赵六"});
    net.groups.push_back({L"111", L"同事", {{L"n4", L"王五"}}, {}});
    net.groups.push_back({L"112", L"同学", {}, {}});
    book.roots = {phone, net};
    book.blackList.push_back({L"bad1", L"骚扰"});
    return book;
}

struct Session {
    ContactBookFixture book;
    RostViewLibrary library;
    explicit Session(const wchar_t* name) : book(name) {
        EXPECT_TRUE(book.WriteBook(SampleBook()));
        EXPECT_TRUE(book.Open(L"me", {9, 8, 14}));
        EXPECT_TRUE(book.SetStatus(L"n1", 1));
        EXPECT_TRUE(book.SetStatus(L"n3", 2));
        EXPECT_TRUE(library.Loaded());
    }
};

const char kLoaded[] =
    "电话好友/1{李四/5 张三/5 家人/0{爸爸/5 妈妈/5}} 网络好友/1{小明/5 赵六/5 小红/4 同事/0{王五/4} 同学/0}";

TEST(RostViewPane, TreesMatchTheBookAndFoldersSwitchByClicks) {
    Session s(L"rostview-load");
    PaneHost host(s.library, s.book.Book());
    ASSERT_NE(nullptr, host.Pane());
    ASSERT_TRUE(host.WaitLoaded());
    EXPECT_EQ(kLoaded, DumpTree(host.FriendTree()));
    EXPECT_EQ("骚扰/4", DumpTree(host.BlackTree()));
    EXPECT_TRUE(IsWindowVisible(host.FriendTree()));
    EXPECT_FALSE(IsWindowVisible(host.BlackTree()));
    Pump(300);
    EXPECT_TRUE(rvtest::SaveScreenshot(host.Frame(), L"rostview-friends.bmp"));

    // A click on the "黑名单" header at the bottom shows the black list.
    RECT c;
    GetClientRect(host.Pane(), &c);
    rvtest::MouseTo(host.Pane(), 120, c.bottom - 11);
    Pump(50);
    rvtest::MouseButton(true);
    Pump(50);
    rvtest::MouseButton(false);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(host.BlackTree()) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(host.FriendTree()));
    rvtest::MouseTo(host.Pane(), 120, c.bottom - 60);
    Pump(300);
    EXPECT_TRUE(rvtest::SaveScreenshot(host.Frame(), L"rostview-blacklist.bmp"));

    // Press on "好友列表" (now at the top), release on "黑名单" below it: nothing.
    rvtest::MouseTo(host.Pane(), 120, 12);
    Pump(50);
    rvtest::MouseButton(true);
    Pump(50);
    rvtest::MouseTo(host.Pane(), 120, 33);
    Pump(50);
    rvtest::MouseButton(false);
    Pump(200);
    EXPECT_TRUE(IsWindowVisible(host.BlackTree()));
    // Press and release on it: the friend folder again.
    rvtest::MouseTo(host.Pane(), 120, 12);
    Pump(50);
    rvtest::MouseButton(true);
    Pump(50);
    rvtest::MouseButton(false);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(host.FriendTree()) != FALSE; }));
    rvtest::MouseTo(host.Frame(), 400, 300);

    // Scroll bars below 100 x 80, none above.
    s.library.move(host.Handle(), 0, 0, 90, 200);
    Pump(50);
    EXPECT_TRUE(GetWindowLongW(host.Pane(), GWL_STYLE) & WS_HSCROLL);
    s.library.move(host.Handle(), 0, 0, 200, 70);
    Pump(50);
    EXPECT_TRUE(GetWindowLongW(host.Pane(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_FALSE(GetWindowLongW(host.Pane(), GWL_STYLE) & WS_HSCROLL);
    s.library.move(host.Handle(), 0, 0, 260, 420);
    Pump(50);
    EXPECT_FALSE(GetWindowLongW(host.Pane(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));

    // Null handles do nothing.
    EXPECT_EQ(0, s.library.switchSkin(nullptr));
    EXPECT_EQ(0, s.library.destroy(nullptr));
    EXPECT_EQ(nullptr, s.library.window(nullptr));
    EXPECT_EQ(1, host.Destroy());
}

template <typename Fn>
Fn Keeper(HMODULE keeper, const char* name) {
    return vantor::ProcAddress<Fn>(keeper, name);
}

// The first group of the store with the id, by walking it.
GroupHandle GroupWithId(ContactBookFixture& book, const char* id) {
    typedef BOOL(WINAPI * EnumFn)(RostBaseHandle, DWORD, GroupEnumProc, UINT_PTR);
    struct Finder {
        ContactBookFixture* book;
        const char* id;
        GroupHandle found;
        static BOOL CALLBACK Proc(GroupHandle g, GroupHandle, UINT_PTR user) {
            auto* self = reinterpret_cast<Finder*>(user);
            GroupInfoA info = {};
            self->book->Proc<BOOL(WINAPI*)(RostBaseHandle, GroupHandle, GroupInfoA*)>("RostBase_GetGroupInfoA")(
                self->book->Store(), g, &info);
            if (std::string(info.id) == self->id && !self->found) self->found = g;
            return TRUE;
        }
    } finder = {&book, id, nullptr};
    book.Proc<EnumFn>("RostBase_EnumGroup")(book.Store(), 3, Finder::Proc, reinterpret_cast<UINT_PTR>(&finder));
    return finder.found;
}

TEST(RostViewPane, EveryChangeThroughRostKeeperShows) {
    Session s(L"rostview-changes");
    PaneHost host(s.library, s.book.Book());
    ASSERT_TRUE(host.WaitLoaded());
    vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
    ASSERT_TRUE(keeper);
    HostContext book = s.book.Book();
    HWND tree = host.FriendTree();
    GroupHandle colleagues = s.book.GroupOf(L"n4");
    GroupHandle network = s.book.GroupOf(L"n1");

    // Add a friend to 同事; it is sorted in.
    FriendInfoA added = {};
    vantor::CopyField(added.id, "n9");
    vantor::CopyField(added.nickname, testkit::Ansi("阿强").c_str());
    ASSERT_NE(nullptr, Keeper<PFN_RostKeeper_AddFriendA>(keeper.get(), "RostKeeper_AddFriendA")(book, &added, colleagues));
    EXPECT_EQ("阿强/4 王五/4", DumpTree(tree, FindItem(tree, "同事")));

    // Rename 同学 to 阿组: the text changes, the place does not.
    FriendHandle n2 = s.book.Friend(L"n2");
    // The handle of 同学 (id 112), found by walking the store.
    GroupHandle classmates = GroupWithId(s.book, "112");
    ASSERT_NE(nullptr, classmates);
    GroupInfoA classmatesInfo = {};
    vantor::CopyField(classmatesInfo.id, "112");
    vantor::CopyField(classmatesInfo.name, testkit::Ansi("阿组").c_str());
    ASSERT_TRUE(Keeper<PFN_RostKeeper_ModifyGroupA>(keeper.get(), "RostKeeper_ModifyGroupA")(book, classmates,
                                                                                            &classmatesInfo));
    EXPECT_EQ("电话好友/1{李四/5 张三/5 家人/0{爸爸/5 妈妈/5}} 网络好友/1{小明/5 赵六/5 小红/4 同事/0{阿强/4 王五/4} 阿组/0}",
              DumpTree(tree));

    // Modify 小红: new nickname and online; it moves among the online friends.
    FriendInfoA red = {};
    s.book.Proc<BOOL(WINAPI*)(RostBaseHandle, FriendHandle, FriendInfoA*)>("RostBase_GetFriendInfoA")(s.book.Store(),
                                                                                                    n2, &red);
    vantor::CopyField(red.nickname, testkit::Ansi("大红").c_str());
    red.status.status = 1;
    ASSERT_TRUE(Keeper<PFN_RostKeeper_ModifyFriendA>(keeper.get(), "RostKeeper_ModifyFriendA")(book, n2, &red));
    EXPECT_EQ("大红/5 小明/5 赵六/5 阿组/0 同事/0{阿强/4 王五/4}", DumpTree(tree, FindItem(tree, "网络好友")));

    // Status of 王五.
    FriendStatus online = {};
    online.status = 1;
    ASSERT_TRUE(Keeper<PFN_RostKeeper_UpdateFriendStatus>(keeper.get(), "RostKeeper_UpdateFriendStatus")(
        book, s.book.Friend(L"n4"), &online, 1));
    EXPECT_EQ("王五/5 阿强/4", DumpTree(tree, FindItem(tree, "同事")));

    // Refresh: every network friend offline.
    ASSERT_TRUE(Keeper<PFN_RostKeeper_RefreshFriendStatus>(keeper.get(), "RostKeeper_RefreshFriendStatus")(
        book, REFRESH_RESET_NETWORK_FRIENDS | REFRESH_NOTIFY));
    EXPECT_EQ("大红/4 小明/4 赵六/4 阿组/0 同事/0{阿强/4 王五/4}", DumpTree(tree, FindItem(tree, "网络好友")));

    // Policies: nothing to see in the texts, and nothing breaks.
    ServicePolicyInfoA sms = {};
    sms.id = 8;
    sms.flags[SERVICE_POLICY_STATUS_FLAG] = 1;
    EXPECT_TRUE(Keeper<PFN_RostKeeper_AddServicePolicyA>(keeper.get(), "RostKeeper_AddServicePolicyA")(
        book, n2, &sms, 1, 1));

    // Move 小明 to 同事.
    ASSERT_TRUE(Keeper<PFN_RostKeeper_ChangeFriendGroup>(keeper.get(), "RostKeeper_ChangeFriendGroup")(
        book, s.book.Friend(L"n1"), network, colleagues));
    EXPECT_EQ("阿强/4 王五/4 小明/4", DumpTree(tree, FindItem(tree, "同事")));

    // Block 赵六, then take 骚扰 off the black list.
    FriendHandle zhao = s.book.Friend(L"n3");
    ASSERT_TRUE(Keeper<PFN_RostKeeper_PreventUser>(keeper.get(), "RostKeeper_PreventUser")(book, zhao, network));
    EXPECT_EQ(nullptr, FindItem(tree, "赵六"));
    EXPECT_EQ("骚扰/4 赵六/4", DumpTree(host.BlackTree()));
    Keeper<PFN_RostKeeper_DelBlackUserA>(keeper.get(), "RostKeeper_DelBlackUserA")(book, "bad1");
    EXPECT_EQ("赵六/4", DumpTree(host.BlackTree()));

    // Delete a friend and a group.
    ASSERT_TRUE(Keeper<PFN_RostKeeper_DelFriend>(keeper.get(), "RostKeeper_DelFriend")(book, n2, network));
    EXPECT_EQ(nullptr, FindItem(tree, "大红"));
    ASSERT_TRUE(Keeper<PFN_RostKeeper_DelGroup>(keeper.get(), "RostKeeper_DelGroup")(book, classmates, network));
    std::string final = "电话好友/1{李四/5 张三/5 家人/0{爸爸/5 妈妈/5}} 网络好友/1{同事/0{阿强/4 王五/4 小明/4}}";
    EXPECT_EQ(final, DumpTree(tree));

    // Changes for contacts the pane never showed change nothing.
    auto pane = reinterpret_cast<UINT_PTR>(host.Handle());
    auto bogus = reinterpret_cast<FriendHandle>(0x5150);
    vantor::ProcAddress<AddressCallback_OnModifyFriendProc>(s.library.module, "AddressCallback_OnModifyFriend")(bogus, pane);
    vantor::ProcAddress<AddressCallback_OnDelFriendProc>(s.library.module, "AddressCallback_OnDelFriend")(bogus, nullptr, pane);
    vantor::ProcAddress<AddressCallback_OnUpdateFriendOnlineStatusProc>(
        s.library.module, "AddressCallback_OnUpdateFriendOnlineStatus")(bogus, pane);
    vantor::ProcAddress<AddressCallback_OnDelBlackUserProc>(s.library.module, "AddressCallback_OnDelBlackUser")(bogus, pane);
    vantor::ProcAddress<AddressCallback_OnAddStrangerProc>(s.library.module, "AddressCallback_OnAddStranger")(bogus, nullptr, pane);
    vantor::ProcAddress<AddressCallback_OnUpdateFriendExtendInfoProc>(
        s.library.module, "AddressCallback_OnUpdateFriendExtendInfo")(s.book.Friend(L"n4"), pane);
    EXPECT_EQ(final, DumpTree(tree));
    EXPECT_EQ("赵六/4", DumpTree(host.BlackTree()));
    EXPECT_EQ(1, host.Destroy());
}

TEST(RostViewPane, ServiceIconsAndToolTips) {
    Session s(L"rostview-icons");
    PaneHost host(s.library, s.book.Book(), 300, 420);
    ASSERT_TRUE(host.WaitLoaded());
    HWND tree = host.FriendTree();
    HTREEITEM ming = FindItem(tree, "小明");
    ASSERT_NE(nullptr, ming);
    RECT row = {};
    ASSERT_TRUE(TreeView_GetItemRect(tree, ming, &row, FALSE));
    // Hover the rightmost icon (chat).
    rvtest::MouseTo(tree, row.right - 30, (row.top + row.bottom) / 2);
    Pump(100);
    rvtest::MouseTo(tree, row.right - 8, (row.top + row.bottom) / 2);
    HWND tip = rvtest::PaneTooltip(host.Pane());
    ASSERT_NE(nullptr, tip);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }, 4000)) << "the tool tip shows over the icon";
    Pump(300);
    EXPECT_TRUE(rvtest::SaveScreenshot(host.Frame(), L"rostview-tooltip.bmp", 120, 0));

    // The texts the tool tip is given, in both forms.
    NMTTDISPINFOW wide = {};
    wide.hdr.hwndFrom = tip;
    wide.hdr.idFrom = reinterpret_cast<UINT_PTR>(tree);
    wide.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(host.Pane(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    ASSERT_NE(nullptr, wide.lpszText);
    EXPECT_EQ(L"聊天", std::wstring(wide.lpszText));
    NMTTDISPINFOA narrow = {};
    narrow.hdr.hwndFrom = tip;
    narrow.hdr.idFrom = reinterpret_cast<UINT_PTR>(tree);
    narrow.hdr.code = TTN_GETDISPINFOA;
    SendMessageW(host.Pane(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&narrow));
    ASSERT_NE(nullptr, narrow.lpszText);
    EXPECT_EQ(testkit::Ansi("聊天"), std::string(narrow.lpszText));
    // Next slot: short message.
    rvtest::MouseTo(tree, row.right - 26, (row.top + row.bottom) / 2);
    Pump(200);
    SendMessageW(host.Pane(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    EXPECT_EQ(L"短信", std::wstring(wide.lpszText));
    // Over the label: name and id.
    RECT text = {};
    TreeView_GetItemRect(tree, ming, &text, TRUE);
    rvtest::MouseTo(tree, (text.left + text.right) / 2, (text.top + text.bottom) / 2);
    Pump(200);
    SendMessageW(host.Pane(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    EXPECT_EQ(L"小明(n1)", std::wstring(wide.lpszText));
    // Over a group: name and id.
    HTREEITEM family = FindItem(tree, "家人");
    TreeView_GetItemRect(tree, family, &text, TRUE);
    rvtest::MouseTo(tree, (text.left + text.right) / 2, (text.top + text.bottom) / 2);
    Pump(200);
    SendMessageW(host.Pane(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    EXPECT_EQ(L"家人(101)", std::wstring(wide.lpszText));
    rvtest::MouseTo(host.Frame(), 500, 300);
    Pump(100);
    EXPECT_EQ(1, host.Destroy());
}

int ThreadCount() {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

BookDescription LargeBook(int friends) {
    BookDescription book;
    BookGroup net{L"11", L"网络好友", {}, {}};
    for (int g = 0; g < 50; ++g) {
        BookGroup group{std::to_wstring(1100 + g), L"分组" + std::to_wstring(g), {}, {}};
        for (int f = 0; f < friends / 50; ++f) {
            int n = g * (friends / 50) + f;
            group.friends.push_back({L"u" + std::to_wstring(n), L"好友" + std::to_wstring(n)});
        }
        net.groups.push_back(group);
    }
    book.roots = {BookGroup{L"10", L"电话好友", {}, {}}, net};
    return book;
}

TEST(RostViewPane, DestroyDuringTheLoadAndDuringStatusChanges) {
    ContactBookFixture book(L"rostview-teardown");
    ASSERT_TRUE(book.WriteBook(LargeBook(5000)));
    ASSERT_TRUE(book.Open());
    RostViewLibrary library;
    ASSERT_TRUE(library.Loaded());
    int threads = ThreadCount();
    {
        PaneHost host(library, book.Book());
        Pump(30);
        EXPECT_EQ(1, host.Destroy()) << "destroyed while the load runs";
    }
    Pump(200);
    EXPECT_LE(ThreadCount(), threads) << "the load thread is gone";

    // Another thread changes statuses all along.
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
        auto update = Keeper<PFN_RostKeeper_UpdateFriendStatus>(keeper.get(), "RostKeeper_UpdateFriendStatus");
        std::vector<FriendHandle> entries;
        for (int i = 0; i < 5000; i += 97) entries.push_back(book.Friend(L"u" + std::to_wstring(i)));
        for (WORD round = 0; !stop; ++round) {
            for (FriendHandle entry : entries) {
                FriendStatus status = {};
                status.status = static_cast<WORD>(round % 2);
                update(book.Book(), entry, &status, 0);
            }
        }
    });
    for (int i = 0; i < 3; ++i) {
        PaneHost host(library, book.Book());
        Pump(i == 2 ? 3000 : 200 * (i + 1));
        EXPECT_EQ(1, host.Destroy());
    }
    stop = true;
    changer.join();
    Pump(200);
    EXPECT_LE(ThreadCount(), threads);
}

TEST(RostViewPane, ChangesMadeWhileTheTreeLoadsShowAsTheBookHasThem) {
    ContactBookFixture book(L"rostview-racing");
    BookDescription large = LargeBook(20000);
    large.roots[0].friends.push_back({L"t1", L"张三"});  // a root with nothing in it is never expanded
    ASSERT_TRUE(book.WriteBook(large));
    ASSERT_TRUE(book.Open());
    // Without its file the book changes in memory at once, well inside the load.
    ASSERT_TRUE(DeleteFileW((book.Folder() + book.Account() + L"\\rostledger.xml").c_str()));
    vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
    ASSERT_TRUE(keeper);
    HostContext context = book.Book();
    GroupHandle net = GroupWithId(book, "11");
    GroupHandle last = book.GroupOf(L"u19600");     // 分组49, read last
    GroupHandle beforeLast = book.GroupOf(L"u19200");  // 分组48
    ASSERT_TRUE(net && last && beforeLast);
    RostViewLibrary library;
    ASSERT_TRUE(library.Loaded());
    PaneHost host(library, context);
    HWND tree = host.FriendTree();
    // The first root shown: the load has listed every group and reads the first ones.
    DWORD start = GetTickCount();
    while (!TreeView_GetRoot(tree) && GetTickCount() - start < 10000) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
    }
    ASSERT_TRUE(TreeView_GetRoot(tree));
    // The user deletes the last group, adds one under the group before it and a friend
    // to the new group, long before the load reads them.
    ASSERT_TRUE(Keeper<PFN_RostKeeper_DelGroup>(keeper.get(), "RostKeeper_DelGroup")(context, last, net));
    GroupInfoA added = {};
    vantor::CopyField(added.id, "1199");
    vantor::CopyField(added.name, testkit::Ansi("新组").c_str());
    ASSERT_TRUE(Keeper<PFN_RostKeeper_AddGroupA>(keeper.get(), "RostKeeper_AddGroupA")(context, &added, beforeLast));
    GroupHandle fresh = GroupWithId(book, "1199");
    ASSERT_NE(nullptr, fresh);
    FriendInfoA first = {};
    vantor::CopyField(first.id, "n1");
    vantor::CopyField(first.nickname, testkit::Ansi("新朋友").c_str());
    ASSERT_NE(nullptr, Keeper<PFN_RostKeeper_AddFriendA>(keeper.get(), "RostKeeper_AddFriendA")(context, &first, fresh));
    ASSERT_TRUE(host.WaitLoaded(60000));

    EXPECT_EQ(nullptr, FindItem(tree, "分组49")) << "the deleted group came back with the load";
    EXPECT_EQ(nullptr, FindItem(tree, "好友19600"));
    HTREEITEM group = FindItem(tree, "新组", FindItem(tree, "分组48"));
    ASSERT_NE(nullptr, group) << "the group added under a group not read yet is lost";
    EXPECT_EQ("新朋友/4", DumpTree(tree, group));
    // Later friends of the new group show too.
    FriendInfoA second = {};
    vantor::CopyField(second.id, "n2");
    vantor::CopyField(second.nickname, testkit::Ansi("又一个").c_str());
    ASSERT_NE(nullptr, Keeper<PFN_RostKeeper_AddFriendA>(keeper.get(), "RostKeeper_AddFriendA")(context, &second, fresh));
    EXPECT_EQ("新朋友/4 又一个/4", DumpTree(tree, group));
    EXPECT_EQ(1, host.Destroy());
}

// --- skins, in a program folder of the test's own

TEST(RostViewPane, SkinsSwitchInTheirOwnFolder) {
    if (GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "only in the parent";
    ContactBookFixture f(L"rostview-skins");
    // CoreStub: the child opens a contact book of its own, so the rows show the new skin.
    for (const wchar_t* part : {L"RostView.dll", L"CoreStub.dll", L"config", L"resource", L"Skins"}) {
        ASSERT_TRUE(f.Stage(part));
    }
    // A second skin without rcd: gradient headers, no tags.
    std::string skn =
        "[FolderBar]\r\nbkgndl=200,60,60\r\nbkgndr=250,220,160\r\nselFontColor=255,255,255\r\n"
        "norFontColor=90,0,0\r\ntagOpen=open.bmp\r\ntagClose=close.bmp\r\nbkn=mid.bmp\r\nbkh=mid.bmp\r\nbkd=mid.bmp\r\n"
        "lcn=cap.bmp\r\nlch=cap.bmp\r\nlcd=cap.bmp\r\nrcn=cap.bmp\r\nrch=cap.bmp\r\n";
    ASSERT_TRUE(f.Write(L"Skins\\Second\\RostView.skn", skn));
    ASSERT_TRUE(f.Write(L"Skins\\Second\\CommWnd.skn", "[COLOR]\r\nbkgnd=255,250,235\r\n"));
    ASSERT_TRUE(f.Write(L"Skins\\Second\\mid.bmp", testkit::SolidBitmap(4, 20, RGB(0, 200, 0))));
    ASSERT_TRUE(f.Write(L"Skins\\Second\\cap.bmp", testkit::SolidBitmap(3, 20, RGB(0, 200, 0))));
    ASSERT_TRUE(f.Write(L"Skins\\Second\\open.bmp", testkit::SolidBitmap(8, 8, RGB(255, 128, 0))));
    ASSERT_TRUE(f.Write(L"Skins\\Second\\close.bmp", testkit::SolidBitmap(8, 8, RGB(255, 128, 0))));
    std::wstring exe = testkit::CopyThisExeTo(f.Folder());
    ASSERT_FALSE(exe.empty());
    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=SkinChild.*", f.Folder(), {{L"ROSTVIEW_SKIN_CHILD", L"1"}});
    EXPECT_EQ(0u, code);
    std::string shot = testkit::ReadFileBytes(f.Folder() + L"screenshots\\rostview-second-skin.bmp");
    ASSERT_FALSE(shot.empty());
    testkit::WriteFileBytes(testkit::ProgramDir() + L"screenshots\\rostview-second-skin.bmp", shot);
}

TEST(SkinChild, EmptyNameKeepsTheSkinAndASecondSkinTakesOver) {
    if (!GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "run by SkinsSwitchInTheirOwnFolder";
    std::wstring config = testkit::ProgramDir() + L"config\\uiprof.cfg";
    Session s(L"rostview-skin-book");
    RostViewLibrary& library = s.library;
    PaneHost host(library, s.book.Book(), 260, 300);
    ASSERT_NE(nullptr, host.Pane());
    ASSERT_TRUE(host.WaitLoaded());
    Pump(300);
    ASSERT_TRUE(testkit::WriteFileBytes(config, "[Global]\r\nSkinName=\r\n"));
    EXPECT_EQ(0, library.switchSkin(host.Handle()));
    ASSERT_TRUE(testkit::WriteFileBytes(config, "[Global]\r\nSkinName=Second\r\n"));
    EXPECT_EQ(1, library.switchSkin(host.Handle()));
    InvalidateRect(host.Pane(), nullptr, TRUE);
    Pump(300);
    testkit::Capture shot = testkit::CaptureWindow(host.Pane());
    ASSERT_GT(shot.width, 10);
    COLORREF left = shot.At(2, 12);
    EXPECT_NEAR(200, GetRValue(left), 12) << "gradient from the new left colour";
    EXPECT_NEAR(60, GetGValue(left), 12);
    RECT all = {0, 0, shot.width, shot.height};
    EXPECT_FALSE(shot.Holds(all, RGB(0, 200, 0))) << "the incomplete picture set is not used";
    EXPECT_FALSE(shot.Holds(all, RGB(255, 128, 0))) << "nor are its tags";
    EXPECT_TRUE(shot.Holds(RECT{0, 30, shot.width, shot.height - 30}, RGB(255, 250, 235)) ||
                shot.Holds(all, RGB(255, 250, 235)))
        << "the background colour of the new skin";
    EXPECT_TRUE(rvtest::SaveScreenshot(host.Frame(), L"rostview-second-skin.bmp"));
    EXPECT_EQ(1, host.Destroy());
}

}  // namespace
