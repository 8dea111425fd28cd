// The peer channel on loopback against the fake friends' clients: what arrives, what is
// answered, what our sender does with answering, late, silent and closing friends, and
// a stop with connections still open.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "FakeServers.h"
#include "PeerChannel.h"
#include "Sync.h"
#include "TestSupport.h"
#include "WebServers.h"

using namespace presence;
using pttest::FakePeer;

namespace {

const DWORD kOurs = 0x0100007F;     // 127.0.0.1
const DWORD kFriend = 0x0200007F;   // 127.0.0.2

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        int control = pttest::PeerControlPort(testkit::ProgramDir());
        ASSERT_GT(control, 0) << "the fake peer is not running";
        peer.reset(new FakePeer(control));
        ASSERT_TRUE(peer->Reset());
        port = static_cast<WORD>(ClosedPort());
        channel.reset(new PeerChannel([this](const PeerPacket& p, DWORD from) {
            vantor::Lock lock(cs);
            got.push_back(p);
            froms.push_back(from);
        }));
        ASSERT_TRUE(channel->Start(kOurs, port));
    }
    void TearDown() override {
        if (channel) channel->Stop();
        if (peer) peer->Reset();
    }
    std::vector<PeerPacket> Got() {
        vantor::Lock lock(cs);
        return got;
    }
    // Waits until the listener served every connection.
    void Settle() {
        for (int i = 0; i < 200 && channel->ActiveConnections() > 0; ++i) Sleep(10);
    }
    std::unique_ptr<FakePeer> peer;
    std::unique_ptr<PeerChannel> channel;
    WORD port = 0;
    vantor::CriticalSection cs;
    std::vector<PeerPacket> got;
    std::vector<DWORD> froms;
};

std::string Fields(const char* command, const char* nick = "", const char* msg = "") {
    return std::string("cmd=") + command + "\nsender=x1\nreceiver=demo01\nsub=02\nnick=" + nick + "\nmsg=" + msg + "\n";
}

TEST_F(ChannelTest, RecordsInPiecesAndOddOnesAreAnsweredAndHandedOn) {
    EXPECT_EQ(std::vector<std::string>{"30303031003030303000"}, peer->Send("127.0.0.1", port, Fields("0001", "张三", "你好"), "pieces"));
    EXPECT_EQ(std::vector<std::string>{"30303039003030303031"}, peer->Send("127.0.0.1", port, Fields("0009")));
    EXPECT_EQ(std::vector<std::string>{"-"}, peer->Send("127.0.0.1", port, Fields("0004"), "half"));
    EXPECT_EQ(1u, peer->Send("127.0.0.1", port, Fields("0001", "张三"), "lower").size());
    EXPECT_EQ(std::vector<std::string>{"30303031003030303000"}, peer->Send("127.0.0.1", port, Fields("0001", "长", "长"), "unterminated"));
    Settle();
    std::vector<PeerPacket> records = Got();
    ASSERT_EQ(4u, records.size()) << "half a record is never handed on";
    PeerFields first = ReadPacket(records[0]);
    EXPECT_EQ("0001", first.command);
    EXPECT_EQ("x1", first.sender);
    EXPECT_EQ(testkit::Ansi("张三"), first.nickname);
    EXPECT_EQ(testkit::Ansi("你好"), first.message);
    EXPECT_EQ("0009", ReadPacket(records[1]).command);
    EXPECT_NE(testkit::Ansi("张三"), ReadPacket(records[2]).nickname) << "lower-case digits are not digits";
    PeerFields full = ReadPacket(records[3]);
    EXPECT_EQ("0001", full.command);
    EXPECT_EQ(254u, full.nickname.size());
    EXPECT_EQ(254u, full.message.size());
    EXPECT_EQ(0, channel->ActiveConnections());
}

TEST_F(ChannelTest, AHundredFriendsAtOnceAreAllServed) {
    // Twenty-five hosts, four records each, all at once.
    std::vector<std::vector<std::string>> replies(25);
    std::vector<std::thread> hosts;
    for (int i = 0; i < 25; ++i)
        hosts.emplace_back([&, i] {
            std::string from = "127.0.1." + std::to_string(i + 1);
            replies[i] = peer->Send("127.0.0.1", port, Fields("0005", "1"), "whole", 4, from.c_str());
        });
    for (std::thread& t : hosts) t.join();
    for (const auto& some : replies) {
        ASSERT_EQ(4u, some.size());
        for (const std::string& r : some) EXPECT_EQ("30303035003030303000", r);
    }
    Settle();
    EXPECT_EQ(100u, Got().size());
    EXPECT_EQ(0, channel->ActiveConnections());
    vantor::Lock lock(cs);
    EXPECT_EQ(inet_addr("127.0.1.25"), *std::max_element(froms.begin(), froms.end(), [](DWORD a, DWORD b) {
        return ntohl(a) < ntohl(b);
    })) << "each record comes with its sender's address";
}

TEST_F(ChannelTest, SilentConnectionsFromOneHostShutNoFriendOut) {
    std::vector<SOCKET> silent;
    sockaddr_in source = {};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = inet_addr("127.0.0.9");
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = kOurs;
    at.sin_port = htons(port);
    for (int i = 0; i < 40; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source);
        connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
        silent.push_back(s);
    }
    Sleep(300);
    EXPECT_LE(channel->ActiveConnections(), static_cast<LONG>(kMaxPerAddress));
    // A friend is served at once, not after the silent ones time out.
    DWORD start = GetTickCount();
    EXPECT_EQ(std::vector<std::string>{"30303035003030303000"}, peer->Send("127.0.0.1", port, Fields("0005", "1")));
    EXPECT_LT(GetTickCount() - start, 2000u);
    // The silent ones are cut within a few seconds of their accept.
    for (int i = 0; i < 100 && channel->ActiveConnections() > 0; ++i) Sleep(100);
    EXPECT_EQ(0, channel->ActiveConnections());
    for (SOCKET s : silent) closesocket(s);
}

TEST_F(ChannelTest, OurSendsAreConfirmedOnlyByAReply) {
    int theirs = ClosedPort();
    std::string text = EncodePacket(BuildPacket(PeerFields{"0005", "", "demo01", "x1", "01", "2", ""}));
    PeerTarget target{kFriend, static_cast<WORD>(theirs)};
    EXPECT_FALSE(channel->SendAndConfirm(target, text)) << "nobody listens";
    ASSERT_TRUE(peer->Listen("127.0.0.2", theirs, "answer"));
    EXPECT_TRUE(channel->SendAndConfirm(target, text));
    ASSERT_TRUE(peer->Listen("127.0.0.2", theirs, "late", 800));
    EXPECT_TRUE(channel->SendAndConfirm(target, text));
    ASSERT_TRUE(peer->Listen("127.0.0.2", theirs, "close"));
    DWORD started = GetTickCount();
    EXPECT_FALSE(channel->SendAndConfirm(target, text));
    EXPECT_LT(GetTickCount() - started, 3000u);
    EXPECT_TRUE(channel->SendOnly(target, text));
    EXPECT_FALSE(channel->SendAndConfirm(PeerTarget{0, static_cast<WORD>(theirs)}, text));

    std::vector<pttest::PeerRecord> records;
    for (int i = 0; i < 100 && (records = peer->Received()).size() < 4; ++i) Sleep(20);
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ("0005", records[0].command);
    EXPECT_EQ("demo01", records[0].sender);
    EXPECT_EQ("x1", records[0].receiver);
    EXPECT_EQ("01", records[0].subCode);
    EXPECT_EQ("2", records[0].nickname);
    EXPECT_EQ(1130, records[0].chars);

    PeerChannel idle([](const PeerPacket&, DWORD) {});
    EXPECT_FALSE(idle.SendAndConfirm(target, text)) << "nothing is tried without a listener";
}

TEST_F(ChannelTest, StopCutsSilentConnectionsBothWays) {
    int theirs = ClosedPort();
    ASSERT_TRUE(peer->Listen("127.0.0.2", theirs, "silent"));
    std::atomic<int> confirmed{-1};
    std::thread sender([&] {
        std::string text = EncodePacket(BuildPacket(PeerFields{"0005", "", "demo01", "x1", "01", "1", ""}));
        confirmed = channel->SendAndConfirm(PeerTarget{kFriend, static_cast<WORD>(theirs)}, text) ? 1 : 0;
    });
    // A friend that connects to us and never sends.
    SOCKET quiet = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = kOurs;
    at.sin_port = htons(port);
    ASSERT_EQ(0, connect(quiet, reinterpret_cast<sockaddr*>(&at), sizeof at));
    for (int i = 0; i < 100 && channel->ActiveConnections() == 0; ++i) Sleep(20);
    EXPECT_EQ(1, channel->ActiveConnections());
    for (int i = 0; i < 100 && peer->Received().empty(); ++i) Sleep(20);

    DWORD started = GetTickCount();
    channel->Stop();
    sender.join();
    EXPECT_LT(GetTickCount() - started, 3000u);
    EXPECT_EQ(0, confirmed.load());
    EXPECT_EQ(0, channel->ActiveConnections());
    closesocket(quiet);
    EXPECT_FALSE(channel->SendAndConfirm(PeerTarget{kFriend, static_cast<WORD>(theirs)}, "x"));

    // The port is free again, and a second channel cannot take a port in use.
    PeerChannel again([](const PeerPacket&, DWORD) {});
    ASSERT_TRUE(again.Start(kOurs, port));
    PeerChannel clash([](const PeerPacket&, DWORD) {});
    EXPECT_FALSE(clash.Start(kOurs, port));
    again.Stop();
}

}  // namespace
