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
#include "TestSupport.h"
#include "TwoHostSides.h"
#include "WindowClient.h"
#include "Text.h"

using namespace cdtest;
using chatdesk::ChatDialog;

namespace {

const char kGreeting[] = "你好，在吗？";
const char kAnswer[] = "在，请讲。";

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
    // The link attempt on opening ends before the first text.
    ChatDialog* window = OpenOnceBothIn(client, kFirst, peer);
    ASSERT_NE(nullptr, window);
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

std::string ReadLog(const char* mode) {
    return testkit::ReadFileBytes(LogDir() + vantor::AnsiToWide(mode) + L".txt");
}

// Runs the two clients, the answerer first, and checks what each display showed.
void Converse(const wchar_t* route) {
    ResetFake();
    PrepareLogs(route);
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
