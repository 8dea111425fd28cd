// SockHive.dll under a long real stream: hundreds of mixed frames cut at random places,
// each echoed back from the receive callback on its own channel, with several clients
// at once; and peers that stop cooperating.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "NodeHarness.h"

using namespace harness;

namespace {

int WINAPI HeadOf8() { return 8; }

int WINAPI BodyFromFirstField(const char* head, int length) {
    if (length < 4) return 0;
    int body;
    std::memcpy(&body, head, 4);
    return body;
}

// The receive callback sends every frame back on its channel, retrying every
// millisecond for up to 3 s while the node refuses the send.
struct EchoState {
    std::atomic<NetNode> node{nullptr};
    std::atomic<int> delivered{0};
    std::atomic<int> refusedAtFirst{0};
    std::atomic<int> givenUp{0};
    std::atomic<int> closed{0};
};
EchoState g_echo;

void WINAPI EchoBack(NetChannel channel, const char* bytes, int length, void*) {
    ++g_echo.delivered;
    NetNode node = g_echo.node;
    if (!node) return;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    bool first = true;
    while (!Net_SendDataChannel(node, channel, bytes, length)) {
        if (first) ++g_echo.refusedAtFirst;
        first = false;
        if (std::chrono::steady_clock::now() > until) {
            ++g_echo.givenUp;
            return;
        }
        Sleep(1);
    }
}

void WINAPI CountClosed(NetChannel, void*) { ++g_echo.closed; }

// 400 frames: bodies of 0 to 2,500 bytes (about one in seven empty), a few of 32,760.
std::string MixedStream(unsigned seed, int frames) {
    std::mt19937 random(seed);
    std::string stream;
    for (int i = 0; i < frames; ++i) {
        int body;
        unsigned pick = random() % 40;
        if (pick < 6) {
            body = 0;
        } else if (pick == 7 && i % 3 == 0) {
            body = 32760;
        } else {
            body = static_cast<int>(random() % 2501);
        }
        std::string frame(8 + static_cast<size_t>(body), '\0');
        std::memcpy(&frame[0], &body, 4);
        unsigned tag = seed * 1000u + static_cast<unsigned>(i);
        std::memcpy(&frame[4], &tag, 4);
        for (int b = 0; b < body; ++b) frame[8 + static_cast<size_t>(b)] = static_cast<char>(random());
        stream += frame;
    }
    return stream;
}

// Sends the stream cut into pieces of random size (mostly 1 to 64 bytes, sometimes up
// to 9,000), pausing 1 ms after about one send in six, while a second thread reads the
// echoes. True when every byte came back as sent.
bool SendAndReadEchoes(unsigned short port, const std::string& stream, unsigned seed, std::string* why) {
    Client client(port, 20000);
    if (!client.Connected()) {
        *why = "no connection";
        return false;
    }
    std::string echoed;
    std::thread reader([&] { echoed = client.Receive(stream.size()); });
    std::mt19937 random(seed ^ 0x5a5a5a5au);
    size_t at = 0;
    bool sent = true;
    while (at < stream.size() && sent) {
        size_t piece = random() % 20 == 0 ? 1 + random() % 9000 : 1 + random() % 64;
        piece = std::min(piece, stream.size() - at);
        sent = client.Send(stream.substr(at, piece));
        at += piece;
        if (random() % 6 == 0) Sleep(1);
    }
    reader.join();
    if (!sent) {
        *why = "the client's send failed";
    } else if (echoed.size() != stream.size()) {
        *why = "echoed " + std::to_string(echoed.size()) + " of " + std::to_string(stream.size()) + " bytes";
    } else if (echoed != stream) {
        *why = "the echo differs from what was sent";
    }
    return sent && echoed == stream;
}

class Stream : public ::testing::Test {
protected:
    void SetUp() override {
        g_echo.delivered = 0;
        g_echo.refusedAtFirst = 0;
        g_echo.givenUp = 0;
        g_echo.closed = 0;
        node_ = StartOnFreePort(&port_);
        ASSERT_NE(nullptr, node_);
        g_echo.node = node_;
        Net_SetCallback_HeadNeed(node_, HeadOf8);
        Net_SetCallback_BodyNeed(node_, BodyFromFirstField);
        Net_SetCallback_OnRecvData(node_, EchoBack, nullptr);
        Net_SetCallback_OnChannelClosed(node_, CountClosed);
    }
    void TearDown() override {
        g_echo.node = nullptr;
        if (node_) {
            EXPECT_EQ(1, Net_StopServer(node_));
        }
    }

    unsigned short port_ = 0;
    NetNode node_ = nullptr;
};

}  // namespace

TEST_F(Stream, MixedFramesEchoedFromTheReceiveCallback) {
    for (unsigned round = 1; round <= 20; ++round) {
        std::string stream = MixedStream(round, 400);
        int before = g_echo.delivered;
        std::string why;
        ASSERT_TRUE(SendAndReadEchoes(port_, stream, round, &why)) << "round " << round << ": " << why;
        EXPECT_EQ(400, g_echo.delivered - before) << "round " << round;
        EXPECT_EQ(0, g_echo.givenUp.load()) << "round " << round;
    }
}

TEST_F(Stream, FourClientsAtOnce) {
    std::vector<std::thread> clients;
    std::mutex lock;
    std::vector<std::string> failures;
    for (unsigned c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            std::string why;
            if (!SendAndReadEchoes(port_, MixedStream(100 + c, 400), 100 + c, &why)) {
                std::lock_guard<std::mutex> hold(lock);
                failures.push_back("client " + std::to_string(c) + ": " + why);
            }
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_TRUE(failures.empty()) << (failures.empty() ? "" : failures.front());
    EXPECT_EQ(1600, g_echo.delivered.load());
    EXPECT_EQ(0, g_echo.givenUp.load());
}

// --- peers that stop cooperating ---------------------------------------------------------

namespace {

// Each delivery is echoed once, without retry; refusals are counted. Closed channels
// are counted per channel.
struct Counts {
    std::mutex lock;
    std::vector<NetChannel> closed;
    std::vector<NetChannel> seen;
    std::atomic<int> delivered{0};
    std::atomic<int> queued{0};
    std::atomic<int> refused{0};
    std::atomic<int> callbackMs{0};  // how long each delivery takes
    std::atomic<bool> stopped{false};
    std::atomic<int> afterStop{0};
    std::atomic<NetNode> node{nullptr};
};
Counts g_counts;

void WINAPI EchoOnce(NetChannel channel, const char* bytes, int length, void*) {
    if (g_counts.stopped) ++g_counts.afterStop;
    ++g_counts.delivered;
    if (int ms = g_counts.callbackMs) Sleep(static_cast<DWORD>(ms));
    if (NetNode node = g_counts.node) {
        if (Net_SendDataChannel(node, channel, bytes, length)) ++g_counts.queued;
        else ++g_counts.refused;
    }
}

// The same, noting each channel that delivered something.
void WINAPI EchoOnceNoting(NetChannel channel, const char* bytes, int length, void* user) {
    {
        std::lock_guard<std::mutex> hold(g_counts.lock);
        if (std::find(g_counts.seen.begin(), g_counts.seen.end(), channel) == g_counts.seen.end()) {
            g_counts.seen.push_back(channel);
        }
    }
    EchoOnce(channel, bytes, length, user);
}

void WINAPI NoteClosed(NetChannel channel, void*) {
    if (g_counts.stopped) ++g_counts.afterStop;
    std::lock_guard<std::mutex> hold(g_counts.lock);
    g_counts.closed.push_back(channel);
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
}

std::string Frame(int body, unsigned seed) {
    std::string frame = Pattern(8 + static_cast<size_t>(body), seed);
    std::memcpy(&frame[0], &body, 4);
    return frame;
}

long long MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> hold(g_counts.lock);
            g_counts.closed.clear();
            g_counts.seen.clear();
        }
        g_counts.delivered = g_counts.queued = g_counts.refused = g_counts.callbackMs = g_counts.afterStop = 0;
        g_counts.stopped = false;
        node_ = StartOnFreePort(&port_);
        ASSERT_NE(nullptr, node_);
        g_counts.node = node_;
        Net_SetCallback_HeadNeed(node_, HeadOf8);
        Net_SetCallback_BodyNeed(node_, BodyFromFirstField);
        Net_SetCallback_OnRecvData(node_, EchoOnce, nullptr);
        Net_SetCallback_OnChannelClosed(node_, NoteClosed);
    }
    void TearDown() override { StopTimed(); }
    // Stops the node (once) and answers how long the stop took.
    long long StopTimed() {
        if (!node_) return 0;
        g_counts.node = nullptr;
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(1, Net_StopServer(node_));
        long long ms = MsSince(t0);
        node_ = nullptr;
        g_counts.stopped = true;
        return ms;
    }
    int ClosedCount(NetChannel channel = nullptr) {
        std::lock_guard<std::mutex> hold(g_counts.lock);
        if (!channel) return static_cast<int>(g_counts.closed.size());
        return static_cast<int>(std::count(g_counts.closed.begin(), g_counts.closed.end(), channel));
    }
    // `n` clients connected to the node, or fewer when one could not connect.
    std::vector<Client> Clients(int n) {
        std::vector<Client> clients;
        for (int i = 0; i < n; ++i) {
            clients.emplace_back(port_, 2000);
            if (!clients.back().Connected()) clients.pop_back();
        }
        return clients;
    }
    // A normal client is served while the attackers hold their connections.
    void NormalClientServed() {
        Client client(port_, 5000);
        ASSERT_TRUE(client.Connected());
        std::string frames = Frame(100, 1) + Frame(0, 2) + Frame(3000, 3);
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(client.Send(frames));
        EXPECT_TRUE(frames == client.Receive(frames.size())) << "a normal client gets its echoes";
        EXPECT_LT(MsSince(t0), 2000) << "a normal client waits on nobody";
    }

    unsigned short port_ = 0;
    NetNode node_ = nullptr;
};

}  // namespace

TEST_F(Hostile, PeerThatNeverReadsItsEchoes) {
    size_t before = PrivateBytes();
    Client reader(port_, 2000);
    ASSERT_TRUE(reader.Connected());
    // 60 MB of frames that ask for echoes, none of which is ever read.
    std::thread flood([&] {
        std::string frame = Frame(30000, 7);
        for (int i = 0; i < 2000 && reader.Send(frame); ++i) {
        }
    });
    ASSERT_TRUE(g_counts.refused > 0 || [&] {
        for (int i = 0; i < 300 && g_counts.refused == 0; ++i) Sleep(20);
        return g_counts.refused > 0;
    }()) << "the node refuses sends once as many as its workers are outstanding";
    NormalClientServed();
    EXPECT_LT(PrivateBytes(), before + 64u * 1024 * 1024) << "memory stays bounded";
    EXPECT_LT(StopTimed(), 5000) << "the stop does not wait for a peer that never reads";
    reader.ShutdownSend();
    shutdown(reader.socket(), SD_BOTH);
    flood.join();
    EXPECT_EQ(0, g_counts.afterStop.load());
}

namespace {

int NodeWorkers() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = static_cast<int>(system.dwNumberOfProcessors);
    return processors + (processors + 1) / 2;
}

// A stream, asked for by a frame with a body of one byte, is fed from the send callback:
// every chunk sent is followed by the next, for as long as streams run.
std::atomic<bool> g_streaming{false};
const std::string g_chunk = Pattern(32000, 9);

void WINAPI StartStreamOrEcho(NetChannel channel, const char* bytes, int length, void* user) {
    if (length == 9 && g_streaming) {
        Net_SendDataChannel(g_counts.node, channel, g_chunk.data(), static_cast<int>(g_chunk.size()));
    } else {
        EchoOnce(channel, bytes, length, user);
    }
}

void WINAPI NextChunk(NetChannel channel, int bytesSent, void*) {
    NetNode node = g_counts.node;
    if (node && g_streaming && bytesSent == static_cast<int>(g_chunk.size())) {
        Net_SendDataChannel(node, channel, g_chunk.data(), bytesSent);
    }
}

}  // namespace

// A channel whose receives or sends keep finishing at once, on every worker, still lets
// the completions of other channels through.
TEST_F(Hostile, PeersFloodingEveryWorkerLeaveOthersServed) {
    std::atomic<bool> stop{false};
    std::vector<Client> flooders = Clients(NodeWorkers() + 2);
    ASSERT_EQ(static_cast<size_t>(NodeWorkers() + 2), flooders.size());
    std::vector<std::thread> floods;
    for (Client& c : flooders) {
        floods.emplace_back([&stop, &c] {
            std::string frame = Frame(30000, 5);
            while (!stop && c.Send(frame)) {
            }
        });
    }
    for (int i = 0; i < 250 && g_counts.delivered < 1000; ++i) Sleep(20);
    NormalClientServed();
    stop = true;
    EXPECT_LT(StopTimed(), 5000);
    for (std::thread& t : floods) t.join();
}

TEST_F(Hostile, StreamsFedFromTheSendCallbackLeaveOthersServed) {
    Net_SetCallback_OnRecvData(node_, StartStreamOrEcho, nullptr);
    Net_SetCallback_OnSendData(node_, NextChunk);
    g_streaming = true;
    std::atomic<long long> streamed{0};
    std::vector<Client> readers = Clients(NodeWorkers() + 2);
    ASSERT_EQ(static_cast<size_t>(NodeWorkers() + 2), readers.size());
    for (Client& c : readers) ASSERT_TRUE(c.Send(Frame(1, 1)));
    std::vector<std::thread> reading;
    for (Client& c : readers) {
        reading.emplace_back([&streamed, &c] {
            std::vector<char> buffer(65536);
            for (int n; (n = recv(c.socket(), buffer.data(), static_cast<int>(buffer.size()), 0)) > 0;) streamed += n;
        });
    }
    for (int i = 0; i < 250 && streamed < 64LL * 1024 * 1024; ++i) Sleep(20);
    NormalClientServed();
    g_streaming = false;
    EXPECT_LT(StopTimed(), 5000);
    for (std::thread& t : reading) t.join();
}

TEST_F(Hostile, ManyPeersDrippingTheirBodies) {
    // 40 peers each declare a body of 20,000 bytes and send it a byte at a time, slowly.
    std::vector<Client> drippers;
    for (int i = 0; i < 40; ++i) {
        drippers.emplace_back(port_, 2000);
        ASSERT_TRUE(drippers.back().Connected());
        int body = 20000;
        std::string head(8, '\0');
        std::memcpy(&head[0], &body, 4);
        ASSERT_TRUE(drippers.back().Send(head));
    }
    for (int second = 0; second < 3; ++second) {
        for (Client& c : drippers) c.Send("x");
        Sleep(300);
    }
    NormalClientServed();
    // The normal client has gone: its close is noticed as any peer's is, before the stop.
    for (int i = 0; i < 250 && ClosedCount() < 1; ++i) Sleep(20);
    ASSERT_EQ(1, ClosedCount()) << "the normal client's close is noticed";
    EXPECT_LT(StopTimed(), 5000);
    EXPECT_EQ(1, ClosedCount()) << "open channels are freed at the stop without a notice";
}

TEST_F(Hostile, ResetsDuringSendsCloseEachChannelOnce) {
    Net_SetCallback_OnRecvData(node_, EchoOnceNoting, nullptr);
    const int kPeers = 20;
    for (int i = 0; i < kPeers; ++i) {
        Client peer(port_, 10000);
        ASSERT_TRUE(peer.Connected());
        std::string frames;
        for (int k = 0; k < 20; ++k) frames += Frame(20000, static_cast<unsigned>(i * 100 + k));
        ASSERT_TRUE(peer.Send(frames));
        // The first echo back tells that the node took the connection and is sending; a
        // reset any sooner may find the node not yet reading (a busy machine), and the
        // system then drops the connection with what it held before the node saw any of it.
        ASSERT_EQ(frames.substr(0, 20008), peer.Receive(20008)) << "peer " << i;
        // A reset, not an orderly end, while the other echoes are going out.
        linger abort{1, 0};
        setsockopt(peer.socket(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    }
    // Every channel is announced closed, once.
    auto allClosed = [&] {
        std::lock_guard<std::mutex> hold(g_counts.lock);
        for (NetChannel channel : g_counts.seen) {
            if (std::find(g_counts.closed.begin(), g_counts.closed.end(), channel) == g_counts.closed.end()) return false;
        }
        return true;
    };
    for (int i = 0; i < 250 && !allClosed(); ++i) Sleep(20);
    Sleep(300);
    EXPECT_TRUE(allClosed()) << "each reset channel is announced";
    std::vector<NetChannel> seen;
    {
        std::lock_guard<std::mutex> hold(g_counts.lock);
        seen = g_counts.seen;
    }
    EXPECT_EQ(static_cast<size_t>(kPeers), seen.size());
    for (NetChannel channel : seen) EXPECT_EQ(1, ClosedCount(channel)) << "and only once";
    NormalClientServed();
}

TEST_F(Hostile, StopWhileCallbacksRunAndSendsAreQueued) {
    g_counts.callbackMs = 200;
    std::vector<Client> peers;
    for (int i = 0; i < 12; ++i) {
        peers.emplace_back(port_, 2000);
        ASSERT_TRUE(peers.back().Connected());
        std::string frames;
        for (int k = 0; k < 30; ++k) frames += Frame(30000, static_cast<unsigned>(k));
        // Sent from a thread of its own: the node reads slowly, so this blocks.
        std::thread([socket = peers.back().socket(), frames] {
            send(socket, frames.data(), static_cast<int>(frames.size()), 0);
        }).detach();
    }
    for (int i = 0; i < 250 && g_counts.queued < 12; ++i) Sleep(20);
    ASSERT_GE(g_counts.queued.load(), 12) << "callbacks are running and sends are queued";
    EXPECT_LT(StopTimed(), 5000);
    Sleep(300);
    EXPECT_EQ(0, g_counts.afterStop.load()) << "no callback after the stop returned";
    for (Client& c : peers) {
        // What was echoed before the stop may still come first.
        c.Receive(64u * 1024 * 1024);
        EXPECT_NE(WSAETIMEDOUT, WSAGetLastError()) << "every peer sees its connection end";
    }
}
