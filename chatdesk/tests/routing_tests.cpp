// The router and the registry on a chat window double: receipts, where they go, which
// window a message reaches, and a stream that misbehaves in every way it can.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include "ChildRun.h"
#include "DebugLines.h"
#include "ImMessages.h"
#include "ServiceHarness.h"

using namespace cdtest;
using chatdesk::ChatWindow;

namespace {

std::string Text(const char* sender, const char* receiver, const char* words, const char* stamp = "20260102030405006000") {
    chatdesk::ChatText text;
    text.stamp = stamp;
    text.senderId = sender;
    text.receiverId = receiver;
    text.text = words;
    text.status = "1*";
    chatdesk::ImBytes bytes = chatdesk::BuildChatText(text);
    return std::string(bytes.begin(), bytes.end());
}

// Receipt results a peer got, in order.
// Starts a scripted peer logged in to the fake that gives no receipts of its own.
bool StartPeer(const char* id) {
    return Fake().Control(std::string("peer/start?id=") + id + "&receipt=none").substr(0, 1) == "0";
}

std::string ReceiptResults(const std::string& peer, const char* kind = nullptr) {
    std::string results;
    for (auto& frame : PeerFrames(peer, "003B"))
        if (frame.second.size() == 147 && (!kind || frame.first == kind)) results += frame.second[144];
    return results;
}

class ChildRouting : public ChildTest {
protected:
    ChildRouting() : ChildTest("routing") {}
};

TEST_F(ChildRouting, ReceiptsWindowsAndDirectLinks) {
    DoubleFactory factory;
    testkit::DebugLines lines;
    Service service(&factory);
    ASSERT_TRUE(service.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId));
    ASSERT_TRUE(StartPeer(kBlackListed));

    // Addressed to another account: '3', nothing opened.
    Fake().Control("raw?to=10001", Text(kFriendId, "99999", "not for you"));
    ASSERT_TRUE(Eventually([] { return ReceiptResults(kFriendId) == "3"; }, 5000)) << ReceiptResults(kFriendId);
    EXPECT_EQ(0, factory.counts.made.load());
    // From the black list: '6', nothing opened.
    Fake().Control(std::string("peer/text?id=") + kBlackListed + "&to=10001&text=hello");
    ASSERT_TRUE(Eventually([] { return ReceiptResults(kBlackListed) == "6"; }, 5000));
    EXPECT_TRUE(lines.WaitFor(L"这是黑名单用户发送过来的聊天内容，抛弃"));
    EXPECT_EQ(0, factory.counts.made.load());
    // A friend: '0', a window opened that gets the text and a link attempt (relayed).
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=hello");
    ASSERT_TRUE(Eventually([] { return ReceiptResults(kFriendId) == "30"; }, 5000));
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 1; }, 3000));
    ChatWindow* window = service->Find(kFriendId);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(GetWindowLongW(window->Window(), GWL_STYLE) & WS_VISIBLE) << "shown";
    EXPECT_EQ(1, factory.counts.linkAttempts.load());
    EXPECT_FALSE(service->DirectLinkOf(window)) << "a relayed text sets no direct link";

    // From another address on a direct link: the receipt comes back on that link, and
    // the link becomes the window's.
    Fake().Control(std::string("peer/connect?id=") + kFriendId + "&address=" + kClientAddress +
                   "&port=" + std::to_string(kClientPort) + "&source=" + kPeerAddress);
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=direct&via=direct");
    ASSERT_TRUE(Eventually([] { return ReceiptResults(kFriendId, "direct") == "0"; }, 5000));
    EXPECT_EQ("30", ReceiptResults(kFriendId, "server"));
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 2; }, 3000));
    chatdesk::ConnectionRef link = service->DirectLinkOf(window);
    ASSERT_TRUE(link);
    EXPECT_EQ(inet_addr(kPeerAddress), link->RemoteAddress());
    EXPECT_TRUE(service->IsDirectLink(link.get()));
    EXPECT_TRUE(service->DirectSend(link.get(), "", 0));

    // A login answer from a peer speaks for nobody.
    chatdesk::ImBytes refusal = chatdesk::BuildImLoginReply({'1'});
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=direct", std::string(refusal.begin(), refusal.end()));
    PumpFor(1000);
    EXPECT_TRUE(service->LoggedIn());
    EXPECT_TRUE(service->HasServerLink());
    EXPECT_EQ(1u, GatekeeperPosts());

    // The peer closing its link: the window drops it, the server session stays.
    Fake().Control(std::string("peer/stop?id=") + kFriendId);
    ASSERT_TRUE(Eventually([&] { return !service->DirectLinkOf(window); }, 5000));
    link.reset();
    PumpFor(500);
    EXPECT_TRUE(service->LoggedIn());
    EXPECT_EQ(1u, GatekeeperPosts());

    // Commands: the open window is raised; command 8 asks it for its records once.
    service->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    service->DoCommand(8, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    PumpFor(300);
    EXPECT_EQ(1, factory.counts.made.load());
    EXPECT_EQ(1, factory.counts.recordCommands.load());
    // A handle without a record opens nothing.
    service->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().staleEntry));
    EXPECT_TRUE(lines.WaitFor(L"没有找到对应用户的数据"));
    EXPECT_EQ(1, factory.counts.made.load());
    // Command 1 for a friend without a window opens one.
    service->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().otherEntry));
    ASSERT_NE(nullptr, service->Find(kOtherFriend));
    EXPECT_EQ(2u, service->WindowCount());

    // A changed friend reaches its window; a removed one closes it.
    service->OnFriendChanged(Contacts().friendEntry);
    EXPECT_EQ(1, factory.counts.records.load());
    service->OnFriendRemoved(Contacts().friendEntry);
    ASSERT_TRUE(Eventually([&] { return service->Find(kFriendId) == nullptr; }, 3000));
    EXPECT_EQ(1, factory.counts.destroyed.load());
}

TEST_F(ChildRouting, AFriendsIdSpokenFromAnotherAddressIsDropped) {
    DoubleFactory factory;
    testkit::DebugLines lines;
    Service service(&factory);
    ASSERT_TRUE(service.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId));
    // The friend's id, spoken on a direct link from an address that is none of the friend's.
    Fake().Control(std::string("peer/connect?id=") + kFriendId + "&address=" + kClientAddress +
                   "&port=" + std::to_string(kClientPort) + "&source=" + kOtherPeerAddress);
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=forged&via=direct");
    EXPECT_TRUE(lines.WaitFor(L"from an address that is not the peer's"));
    PumpFor(500);
    EXPECT_EQ(0, factory.counts.made.load()) << "no window for a forged text";
    EXPECT_EQ("", ReceiptResults(kFriendId, "direct"));

    // With the friend's window open, nothing on that link reaches it or becomes its link.
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=hello");
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 1; }, 5000));
    ChatWindow* window = service->Find(kFriendId);
    ASSERT_NE(nullptr, window);
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=forged&via=direct");
    chatdesk::ChatTextReceipt receipt;
    receipt.stamp = "20260102030405006000";
    receipt.senderId = kFriendId;
    receipt.textSenderId = kOwnId;
    receipt.result = '0';
    chatdesk::ImBytes bytes = chatdesk::BuildChatTextReceipt(receipt);
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=direct", std::string(bytes.begin(), bytes.end()));
    PumpFor(1500);
    EXPECT_EQ(1, factory.counts.texts.load());
    EXPECT_EQ(0, factory.counts.receipts.load());
    EXPECT_FALSE(service->DirectLinkOf(window)) << "the forged link took the friend's window";
    EXPECT_EQ("", ReceiptResults(kFriendId, "direct"));
    // The friend's own text by the server still arrives.
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=again");
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 2; }, 5000));
}

TEST_F(ChildRouting, TwoTextsOfANewPeerAtOnceOpenOneWindow) {
    DoubleFactory factory;
    Service service(&factory);
    ASSERT_TRUE(service.WaitForLogin());
    ASSERT_TRUE(StartPeer(kOtherFriend));
    Fake().Control(std::string("peer/connect?id=") + kOtherFriend + "&address=" + kClientAddress +
                   "&port=" + std::to_string(kClientPort) + "&source=" + kOtherPeerAddress);
    PumpFor(300);
    // Both texts are on their way before the first window exists.
    std::string relayed = Text(kOtherFriend, kOwnId, "one", "20260102030405006001");
    std::string direct = Text(kOtherFriend, kOwnId, "two", "20260102030405006002");
    Fake().Control(std::string("peer/raw?id=") + kOtherFriend + "&via=server", relayed);
    Fake().Control(std::string("peer/raw?id=") + kOtherFriend + "&via=direct", direct);
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 2; }, 5000));
    EXPECT_EQ(1u, service->WindowCount());
    ChatWindow* window = service->Find(kOtherFriend);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(service->DirectLinkOf(window)) << "the direct text gave the window its link";
}

TEST_F(ChildRouting, AMisbehavingStreamNeitherCrashesNorEndsTheSession) {
    DoubleFactory factory;
    testkit::DebugLines lines;
    Service service(&factory);
    ASSERT_TRUE(service.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId));
    size_t threads = ThreadCount();

    // One byte at a time.
    Fake().Control("write_mode?to=10001&piece=1");
    Fake().Control("raw?to=10001", Text(kFriendId, kOwnId, "slowly"));
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 1; }, 10000));
    Fake().Control("write_mode?to=10001");
    // Merged frames, an unknown code, a whole "021S", a text with impossible length
    // digits read whole and dropped: the stream stays in step.
    chatdesk::ImBytes unknown(64, 0);
    memcpy(unknown.data() + 60, "999S", 4);
    chatdesk::ImBytes ignored(64 + 42, 0);
    memcpy(ignored.data() + 60, "021S", 4);
    std::string bad = Text(kFriendId, kOwnId, "x");
    bad.replace(145, 4, "9999");
    bad.resize(149 + 9999 + 2, 'z');
    std::string burst = Text(kFriendId, kOwnId, "a", "20260102030405006011") + std::string(unknown.begin(), unknown.end()) +
                        std::string(ignored.begin(), ignored.end()) + bad +
                        Text(kFriendId, kOwnId, "b", "20260102030405006012");
    Fake().Control("raw?to=10001", burst);
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 3; }, 5000));
    PumpFor(300);
    EXPECT_EQ(3, factory.counts.texts.load());
    EXPECT_EQ("000", ReceiptResults(kFriendId));

    // A peer that stops in the middle of a message, and 500 connections at once.
    testkit::StartWinsock();
    sockaddr_in to = ClientEndpoint();
    SOCKET stalled = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(0, connect(stalled, reinterpret_cast<sockaddr*>(&to), sizeof to));
    std::string half = Text(kFriendId, kOwnId, "half").substr(0, 100);
    send(stalled, half.data(), static_cast<int>(half.size()), 0);
    std::vector<SOCKET> many;
    sockaddr_in from = {};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr(kOtherPeerAddress);
    for (int i = 0; i < 500; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
        many.push_back(s);
    }
    PumpFor(2000);
    Fake().Control("raw?to=10001", Text(kFriendId, kOwnId, "still here", "20260102030405006013"));
    ASSERT_TRUE(Eventually([&] { return factory.counts.texts == 4; }, 5000));
    for (SOCKET s : many) closesocket(s);
    closesocket(stalled);
    EXPECT_TRUE(service->LoggedIn());
    EXPECT_EQ(1u, GatekeeperPosts());
    EXPECT_TRUE(Eventually([&] { return ThreadCount() <= threads; }, 8000))
        << ThreadCount() << " threads, " << threads << " before";
}

TEST_F(ChildRouting, SendersBeyondTheWindowLimitGetTheirReceiptAndNoWindow) {
    DoubleFactory factory;
    Service service(&factory);
    ASSERT_TRUE(service.WaitForLogin());
    const int kBurst = 70;
    std::string burst;
    for (int i = 0; i < kBurst; ++i) burst += Text(("5" + std::to_string(1000 + i)).c_str(), kOwnId, "hi");
    Fake().Control("raw?to=10001", burst);
    ASSERT_TRUE(Eventually([&] { return factory.counts.made == kBurst; }, 10000)) << factory.counts.made.load();
    PumpFor(300);
    EXPECT_EQ(chatdesk::kMaxChatWindows, service->WindowCount());
    EXPECT_EQ(64, factory.counts.texts.load());
    size_t receipts = 0;
    for (const std::string& frame : FakeFramesIn("003B"))
        if (frame.size() == 147 && frame[144] == '0') ++receipts;
    EXPECT_EQ(70u, receipts) << "every text is answered, shown or not";
    EXPECT_EQ(kClientPort, service->ListenPort());
}

TEST(ChatDeskRouting, RunsInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    ASSERT_TRUE(Fake().loaded) << "the im_fake fixture did not run";
    EXPECT_TRUE(RunChild("routing", "ChildRouting.*"));
}

}  // namespace
