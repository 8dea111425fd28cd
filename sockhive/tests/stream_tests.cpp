// SockHive.dll under a long real stream: hundreds of mixed frames cut at random places,
// each echoed back from the receive callback on its own channel, with several clients
// at once; and peers that stop cooperating.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

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
    if (!sent) *why = "the client's send failed";
    else if (echoed.size() != stream.size()) *why = "echoed " + std::to_string(echoed.size()) + " of " + std::to_string(stream.size()) + " bytes";
    else if (echoed != stream) *why = "the echo differs from what was sent";
    return sent && echoed == stream;
}

class Stream : public ::testing::Test {
protected:
    void SetUp() override {
        g_echo.delivered = 0;
        g_echo.refusedAtFirst = 0;
        g_echo.givenUp = 0;
        g_echo.closed = 0;
        port_ = FreePort();
        node_ = Net_StartServer(port_);
        ASSERT_NE(nullptr, node_);
        g_echo.node = node_;
        Net_SetCallback_HeadNeed(node_, HeadOf8);
        Net_SetCallback_BodyNeed(node_, BodyFromFirstField);
        Net_SetCallback_OnRecvData(node_, EchoBack, nullptr);
        Net_SetCallback_OnChannelClosed(node_, CountClosed);
    }
    void TearDown() override {
        g_echo.node = nullptr;
        if (node_) EXPECT_EQ(1, Net_StopServer(node_));
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
