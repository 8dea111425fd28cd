// The contact dialogs in the container on a contact book of the fixture (the recording
// plug-in as the presence tab), reached through the kernel facade, against the fake
// presence server: what each verb sends, that the book changes only after acceptance,
// the dialogs driven as a user would, and the library unloaded after its last use.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <thread>

#include "DialogDriver.h"
#include "DialogIds.h"
#include "DialogRig.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "Text.h"

namespace rdtest {
extern int g_port;
extern std::wstring g_stage;
}  // namespace rdtest

namespace {

using namespace rdtest;
using testkit::Ansi;

typedef void(WINAPI* AddGroupAFn)(HostContext, const char*, GroupHandle);
typedef void(WINAPI* AddGroupWFn)(HostContext, const wchar_t*, GroupHandle);
typedef void(WINAPI* ModifyGroupAFn)(HostContext, GroupHandle, GroupInfoA*);
typedef void(WINAPI* MoveFriendFn)(HostContext, FriendHandle, GroupHandle, GroupHandle, int);
typedef int(WINAPI* PreventUserFn)(HostContext, FriendHandle, GroupHandle, int);
typedef void(WINAPI* FriendVerbFn)(HostContext, FriendHandle, GroupHandle);
typedef void(WINAPI* DelBlackUserFn)(HostContext, FriendHandle);
typedef void(WINAPI* AddFriendFn)(HostContext, GroupHandle);
typedef void(WINAPI* SearchUserFn)(HostContext);

HWND g_host = nullptr;

// The book and the container loaded on it (the presence tab comes with service 9).
struct Session {
    Book book;
    HMODULE container = nullptr;
    explicit Session(const wchar_t* name) : book(name) {
        container = LoadLibraryW((testkit::ProgramDir() + L"PlugHost.dll").c_str());
        auto load = vantor::ProcAddress<PFN_Container_Load>(container, CONTAINER_LOAD_NAME);
        EXPECT_TRUE(load);
        if (load) load(book.Handle(), g_host);
        EXPECT_TRUE(GetModuleHandleW(L"PresenceTab.dll")) << "the presence tab did not load";
    }
    ~Session() {
        EXPECT_TRUE(WaitDialogsUnloaded()) << "RostDialogs.dll is still loaded";
        if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(container, CONTAINER_UNLOAD_NAME)) unload();
        FreeLibrary(container);
    }
};

std::vector<std::string> Actions(const std::vector<Post>& posts) {
    std::vector<std::string> names;
    for (const Post& p : posts) names.push_back(p.action);
    return names;
}

bool Has(const std::string& body, const std::string& part) { return body.find(part) != std::string::npos; }

void Pump(DWORD ms) {
    testkit::PumpUntilDone([] { return false; }, ms);
}

// ---- synchronous verbs

TEST(RostDialogsVerbs, GroupVerbsReachTheServerAndTheBookOnlyOnAcceptance) {
    Session s(L"rd-groups");
    GroupHandle network = s.book.Group("11");
    ASSERT_TRUE(network);

    Queue("AddNewGroup", Cell("groupid", "120"));
    Export<AddGroupAFn>("RostDialogs_AddGroupA")(s.book.Handle(), Ansi("朋友").c_str(), network);
    std::vector<Post> posts = Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("AddNewGroup", posts[0].action);
    EXPECT_TRUE(Has(posts[0].body, "GroupName=" + Ansi("朋友"))) << posts[0].body;
    EXPECT_TRUE(Has(posts[0].body, "ParGroupID=11")) << posts[0].body;
    EXPECT_TRUE(s.book.HasGroupNamed(network, L"朋友"));
    EXPECT_TRUE(s.book.Group("120"));

    // Twenty Chinese characters go as eleven whole ones, in the post and in the book.
    ResetServer();
    std::wstring twenty(20, L'\u7ec4');
    Queue("AddNewGroup", Cell("groupid", "121"));
    Export<AddGroupWFn>("RostDialogs_AddGroupW")(s.book.Handle(), twenty.c_str(), network);
    Export<AddGroupAFn>("RostDialogs_AddGroupA")(s.book.Handle(), vantor::WideToAnsi(twenty).c_str(), network);
    posts = Posts();
    ASSERT_EQ(2u, posts.size());
    std::string eleven = "GroupName=" + vantor::WideToAnsi(std::wstring(11, L'\u7ec4')) + "&";
    EXPECT_TRUE(Has(posts[1].body, eleven)) << posts[1].body;
    EXPECT_FALSE(Has(posts[0].body, eleven)) << "the wide name has room for all twenty";

    // A refusal shows its message and leaves the contact file byte for byte.
    ResetServer();
    std::string before = s.book.ContactFile();
    Queue("RenameGroup", Cell("message", "no"), "0");
    GroupInfoA rename = {};
    vantor::CopyField(rename.id, "112");
    vantor::CopyField(rename.name, Ansi("老同学").c_str());
    std::atomic<bool> shown{false};
    testkit::MessageBoxSeen box;
    std::thread watcher([&] {
        box = testkit::WaitMessageBox(10000);
        shown = true;
        testkit::DismissMessageBox(box);
    });
    Export<ModifyGroupAFn>("RostDialogs_ModifyGroupA")(s.book.Handle(), s.book.Group("112"), &rename);
    watcher.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(L"修改组数据失败，请重试！", box.text);
    EXPECT_EQ(Caption(), box.caption);
    EXPECT_EQ(before, s.book.ContactFile());
    EXPECT_EQ((std::vector<std::string>{"RenameGroup"}), Actions(Posts()));

    // No parent id: nothing is sent.
    ResetServer();
    Export<AddGroupAFn>("RostDialogs_AddGroupA")(s.book.Handle(), "x", nullptr);
    EXPECT_TRUE(Posts().empty());
}

TEST(RostDialogsVerbs, MovesAndBlockingAreChangeGroupPosts) {
    Session s(L"rd-moves");
    FriendHandle n1 = s.book.Friend(L"n1");
    GroupHandle network = s.book.GroupOf(L"n1");
    GroupHandle colleagues = s.book.Group("111");
    Export<MoveFriendFn>("RostDialogs_MoveFriend")(s.book.Handle(), n1, network, colleagues, 0);
    EXPECT_EQ(colleagues, s.book.GroupOf(L"n1"));

    EXPECT_EQ(1, Export<PreventUserFn>("RostDialogs_PreventUser")(s.book.Handle(), s.book.Friend(L"n2"), network, 1));
    std::vector<Post> posts = Posts();
    ASSERT_EQ(2u, posts.size());
    EXPECT_EQ("ChangeGroup", posts[0].action);
    EXPECT_TRUE(Has(posts[0].body, "111") && Has(posts[0].body, "proxyflag=0")) << posts[0].body;
    EXPECT_EQ("ChangeGroup", posts[1].action);
    EXPECT_TRUE(Has(posts[1].body, "=0&") || Has(posts[1].body, "group_id=0")) << posts[1].body;
    EXPECT_TRUE(Has(posts[1].body, "proxyflag=1")) << posts[1].body;
    // On the black list now: no group among the friends.
    EXPECT_EQ(nullptr, s.book.GroupOf(L"n2"));
}

TEST(RostDialogsVerbs, TheLastUseUnloadsTheLibraryAlsoWhenTwoThreadsEndTogether) {
    Session s(L"rd-uses");
    auto move = Export<MoveFriendFn>("RostDialogs_MoveFriend");
    ASSERT_TRUE(move);
    FriendHandle n1 = s.book.Friend(L"n1");
    GroupHandle network = s.book.GroupOf(L"n1");
    Queue("ChangeGroup", "", "1", 300);
    Queue("ChangeGroup", "", "1", 300);
    std::thread a([&] { move(s.book.Handle(), n1, network, network, 0); });
    std::thread b([&] { move(s.book.Handle(), n1, network, network, 0); });
    a.join();
    b.join();
    EXPECT_EQ(2u, Posts().size());
    // The verbs' uses came back on other threads: the facade unloads after the next one.
    Export<MoveFriendFn>("RostDialogs_MoveFriend")(s.book.Handle(), n1, network, network, 0);
    EXPECT_TRUE(WaitDialogsUnloaded());
}

// ---- friend information

TEST(RostDialogsFriendInfo, AnAddLandsUnderTheTelephoneRootAndCloses) {
    Session s(L"rd-add");
    Export<AddFriendFn>("RostDialogs_AddFriend")(s.book.Handle(), nullptr);
    HWND dialog = testkit::FindWindowByTitle(L"新增电话好友");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(L"添加", testkit::Text(dialog, IDC_FRIEND_SAVE));

    // An empty name sends nothing.
    testkit::Click(dialog, IDC_FRIEND_SAVE);
    testkit::MessageBoxSeen box = testkit::WaitMessageBox(5000, dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(L"姓名不能为空，请输入！", box.text);
    EXPECT_EQ(Caption(), box.caption);
    testkit::DismissMessageBox(box);
    Pump(200);
    EXPECT_TRUE(Posts().empty());

    // Typing is cut at 20, 30 and 15 bytes.
    testkit::Type(dialog, IDC_FRIEND_NAME, L"阿强阿强阿强阿强阿强阿强");
    EXPECT_EQ(L"阿强阿强阿强阿强阿强", testkit::Text(dialog, IDC_FRIEND_NAME));
    testkit::Type(dialog, IDC_FRIEND_EMAIL, std::wstring(35, L'e'));
    EXPECT_EQ(std::wstring(30, L'e'), testkit::Text(dialog, IDC_FRIEND_EMAIL));
    testkit::Type(dialog, IDC_FRIEND_MOBILE, L"1390000000123456");
    EXPECT_EQ(L"139000000012345", testkit::Text(dialog, IDC_FRIEND_MOBILE));
    testkit::SetText(dialog, IDC_FRIEND_NAME, L"阿强");
    testkit::Pick(dialog, IDC_FRIEND_SEX, L"男");
    EXPECT_TRUE(Screenshot(dialog, L"rostdialogs-friend-add.bmp"));

    Queue("AddFriend2PS", Cell("id", "t9"));
    testkit::Click(dialog, IDC_FRIEND_SAVE);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(dialog); }));
    std::vector<Post> posts = Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("AddFriend2PS", posts[0].action);
    EXPECT_TRUE(Has(posts[0].body, "group_id=10")) << posts[0].body;
    EXPECT_EQ(s.book.Group("10"), s.book.GroupOf(L"t9"));
    FriendInfoA added = s.book.Info(L"t9");
    EXPECT_EQ(Ansi("阿强"), added.nickname);
    EXPECT_EQ(1, added.sex);
    EXPECT_STREQ("139000000012345", added.mobile);
}

TEST(RostDialogsFriendInfo, AViewSaveKeepsWhatTheFormDoesNotShow) {
    Session s(L"rd-view");
    // A friend with name, province, city, age, sex 0 and a birthday.
    FriendHandle n2 = s.book.Friend(L"n2");
    FriendInfoA info = s.book.Info(L"n2");
    vantor::CopyField(info.province, "11");
    vantor::CopyField(info.city, Ansi("北京").c_str());
    vantor::CopyField(info.birthday, "19900301");
    info.age = 33;
    info.sex = 0;
    ASSERT_TRUE((s.book.fixture.Proc<BOOL(WINAPI*)(RostBaseHandle, FriendHandle, const FriendInfoA*)>(
        "RostBase_ModifyFriendA")(s.book.fixture.Store(), n2, &info)));

    Export<FriendVerbFn>("RostDialogs_ViewFriendInfo")(s.book.Handle(), n2, s.book.GroupOf(L"n2"));
    HWND dialog = testkit::FindWindowByTitle(L"用户信息");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(L"赵六", testkit::Text(dialog, IDC_FRIEND_NAME));
    EXPECT_EQ(L"", testkit::Text(dialog, IDC_FRIEND_SEX));
    EXPECT_EQ(L"修改", testkit::Text(dialog, IDC_FRIEND_SAVE));
    EXPECT_TRUE(Screenshot(dialog, L"rostdialogs-friend-view.bmp"));

    testkit::SetText(dialog, IDC_FRIEND_PHONE, L"01088886666");
    testkit::Click(dialog, IDC_FRIEND_SAVE);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return Posts().size() == 1 && IsWindowEnabled(GetDlgItem(dialog, IDC_FRIEND_SAVE)); }));
    ASSERT_TRUE(IsWindow(dialog)) << "a view stays open after its save";
    EXPECT_EQ("ModFriendInf2PS", Posts()[0].action);
    FriendInfoA saved = s.book.Info(L"n2");
    EXPECT_EQ(Ansi("赵六"), saved.name);
    EXPECT_EQ(Ansi("赵六"), saved.nickname);
    EXPECT_STREQ("11", saved.province);
    EXPECT_EQ(Ansi("北京"), saved.city);
    EXPECT_EQ(33, saved.age);
    EXPECT_EQ(0, saved.sex);
    EXPECT_STREQ("19900301", saved.birthday);
    EXPECT_STREQ("01088886666", saved.phone);

    // A refusal shows its message and changes nothing.
    std::string before = s.book.ContactFile();
    Queue("ModFriendInf2PS", Cell("message", "no"), "0");
    testkit::SetText(dialog, IDC_FRIEND_PHONE, L"02100000000");
    testkit::Click(dialog, IDC_FRIEND_SAVE);
    testkit::MessageBoxSeen box = testkit::WaitMessageBox(5000, dialog);
    EXPECT_EQ(L"修改好友信息失败，请重试！", box.text);
    testkit::DismissMessageBox(box);
    Pump(200);
    EXPECT_EQ(before, s.book.ContactFile());

    // A close while a delayed save runs leaves no dialog, thread or use behind.
    Queue("ModFriendInf2PS", "", "1", 800);
    testkit::Click(dialog, IDC_FRIEND_SAVE);
    Pump(100);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(100);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(dialog); }));
    EXPECT_STREQ("02100000000", s.book.Info(L"n2").phone);
}

// ---- delete confirmations

// Calls a verb on this thread's message loop, as the contact list's menu would.
class VerbWindow {
public:
    VerbWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"RdVerbWindow";
        RegisterClassW(&wc);
        window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    ~VerbWindow() { DestroyWindow(window_); }
    // Posts `verb` to run in this window's thread.
    void Post(std::function<void()>* verb) { PostMessageW(window_, WM_APP, 0, reinterpret_cast<LPARAM>(verb)); }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_APP) {
            (*reinterpret_cast<std::function<void()>*>(lp))();
            return 0;
        }
        return DefWindowProcW(w, m, wp, lp);
    }
    HWND window_;
};

TEST(RostDialogsConfirm, AFriendDeletionTellsThePresenceTabFirstAndASecondRequestRaisesTheFirst) {
    Session s(L"rd-delfriend");
    FriendHandle n1 = s.book.Friend(L"n1");
    GroupHandle network = s.book.GroupOf(L"n1");
    auto del = [&](HostContext book, FriendHandle entry, GroupHandle group) {
        Export<FriendVerbFn>("RostDialogs_DelFriend")(book, entry, group);
    };
    VerbWindow verbs;
    std::function<void()> again = [&] { del(s.book.Handle(), n1, network); };
    std::atomic<bool> ok{true};
    std::thread user([&] {
        HWND dialog = testkit::FindWindowByTitle(L"删除好友");
        if (!dialog) {
            ok = false;
            return;
        }
        Screenshot(dialog, L"rostdialogs-delete-friend.bmp");
        if (testkit::Text(dialog, IDC_DELETE_LABEL) != L"小明(n1)") ok = false;
        verbs.Post(&again);
        Pump(400);
        if (testkit::CountWindowsByTitle(L"删除好友") != 1) ok = false;
        Queue("DelFriend2PS", "", "1", 600);
        testkit::Click(dialog, IDC_DELETE_OK);
        Pump(200);
        // The caption's close is ignored while the deletion runs.
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        Pump(200);
        if (!IsWindowVisible(dialog)) ok = false;
    });
    del(s.book.Handle(), n1, network);
    user.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(nullptr, s.book.Friend(L"n1"));
    std::vector<Post> posts = Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("DelFriend2PS", posts[0].action);
    EXPECT_TRUE(Has(posts[0].body, "n1")) << posts[0].body;
    EXPECT_TRUE(Has(posts[0].body, "1")) << posts[0].body;
    bool told = false;
    for (const std::string& line : TraceLines())
        told |= line.find("PresenceTab.dll DoCommand 7") == 0 && line.find("friend=n1 " + Ansi("小明")) != std::string::npos;
    EXPECT_TRUE(told) << "the presence tab did not hear of the friend while it existed";
}

TEST(RostDialogsConfirm, ARefusedBlackListDeletionStaysOpenAndCancelForgetsTheId) {
    Session s(L"rd-delblack");
    FriendHandle bad = s.book.BlackListed("bad1");
    ASSERT_TRUE(bad);
    // Fetched through the facade at each use, as the contact list does: the facade may
    // have unloaded the library after the last use.
    auto del = [&](HostContext book, FriendHandle entry) {
        Export<DelBlackUserFn>("RostDialogs_DelBlackUser")(book, entry);
    };
    std::string before = s.book.ContactFile();
    std::atomic<bool> ok{true};
    std::thread user([&] {
        HWND dialog = testkit::FindWindowByTitle(L"删除黑名单");
        if (!dialog) {
            ok = false;
            return;
        }
        if (testkit::Text(dialog, IDC_DELETE_QUESTION) != L"您确定要删除该黑名单用户吗？") ok = false;
        Screenshot(dialog, L"rostdialogs-delete-blacklist.bmp");
        Queue("DeleteBlackUser", Cell("message", "no"), "0");
        testkit::Click(dialog, IDC_DELETE_OK);
        testkit::MessageBoxSeen box = testkit::WaitMessageBox(5000, dialog);
                if (box.text != L"删除黑名单用户失败了，请重试！") ok = false;
        testkit::DismissMessageBox(box);
        testkit::PumpUntilDone([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_DELETE_CANCEL)) != FALSE; });
        if (!IsWindow(dialog)) ok = false;
        testkit::Click(dialog, IDC_DELETE_CANCEL);
    });
    del(s.book.Handle(), bad);
    user.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(before, s.book.ContactFile());
    EXPECT_EQ((std::vector<std::string>{"DeleteBlackUser"}), Actions(Posts()));
    for (const std::string& line : TraceLines()) EXPECT_EQ(std::string::npos, line.find("DoCommand 7")) << line;

    // Cancelled: the same entry opens a new confirmation, and this time it goes.
    std::thread again([&] {
        HWND dialog = testkit::FindWindowByTitle(L"删除黑名单");
        if (dialog) testkit::Click(dialog, IDC_DELETE_OK);
    });
    del(s.book.Handle(), bad);
    again.join();
    EXPECT_EQ(nullptr, s.book.BlackListed("bad1"));
}

TEST(RostDialogsConfirm, AGroupDeletionRemovesTheGroup) {
    Session s(L"rd-delgroup");
    GroupHandle classmates = s.book.Group("112");
    std::atomic<bool> ok{true};
    std::thread user([&] {
        HWND dialog = testkit::FindWindowByTitle(L"删除组");
        if (!dialog) {
            ok = false;
            return;
        }
        if (testkit::Text(dialog, IDC_DELETE_LABEL) != L"同学(112)") ok = false;
        Screenshot(dialog, L"rostdialogs-delete-group.bmp");
        testkit::Click(dialog, IDC_DELETE_OK);
    });
    Export<FriendVerbFn>("RostDialogs_DelGroup")(s.book.Handle(), reinterpret_cast<FriendHandle>(classmates),
                                                 s.book.Group("11"));
    user.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(nullptr, s.book.Group("112"));
    ASSERT_EQ(1u, Posts().size());
    EXPECT_EQ("DeleteGroup", Posts()[0].action);
}

// ---- search

std::string Rows() {
    std::string rows = "<cell name=\"friend-list\" type=\"27\">";
    rows += "<record>" + Cell("friend-id", "u5") + Cell("friend-nicename", "小明") + Cell("friend-sex", "1") +
            Cell("friend-province", "11") + Cell("friend-city", "海淀") + "</record>";
    rows += "<record>" + Cell("friend-id", "u6") + Cell("friend-nicename", "A&amp;B") + Cell("friend-sex", "2") +
            Cell("friend-province", "99") + Cell("friend-city", "某地") + "</record>";
    rows += "<record>" + Cell("friend-id", "u7") + Cell("friend-nicename", "无名") + "</record>";
    return rows + "</cell>";
}

std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[64] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

HWND ChildDialog(HWND parent, int controlId) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, controlId)) return child;
    return nullptr;
}

TEST(RostDialogsSearch, QueriesPagesRowsAndStatus) {
    Session s(L"rd-search");
    auto search = [&](HostContext book) { Export<SearchUserFn>("RostDialogs_SearchUser")(book); };
    search(s.book.Handle());
    HWND dialog = testkit::FindWindowByTitle(Caption());
    ASSERT_TRUE(dialog);
    search(s.book.Handle());
    Pump(100);
    EXPECT_EQ(1, testkit::CountWindowsByTitle(Caption()));
    HWND page = ChildDialog(dialog, IDC_RESULT_LIST);
    HWND fields = ChildDialog(dialog, IDC_FIELD_ACCOUNT);
    ASSERT_TRUE(page && fields);
    HWND list = GetDlgItem(page, IDC_RESULT_LIST);
    EXPECT_FALSE(IsWindowVisible(fields));
    EXPECT_TRUE(SendMessageW(GetDlgItem(page, IDC_RESULT_ONLINE), BM_GETCHECK, 0, 0) == BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_RESULT_ONLINE)));
    EXPECT_TRUE(Screenshot(dialog, L"rostdialogs-search.bmp"));

    // The pane hidden: an empty query.
    auto idle = [&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SEARCH_FIND)) != FALSE; };
    Queue("SearchFriendList2PS", Rows());
    testkit::Click(dialog, IDC_SEARCH_FIND);
    Pump(100);
    ASSERT_TRUE(testkit::PumpUntilDone(idle));
    ASSERT_EQ(1u, Posts().size());
    EXPECT_EQ("&begrec=1&endrec=10", Posts()[0].body);
    ASSERT_EQ(3, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(L"男", CellText(list, 0, 2));
    EXPECT_EQ(L"北京", CellText(list, 0, 3));
    EXPECT_EQ(L"A&B", CellText(list, 1, 1));
    EXPECT_EQ(L"女", CellText(list, 1, 2));
    EXPECT_EQ(L"99", CellText(list, 1, 3));
    EXPECT_EQ(L"", CellText(list, 2, 2));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_RESULT_STATUS)));

    // The pane shown: account "123" and "女".
    RECT small;
    GetWindowRect(dialog, &small);
    testkit::Click(dialog, IDC_SEARCH_ADVANCED);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return IsWindowVisible(fields) != FALSE; }));
    EXPECT_EQ(L"高级<<", testkit::Text(dialog, IDC_SEARCH_ADVANCED));
    RECT large;
    GetWindowRect(dialog, &large);
    EXPECT_GT(large.bottom - large.top, small.bottom - small.top);
    testkit::SetText(fields, IDC_FIELD_ACCOUNT, L"123");
    testkit::Pick(fields, IDC_FIELD_SEX, L"女");
    ResetServer();
    Queue("SearchFriendList2PS", Rows());
    testkit::Click(dialog, IDC_SEARCH_FIND);
    Pump(100);
    ASSERT_TRUE(testkit::PumpUntilDone(idle));
    EXPECT_TRUE(Screenshot(dialog, L"rostdialogs-search-rows.bmp"));
    ASSERT_EQ(1u, Posts().size());
    EXPECT_EQ("id=123&sex=2&&begrec=1&endrec=10", Posts()[0].body);

    // "上一页" on the first page sends nothing; "下一页" asks for 11 to 20; an empty page
    // says so.
    ResetServer();
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_RESULT_PREVIOUS, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_RESULT_PREVIOUS)));
    Pump(300);
    EXPECT_TRUE(Posts().empty());
    Queue("SearchFriendList2PS", Cell("message", "none"), "0");
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_RESULT_NEXT, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_RESULT_NEXT)));
    Pump(100);
    ASSERT_TRUE(testkit::PumpUntilDone(idle));
    ASSERT_EQ(1u, Posts().size());
    EXPECT_EQ("id=123&sex=2&&begrec=11&endrec=20", Posts()[0].body);
    EXPECT_EQ(0, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, IDC_RESULT_STATUS)));
    EXPECT_EQ(L"已经没有您要搜索的记录。", testkit::Text(page, IDC_RESULT_STATUS));
    // An empty page answered as a success says so too.
    ResetServer();
    Queue("SearchFriendList2PS", "<cell name=\"friend-list\" type=\"27\"></cell>");
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_RESULT_NEXT, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_RESULT_NEXT)));
    Pump(100);
    ASSERT_TRUE(testkit::PumpUntilDone(idle));
    ASSERT_EQ(1u, Posts().size());
    EXPECT_EQ("id=123&sex=2&&begrec=21&endrec=30", Posts()[0].body);
    EXPECT_EQ(0, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, IDC_RESULT_STATUS)));
    EXPECT_EQ(L"已经没有您要搜索的记录。", testkit::Text(page, IDC_RESULT_STATUS));

    // Hiding the pane again empties the query; a close mid-search waits for the worker.
    testkit::Click(dialog, IDC_SEARCH_ADVANCED);
    Pump(100);
    EXPECT_FALSE(IsWindowVisible(fields));
    ResetServer();
    Queue("SearchFriendList2PS", Rows(), "1", 800);
    testkit::Click(dialog, IDC_SEARCH_FIND);
    Pump(150);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(dialog); }));
    EXPECT_EQ("&begrec=1&endrec=10", Posts()[0].body);
}

// A user's hands for the result page: the system's input queue, and a helper thread that
// works the popup menu and the message boxes while this thread sits in their loops.
void SendMouse(DWORD flags, POINT screen = {}) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        input.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(screen.x) * 65536 + width / 2) / width);
        input.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(screen.y) * 65536 + height / 2) / height);
    }
    SendInput(1, &input, sizeof input);
}

void PressKey(WORD vk) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = vk;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

HWND WaitPopupMenu() {
    for (int i = 0; i < 300; ++i) {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
            if (IsWindowVisible(w)) return w;
        Sleep(10);
    }
    return nullptr;
}

// Right-clicks the row and, on a helper thread, chooses the menu's one entry, then runs
// `then` (still on the helper) while this thread goes on dispatching.
bool ChooseOnRow(HWND dialog, HWND list, int row, const wchar_t* picture, const std::function<void()>& then) {
    RECT r = {LVIR_LABEL};
    if (!SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r))) return false;
    POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(list, &centre);
    std::atomic<bool> done{false}, chosen{false};
    std::thread helper([&] {
        HWND menu = WaitPopupMenu();
        if (menu) {
            Sleep(200);
            if (picture) {
                std::wstring dir = g_stage + L"screenshots";
                CreateDirectoryW(dir.c_str(), nullptr);
                testkit::SaveBitmapFile(testkit::CaptureWindow(dialog), dir + L"\\" + picture);
            }
            PressKey(VK_DOWN);
            PressKey(VK_RETURN);
            chosen = true;
            then();
        }
        done = true;
    });
    SetForegroundWindow(dialog);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, centre);
    Pump(100);
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    testkit::PumpUntilDone([&] { return done.load(); }, 15000);
    helper.join();
    Pump(200);
    return chosen;
}

bool Traced(const std::string& part) {
    for (const std::string& line : TraceLines())
        if (line.find(part) != std::string::npos) return true;
    return false;
}

TEST(RostDialogsSearch, ARightClickedRowAsksThePresenceTabForFriendship) {
    Session s(L"rd-search-add");
    Export<SearchUserFn>("RostDialogs_SearchUser")(s.book.Handle());
    HWND dialog = testkit::FindWindowByTitle(Caption());
    ASSERT_TRUE(dialog);
    HWND page = ChildDialog(dialog, IDC_RESULT_LIST);
    ASSERT_TRUE(page);
    HWND list = GetDlgItem(page, IDC_RESULT_LIST);
    std::string rows = "<cell name=\"friend-list\" type=\"27\">";
    rows += "<record>" + Cell("friend-id", "u8") + Cell("friend-nicename", "新人") + Cell("friend-sex", "2") +
            Cell("friend-province", "11") + Cell("friend-city", "海淀") + "</record>";
    rows += "<record>" + Cell("friend-id", "10001") + Cell("friend-nicename", "我") + "</record>";
    rows += "<record>" + Cell("friend-id", "n1") + Cell("friend-nicename", "小明") + "</record>";
    Queue("SearchFriendList2PS", rows + "</cell>");
    testkit::Click(dialog, IDC_SEARCH_FIND);
    Pump(100);
    ASSERT_TRUE(testkit::PumpUntilDone([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SEARCH_FIND)) != FALSE; }));
    ASSERT_EQ(3, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));

    // A new user: the row is chosen and the presence tab asked with the row's record.
    ClearTrace();
    EXPECT_TRUE(ChooseOnRow(dialog, list, 0, L"rostdialogs-search-menu.bmp", [] {}));
    EXPECT_EQ(LVIS_SELECTED, SendMessageW(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED));
    EXPECT_TRUE(Traced("PresenceTab.dll DoCommand 3 ")) << "no friendship request";
    EXPECT_TRUE(Traced(" info=u8 " + Ansi("新人") + " sex=2 status=1"));

    // The own account and a friend already in the book: a warning each, nothing asked.
    ClearTrace();
    for (const auto& expected : {std::make_pair(1, L"不能加自己为好友！"), std::make_pair(2, L"您已经添加过这个好友！")}) {
        testkit::MessageBoxSeen box;
        EXPECT_TRUE(ChooseOnRow(dialog, list, expected.first, nullptr, [&] {
            box = testkit::WaitMessageBox(5000, dialog);
            if (box) testkit::DismissMessageBox(box);
        }));
        EXPECT_EQ(expected.second, box.text);
        EXPECT_EQ(Caption(), box.caption);
    }
    EXPECT_FALSE(Traced("DoCommand 3 "));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(dialog); }));
}

}  // namespace

// The dialogs read their partners and settings beside the host program: the test runs
// from a copy of itself in a program folder of its own.
// ---- tip of the day
typedef void(WINAPI* ShowTipDayFn)();

const wchar_t kTipKey[] = L"SOFTWARE\\Vantor\\Tutorum";

void ForgetTipKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTipKey); }

void SetTipDay(DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTipKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                             nullptr));
    RegSetValueExW(key, L"TipDay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

// The stored value, or -1 without key or value.
long TipDay() {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kTipKey, L"TipDay", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<long>(value);
}

HWND TipWindow() { return testkit::FindWindowByTitle(L"软件介绍"); }

void CloseTip(HWND tip) {
    testkit::Click(tip, IDC_TIPDAY_CLOSE);
    EXPECT_TRUE(testkit::PumpUntilDone([&] { return !IsWindow(tip); }));
}

TEST(RostDialogsTipDay, TheChoiceDecidesAndEveryClickIsStored) {
    Session s(L"rd-tipday");
    auto show = [] { Export<ShowTipDayFn>("UI_ShowTipDay")(); };

    // No key: the window shows, and the box has nowhere to keep its choice.
    ForgetTipKey();
    show();
    HWND tip = TipWindow();
    ASSERT_TRUE(tip);
    EXPECT_TRUE(GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    testkit::Click(tip, IDC_TIPDAY_DONT_SHOW);
    Pump(200);
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTipKey, 0, KEY_READ, &key)) << "the key was created";
    CloseTip(tip);
    EXPECT_TRUE(WaitDialogsUnloaded()) << "the window's use came back";

    SetTipDay(1);
    show();
    Pump(200);
    EXPECT_FALSE(TipWindow());

    SetTipDay(2);
    show();
    tip = TipWindow();
    ASSERT_TRUE(tip);
    show();
    Pump(200);
    EXPECT_EQ(1, testkit::CountWindowsByTitle(L"软件介绍"));
    // The browser covers the marked rectangle and shows the skin's page.
    HWND page = GetDlgItem(tip, IDC_TIPDAY_PAGE);
    RECT area = {};
    GetWindowRect(page, &area);
    POINT inside = {area.left + 10, area.top + 10};
    ScreenToClient(tip, &inside);
    HWND browser = ChildWindowFromPointEx(tip, inside, CWP_SKIPINVISIBLE);
    EXPECT_TRUE(browser && browser != tip && browser != page);
    Pump(300);
    EXPECT_TRUE(Screenshot(tip, L"rostdialogs-tipday.bmp"));

    testkit::Click(tip, IDC_TIPDAY_DONT_SHOW);
    EXPECT_TRUE(testkit::PumpUntilDone([] { return TipDay() == 1; }));
    testkit::Click(tip, IDC_TIPDAY_DONT_SHOW);
    EXPECT_TRUE(testkit::PumpUntilDone([] { return TipDay() == 0; }));
    CloseTip(tip);
    ForgetTipKey();
}

namespace {

int RunInPrivateFolder() {
    std::wstring stage = testkit::ProgramDir();
    std::string ports = testkit::ReadFileBytes(stage + L"presence-fake.port");
    if (ports.empty()) {
        fprintf(stderr, "presence-fake.port is missing: the fake presence server did not start\n");
        return 1;
    }
    int port = atoi(ports.c_str());
    testkit::PrivateFolder folder;
    folder.name = L"rostdialogs";
    folder.files = {L"RostDialogs.dll", L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll", L"RostLedger.dll",
                    L"RostKeeper.dll", L"RostBase.dll", L"CoreStub.dll", L"zumbase.dll", L"PresenceCore.dll",
                    L"WebFetch.dll", L"CommonKit.dll", L"SkinFrame.dll", L"PictKit.dll", L"KnobKit.dll",
                    L"GlassKit.dll", L"AnchorKit.dll", L"HookRelay.dll", L"SurfView.dll"};
    folder.renamed = {{L"TraceDeck.dll", L"TabDeck.dll"}, {L"TracePlug.dll", L"PresenceTab.dll"}};
    folder.trees = {L"config", L"Skins"};
    folder.written = {
        {L"config\\psimprof.cfg",
         "[PSConfig]\r\npsUrl=http://127.0.0.1:" + std::to_string(port) + "/web/\r\ngkenable=0\r\n"},
        {L"config\\pruv2.cfg",
         "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n[PlugsModule]\r\n"},
        {L"behave.cfg", "[PresenceTab.dll]\r\nParam7=1\r\nParam3=2\r\n"}};
    return testkit::RunThisExeInPrivateFolder(folder, {{L"RD_FAKE_PORT", std::to_wstring(port)}, {L"RD_STAGE", stage}});
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t port[32] = {};
    if (!GetEnvironmentVariableW(L"RD_FAKE_PORT", port, 32)) return RunInPrivateFolder();
    rdtest::g_port = _wtoi(port);
    wchar_t stage[MAX_PATH] = {};
    GetEnvironmentVariableW(L"RD_STAGE", stage, MAX_PATH);
    rdtest::g_stage = stage;
    g_host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    DestroyWindow(g_host);
    return result;
}
