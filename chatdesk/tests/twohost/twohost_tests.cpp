// Two clients chatting through the fake IM server: each runs in a child copy of this
// program with a program folder, account, loopback address and contact book of its own.
// The first opens a chat with the second, sends a text and waits for the answer; the
// second waits for the text and answers it. Each logs what its display showed.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <thread>

#include "ChatDialog.h"
#include "ChildRun.h"
#include "DialogDriver.h"
#include "ImService.h"
#include "ModulePath.h"
#include "RostBase.h"
#include "TestSupport.h"
#include "WindowClient.h"
#include "Text.h"

using namespace cdtest;
using chatdesk::ChatDialog;

namespace {

const char kFirstId[] = "10001";
const char kSecondId[] = "20002";
const char kGreeting[] = "你好，在吗？";
const char kAnswer[] = "在，请讲。";

// One side of the chat: its account, the peer's, and the last bytes of the loopback
// addresses they listen on.
struct Side {
    const char* ownId;
    const char* peerId;
    int ownLast;
    int peerLast;
};

const Side kFirst = {kFirstId, kSecondId, 40, 41};
const Side kSecond = {kSecondId, kFirstId, 41, 40};

const wchar_t kLogVariable[] = L"CHATDESK_TWOHOST_LOGS";
const wchar_t kRouteVariable[] = L"CHATDESK_TWOHOST_ROUTE";

// Where the side's book says the peer is: where it listens for a direct link, otherwise an
// address where nothing listens, so that every link attempt fails and the texts go by relay.
std::string PeerAddress(const Side& side) {
    wchar_t route[16] = {};
    GetEnvironmentVariableW(kRouteVariable, route, 16);
    return LoopbackAddress(wcscmp(route, L"direct") == 0 ? side.peerLast : side.ownLast + 10);
}

// Builds the side's contact book in its program folder and hands it to the ClientCore
// stand-in; the peer's entry, or null.
FriendHandle BuildBook(const Side& side) {
    HMODULE rostBase = vantor::LoadProgramLibrary(L"RostBase.dll");
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    if (!rostBase || !core) return nullptr;
    auto load = vantor::ProcAddress<decltype(&RostBase_LoadA)>(rostBase, "RostBase_LoadA");
    auto setSelf = vantor::ProcAddress<decltype(&RostBase_SetCurrentAccountInfoA)>(rostBase, "RostBase_SetCurrentAccountInfoA");
    auto root = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rostBase, "RostBase_GetOnRootGroup");
    auto add = vantor::ProcAddress<decltype(&RostBase_AddFriendA)>(rostBase, "RostBase_AddFriendA");
    typedef void(WINAPI * SetStoreFn)(RostBaseHandle);
    auto setStore = vantor::ProcAddress<SetStoreFn>(core, "CoreStub_SetStore");
    if (!load || !setSelf || !root || !add || !setStore) return nullptr;
    RostBaseHandle store = load(side.ownId);
    if (!store) return nullptr;
    FriendInfoA self = {};
    strcpy(self.id, side.ownId);
    strcpy(self.nickname, "me");
    self.status.status = 1;
    self.status.publicIp = inet_addr(LoopbackAddress(side.ownLast).c_str());
    setSelf(store, &self);
    FriendInfoA peer = {};
    strcpy(peer.id, side.peerId);
    strcpy(peer.nickname, "peer");
    peer.status.status = 1;
    peer.status.publicIp = inet_addr(PeerAddress(side).c_str());
    FriendHandle entry = add(store, &peer, root(store));
    setStore(store);
    return entry;
}

std::string Shown(HWND edit) {
    int room = 2 * GetWindowTextLengthW(edit) + 1;
    std::string text(room, '\0');
    text.resize(GetWindowTextA(edit, &text[0], room));
    return text;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

void Send(ChatDialog* window, const char* utf8) {
    HWND dialog = window->Window();
    testkit::SetText(dialog, chatdesk::kComposeId, testkit::Wide(utf8));
    PumpFor(50);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, chatdesk::kSendButton)));
}

// The display's text in "<mode>.txt" of the parent's log folder.
void LogDisplay(const char* mode, ChatDialog* window) {
    wchar_t dir[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kLogVariable, dir, MAX_PATH)) return;
    testkit::WriteFileBytes(std::wstring(dir) + vantor::AnsiToWide(mode) + L".txt", Shown(window->Display()));
}

}  // namespace

// The first client: opens the chat, sends, waits for the answer.
TEST(TwoHostChild, Opener) {
    if (!ChildMode("twohost-a")) GTEST_SKIP() << "child run only";
    FriendHandle peer = BuildBook(kFirst);
    ASSERT_NE(nullptr, peer);
    WindowClient client;
    ASSERT_TRUE(Eventually([&] { return client->LoggedIn() && HasSession(kFirstId) && HasSession(kSecondId); }, 20000));
    client->DoCommand(1, reinterpret_cast<INT_PTR>(peer));
    ChatDialog* window = client.Window(kSecondId);
    ASSERT_NE(nullptr, window);
    // The link attempt on opening ends before the first text.
    ASSERT_TRUE(Eventually([window] { return !window->ThreadsRunning(); }, 10000));
    Send(window, kGreeting);
    const std::string answer = testkit::Ansi(kAnswer);
    EXPECT_TRUE(Eventually([&] { return Count(Shown(window->Display()), answer) > 0; }, 20000));
    PumpFor(1000);  // a second copy would have come by now
    LogDisplay("twohost-a", window);
}

// The second client: waits for the text, answers it, stays until the answer is delivered.
TEST(TwoHostChild, Answerer) {
    if (!ChildMode("twohost-b")) GTEST_SKIP() << "child run only";
    ASSERT_NE(nullptr, BuildBook(kSecond));
    WindowClient client;
    ASSERT_TRUE(Eventually([&] { return client->LoggedIn() && HasSession(kSecondId); }, 20000));
    const std::string greeting = testkit::Ansi(kGreeting);
    ASSERT_TRUE(Eventually([&] {
        ChatDialog* w = client.Window(kFirstId);
        return w && Count(Shown(w->Display()), greeting) > 0;
    }, 30000));
    ChatDialog* window = client.Window(kFirstId);
    Eventually([window] { return !window->ThreadsRunning(); }, 10000);
    Send(window, kAnswer);
    PumpFor(3000);  // the receipt comes back; the opener reads the answer
    LogDisplay("twohost-b", window);
}

namespace {

std::wstring LogDir() { return testkit::ProgramDir() + L"twohost-logs\\"; }

std::string ReadLog(const char* mode) {
    return testkit::ReadFileBytes(LogDir() + vantor::AnsiToWide(mode) + L".txt");
}

// Runs the two clients, the answerer first, and checks what each display showed.
void Converse(const wchar_t* route) {
    ResetFake();
    testkit::RemoveTree(LogDir());
    CreateDirectoryW(LogDir().c_str(), nullptr);
    SetEnvironmentVariableW(kLogVariable, LogDir().c_str());
    SetEnvironmentVariableW(kRouteVariable, route);
    bool answered = false;
    std::thread second([&] {
        answered = RunChild("twohost-b", "TwoHostChild.Answerer", 90000, LoopbackAddress(kSecond.ownLast).c_str());
    });
    // A child takes its mode from the environment as it stands when it is made: the
    // opener starts only once the answerer has logged in.
    EXPECT_TRUE(Eventually([] { return HasSession(kSecondId); }, 30000));
    bool opened = RunChild("twohost-a", "TwoHostChild.Opener", 90000, LoopbackAddress(kFirst.ownLast).c_str());
    second.join();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(answered);

    // Each display holds each text once, the greeting before the answer.
    const std::string greeting = testkit::Ansi(kGreeting), answer = testkit::Ansi(kAnswer);
    for (const char* mode : {"twohost-a", "twohost-b"}) {
        std::string shown = ReadLog(mode);
        SCOPED_TRACE(mode);
        EXPECT_EQ(1u, Count(shown, greeting));
        EXPECT_EQ(1u, Count(shown, answer));
        EXPECT_LT(shown.find(greeting), shown.find(answer));
    }
}

}  // namespace

TEST(TwoHosts, ChatRelayed) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    Converse(L"relay");
    // Both went through the server, one text each way.
    EXPECT_EQ(2u, FakeFramesIn("003S").size());
}

TEST(TwoHosts, ChatDirect) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    Converse(L"direct");
    // The link made on opening carries both texts: none reaches the server.
    EXPECT_EQ(0u, FakeFramesIn("003S").size());
}
