// The framing and close bookkeeping fed with synthetic completions, no sockets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ChannelLife.h"
#include "FrameReader.h"

using sockhive::ChannelLife;
using sockhive::FrameReader;
using sockhive::kBufferBytes;
using Step = FrameReader::Step;

namespace {

// Feeds pieces as receive completions and collects what is delivered.
struct Feeder {
    FrameReader reader;
    std::vector<std::string> delivered;
    std::vector<int> asked;  // the length of every receive posted
    bool failed = false;

    Feeder(FrameReader::HeadNeed head, FrameReader::BodyNeed body) : reader(std::move(head), std::move(body)) {
        Follow(reader.Begin());
    }
    void Follow(Step step) {
        if (step == Step::Fail) failed = true;
        if (step == Step::Receive) asked.push_back(reader.TargetLength());
    }
    void Piece(const std::string& bytes) {
        ASSERT_FALSE(failed);
        ASSERT_LE(static_cast<int>(bytes.size()), reader.TargetLength()) << "the receive asked for less";
        std::memcpy(reader.Target(), bytes.data(), bytes.size());
        Step step = reader.Received(static_cast<int>(bytes.size()));
        while (step == Step::Deliver) {
            delivered.emplace_back(reader.Message(), reader.MessageLength());
            step = reader.Delivered();
        }
        Follow(step);
    }
};

std::string Head(int bodyLength) {
    std::string head(8, 'h');
    std::memcpy(&head[0], &bodyLength, 4);
    return head;
}

int BodyFromHead(const char* head, int length) {
    int body = 0;
    std::memcpy(&body, head, 4);
    return length == 8 ? body : -99;
}

}  // namespace

TEST(FrameReader, HeadThenBodyInAnyPieces) {
    Feeder f([] { return 8; }, BodyFromHead);
    EXPECT_EQ(std::vector<int>{kBufferBytes}, f.asked) << "every receive may fill the buffer";
    std::string body(100, 'b');
    f.Piece(Head(100));
    EXPECT_TRUE(f.delivered.empty());
    f.Piece(body);
    ASSERT_EQ(1u, f.delivered.size());
    EXPECT_EQ(Head(100) + body, f.delivered[0]);

    // Head 4 + 4, body 50 + 50: still one message, head first.
    f.Piece(Head(100).substr(0, 4));
    f.Piece(Head(100).substr(4));
    f.Piece(std::string(50, 'x'));
    EXPECT_EQ(kBufferBytes - 58, f.asked.back()) << "the rest of the buffer, behind the pieces so far";
    f.Piece(std::string(50, 'y'));
    ASSERT_EQ(2u, f.delivered.size());
    EXPECT_EQ(Head(100) + std::string(50, 'x') + std::string(50, 'y'), f.delivered[1]);
    EXPECT_EQ(kBufferBytes, f.asked.back());

    // Byte by byte.
    std::string whole = Head(3) + "abc";
    for (char c : whole) f.Piece(std::string(1, c));
    ASSERT_EQ(3u, f.delivered.size());
    EXPECT_EQ(whole, f.delivered[2]);
    EXPECT_FALSE(f.failed);
}

TEST(FrameReader, OneReceiveCarryingSeveralMessages) {
    Feeder f([] { return 8; }, BodyFromHead);
    std::string first = Head(100) + std::string(100, '1');
    std::string second = Head(5) + "22222";
    std::string third = Head(40) + std::string(40, '3');
    f.Piece(first + second + third.substr(0, 20));
    ASSERT_EQ(2u, f.delivered.size()) << "every whole message, each on its own";
    EXPECT_EQ(first, f.delivered[0]);
    EXPECT_EQ(second, f.delivered[1]);
    EXPECT_EQ(kBufferBytes - 20, f.asked.back()) << "the unfinished one moved to the front";
    f.Piece(third.substr(20) + third.substr(0, 3));
    ASSERT_EQ(3u, f.delivered.size());
    EXPECT_EQ(third, f.delivered[2]);
    f.Piece(third.substr(3));
    ASSERT_EQ(4u, f.delivered.size());
    EXPECT_EQ(third, f.delivered[3]);

    // A head too long for the buffer, behind a good message: the good one still goes.
    Feeder hostile([] { return 8; }, BodyFromHead);
    hostile.Piece(second + Head(40000) + "junk");
    EXPECT_EQ(std::vector<std::string>{second}, hostile.delivered);
    EXPECT_TRUE(hostile.failed);

    // A full buffer of small messages, the last one cut at the buffer's end.
    Feeder full([] { return 8; }, BodyFromHead);
    std::string many;
    while (many.size() + second.size() <= static_cast<size_t>(kBufferBytes)) many += second;
    many += third.substr(0, kBufferBytes - many.size());
    full.Piece(many);
    EXPECT_EQ(static_cast<size_t>(kBufferBytes) / second.size(), full.delivered.size());
    full.Piece(third.substr(kBufferBytes % second.size()));
    EXPECT_EQ(third, full.delivered.back());
    EXPECT_FALSE(full.failed);
}

TEST(FrameReader, StreamAndHeadOnlyModes) {
    Feeder stream(nullptr, BodyFromHead);
    EXPECT_EQ(kBufferBytes, stream.asked.back());
    stream.Piece("abc");
    stream.Piece("defgh");
    EXPECT_EQ((std::vector<std::string>{"abc", "defgh"}), stream.delivered);

    Feeder zero([] { return 0; }, BodyFromHead);
    zero.Piece(std::string(kBufferBytes, 'z'));
    ASSERT_EQ(1u, zero.delivered.size());
    EXPECT_EQ(static_cast<size_t>(kBufferBytes), zero.delivered[0].size());

    Feeder heads([] { return 8; }, nullptr);
    heads.Piece("1234");
    heads.Piece("5678");
    heads.Piece("abcdefgh");
    EXPECT_EQ((std::vector<std::string>{"12345678", "abcdefgh"}), heads.delivered);

    Feeder emptyBody([] { return 8; }, [](const char*, int) { return 0; });
    emptyBody.Piece(Head(0));
    EXPECT_EQ(1u, emptyBody.delivered.size());
}

TEST(FrameReader, LengthsThatCannotFitFail) {
    for (int body : {-1, -40000, 40000, kBufferBytes - 7}) {
        Feeder f([] { return 8; }, BodyFromHead);
        f.Piece(Head(body));
        EXPECT_TRUE(f.failed) << body;
        EXPECT_TRUE(f.delivered.empty());
    }
    Feeder exact([] { return 8; }, BodyFromHead);
    exact.Piece(Head(kBufferBytes - 8));
    EXPECT_FALSE(exact.failed) << "head and body may fill the buffer";
    exact.Piece(std::string(kBufferBytes - 8, 'q'));
    ASSERT_EQ(1u, exact.delivered.size());
    EXPECT_EQ(static_cast<size_t>(kBufferBytes), exact.delivered[0].size());

    Feeder hugeHead([] { return kBufferBytes + 1; }, nullptr);
    EXPECT_TRUE(hugeHead.failed);

    FrameReader reader([] { return 8; }, nullptr);
    reader.Begin();
    EXPECT_EQ(Step::Fail, reader.Received(kBufferBytes + 1)) << "more than was asked for";
}

TEST(FrameReader, DeliveredBytesAreClearedForTheNextMessage) {
    FrameReader reader([] { return 4; }, [](const char* head, int) { return head[0] == 'L' ? 4 : 0; });
    reader.Begin();
    std::memcpy(reader.Target(), "Lxyz", 4);
    reader.Received(4);
    std::memcpy(reader.Target(), "body", 4);
    ASSERT_EQ(Step::Deliver, reader.Received(4));
    reader.Delivered();
    std::memcpy(reader.Target(), "S", 1);
    ASSERT_EQ(Step::Receive, reader.Received(1));
    EXPECT_EQ(std::string("S\0\0\0\0\0\0\0", 8), std::string(reader.Message(), 8));

    // The piece of a next message moves to the front; nothing stale is left behind it.
    FrameReader ahead([] { return 4; }, [](const char* head, int) { return head[0] == 'L' ? 4 : 0; });
    ahead.Begin();
    std::memcpy(ahead.Target(), "LxyzbodyLq", 10);
    ASSERT_EQ(Step::Deliver, ahead.Received(10));
    EXPECT_EQ("Lxyzbody", std::string(ahead.Message(), ahead.MessageLength()));
    ASSERT_EQ(Step::Receive, ahead.Delivered());
    EXPECT_EQ(std::string("Lq\0\0\0\0\0\0\0\0", 10), std::string(ahead.Message(), 10));
    EXPECT_EQ(kBufferBytes - 2, ahead.TargetLength());
}

TEST(ChannelLife, ClosesOnceWhenTheLastOperationEnds) {
    ChannelLife life(3);
    ASSERT_TRUE(life.BeginReceive());
    ASSERT_TRUE(life.BeginSend());
    EXPECT_FALSE(life.RequestClose()) << "the receive and the send are still out";
    EXPECT_FALSE(life.BeginSend()) << "nothing new once closing";
    EXPECT_FALSE(life.BeginReceive());
    EXPECT_FALSE(life.EndReceive());
    EXPECT_TRUE(life.EndSend()) << "the last one runs the close path";
    EXPECT_FALSE(life.EndSend());
    EXPECT_FALSE(life.RequestClose()) << "never twice";

    ChannelLife idle(3);
    EXPECT_TRUE(idle.RequestClose()) << "nothing outstanding: close now";
    EXPECT_FALSE(idle.RequestClose());

    // A peer closing during a send: the receive ends first, the send last.
    ChannelLife peer(3);
    peer.BeginReceive();
    peer.BeginSend();
    peer.RequestClose();
    EXPECT_FALSE(peer.EndReceive());
    EXPECT_TRUE(peer.EndSend());
}

TEST(ChannelLife, SendLimit) {
    ChannelLife life(2);
    life.BeginReceive();
    EXPECT_TRUE(life.BeginSend());
    EXPECT_TRUE(life.BeginSend());
    EXPECT_FALSE(life.BeginSend()) << "at the limit";
    EXPECT_EQ(2, life.PendingSends());
    life.EndSend();
    EXPECT_TRUE(life.BeginSend());
    EXPECT_FALSE(life.Closing());
}
