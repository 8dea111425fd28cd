// The verification dialogs in a signed-in session (PresenceChild.h): requests sent from
// the add-friend dialog, answers given in the answer dialog and its group chooser, the
// notices of answers, and the teardown with every dialog open. Modal windows (the group
// chooser, message boxes) are driven from a helper thread while this one runs them.
#include "PresenceChild.h"

#include <thread>

#include "DialogDriver.h"
#include "Screenshot.h"

using namespace pttest;
using namespace ptchild;

namespace {

const wchar_t kSystemMessage[] = L"系统消息";

std::string FriendIpReply(const char* ip, int port) {
    return Reply(Cell("statuscode", "1") + Cell("ip", ip) + Cell("port", std::to_string(port)) +
                 Cell("localip", "10.0.0.9") + Cell("localport", "1"));
}

std::string Refusal() { return "<lwData docId=\"0\" opname=\"x\">" + Cell("message", "no") + "</lwData>"; }

std::wstring W(const char* utf8) { return vantor::AnsiToWide(A(utf8)); }

// Wine shows what was painted once the painting thread dispatches messages again: the
// waits pump this thread's (the dialog's own, or a helper's while the dialog's thread
// runs a modal loop).
void SavePicture(HWND window, const wchar_t* name) {
    testkit::PumpUntilDone([] { return false; }, 300);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpUntilDone([] { return false; }, 300);
    std::wstring dir = ParentDir() + L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    EXPECT_TRUE(testkit::SaveBitmapFile(testkit::CaptureWindow(window), dir + L"\\" + name)) << name;
}

std::wstring Caption() {
    wchar_t caption[128] = {};
    GetPrivateProfileStringW(L"Dialog", L"Caption", L"", caption, 128,
                             (testkit::ProgramDir() + L"config\\uiprof.cfg").c_str());
    return caption;
}

std::vector<std::wstring> ListItems(HWND dialog, int id) {
    std::vector<std::wstring> items;
    HWND list = GetDlgItem(dialog, id);
    LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

// What a helper thread saw of the modal windows it drove.
struct Seen {
    std::vector<std::wstring> groups;
    std::wstring prompt;
    testkit::MessageBoxSeen box;
};

// Waits for the group chooser, notes its list, picks `group` and confirms; then, when
// `box` is asked for, waits for a message box, notes it and dismisses it.
std::thread DriveChooser(Seen* seen, const wchar_t* group, bool box, const wchar_t* picture = nullptr) {
    return std::thread([=] {
        HWND chooser = testkit::FindWindowByTitle(L"选择组", 15000);
        if (!chooser) return;
        seen->groups = ListItems(chooser, 1022);
        seen->prompt = testkit::Text(chooser, 1000);
        if (group) testkit::Pick(chooser, 1022, group);
        if (picture) SavePicture(chooser, picture);
        testkit::Click(chooser, 1023);
        if (!box) return;
        seen->box = testkit::WaitMessageBox(15000);
        if (seen->box) testkit::DismissMessageBox(seen->box);
    });
}

FriendInfoA Target(const char* id, const char* nickname) {
    FriendInfoA target = {};
    vantor::CopyField(target.id, id);
    vantor::CopyField(target.nickname, A(nickname).c_str());
    return target;
}

class VerifyDialogs : public PresenceChild {
protected:
    GroupHandle GroupOf(const char* id) {
        GroupHandle group = nullptr;
        auto find = vantor::ProcAddress<PFN_RostLedger_IsUserInFriendsA>(ledger, "RostLedger_IsUserInFriendsA");
        return find(1, id, &group) ? group : nullptr;
    }
    std::string GroupId(GroupHandle group) {
        GroupInfoA info = {};
        auto get = vantor::ProcAddress<PFN_RostLedger_GetGroupInfoA>(ledger, "RostLedger_GetGroupInfoA");
        if (!group || !get(1, group, &info)) return "(none)";
        return vantor::FieldText(info.id);
    }
    bool Blacklisted(const char* id) {
        auto is = vantor::ProcAddress<PFN_RostLedger_IsUserInBlackListA>(ledger, "RostLedger_IsUserInBlackListA");
        return is(1, id) != FALSE;
    }
    void Platform(const char* id, const char* nickname) {
        auto set = vantor::ProcAddress<decltype(&::ZumStub_Set)>(zum, "ZumStub_Set");
        set((std::string("User.") + id).c_str(), "nickname", A(nickname).c_str());
        set((std::string("CustomerService.") + id).c_str(), "count", "1");
        set((std::string("CustomerService.") + id + ".0").c_str(), "id", "14");
        set((std::string("CustomerService.") + id + ".0").c_str(), "name", A("短信").c_str());
    }
    HWND OpenAddFriend(const char* id, const char* nickname) {
        FriendInfoA target = Target(id, nickname);
        doCommand(plug, presence::PresCmd_AddFriendA, reinterpret_cast<INT_PTR>(&target));
        // Sent, not posted: the dialog is there when the command returns.
        return testkit::FindWindowByTitle(L"添加好友", 0);
    }
    std::string Body(const char* action) { return LastBody(action); }
    // The user sends `id` a friend request from the add-friend dialog.
    void Ask(const char* id, const char* nickname) {
        HWND dialog = OpenAddFriend(id, nickname);
        ASSERT_NE(nullptr, dialog);
        testkit::Click(dialog, 1014);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
    }
};

TEST_F(VerifyDialogs, AddFriendDialogCutsTheTextAndSendsTheRequest) {
    int friendPort = ClosedPort();
    ASSERT_TRUE(peer->Listen("127.0.0.2", friendPort, "answer"));
    Online({});
    Create();

    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", friendPort));
    HWND dialog = OpenAddFriend("t1", "小T");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"t1", testkit::Text(dialog, 1011));
    EXPECT_EQ(W("小T"), testkit::Text(dialog, 1012));
    std::wstring typed;
    for (int i = 0; i < 150; ++i) typed += L"a中";
    testkit::Type(dialog, 1013, typed);
    Pump(100);
    EXPECT_EQ(typed.substr(0, 260), testkit::Text(dialog, 1013)) << "300 characters become 260";
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") == 1; }));
    SavePicture(dialog, L"presencetab-add-friend.bmp");
    testkit::Click(dialog, 1014);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
    EXPECT_NE(std::string::npos, Body("GetFriendIP").find("target_id=t1"));
    std::vector<PeerRecord> got = RecordsAt("127.0.0.2");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("0001", got[0].command);
    EXPECT_EQ(kOwnId, got[0].sender);
    EXPECT_EQ("t1", got[0].receiver);
    // 254 bytes at most, whole characters: 84 times "a中" and one "a" (253 bytes).
    std::wstring kept;
    for (int i = 0; i < 84; ++i) kept += L"a中";
    kept += L"a";
    EXPECT_EQ(vantor::WideToAnsi(kept), got[0].message);
    EXPECT_EQ(0, server->Count("SendRequestValidFriend2PS"));

    // Nobody listening: the server carries the request, and the dialog closes.
    peer->Unlisten("127.0.0.2", friendPort);
    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", friendPort));
    dialog = OpenAddFriend("t1", "小T");
    ASSERT_NE(nullptr, dialog);
    testkit::SetText(dialog, 1013, W("你好"));
    testkit::Click(dialog, 1014);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
    EXPECT_EQ(1, server->Count("SendRequestValidFriend2PS"));
    EXPECT_NE(std::string::npos, Body("SendRequestValidFriend2PS").find("target_id=t1"));

    // The server refuses too: a box with the dialog caption, and the dialog stays usable.
    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", friendPort));
    server->Queue("SendRequestValidFriend2PS", Refusal());
    dialog = OpenAddFriend("t1", "小T");
    ASSERT_NE(nullptr, dialog);
    Seen seen;
    std::thread driver([&] {
        seen.box = testkit::WaitMessageBox(15000);
        if (seen.box) testkit::DismissMessageBox(seen.box);
    });
    testkit::Click(dialog, 1014);
    PumpUntil([&] { return seen.box.window && !IsWindow(seen.box.window); }, 20000);
    driver.join();
    EXPECT_EQ(L"发送验证请求信息失败，请重试！", seen.box.text);
    EXPECT_EQ(Caption(), seen.box.caption);
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1014)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1015)));
    testkit::Click(dialog, 1015);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
}

TEST_F(VerifyDialogs, AcceptingAddsTheRequesterOnlyAfterTheServerMovedIt) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    Online({});
    Create();
    Platform("q1", "张三");

    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", 1));
    Send(PeerFields("0001", "q1", "张三"));
    Send(PeerFields("0001", "q1", "张三"));
    HWND answer = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(1, testkit::CountWindowsByTitle(kSystemMessage)) << "one answer dialog per requester";
    EXPECT_EQ(L"q1", testkit::Text(answer, 1011));
    EXPECT_EQ(W("张三"), testkit::Text(answer, 1012));
    EXPECT_EQ(W("你好，加个好友"), testkit::Text(answer, 1016));
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") == 1; }));
    SavePicture(answer, L"presencetab-answer.bmp");

    Seen seen;
    std::thread driver = DriveChooser(&seen, L"同学", false, L"presencetab-group-chooser.bmp");
    testkit::Click(answer, 1020);
    bool closed = PumpUntil([&] { return !IsWindow(answer); }, 20000);
    driver.join();
    ASSERT_TRUE(closed);
    EXPECT_EQ((std::vector<std::wstring>{W("网络好友"), W("同学")}), seen.groups);
    EXPECT_EQ(W("您想把 张三 加入到哪个组："), seen.prompt);
    EXPECT_EQ("target_id=q1&response_code=0&proxyflag=1", Body("SendResponseValidFriend2PS"));
    std::vector<PeerRecord> got = RecordsAt("127.0.0.2");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("0002", got[0].command);
    EXPECT_EQ("0001", got[0].answer);
    EXPECT_EQ("q1", got[0].receiver);
    EXPECT_EQ("friendID=q1&GroupID=111&proxyflag=0", Body("ChangeGroup"));
    EXPECT_EQ(1, server->Count("ModFriendInf2PS"));
    EXPECT_EQ("111", GroupId(GroupOf("q1")));
    EXPECT_TRUE(FileHas("q1"));
    auto query = vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyA>(ledger, "RostLedger_QueryFriendServicePolicyA");
    ServicePolicyInfoA policy = {};
    EXPECT_TRUE(query(1, Find("q1"), 14, &policy)) << "the services came with the record";

    // A refused move: the failure box, the black-list entry kept, the buttons back.
    ASSERT_TRUE(Blacklisted("q2"));
    Platform("q2", "小黑");
    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", 1));
    server->Queue("ChangeGroup", Refusal());
    Send(PeerFields("0001", "q2", "小黑"));
    answer = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, answer);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") == 2; }));
    Seen refused;
    driver = DriveChooser(&refused, nullptr, true);
    testkit::Click(answer, 1020);
    PumpUntil([&] { return refused.box.window && !IsWindow(refused.box.window); }, 20000);
    driver.join();
    EXPECT_EQ(L"发送反馈信息失败，请重试！", refused.box.text);
    EXPECT_EQ(Caption(), refused.box.caption);
    ASSERT_TRUE(IsWindow(answer));
    EXPECT_TRUE(Blacklisted("q2"));
    EXPECT_EQ(nullptr, Find("q2"));
    for (int id : {1019, 1020, 1002}) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(answer, id))) << id;

    // Refusing with a reason typed while the box was never ticked: the reason still goes.
    testkit::SetText(answer, 1018, W("不认识"));
    int before = server->Count("SendResponseValidFriend2PS");
    testkit::Click(answer, 1019);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(answer); }, 15000));
    got = RecordsAt("127.0.0.2");
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("0000", got[2].answer);
    EXPECT_EQ(A("不认识"), got[2].message);
    EXPECT_EQ(before, server->Count("SendResponseValidFriend2PS")) << "the requester heard it directly";

    // Refusing with nobody listening: the server is told, code 1.
    peer->Unlisten("127.0.0.2", port);
    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", 1));
    Send(PeerFields("0001", "q3", "小三"));
    answer = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, answer);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") == 3; }));
    testkit::Click(answer, 1019);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(answer); }, 15000));
    EXPECT_EQ("target_id=q3&response_code=1&proxyflag=1", Body("SendResponseValidFriend2PS"));
}

TEST_F(VerifyDialogs, AnswersToOurRequestsOpenTheirNotices) {
    Online({});
    Create();

    // Refused: the reason, and "加为好友" asks again.
    Ask("r1", "小R");
    Send(PeerFields("0002", "r1", "小R", "02", "0000"));
    HWND refusal = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, refusal);
    EXPECT_EQ(L"r1", testkit::Text(refusal, 1011));
    EXPECT_EQ(W("小R"), testkit::Text(refusal, 1012));
    EXPECT_EQ(W("你好，加个好友"), testkit::Text(refusal, 1018));
    SavePicture(refusal, L"presencetab-refusal.bmp");
    testkit::Click(refusal, 1026);
    HWND again = testkit::FindWindowByTitle(L"添加好友");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(L"r1", testkit::Text(again, 1011));
    testkit::Click(again, 1015);
    testkit::Click(refusal, 1023);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(refusal) && !IsWindow(again); }));

    // Accepted by a stranger: one friend-added dialog, whose save stores it with services.
    Platform("a1", "小A");
    Ask("a1", "小A");
    Send(PeerFields("0002", "a1", "小A", "02", "0001"));
    Send(PeerFields("0002", "a1", "小A", "02", "0001"));
    HWND added = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, added);
    Pump(300);
    EXPECT_EQ(1, testkit::CountWindowsByTitle(kSystemMessage));
    EXPECT_EQ((std::vector<std::wstring>{W("网络好友"), W("同学")}), ListItems(added, 1022));
    Pump(300);
    SavePicture(added, L"presencetab-friend-added.bmp");
    ASSERT_TRUE(testkit::Pick(added, 1022, W("同学")));
    testkit::Click(added, 1023);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(added); }, 15000));
    EXPECT_EQ("friendID=a1&GroupID=111&proxyflag=0", Body("ChangeGroup"));
    EXPECT_EQ(1, server->Count("ModFriendInf2PS"));
    EXPECT_EQ("111", GroupId(GroupOf("a1")));
    EXPECT_EQ(A("小A"), Info(Find("a1")).nickname);
    auto query = vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyA>(ledger, "RostLedger_QueryFriendServicePolicyA");
    ServicePolicyInfoA policy = {};
    EXPECT_TRUE(query(1, Find("a1"), 14, &policy));

    // Accepted by someone who is a friend already: nothing opens.
    Ask("x1", "小X");
    Send(PeerFields("0002", "x1", "小X", "02", "0001"));
    Pump(300);
    EXPECT_EQ(0, testkit::CountWindowsByTitle(kSystemMessage));

    // A request without a nickname shows the one the platform knows.
    Platform("e1", "小E");
    Send(PeerFields("0001", "e1", ""));
    HWND answer = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, answer);
    EXPECT_TRUE(PumpUntil([&] { return testkit::Text(answer, 1012) == W("小E"); }, 5000)) << "looked up by the dialog's thread";
    testkit::Click(answer, 1002);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(answer); }));
}

// A refusal in the name of a stranger we asked comes first from another host: the
// stranger's own acceptance, from where the presence server says it is, still opens its notice.
TEST_F(VerifyDialogs, AForgedAnswerFirstLeavesTheStrangersOwn) {
    Online({});
    Create();
    Where("s1", "127.0.0.3");
    Platform("s1", "小S");
    Ask("s1", "小S");
    SendFrom("127.0.0.66", PeerFields("0002", "s1", "小S", "02", "0000"));
    Pump(1000);
    EXPECT_EQ(0, testkit::CountWindowsByTitle(kSystemMessage));
    SendFrom("127.0.0.3", PeerFields("0002", "s1", "小S", "02", "0001"));
    HWND added = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, added);
    Pump(300);
    EXPECT_EQ(1, testkit::CountWindowsByTitle(kSystemMessage)) << "the forged refusal opened its notice too";
    EXPECT_FALSE(ListItems(added, 1022).empty()) << "the friend-added notice, with its groups";
}

TEST_F(VerifyDialogs, FloodsOfRequestsAndAnswersOpenFewDialogs) {
    Online({});
    Create();
    // Requests from thirty made-up ids, and refusals of a request nobody made.
    for (int i = 0; i < 30; ++i) Send(PeerFields("0001", ("m" + std::to_string(i)).c_str(), "M"));
    for (int i = 0; i < 30; ++i) Send(PeerFields("0002", "r1", "小R", "02", "0000"));
    Pump(500);
    EXPECT_EQ(8, testkit::CountWindowsByTitle(kSystemMessage));
}

TEST_F(VerifyDialogs, DestroyClosesEveryDialogAndEndsTheirThreads) {
    int friendPort = ClosedPort();
    ASSERT_TRUE(peer->Listen("127.0.0.2", friendPort, "silent"));
    Online({});
    Create();
    Ask("r1", "小R");
    Ask("a1", "小A");
    Send(PeerFields("0001", "q1", "张三"));
    Send(PeerFields("0002", "r1", "小R", "02", "0000"));
    Send(PeerFields("0002", "a1", "小A", "02", "0001"));
    Pump(500);
    int fetched = server->Count("GetFriendIP");
    server->Queue("GetFriendIP", FriendIpReply("127.0.0.2", friendPort));
    HWND adding = OpenAddFriend("t1", "小T");
    ASSERT_NE(nullptr, adding);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") >= fetched + 1; }));
    Pump(300);
    testkit::SetText(adding, 1013, W("你好"));
    testkit::Click(adding, 1014);
    // The request sits with a friend that never answers.
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.2").size() == 1; }, 10000));
    EXPECT_EQ(3, testkit::CountWindowsByTitle(kSystemMessage));

    // The dialogs' threads end at once; each window then takes Wine's X11 driver about
    // 2 s to withdraw on a display without a window manager.
    DWORD spent = Destroy();
    EXPECT_LT(spent, 12000u);
    EXPECT_EQ(0, testkit::CountWindowsByTitle(kSystemMessage, false));
    EXPECT_EQ(0, testkit::CountWindowsByTitle(L"添加好友", false));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"PresenceTab.dll")) << "nothing of the library is left running";
    Pump(300);
}

// The plug-in goes while the group chooser runs its modal loop (a timer of this thread
// does it from inside that loop): the chooser and the answer end, the answer's object
// lasts until the loop returned, and nothing is left running.
PFN_TabPlug_Destroy g_destroyFromTimer = nullptr;
TabPlugHandle g_plugForTimer = nullptr;
int g_destroyResult = -1;

void CALLBACK DestroyOnceTheChooserShows(HWND, UINT, UINT_PTR timer, DWORD) {
    if (!testkit::FindWindowByTitle(L"选择组", 0)) return;
    KillTimer(nullptr, timer);
    g_destroyResult = g_destroyFromTimer(g_plugForTimer);
}

TEST_F(VerifyDialogs, DestroyDuringTheGroupChoiceEndsTheAnswer) {
    Online({});
    Create();
    Send(PeerFields("0001", "q1", "张三"));
    HWND answer = testkit::FindWindowByTitle(kSystemMessage);
    ASSERT_NE(nullptr, answer);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetFriendIP") == 1; }));
    g_destroyFromTimer = destroy;
    g_plugForTimer = plug;
    g_destroyResult = -1;
    SetTimer(nullptr, 0, 50, DestroyOnceTheChooserShows);
    testkit::Click(answer, 1020);
    ASSERT_TRUE(PumpUntil([&] { return g_destroyResult != -1; }, 15000));
    plug = nullptr;
    Pump(300);
    EXPECT_EQ(1, g_destroyResult);
    EXPECT_FALSE(IsWindow(answer));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, testkit::CountWindowsByTitle(L"选择组", false));
    EXPECT_EQ(0, server->Count("SendResponseValidFriend2PS")) << "no group was chosen";
    FreeLibrary(plugModule);
    plugModule = nullptr;
    EXPECT_EQ(nullptr, GetModuleHandleW(L"PresenceTab.dll"));
}

TEST(PresenceTab, SessionWithVerificationDialogs) { RunSession("3", L"VerifyDialogs.*:PresenceCommands.*"); }

}  // namespace
