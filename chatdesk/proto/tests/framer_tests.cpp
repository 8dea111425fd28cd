// Cutting a stream into messages: lengths by code, pieces of any size, and streams that
// end, stall or lie about their length.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ImFramer.h"
#include "ImMessages.h"
#include "Samples.h"
#include "ScriptedSource.h"

namespace chatdesk {
namespace {

ImBytes Header(const char* code) {
    ImBytes msg(kImHeaderSize, 0);
    std::memcpy(msg.data() + kImCodeOffset, code, 4);
    return msg;
}

ImBytes WithBody(const char* code, size_t total) {
    ImBytes msg(total, 0);
    std::memcpy(msg.data() + kImCodeOffset, code, 4);
    return msg;
}

struct Seen {
    ImFrame::Kind kind;
    size_t length;
    std::string code;
    bool operator==(const Seen& o) const { return kind == o.kind && length == o.length && code == o.code; }
};

std::vector<Seen> ReadAll(ScriptedSource& source) {
    ImFramer framer(source);
    std::vector<Seen> seen;
    for (;;) {
        ImFrame f = framer.Next();
        seen.push_back({f.kind, f.length, std::string(reinterpret_cast<const char*>(framer.Buffer() + 60), 4)});
        if (f.kind != ImFrame::Kind::Message && f.kind != ImFrame::Kind::Skipped && f.kind != ImFrame::Kind::Dropped)
            return seen;
    }
}

TEST(ImFramer, EveryCodeHasItsTotalLength) {
    struct Case {
        const char* code;
        size_t wire;
        size_t dispatched;
    } cases[] = {
        {"001B", 67, 67},   {"002S", 126, 126}, {"002B", 127, 127}, {"003B", 147, 147}, {"004S", 410, 410},
        {"004B", 151, 151}, {"005S", 4251, 4251}, {"005B", 127, 127}, {"006S", 86, 86}, {"007S", 76, 76},
        {"007B", 76, 76},   {"008S", 86, 86},   {"009S", 76, 76},   {"010S", 86, 86},   {"011S", 86, 86},
        {"012S", 127, 127}, {"013S", 86, 86},   {"014B", 127, 127}, {"015S", 86, 86},   {"020S", 106, 106},
        {"021S", 106, 106},
    };
    for (const Case& c : cases) {
        ScriptedSource source;
        source.Add(WithBody(c.code, c.wire));
        source.Add(Header("999X"));
        std::vector<Seen> seen = ReadAll(source);
        ASSERT_EQ(seen.size(), 3u) << c.code;
        EXPECT_EQ(seen[0].kind, ImFrame::Kind::Message) << c.code;
        EXPECT_EQ(seen[0].length, c.dispatched) << c.code;
        EXPECT_EQ(seen[1].kind, ImFrame::Kind::Skipped) << c.code;  // the next header is where it should be
    }
    // Chat texts, stored messages and their deliveries by their flag bytes.
    for (const ImBytes& msg : SampleMessages()) {
        ScriptedSource source;
        source.Add(msg);
        ImFramer framer(source);
        ImFrame f = framer.Next();
        std::string code(reinterpret_cast<const char*>(msg.data() + 60), 4);
        if (code == "001S") {
            EXPECT_EQ(f.kind, ImFrame::Kind::Skipped);
            continue;
        }
        ASSERT_EQ(f.kind, ImFrame::Kind::Message) << code;
        EXPECT_EQ(f.length, msg.size() + (code == "015B" ? 2 : 0)) << code;
        EXPECT_EQ(0, std::memcmp(framer.Buffer(), msg.data(), msg.size())) << code;
        EXPECT_EQ(framer.Next().kind, ImFrame::Kind::Closed) << code;
    }
}

TEST(ImFramer, OfflineDeliveryArrivesTwoBytesShortAndLeavesAtStoredLength) {
    for (bool formatted : {false, true}) {
        ImBytes text = BuildChatText(SampleText(formatted));
        ImBytes delivery = BuildOfflineDelivery(BuildOfflineStore(text.data(), text.size()));
        ASSERT_EQ(delivery.size(), formatted ? 959u : 929u);
        ScriptedSource source;
        source.Add(delivery);
        source.Add(BuildFileCancel({"20002", "10001"}));
        ImFramer framer(source);
        ImFrame f = framer.Next();
        EXPECT_EQ(f.kind, ImFrame::Kind::Message);
        EXPECT_EQ(f.length, formatted ? 961u : 931u);
        EXPECT_EQ(framer.Buffer()[929], 0);  // the buffer is zero where the CR LF would be
        f = framer.Next();
        EXPECT_EQ(f.length, kFileCancelSize);
    }
}

TEST(ImFramer, CodesMatchInAnyCaseAndUnknownOnesConsumeTheHeader) {
    ScriptedSource source;
    source.Add(WithBody("003b", kChatTextReceiptSize));
    source.Add(WithBody("021S", 106));
    source.Add(Header("001S"));  // a login never comes back: only its header counts
    source.Add(Header("777Q"));
    source.Add(Header("00\0\0"));  // code with zero bytes
    source.Add(BuildTypingNotice({"20002", "10001", '2'}));
    std::vector<Seen> seen = ReadAll(source);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[0], (Seen{ImFrame::Kind::Message, 147, "003b"}));
    EXPECT_EQ(seen[1], (Seen{ImFrame::Kind::Message, 106, "021S"}));
    EXPECT_EQ(seen[2].kind, ImFrame::Kind::Skipped);
    EXPECT_EQ(seen[3].kind, ImFrame::Kind::Skipped);
    EXPECT_EQ(seen[4].kind, ImFrame::Kind::Skipped);
    EXPECT_EQ(seen[5], (Seen{ImFrame::Kind::Message, 127, "012S"}));
    EXPECT_EQ(seen[6].kind, ImFrame::Kind::Closed);
}

TEST(ImFramer, PiecesOfAnySizeGiveTheSameMessages) {
    // Everything but the login, which a client never receives: a receiver would take only
    // its header, and the rest of it would be read as the next message.
    ImBytes stream;
    size_t count = 0;
    for (const ImBytes& msg : SampleMessages()) {
        if (std::memcmp(msg.data() + 60, "001S", 4) == 0) continue;
        stream.insert(stream.end(), msg.begin(), msg.end());
        ++count;
    }

    ScriptedSource whole;
    whole.Add(stream);
    std::vector<Seen> expected = ReadAll(whole);
    ASSERT_EQ(expected.size(), count + 1);
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(expected[i].kind, ImFrame::Kind::Message) << i;

    ScriptedSource bytes;
    bytes.AddInPieces(stream, 1);
    EXPECT_EQ(ReadAll(bytes), expected);

    std::mt19937 random(26);
    for (int round = 0; round < 20; ++round) {
        ScriptedSource chunks;
        for (size_t at = 0; at < stream.size();) {
            size_t n = std::min<size_t>(stream.size() - at, 1 + random() % 5000);
            chunks.Add(ImBytes(stream.begin() + at, stream.begin() + at + n));
            at += n;
        }
        EXPECT_EQ(ReadAll(chunks), expected) << "round " << round;
    }
}

TEST(ImFramer, EndsOnCloseErrorOrStallInsideAMessage) {
    ImBytes text = BuildChatText(SampleText(true));
    for (size_t cut : {size_t(1), size_t(63), size_t(64), size_t(150), text.size() - 1}) {
        ScriptedSource closed;
        closed.Add(ImBytes(text.begin(), text.begin() + cut));
        ImFrame f = ImFramer(closed).Next();
        EXPECT_EQ(f.kind, ImFrame::Kind::Closed) << cut;
        EXPECT_TRUE(f.insideMessage) << cut;

        ScriptedSource failed;
        failed.Add(ImBytes(text.begin(), text.begin() + cut));
        failed.Fail();
        f = ImFramer(failed).Next();
        EXPECT_EQ(f.kind, ImFrame::Kind::Error) << cut;
        EXPECT_EQ(f.error, 10054);

        ScriptedSource stalled;
        stalled.Add(ImBytes(text.begin(), text.begin() + cut));
        stalled.Pause();
        stalled.Add(ImBytes(text.begin() + cut, text.end()));
        EXPECT_EQ(ImFramer(stalled).Next().kind, ImFrame::Kind::Stalled) << cut;
    }
    // Quiet between messages is no stall.
    ScriptedSource idle;
    idle.Pause();
    idle.Add(text);
    idle.Pause();
    ImFramer framer(idle);
    EXPECT_EQ(framer.Next().kind, ImFrame::Kind::Message);
    ImFrame end = framer.Next();
    EXPECT_EQ(end.kind, ImFrame::Kind::Closed);
    EXPECT_FALSE(end.insideMessage);
    EXPECT_EQ(idle.pausesWaited, 2);
}

// A chat text whose digits say n: plain form, the text part n + 2 bytes of 'x'.
ImBytes TextWithDigits(const char digits[4], size_t textPart) {
    ImBytes msg = WithBody("003S", 64 + 81 + 4 + textPart);
    msg[144] = '0';
    std::memcpy(msg.data() + 145, digits, 4);
    std::memset(msg.data() + 149, 'x', textPart);
    return msg;
}

TEST(ImFramer, OutOfRangeTextLengthsAreReadWholeThenDropped) {
    struct Case {
        const char* digits;
        size_t textPart;
    } cases[] = {{"0000", 2}, {"0001", 3}, {"9999", 10001}, {"ab12", 2}, {"803\0", 805}};
    ImBytes good = BuildChatText(SampleText(false, "after"));
    for (const Case& c : cases) {
        ScriptedSource source;
        source.AddInPieces(TextWithDigits(c.digits, c.textPart), 7);
        source.Add(good);
        std::vector<Seen> seen = ReadAll(source);
        ASSERT_EQ(seen.size(), 3u) << c.digits;
        EXPECT_EQ(seen[0].kind, ImFrame::Kind::Dropped) << c.digits;
        EXPECT_EQ(seen[0].length, 149 + c.textPart) << c.digits;
        EXPECT_EQ(seen[1], (Seen{ImFrame::Kind::Message, good.size(), "003S"})) << c.digits;
    }
    // The bounds themselves are fine: an empty text (2) and a full one (802).
    ScriptedSource source;
    source.Add(TextWithDigits("2\0\0\0", 4));
    source.Add(TextWithDigits("802\0", 804));
    std::vector<Seen> seen = ReadAll(source);
    EXPECT_EQ(seen[0].kind, ImFrame::Kind::Message);
    EXPECT_EQ(seen[1].kind, ImFrame::Kind::Message);
    EXPECT_EQ(seen[1].length, 953u);
}

}  // namespace
}  // namespace chatdesk
