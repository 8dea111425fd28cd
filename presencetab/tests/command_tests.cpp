// Commands from other plug-ins in a signed-in session (PresenceChild.h): through the
// container and the command centre, blocking a friend through the contact dialogs, and
// the add-friend command for a UTF-16 record.
// They run in the dialog tests' session, since both show windows.
#include "PresenceChild.h"

#include <winsock2.h>

#include "DialogDriver.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"

using namespace pttest;
using namespace ptchild;

namespace {

// A listener on a loopback address whose queue is full: further connects are never
// taken, so a connect there only ends by its own time-out.
class FullListener {
public:
    FullListener(const char* address, int port) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr(address);
        at.sin_port = htons(static_cast<u_short>(port));
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener_, 1) != 0) return;
        for (int i = 0; i < 8; ++i) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
            fillers_.push_back(s);
        }
        Sleep(300);
        ready_ = true;
    }
    ~FullListener() {
        for (SOCKET s : fillers_) closesocket(s);
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        WSACleanup();
    }
    bool Ready() const { return ready_; }

private:
    SOCKET listener_ = INVALID_SOCKET;
    std::vector<SOCKET> fillers_;
    bool ready_ = false;
};

class PresenceCommands : public PresenceChild {
protected:
    void StartFacade() {
        facade = LoadLibraryW((folder + L"CoreFront.dll").c_str());
        ASSERT_NE(nullptr, facade);
        vantor::ProcAddress<PFN_CoreFront_Start>(facade, MAKEINTRESOURCEA(COREFRONT_START_ORDINAL))();
    }
    void TearDown() override {
        if (facade) {
            vantor::ProcAddress<PFN_CoreFront_Stop>(facade, MAKEINTRESOURCEA(COREFRONT_STOP_ORDINAL))();
            FreeLibrary(facade);
        }
        PresenceChild::TearDown();
    }
    void Block(const char* id) {
        GroupHandle group = nullptr;
        auto find = vantor::ProcAddress<PFN_RostLedger_IsUserInFriendsA>(ledger, "RostLedger_IsUserInFriendsA");
        FriendHandle entry = find(1, id, &group);
        ASSERT_NE(nullptr, entry) << id;
        presence::PreventUserParam block = {entry, group};
        doCommand(plug, presence::PresCmd_PreventUser, reinterpret_cast<INT_PTR>(&block));
    }
    bool Blacklisted(const char* id) {
        auto is = vantor::ProcAddress<PFN_RostLedger_IsUserInBlackListA>(ledger, "RostLedger_IsUserInBlackListA");
        return is(1, id) != FALSE;
    }
    HMODULE facade = nullptr;
};

TEST_F(PresenceCommands, TheContainerStartsTheTabAndTheCommandCentreReachesIt) {
    Online({});
    testkit::WriteFileBytes(folder + L"config\\pruv2.cfg",
                            "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n[PlugsModule]\r\n");
    HMODULE host = LoadLibraryW((folder + L"PlugHost.dll").c_str());
    ASSERT_NE(nullptr, host);
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    // The account has the chat service: the container starts the presence tab for it.
    vantor::ProcAddress<PFN_Container_Load>(host, CONTAINER_LOAD_NAME)(1, parent);
    ASSERT_NE(nullptr, GetModuleHandleW(L"PresenceTab.dll"));
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") >= 1; })) << "the tab did not start";

    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
    ASSERT_NE(nullptr, action);
    FriendInfoA target = {};
    vantor::CopyField(target.id, "t1");
    action(PLUG_PRESENCE, presence::PresCmd_AddFriendA, reinterpret_cast<INT_PTR>(&target));
    HWND dialog = testkit::FindWindowByTitle(L"添加好友", 0);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"t1", testkit::Text(dialog, 1011));

    // Unloading the container takes the tab and its dialog with it.
    vantor::ProcAddress<PFN_Container_Unload>(host, CONTAINER_UNLOAD_NAME)();
    EXPECT_FALSE(IsWindow(dialog));
    DestroyWindow(parent);
    FreeLibrary(host);
    Pump(300);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"PresenceTab.dll"));
}

TEST_F(PresenceCommands, BlockingTellsOnlyOnlineFriendsAndNeverWaitsLong) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    Online({{"x1", "127.0.0.2"}, {"z1", "127.0.0.3"}});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return server->Count("UpdateUserStatus") == 1; }, 15000));
    ASSERT_EQ(1, Info(Find("z1")).status.status);
    StartFacade();
    ASSERT_TRUE(peer->Reset());
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));

    // Online: the server moves it to the black list, then its client hears "0004".
    Block("x1");
    EXPECT_EQ("friendID=x1&GroupID=0&proxyflag=1", LastBody("ChangeGroup"));
    EXPECT_TRUE(Blacklisted("x1"));
    EXPECT_EQ(nullptr, Find("x1"));
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.2").size() == 1; }));
    std::vector<PeerRecord> got = RecordsAt("127.0.0.2");
    EXPECT_EQ("0004", got[0].command);
    EXPECT_EQ(kOwnId, got[0].sender);
    EXPECT_EQ("x1", got[0].receiver);

    // Offline: blocked all the same, nobody is told.
    Block("y1");
    EXPECT_EQ("friendID=y1&GroupID=0&proxyflag=1", LastBody("ChangeGroup"));
    EXPECT_TRUE(Blacklisted("y1"));
    Pump(300);
    EXPECT_EQ(1u, peer->Received().size());

    // Online at an address that takes no connection: the command still returns soon.
    FullListener full("127.0.0.3", port);
    ASSERT_TRUE(full.Ready());
    DWORD started = GetTickCount();
    Block("z1");
    DWORD spent = GetTickCount() - started;
    EXPECT_LT(spent, 7000u);
    EXPECT_TRUE(Blacklisted("z1"));

    // Refused by the server: nothing changes, nobody is told.
    server->Queue("ChangeGroup", "<lwData docId=\"0\" opname=\"x\">" + Cell("message", "no") + "</lwData>");
    std::thread dismiss([] {
        testkit::MessageBoxSeen box = testkit::WaitMessageBox(10000);
        if (box) testkit::DismissMessageBox(box);
    });
    Block("w1");
    dismiss.join();
    EXPECT_FALSE(Blacklisted("w1"));
    EXPECT_NE(nullptr, Find("w1"));
    EXPECT_EQ(1u, peer->Received().size());
}

TEST_F(PresenceCommands, AddFriendForAWideRecordConvertsItFirst) {
    Online({});
    Create();
    FriendInfoW target = {};
    vantor::CopyField(target.id, L"w9");
    vantor::CopyField(target.nickname, vantor::AnsiToWide(A("小九")).c_str());
    doCommand(plug, presence::PresCmd_AddFriendW, reinterpret_cast<INT_PTR>(&target));
    HWND dialog = testkit::FindWindowByTitle(L"添加好友", 0);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"w9", testkit::Text(dialog, 1011));
    EXPECT_EQ(vantor::AnsiToWide(A("小九")), testkit::Text(dialog, 1012));
    testkit::Click(dialog, 1015);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));

    // Without the conversion library nothing opens.
    ASSERT_TRUE(MoveFileW((folder + L"Toolcrate.dll").c_str(), (folder + L"Toolcrate.off").c_str()));
    doCommand(plug, presence::PresCmd_AddFriendW, reinterpret_cast<INT_PTR>(&target));
    EXPECT_EQ(0, testkit::CountWindowsByTitle(L"添加好友", false));
    MoveFileW((folder + L"Toolcrate.off").c_str(), (folder + L"Toolcrate.dll").c_str());
    // A null record opens nothing either.
    doCommand(plug, presence::PresCmd_AddFriendA, 0);
    doCommand(plug, presence::PresCmd_AddFriendW, 0);
    EXPECT_EQ(0, testkit::CountWindowsByTitle(L"添加好友", false));
}

}  // namespace
