// SockHive.dll on loopback: framing against a raw client, hostile peers, send limits,
// connection reuse, every close path, stop, and many clients at once.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "NodeHarness.h"

using namespace harness;

namespace {

class Node : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder.Reset();
        g_headLength = 0;
        g_fixedBody = 0;
        g_bodyFromHead = false;
        node_ = StartOnFreePort(&port_);
        ASSERT_NE(nullptr, node_);
        Attach(node_);
    }
    void TearDown() override { Stop(); }
    void Stop() {
        if (node_) {
            EXPECT_EQ(1, Net_StopServer(node_));
        }
        node_ = nullptr;
        g_recorder.stopped = true;
    }
    void Framed(int head, bool bodyCallback) {
        g_headLength = head;
        Net_SetCallback_HeadNeed(node_, HeadNeed);
        Net_SetCallback_BodyNeed(node_, bodyCallback ? BodyNeed : nullptr);
    }
    // A connected client whose first message has been delivered, and its channel.
    NetChannel Greeted(Client& client, const std::string& hello = "hello", DWORD ms = 5000) {
        size_t before = g_recorder.Channels().size();
        if (!client.Connected() || !client.Send(hello)) return nullptr;
        if (!g_recorder.WaitFor([&] { return g_recorder.Channels().size() > before; }, ms)) return nullptr;
        return g_recorder.Channels().back();
    }
    bool WaitReceived(NetChannel channel, size_t n) {
        return g_recorder.WaitFor([&] { return g_recorder.Received(channel).size() >= n; });
    }

    unsigned short port_ = 0;
    NetNode node_ = nullptr;
};

std::string Head8(int body) {
    std::string head = Pattern(8, static_cast<unsigned>(body));
    std::memcpy(&head[0], &body, 4);
    return head;
}

void Pause(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace

TEST(NodeExports, NullNodesAndAddresses) {
    EXPECT_EQ(0, Net_StopServer(nullptr));
    EXPECT_EQ(nullptr, Net_ConnectNode(nullptr, Loopback(), 1));
    EXPECT_EQ(0, Net_SendDataChannel(nullptr, nullptr, "x", 1));
    EXPECT_EQ(0, Net_SetCallback_OnRecvData(nullptr, OnRecv, nullptr));
    EXPECT_EQ(0, Net_SetCallback_HeadNeed(nullptr, HeadNeed));
    EXPECT_EQ(0, Net_SetCallback_BodyNeed(nullptr, BodyNeed));
    EXPECT_EQ(0, Net_SetCallback_OnSendData(nullptr, OnSent));
    EXPECT_EQ(0, Net_SetCallback_OnChannelClosed(nullptr, OnClosed));
    EXPECT_EQ(htonl(0x7F000001), Net_ConvertStringToIP("127.0.0.1"));
    EXPECT_EQ(htonl(0x0A010203), Net_ConvertStringToIP("10.1.2.3"));
    EXPECT_EQ(INADDR_NONE, Net_ConvertStringToIP("not an address"));
}

TEST_F(Node, HeadAndBodyArriveInPieces) {
    g_fixedBody = 100;
    Framed(8, true);
    Client client(port_);
    ASSERT_TRUE(client.Connected());
    std::string head = Pattern(8, 1), body = Pattern(100, 2);

    ASSERT_TRUE(client.Send(head));
    Pause(200);
    ASSERT_TRUE(client.Send(body));
    ASSERT_TRUE(g_recorder.WaitFor([] { return g_recorder.Count(Event::Received) == 1; }));
    NetChannel channel = g_recorder.Channels()[0];
    EXPECT_EQ(head + body, g_recorder.Received(channel)[0]) << "one 108-byte delivery, head first";

    // A head split 4 + 4.
    ASSERT_TRUE(client.Send(head.substr(0, 4)));
    Pause(150);
    ASSERT_TRUE(client.Send(head.substr(4) + body));
    ASSERT_TRUE(WaitReceived(channel, 2));
    // A body split 50 + 50, 200 ms apart.
    ASSERT_TRUE(client.Send(head + body.substr(0, 50)));
    Pause(200);
    ASSERT_TRUE(client.Send(body.substr(50)));
    ASSERT_TRUE(WaitReceived(channel, 3));
    // Two messages in one send.
    std::string second = Pattern(8, 3) + Pattern(100, 4);
    ASSERT_TRUE(client.Send(head + body + second));
    ASSERT_TRUE(WaitReceived(channel, 5));
    std::vector<std::string> got = g_recorder.Received(channel);
    ASSERT_EQ(5u, got.size());
    for (int i = 1; i < 4; ++i) EXPECT_EQ(head + body, got[i]) << i;
    EXPECT_EQ(second, got[4]);
}

TEST_F(Node, StreamAndHeadOnlyDelivery) {
    Client client(port_);
    NetChannel channel = Greeted(client, "abc");
    ASSERT_NE(nullptr, channel);
    Pause(100);
    ASSERT_TRUE(client.Send("defgh"));
    ASSERT_TRUE(WaitReceived(channel, 2));
    EXPECT_EQ((std::vector<std::string>{"abc", "defgh"}), g_recorder.Received(channel));

    // A head callback answering 0 is stream mode as well; without a body callback each
    // whole head is delivered.
    Framed(0, false);
    ASSERT_TRUE(client.Send("xy"));
    ASSERT_TRUE(WaitReceived(channel, 3));
    EXPECT_EQ("xy", g_recorder.Received(channel)[2]);
    // (A new connection: a receive already posted keeps the length it was posted with.)
    Framed(8, false);
    Client heads(port_);
    NetChannel second = Greeted(heads, "1234", 300);
    ASSERT_EQ(nullptr, second) << "half a head is not delivered";
    ASSERT_TRUE(heads.Send("5678abcdefgh"));
    ASSERT_TRUE(g_recorder.WaitFor([] { return g_recorder.Channels().size() == 2; }));
    second = g_recorder.Channels()[1];
    ASSERT_TRUE(WaitReceived(second, 2));
    EXPECT_EQ((std::vector<std::string>{"12345678", "abcdefgh"}), g_recorder.Received(second));
}

TEST_F(Node, HostileBodyLengthsCloseTheChannelOnce) {
    g_bodyFromHead = true;
    Framed(8, true);
    for (int body : {40000, -1, 32761}) {
        Client client(port_);
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send(Head8(body) + Pattern(2000, 9)));
        EXPECT_TRUE(client.SeesEnd()) << body;
    }
    ASSERT_TRUE(g_recorder.WaitFor([] { return g_recorder.Count(Event::Closed) == 3; }));
    Pause(200);
    EXPECT_EQ(3, g_recorder.Count(Event::Closed)) << "each announced once";
    EXPECT_EQ(0, g_recorder.Count(Event::Received));

    // A head and body filling the buffer exactly is fine.
    Client client(port_);
    std::string whole = Head8(32760) + Pattern(32760, 5);
    ASSERT_TRUE(client.Send(whole));
    ASSERT_TRUE(g_recorder.WaitFor([] { return g_recorder.Count(Event::Received) == 1; }));
    EXPECT_EQ(whole, g_recorder.Events().back().bytes);
}

TEST_F(Node, SendsOutsideTheLimitsAreRefused) {
    Client client(port_);
    NetChannel channel = Greeted(client);
    ASSERT_NE(nullptr, channel);
    std::string big(40000, 'b');
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, big.data(), 40000));
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, big.data(), 0));
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, big.data(), -3));
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, nullptr, 5));
    EXPECT_EQ(0, Net_SendDataChannelAndClose(node_, channel, big.data(), 40000));
    EXPECT_EQ(0, Net_SendDataChannelBlock(node_, channel, big.data(), 40000));
    EXPECT_EQ(0, Net_SendDataChannel(node_, reinterpret_cast<NetChannel>(0x7777), "x", 1)) << "no such channel";

    unsigned short elsewhere = FreePort();
    Listener peer(elsewhere);
    ASSERT_TRUE(peer.Listening());
    EXPECT_EQ(nullptr, Net_SendData(node_, Loopback(), elsewhere, big.data(), 40000));
    EXPECT_EQ(INVALID_SOCKET, peer.Accept(300)) << "a refused send connects nowhere";

    // A peer that does not read: sends pile up until the limit refuses one; nothing
    // accepted is lost.
    int accepted = 0;
    bool refused = false;
    for (int i = 0; i < 6000 && !refused; ++i) {
        std::string piece = Pattern(32768, static_cast<unsigned>(i));
        if (Net_SendDataChannel(node_, channel, piece.data(), 32768)) {
            ++accepted;
        } else {
            refused = true;
        }
    }
    ASSERT_TRUE(refused);
    for (int i = 0; i < accepted; ++i) {
        ASSERT_EQ(Pattern(32768, static_cast<unsigned>(i)), client.Receive(32768)) << "send " << i;
    }
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Sent, channel) == accepted; }));
    EXPECT_EQ(1, Net_SendDataChannel(node_, channel, "again", 5)) << "room again once they went out";
    EXPECT_EQ("again", client.Receive(5));
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Sent, channel) == accepted + 1; }));
    EXPECT_EQ(0u, g_recorder.threads.count(GetCurrentThreadId()))
        << "a send that went out at once is announced on a worker, not on the caller's thread";
}

TEST_F(Node, SendDataReusesItsConnection) {
    unsigned short peerPort = FreePort();
    Listener peer(peerPort);
    ASSERT_TRUE(peer.Listening());
    NetChannel first = Net_SendData(node_, Loopback(), peerPort, "one", 3);
    ASSERT_NE(nullptr, first);
    NetChannel second = Net_SendData(node_, Loopback(), peerPort, "two", 3);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, Net_ConnectNode(node_, Loopback(), peerPort));
    SOCKET seen = peer.Accept(2000);
    ASSERT_NE(INVALID_SOCKET, seen);
    EXPECT_EQ(INVALID_SOCKET, peer.Accept(300)) << "one connection only";
    char got[6] = {};
    int n = 0;
    DWORD timeout = 3000;
    setsockopt(seen, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    while (n < 6) {
        int r = recv(seen, got + n, 6 - n, 0);
        if (r <= 0) break;
        n += r;
    }
    EXPECT_EQ("onetwo", std::string(got, static_cast<size_t>(n)));
    // The outgoing channel receives too (its first receive comes from the message thread).
    send(seen, "back", 4, 0);
    ASSERT_TRUE(WaitReceived(first, 1));
    EXPECT_EQ("back", g_recorder.Received(first)[0]);
    closesocket(seen);
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Closed, first) == 1; }));
}

TEST_F(Node, ConnectToAClosedPortLeavesNoChannel) {
    unsigned short closed = FreePort();
    EXPECT_EQ(nullptr, Net_ConnectNode(node_, Loopback(), closed));
    EXPECT_EQ(nullptr, Net_SendData(node_, Loopback(), closed, "x", 1));
    // Once something listens there, a fresh connection is made: nothing stale was kept.
    Listener peer(closed);
    ASSERT_TRUE(peer.Listening());
    EXPECT_NE(nullptr, Net_ConnectNode(node_, Loopback(), closed));
    SOCKET seen = peer.Accept(2000);
    EXPECT_NE(INVALID_SOCKET, seen);
    if (seen != INVALID_SOCKET) closesocket(seen);
}

TEST_F(Node, SecondNodeOnAPortInUse) {
    EXPECT_EQ(nullptr, Net_StartServer(port_));
    Client client(port_);
    EXPECT_NE(nullptr, Greeted(client)) << "the first node still serves";
}

TEST_F(Node, CloseAfterSendToAReadingPeer) {
    Client client(port_);
    NetChannel channel = Greeted(client);
    ASSERT_NE(nullptr, channel);
    std::string first = Pattern(32768, 11), last = Pattern(20000, 12);
    ASSERT_EQ(1, Net_SendDataChannel(node_, channel, first.data(), 32768));
    ASSERT_EQ(1, Net_SendDataChannelAndClose(node_, channel, last.data(), 20000));
    EXPECT_EQ(first + last, client.Receive(52768)) << "every byte arrives";
    EXPECT_TRUE(client.SeesEnd());
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Closed, channel) == 1; }));
    Pause(200);
    std::vector<Event> events = g_recorder.Events();
    ASSERT_EQ(Event::Closed, events.back().kind) << "the close notice is the last word";
    EXPECT_EQ(1, g_recorder.Count(Event::Closed, channel));
    EXPECT_EQ(2, g_recorder.Count(Event::Sent, channel));
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, "x", 1)) << "the handle is gone";
}

TEST_F(Node, PeerClosingMidSendIsClosedAfterTheSends) {
    Client client(port_);
    NetChannel channel = Greeted(client);
    ASSERT_NE(nullptr, channel);
    int queued = 0;
    for (int i = 0; i < 6; ++i) {
        std::string piece = Pattern(32768, 100 + static_cast<unsigned>(i));
        queued += Net_SendDataChannel(node_, channel, piece.data(), 32768);
    }
    ASSERT_EQ(6, queued);
    client.ShutdownSend();
    for (int i = 0; i < queued; ++i) {
        ASSERT_EQ(Pattern(32768, 100 + static_cast<unsigned>(i)), client.Receive(32768)) << i;
    }
    EXPECT_TRUE(client.SeesEnd());
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Closed, channel) == 1; }));
    Pause(200);
    EXPECT_EQ(1, g_recorder.Count(Event::Closed, channel));
    EXPECT_EQ(queued, g_recorder.Count(Event::Sent, channel));
    EXPECT_EQ(Event::Closed, g_recorder.Events().back().kind);
}

TEST_F(Node, DisconnectAndBlockingSend) {
    Client client(port_);
    NetChannel channel = Greeted(client);
    ASSERT_NE(nullptr, channel);
    EXPECT_EQ(1, Net_SendDataChannelBlock(node_, channel, "block", 5));
    EXPECT_EQ("block", client.Receive(5));
    EXPECT_EQ(1, Net_DisconnectNode(node_, channel));
    EXPECT_TRUE(client.SeesEnd());
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Closed, channel) == 1; }));
    EXPECT_EQ(0, Net_SendDataChannel(node_, channel, "x", 1));
    EXPECT_EQ(0, Net_SendDataChannelBlock(node_, channel, "x", 1));
    EXPECT_EQ(1, Net_DisconnectNode(node_, channel)) << "no channel";
    EXPECT_EQ(1, Net_DisconnectNode(node_, nullptr));
    Pause(200);
    EXPECT_EQ(1, g_recorder.Count(Event::Closed, channel));

    // An outgoing channel closed before its first receive was even posted.
    unsigned short peerPort = FreePort();
    Listener peer(peerPort);
    NetChannel out = Net_ConnectNode(node_, Loopback(), peerPort);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(1, Net_DisconnectNode(node_, out));
    ASSERT_TRUE(g_recorder.WaitFor([&] { return g_recorder.Count(Event::Closed, out) == 1; }));
}

TEST_F(Node, StopWithLiveChannels) {
    // The threads of the process without any node, then a node of this test's own.
    Stop();
    int baseline = ThreadsOfProcess();
    g_recorder.Reset();
    node_ = Net_StartServer(port_);
    ASSERT_NE(nullptr, node_);
    Attach(node_);
    EXPECT_GT(ThreadsOfProcess(), baseline);
    std::vector<Client> clients;
    for (int i = 0; i < 20; ++i) {
        clients.emplace_back(port_);
        ASSERT_NE(nullptr, Greeted(clients.back(), "client" + std::to_string(i)));
    }
    ASSERT_EQ(20u, g_recorder.Channels().size());
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(1, Net_StopServer(node_));
    node_ = nullptr;
    g_recorder.stopped = true;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 5000);
    for (Client& c : clients) c.Send("late");
    for (Client& c : clients) EXPECT_TRUE(c.SeesEnd());
    Pause(300);
    EXPECT_EQ(0, g_recorder.afterStop.load()) << "nothing is called after the stop";
    EXPECT_EQ(0, g_recorder.Count(Event::Closed)) << "open channels are freed without a notice";
    EXPECT_LE(ThreadsOfProcess(), baseline) << "no thread of the node outlives it";
}

TEST_F(Node, HundredClientsAtOnce) {
    g_bodyFromHead = true;
    Framed(16, true);
    g_recorder.echoNode = node_;
    const int kClients = 100, kMessages = 20;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            // Beyond the backlog of 5 a connection waits in the system's queue until the node takes it.
            Client client(port_, 30000);
            if (!client.Connected()) return;
            // Four messages in flight at a time: the echoes must come back whole and in order.
            for (int m = 0; m < kMessages; m += 4) {
                std::string batch;
                for (int k = m; k < m + 4; ++k) {
                    batch += FramedMessage(static_cast<unsigned>(c), static_cast<unsigned>(k),
                                           static_cast<size_t>(100 + (c * 37 + k * 11) % 3000));
                }
                if (!client.Send(batch) || client.Receive(batch.size()) != batch) return;
            }
            ++good;
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(kClients, good.load());
    EXPECT_EQ(0, g_recorder.echoRefused.load());
    // Each channel saw its own client's messages, whole and in order.
    std::vector<NetChannel> channels = g_recorder.Channels();
    ASSERT_EQ(static_cast<size_t>(kClients), channels.size());
    for (NetChannel channel : channels) {
        std::vector<std::string> got = g_recorder.Received(channel);
        ASSERT_EQ(static_cast<size_t>(kMessages), got.size());
        unsigned client = 0;
        std::memcpy(&client, got[0].data() + 4, 4);
        for (int m = 0; m < kMessages; ++m) {
            EXPECT_EQ(FramedMessage(client, static_cast<unsigned>(m), got[m].size() - 16), got[m]);
        }
    }
    EXPECT_GT(g_recorder.threads.size(), 1u) << "callbacks ran on several workers";
}
