// The gatekeeper reply and the socket layer on its own: listening, connecting, sending
// whole messages, the connection limit and a stop that leaves no thread behind.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "GatekeeperReply.h"
#include "ImCodes.h"
#include "ImMessages.h"
#include "ImTcpLayer.h"
#include "Sync.h"

using namespace chatdesk;

namespace {

TEST(GatekeeperReply, TakesOnlyAWellFormedAddressNumberAndPort) {
    GatekeeperReply r;
    ASSERT_TRUE(ParseGatekeeperReply("127.0.0.1;0;17000", &r));
    EXPECT_EQ(inet_addr("127.0.0.1"), r.address);
    EXPECT_EQ(17000, r.port);
    ASSERT_TRUE(ParseGatekeeperReply(" 10.1.2.3 ; 55 ; 65535 \r\n", &r));
    EXPECT_EQ(inet_addr("10.1.2.3"), r.address);
    for (const char* bad : {"", "127.0.0.1;0", "127.0.0.1;0;0", "127.0.0.1;0;65536", "127.0.0.1;x;80",
                            "127.0.0;0;80", "256.0.0.1;0;80", "host.example;0;80", "127.0.0.1;0;80;9",
                            "\x01no;server\xff", "127.0.0.1;0;80x"})
        EXPECT_FALSE(ParseGatekeeperReply(bad, &r)) << bad;
    EXPECT_FALSE(ParseGatekeeperReply(std::string("127.0.0.1;0;80\0", 15), &r));
}

TEST(GatekeeperReply, GathersChunksUpToTheLimit) {
    GatekeeperReplyText text;
    EXPECT_TRUE(text.Append("127.0.", 6));
    EXPECT_TRUE(text.Append("0.1;0;", 6));
    EXPECT_TRUE(text.Append("17000", 5));
    EXPECT_EQ("127.0.0.1;0;17000", text.Text());
    std::string big(kGatekeeperReplyLimit, '1');
    EXPECT_FALSE(text.Append(big.data(), big.size()));
    EXPECT_TRUE(text.Overflowed());
    EXPECT_TRUE(text.Text().empty());
}

struct SendJob {
    ImConnection* connection;
    const ImBytes* bytes;
};

DWORD WINAPI SendBlocks(void* param) {
    SendJob* job = static_cast<SendJob*>(param);
    for (int k = 0; k < 25; ++k)
        if (!job->connection->SendAll(job->bytes->data(), job->bytes->size())) return 1;
    return 0;
}

class Recorder : public ImTcpOwner {
public:
    void OnAccepted(ImConnection*) override { ++accepted; }
    bool OnMessage(ImConnection* via, const uint8_t* message, size_t length) override {
        ++messages;
        bytes += length;
        vantor::Lock lock(lock_);
        from_.push_back(via->RemoteAddress());
        return via->RemoteAddress() != ignored;
    }
    void OnClosed(ImConnection*) override { ++closed; }
    bool HoldsLink(ImConnection* c) override { return c->RemoteAddress() == held; }
    size_t MessagesFrom(const std::string& address) {
        vantor::Lock lock(lock_);
        return static_cast<size_t>(std::count(from_.begin(), from_.end(), inet_addr(address.c_str())));
    }
    std::atomic<int> accepted{0}, messages{0}, closed{0};
    std::atomic<size_t> bytes{0};
    std::atomic<uint32_t> ignored{0};  // messages from there are not taken
    std::atomic<uint32_t> held{0};     // connections from there are links

private:
    vantor::CriticalSection lock_;
    std::vector<uint32_t> from_;
};

// `count` connections from `from` to `to`:`port`, made without waiting for them.
std::vector<SOCKET> Flood(const char* from, const char* to, uint16_t port, int count) {
    std::vector<SOCKET> made;
    sockaddr_in source = {};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = inet_addr(from);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = inet_addr(to);
    for (int i = 0; i < count; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source);
        connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target);
        made.push_back(s);
    }
    return made;
}

// Whether the other side has closed the socket (a read finds its end or an error).
bool ClosedByPeer(SOCKET s) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval none = {0, 0};
    if (select(0, &readable, nullptr, nullptr, &none) != 1) return false;
    char byte;
    return recv(s, &byte, 1, 0) <= 0;
}

void SendOn(SOCKET s, const ImBytes& bytes) {
    send(s, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

// An accepted connection stays only while it is a link or brings messages the owner takes,
// each within the quiet limit of the one before; a message not taken counts for nothing.
TEST(ImTcpLayer, QuietConnectionsCloseUnlessTheyAreLinksOrKeepBringingMessages) {
    const uint16_t port = cdtest::kClientPort + 102;
    const std::string own = cdtest::LoopbackAddress(32), friendAt = cdtest::LoopbackAddress(33),
                      talkerAt = cdtest::LoopbackAddress(34), strangerAt = cdtest::LoopbackAddress(35);
    Recorder server;
    server.held = inet_addr(friendAt.c_str());
    server.ignored = inet_addr(strangerAt.c_str());
    const DWORD quietMs = 3000;
    ImTcpLayer listening(&server, port, inet_addr(own.c_str()), quietMs);
    ASSERT_TRUE(listening.StartListening());
    ImBytes notice = BuildTypingNotice({"20002", "10001", '0'});

    DWORD start = GetTickCount();
    SOCKET link = Flood(friendAt.c_str(), own.c_str(), port, 1)[0];
    SOCKET talker = Flood(talkerAt.c_str(), own.c_str(), port, 1)[0];
    SOCKET stranger = Flood(strangerAt.c_str(), own.c_str(), port, 1)[0];
    SendOn(talker, notice);
    SendOn(stranger, notice);
    ASSERT_TRUE(cdtest::Eventually([&] { return server.messages == 2; }, 5000));
    cdtest::PumpFor(2000);
    SendOn(talker, notice);
    ASSERT_TRUE(cdtest::Eventually([&] { return server.MessagesFrom(talkerAt) == 2; }, 5000));
    DWORD second = GetTickCount();
    // Past the limit from the accept: the stranger's message kept nothing; the talker's
    // second one keeps it a while longer.
    ASSERT_TRUE(cdtest::Eventually([&] { return ClosedByPeer(stranger); }, quietMs + 3000));
    EXPECT_GE(GetTickCount() - start, quietMs - 200);
    cdtest::PumpFor(1500);
    EXPECT_FALSE(ClosedByPeer(talker)) << GetTickCount() - second << " ms after its last message";
    ASSERT_TRUE(cdtest::Eventually([&] { return ClosedByPeer(talker); }, quietMs + 3000));
    EXPECT_GE(GetTickCount() - second, quietMs - 200);
    EXPECT_FALSE(ClosedByPeer(link));
    EXPECT_TRUE(cdtest::Eventually([&] { return listening.ConnectionCount() == 1; }, 3000));

    for (SOCKET s : {link, talker, stranger}) closesocket(s);
    listening.Stop();
}

// Silent strangers on sixteen addresses fill every slot: a newcomer still gets in, in the
// place of the quietest of them, and neither a link nor a peer's one connection that is
// no link yet (the quietest of all) is the one that goes.
TEST(ImTcpLayer, StrangersTakeNoSlotFromANewcomerOrALink) {
    const uint16_t port = cdtest::kClientPort + 104;
    const std::string own = cdtest::LoopbackAddress(36), friendAt = cdtest::LoopbackAddress(37),
                      newcomerAt = cdtest::LoopbackAddress(38), peerAt = cdtest::LoopbackAddress(39),
                      waitingAt = cdtest::LoopbackAddress(56);
    Recorder server, client;
    server.held = inet_addr(friendAt.c_str());
    ImTcpLayer listening(&server, port, inet_addr(own.c_str()));
    ImTcpLayer other(&client, port, inet_addr(peerAt.c_str()));
    ASSERT_TRUE(listening.StartListening());
    ASSERT_TRUE(other.StartListening());

    SOCKET link = Flood(friendAt.c_str(), own.c_str(), port, 1)[0];
    SOCKET waiting = Flood(waitingAt.c_str(), own.c_str(), port, 1)[0];
    ASSERT_TRUE(cdtest::Eventually([&] { return listening.ConnectionCount() == 2; }, 5000));
    cdtest::PumpFor(50);  // the quietest by a clear margin
    std::vector<SOCKET> silent;
    for (int host = 40; host < 56; ++host) {
        std::vector<SOCKET> some = Flood(cdtest::LoopbackAddress(host).c_str(), own.c_str(), port, 4);
        silent.insert(silent.end(), some.begin(), some.end());
    }
    ASSERT_TRUE(cdtest::Eventually([&] { return server.accepted == 66; }, 10000)) << server.accepted.load();
    EXPECT_TRUE(cdtest::Eventually([&] { return listening.ConnectionCount() == kMaxImConnections; }, 3000));

    SOCKET newcomer = Flood(newcomerAt.c_str(), own.c_str(), port, 1)[0];
    SendOn(newcomer, BuildTypingNotice({"20002", "10001", '0'}));
    EXPECT_TRUE(cdtest::Eventually([&] { return server.MessagesFrom(newcomerAt) == 1; }, 5000))
        << "a full layer refused the newcomer";
    EXPECT_FALSE(ClosedByPeer(newcomer));
    EXPECT_FALSE(ClosedByPeer(link));
    EXPECT_FALSE(ClosedByPeer(waiting)) << "a peer's one connection went for a crowd's";
    size_t seenClosed = 0;
    for (SOCKET s : silent) seenClosed += ClosedByPeer(s) ? 1 : 0;
    EXPECT_EQ(3u, seenClosed) << "one for the newcomer, two for the last of the sixty-four";
    // Our own connection is never refused.
    ImConnection* ours = listening.Connect(inet_addr(peerAt.c_str()), port);
    ASSERT_NE(nullptr, ours) << "a full layer refused the service's own connection";
    EXPECT_TRUE(cdtest::Eventually([&] { return listening.ConnectionCount() == kMaxImConnections + 1; }, 3000));
    ours->Release();

    for (SOCKET s : silent) closesocket(s);
    for (SOCKET s : {link, waiting, newcomer}) closesocket(s);
    listening.Stop();
    other.Stop();
}

struct BigSend {
    ImConnection* connection;
    SendWait wait;
    std::vector<uint8_t> bytes;
    std::atomic<int> result{-1};
    std::atomic<DWORD> took{0};
};

DWORD WINAPI SendBig(void* param) {
    BigSend* job = static_cast<BigSend*>(param);
    DWORD start = GetTickCount();
    job->result = job->connection->SendAll(job->bytes.data(), job->bytes.size(), job->wait) ? 1 : 0;
    job->took = GetTickCount() - start;
    return 0;
}

// Whether it waits for a whole message or for as long as bytes move, a sender to a peer
// that takes nothing is let go after the limit (after the peer took its last byte).
TEST(ImTcpLayer, APeerThatStopsReadingHoldsASenderForTheLimitOnly) {
    const uint16_t port = cdtest::kClientPort + 103;
    Recorder client;
    ImTcpLayer calling(&client, port, inet_addr("127.0.0.33"));
    SOCKET deaf = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.57");
    at.sin_port = htons(port);
    ASSERT_EQ(0, bind(deaf, reinterpret_cast<sockaddr*>(&at), sizeof at));
    ASSERT_EQ(0, listen(deaf, 2));
    BigSend jobs[2];
    jobs[0].wait = SendWait::Whole;
    jobs[1].wait = SendWait::WhileMoving;
    HANDLE senders[2];
    DWORD start = GetTickCount();
    for (int i = 0; i < 2; ++i) {
        jobs[i].connection = calling.Connect(inet_addr("127.0.0.57"), port);
        ASSERT_NE(nullptr, jobs[i].connection);
        jobs[i].bytes.assign(16 << 20, 0);
        senders[i] = CreateThread(nullptr, 0, SendBig, &jobs[i], 0, nullptr);
    }
    // One that waits while bytes move may see the peer's buffers take a last piece once.
    bool ended = WaitForMultipleObjects(2, senders, TRUE, 2 * kImSendLimitMs + 2000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended) << "a sender was still blocked after " << GetTickCount() - start << " ms";
    EXPECT_LE(jobs[0].took.load(), kImSendLimitMs + 1000);
    if (!ended) closesocket(deaf);  // lets the blocked send go
    WaitForMultipleObjects(2, senders, TRUE, INFINITE);
    for (BigSend& job : jobs) {
        EXPECT_EQ(0, job.result.load());
        // The connection is closed: later senders fail at once and the owner hears of it.
        EXPECT_TRUE(job.connection->Closed());
        DWORD again = GetTickCount();
        EXPECT_FALSE(job.connection->SendAll("x", 1));
        EXPECT_LT(GetTickCount() - again, 500u);
    }
    EXPECT_TRUE(cdtest::Eventually([&] { return client.closed == 2; }, 3000));
    for (int i = 0; i < 2; ++i) {
        CloseHandle(senders[i]);
        jobs[i].connection->Release();
    }
    if (ended) closesocket(deaf);
    calling.Stop();
}

TEST(ImTcpLayer, SendsWholeMessagesCapsConnectionsAndStopsEveryThread) {
    const uint16_t port = cdtest::kClientPort + 100;
    size_t threadsBefore = cdtest::ThreadCount();
    Recorder server, client;
    {
        ImTcpLayer listening(&server, port, inet_addr("127.0.0.28"));
        ImTcpLayer calling(&client, port, inet_addr("127.0.0.29"));
        ASSERT_TRUE(listening.StartListening());
        EXPECT_TRUE(listening.StartListening()) << "already listening";
        ImTcpLayer second(&server, port, inet_addr("127.0.0.28"));
        EXPECT_FALSE(second.StartListening()) << "the port is taken on that address";

        ImConnection* c = calling.Connect(inet_addr("127.0.0.28"), port);
        ASSERT_NE(nullptr, c);
        EXPECT_EQ(inet_addr("127.0.0.28"), c->RemoteAddress());
        // 4,251-byte blocks from several threads at once arrive whole and in step.
        FileBlock block;
        block.stamp = "20260101000000000000";
        block.offererId = "20002";
        block.receiverId = "10001";
        std::vector<uint8_t> data(4096, 0x5A);
        block.data = data.data();
        block.count = 4096;
        ImBytes bytes = BuildFileBlock(block);
        ASSERT_EQ(4251u, bytes.size());
        std::vector<HANDLE> senders;
        SendJob job{c, &bytes};
        for (int i = 0; i < 4; ++i) senders.push_back(CreateThread(nullptr, 0, SendBlocks, &job, 0, nullptr));
        for (HANDLE h : senders) {
            WaitForSingleObject(h, 20000);
            DWORD code = 1;
            GetExitCodeThread(h, &code);
            EXPECT_EQ(0u, code);
            CloseHandle(h);
        }
        ASSERT_TRUE(cdtest::Eventually([&] { return server.messages == 100; }, 10000));
        EXPECT_EQ(100u * 4251u, server.bytes.load());
        EXPECT_EQ(1, server.accepted.load());

        // Beyond the limit of one address, connections are closed as soon as they come.
        std::vector<SOCKET> many = Flood("127.0.0.27", "127.0.0.28", port, 80);
        cdtest::PumpFor(1000);
        EXPECT_LE(listening.ConnectionCount(), 1 + kMaxAcceptedPerAddress);
        for (SOCKET s : many) closesocket(s);
        ASSERT_TRUE(cdtest::Eventually([&] { return listening.ConnectionCount() == 1; }, 10000));

        c->Close();
        EXPECT_FALSE(c->SendAll(bytes.data(), bytes.size())) << "nothing goes out once closed";
        c->Release();
        ASSERT_TRUE(cdtest::Eventually([&] { return client.closed == 1 && calling.ConnectionCount() == 0; }, 5000));
        listening.Stop();
        calling.Stop();
        EXPECT_EQ(0u, listening.ConnectionCount());
    }
    EXPECT_TRUE(cdtest::Eventually([&] { return cdtest::ThreadCount() <= threadsBefore; }, 3000))
        << cdtest::ThreadCount() << " threads, " << threadsBefore << " before";
}

std::string StampOf(const uint8_t* message) { return std::string(reinterpret_cast<const char*>(message) + 64, 20); }

// Keeps the stamps of what arrives, in order.
class StampRecorder : public ImTcpOwner {
public:
    void OnAccepted(ImConnection*) override {}
    bool OnMessage(ImConnection*, const uint8_t* message, size_t) override {
        vantor::Lock lock(lock_);
        stamps_.push_back(StampOf(message));
        return true;
    }
    void OnClosed(ImConnection*) override {}
    std::vector<std::string> Stamps() {
        vantor::Lock lock(lock_);
        return stamps_;
    }

private:
    vantor::CriticalSection lock_;
    std::vector<std::string> stamps_;
};

// Answers every message from the receive thread on the connection it came on, as the
// chat window answers file blocks. After answering anything but a block it waits for the
// other side to hold every answer so far, as a handler waiting on another thread would.
class Answerer : public ImTcpOwner {
public:
    explicit Answerer(StampRecorder& other) : other_(other) {}
    void OnAccepted(ImConnection*) override {}
    bool OnMessage(ImConnection* via, const uint8_t* message, size_t) override {
        FileBlockAck ack;
        ack.stamp = StampOf(message);
        ack.ackerId = "10001";
        ack.offererId = "20002";
        ImBytes answer = BuildFileBlockAck(ack);
        via->SendAll(answer.data(), answer.size());
        size_t answered = ++answers;
        if (SameImCode(message + kImCodeOffset, "005S")) return true;
        DWORD start = GetTickCount();
        while (other_.Stamps().size() < answered && GetTickCount() - start < 5000) Sleep(10);
        if (other_.Stamps().size() < answered) waitedOut = true;
        return true;
    }
    void OnClosed(ImConnection*) override {}
    std::atomic<size_t> answers{0};
    std::atomic<bool> waitedOut{false};

private:
    StampRecorder& other_;
};

// A run of blocks in one write is answered whole and in order; a message of another kind
// finds the answers before it sent, and its own answer goes out while its handler waits.
TEST(ImTcpLayer, AnswersToARunOfBlocksGoTogetherInOrderAndNeverWaitOnAHandler) {
    const uint16_t port = cdtest::kClientPort + 101;
    StampRecorder calling;
    Answerer answering(calling);
    ImTcpLayer listening(&answering, port, inet_addr("127.0.0.30"));
    ImTcpLayer caller(&calling, port, inet_addr("127.0.0.31"));
    ASSERT_TRUE(listening.StartListening());
    ImConnection* c = caller.Connect(inet_addr("127.0.0.30"), port);
    ASSERT_NE(nullptr, c);

    std::vector<std::string> sent;
    ImBytes run;
    std::vector<uint8_t> data(4096, 0x3C);
    for (int i = 0; i < 30; ++i) {
        FileBlock block;
        block.stamp = "202601010000000000" + std::string(1, char('0' + i / 10)) + char('0' + i % 10);
        block.offererId = "20002";
        block.receiverId = "10001";
        block.number = i;
        block.data = data.data();
        block.count = 4096;
        ImBytes bytes = BuildFileBlock(block);
        run.insert(run.end(), bytes.begin(), bytes.end());
        sent.push_back(block.stamp);
    }
    FileBlockAck other;
    other.stamp = "20260101000000000099";
    other.ackerId = "20002";
    other.offererId = "10001";
    ImBytes last = BuildFileBlockAck(other);
    run.insert(run.end(), last.begin(), last.end());
    sent.push_back(other.stamp);
    DWORD start = GetTickCount();
    ASSERT_TRUE(c->SendAll(run.data(), run.size()));

    ASSERT_TRUE(cdtest::Eventually([&] { return calling.Stamps().size() == sent.size(); }, 10000));
    EXPECT_EQ(sent, calling.Stamps());
    EXPECT_FALSE(answering.waitedOut.load());
    EXPECT_LT(GetTickCount() - start, 4000u);

    // Blocks with nothing after them are answered too, once the run has been handled.
    ImBytes tail(run.begin(), run.begin() + 3 * 4251);
    ASSERT_TRUE(c->SendAll(tail.data(), tail.size()));
    ASSERT_TRUE(cdtest::Eventually([&] { return calling.Stamps().size() == sent.size() + 3; }, 10000));
    c->Release();
    listening.Stop();
    caller.Stop();
}

}  // namespace
