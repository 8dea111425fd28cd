// The peer record's coding and the small rules: replies, the address rule, the beat
// clock, the login cookies, and what a received record does.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "BeatClock.h"
#include "Fakes.h"
#include "LoginCookies.h"
#include "PeerAddress.h"
#include "PeerDispatch.h"
#include "PeerPacket.h"
#include "PeerRecords.h"
#include "TestSupport.h"

using namespace presence;

namespace {

std::string ReplyText(const char* command) {
    PeerFields f;
    f.command = command;
    return ReplyFor(BuildPacket(f));
}

TEST(PeerCoding, BytesBecomeUpperCaseDigitsAndOnlyThoseDecode) {
    BYTE one = 0xAF;
    EXPECT_EQ("AF", EncodeHex(&one, 1));
    BYTE out[3] = {0xEE, 0xEE, 0xEE};
    DecodeHex("afaF7G", 6, out);
    EXPECT_EQ(0x00, out[0]);
    EXPECT_EQ(0x0F, out[1]);
    EXPECT_EQ(0x70, out[2]);

    PeerFields f;
    f.command = kPeerRequestValid;
    f.sender = testkit::Ansi("甲乙");
    f.receiver = "demo01";
    f.subCode = "02";
    f.nickname = testkit::Ansi("张三");
    f.message = testkit::Ansi("你好，我是张三");
    std::string text = EncodePacket(BuildPacket(f));
    ASSERT_EQ(static_cast<size_t>(kPacketChars), text.size());
    EXPECT_EQ("3030303100", text.substr(0, 10));
    PeerFields back = ReadPacket(DecodePacket(text.data()));
    EXPECT_EQ(f.command, back.command);
    EXPECT_EQ(f.sender, back.sender);
    EXPECT_EQ(f.receiver, back.receiver);
    EXPECT_EQ("02", back.subCode);
    EXPECT_EQ(f.nickname, back.nickname);
    EXPECT_EQ(f.message, back.message);
    EXPECT_EQ("", back.answer);
}

TEST(PeerCoding, TextsAreCutInsideTheirFieldsAtACharacterBoundary) {
    PeerFields f;
    f.command = "000123";
    f.sender = std::string(30, 'a');
    f.receiver = "b" + testkit::Ansi("中文中文中文中文中文");  // 1 + 20 bytes: the last character goes whole
    f.message = std::string(300, 'm');
    PeerPacket p = BuildPacket(f);
    PeerFields back = ReadPacket(p);
    EXPECT_EQ("0001", back.command);
    EXPECT_EQ(std::string(20, 'a'), back.sender);
    EXPECT_EQ("b" + testkit::Ansi("中文中文中文中文中"), back.receiver);
    EXPECT_EQ(std::string(254, 'm'), back.message);
    EXPECT_EQ(0, p.bytes[kPacketBytes - 1]);

    // A record whose every field is full: terminating keeps each read inside its field.
    PeerPacket full;
    memset(full.bytes, 'x', sizeof full.bytes);
    TerminateFields(&full);
    PeerFields cut = ReadPacket(full);
    EXPECT_EQ(4u, cut.command.size());
    EXPECT_EQ(20u, cut.sender.size());
    EXPECT_EQ(2u, cut.subCode.size());
    EXPECT_EQ(254u, cut.nickname.size());
    EXPECT_EQ(254u, cut.message.size());
}

TEST(PeerCoding, RepliesNameTheCommandAndTellKnownOnesApart) {
    for (const char* known : {"0001", "0002", "0003", "0004", "0005", "0006"}) {
        std::string expected = EncodeHex(reinterpret_cast<const BYTE*>(known), 4) + "00" + "3030303000";
        EXPECT_EQ(expected, ReplyText(known)) << known;
    }
    EXPECT_EQ("30303039003030303031", ReplyText("0009"));
    EXPECT_EQ("00000000003030303031", ReplyFor(DecodePacket(std::string(kPacketChars, 'z').c_str())));
    EXPECT_EQ(static_cast<size_t>(kReplyChars), ReplyText("0001").size());
}

TEST(PeerCoding, OurNoticesCarryOurIdAndNickname) {
    FriendInfoA own = fakes::Record("demo01", "", 1, 0, 0);
    strcpy(own.nickname, testkit::Ansi("演示用户").c_str());
    FriendInfoA peer = fakes::Record("x1", "X", 1, 0, 0);
    const char* expected[] = {"0003", "0004", "0006"};
    for (int kind = 0; kind < 3; ++kind) {
        PeerFields f = ReadPacket(DecodePacket(NoticeText(kind, own, peer).c_str()));
        EXPECT_EQ(expected[kind], f.command);
        EXPECT_EQ("demo01", f.sender);
        EXPECT_EQ("x1", f.receiver);
        EXPECT_EQ("02", f.subCode);
        EXPECT_EQ(testkit::Ansi("演示用户"), f.nickname);
        EXPECT_EQ("", f.message);
    }
    EXPECT_EQ("", NoticeText(3, own, peer));
    PeerFields status = ReadPacket(DecodePacket(StatusNoticeText(own, peer, "10").c_str()));
    EXPECT_EQ("0005", status.command);
    EXPECT_EQ("01", status.subCode);
    EXPECT_EQ("10", status.nickname);
}

TEST(PeerRules, AddressesFollowTheRouterAndUnknownOnesAreNoRoad) {
    FriendStatus own = {};
    own.publicIp = fakes::Ip(1, 2, 3, 4);
    FriendStatus peer = {};
    peer.publicIp = fakes::Ip(5, 6, 7, 8);
    peer.publicPort = 7001;
    peer.localIp = fakes::Ip(192, 168, 0, 9);
    peer.localPort = 6090;

    PeerTarget t = ChoosePeerTarget(own, peer, PortRule::OwnPort, 6082);
    EXPECT_EQ(peer.publicIp, t.address);
    EXPECT_EQ(6082, t.port);
    t = ChoosePeerTarget(own, peer, PortRule::FriendPort, 6082);
    EXPECT_EQ(peer.publicIp, t.address);
    EXPECT_EQ(7001, t.port);

    own.publicIp = peer.publicIp;
    t = ChoosePeerTarget(own, peer, PortRule::OwnPort, 6082);
    EXPECT_EQ(peer.localIp, t.address);
    EXPECT_EQ(6082, t.port);
    t = ChoosePeerTarget(own, peer, PortRule::FriendPort, 6082);
    EXPECT_EQ(peer.localIp, t.address);
    EXPECT_EQ(6090, t.port);

    EXPECT_TRUE(Reachable(t));
    EXPECT_FALSE(Reachable(PeerTarget{0, 6082}));
    EXPECT_FALSE(Reachable(PeerTarget{0xFFFFFFFFu, 6082}));
    EXPECT_FALSE(Reachable(PeerTarget{fakes::Ip(127, 0, 0, 2), 0}));
    // Two unknown public addresses are "equal", and the unknown local one is no road.
    FriendStatus none = {};
    EXPECT_FALSE(Reachable(ChoosePeerTarget(none, none, PortRule::OwnPort, 6082)));
}

TEST(PeerRules, BeatsComeWhenTheIntervalIsReachedAndZeroKeepsIt) {
    BeatClock clock;
    int due = 0;
    for (int i = 0; i < 29; ++i) due += clock.Tick();
    EXPECT_EQ(0, due);
    EXPECT_TRUE(clock.Tick());
    EXPECT_TRUE(clock.Tick()) << "a beat not yet taken stays due";
    clock.Restart();
    clock.Accept(5);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(clock.Tick());
    EXPECT_TRUE(clock.Tick());
    clock.Accept(0);
    EXPECT_EQ(5u, clock.Interval());
    // An interval below the ticks already counted makes the beat due at the next tick.
    clock.Restart();
    for (int i = 0; i < 3; ++i) clock.Tick();
    clock.Accept(2);
    EXPECT_TRUE(clock.Tick());
}

TEST(PeerRules, CookiesComeFromTheTwoCodes) {
    ServicePolicyInfoA p = {};
    p.codeCount = 2;
    strcpy(p.codes[0], "iPlanetDirectoryPro=SSO=1;Path=/");
    strcpy(p.codes[1], "JSESSIONID=ABC;Path=/web");
    LoginCookies c;
    ASSERT_TRUE(ReadLoginCookies(p, &c));
    EXPECT_EQ("ABC", c.session);
    EXPECT_EQ("SSO=1;Path=/", c.signOn);

    strcpy(p.codes[1], "JSESSIONID");
    EXPECT_FALSE(ReadLoginCookies(p, &c));
    strcpy(p.codes[1], "JSESSIONID=X");
    strcpy(p.codes[0], "no-equals");
    EXPECT_FALSE(ReadLoginCookies(p, &c));
    strcpy(p.codes[0], "a=");
    p.codeCount = 1;
    EXPECT_FALSE(ReadLoginCookies(p, &c));
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        book.Add(fakes::Record("demo01", "me", 1, fakes::Ip(127, 0, 0, 1), 6082));
        book.Add(fakes::Record("x1", "X", 1, fakes::Ip(127, 0, 0, 2), 6082, fakes::Ip(10, 0, 0, 2), 6082));
        book.Add(fakes::Record("y1", "Y", 0, 0, 0));
    }
    void Dispatch(const char* command, const char* sender, const std::string& nick = "", const char* sub = "02",
                  const char* receiver = "demo01", const char* answer = "") {
        PeerFields f;
        f.command = command;
        f.sender = sender;
        f.receiver = receiver;
        f.subCode = sub;
        f.nickname = nick;
        f.answer = answer;
        f.message = "m";
        DispatchPeerPacket(BuildPacket(f), from, memory, book, ask, sink);
    }
    // The server answers the asks made so far with `ipAnswer` (0: it cannot say), and the
    // records held for them are dispatched.
    void Answer() {
        for (const std::string& id : pending) {
            FriendStatus where = {};
            where.publicIp = ipAnswer;
            where.localIp = fakes::Ip(10, 0, 0, 99);
            memory.answers.Answered(id, ipAnswer != 0, where);
        }
        pending.clear();
        DispatchAnswered(memory, book, sink);
    }
    fakes::Book book;
    std::vector<std::string> asked, pending;
    ServerAsk ask = [this](const std::string& id) {
        asked.push_back(id);
        pending.push_back(id);
        return true;
    };
    DWORD ipAnswer = 0;
    std::vector<UINT> notices;
    PresenceNotice last = {};
    NoticeSink sink = [this](UINT message, const PresenceNotice& n) {
        notices.push_back(message);
        last = n;
    };
    DWORD from = fakes::Ip(127, 0, 0, 2);  // where the record came from: x1's public address
    PeerMemory memory;
};

TEST_F(DispatchTest, RequestsAnswersAndRemovals) {
    Dispatch("0001", "q9", testkit::Ansi("张三"));
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(static_cast<UINT>(PTM_VERIFY_REQUEST), notices[0]);
    EXPECT_STREQ("q9", last.id);
    EXPECT_EQ(testkit::Ansi("张三"), last.nickname);
    EXPECT_STREQ("m", last.message);
    for (const char* answer : {"0000", "0001", "zz"}) {
        memory.asked.insert("x1");
        Dispatch("0002", "x1", "", "02", "demo01", answer);
    }
    EXPECT_EQ((std::vector<UINT>{PTM_VERIFY_REQUEST, PTM_VERIFY_REFUSED, PTM_VERIFY_ACCEPTED, PTM_VERIFY_ACCEPTED}),
              notices);

    Dispatch("0003", "x1");
    Dispatch("0009", "x1");
    Dispatch("0004", "nobody");
    EXPECT_TRUE(book.calls.empty());
    Dispatch("0004", "x1");
    EXPECT_EQ(nullptr, book.FindFriend("x1", nullptr));
    // y1 has no stored address: the removal waits for the presence server to say where it is.
    from = ipAnswer = fakes::Ip(127, 0, 0, 9);
    Dispatch("0006", "y1");
    EXPECT_NE(nullptr, book.FindFriend("y1", nullptr));
    Answer();
    EXPECT_EQ(nullptr, book.FindFriend("y1", nullptr));
    EXPECT_EQ((std::vector<std::string>{"delete x1", "delete y1"}), book.calls);
    EXPECT_EQ(4u, notices.size());
    EXPECT_TRUE(asked == std::vector<std::string>{"y1"});
}

TEST_F(DispatchTest, StatusNoticesAndRecordsForSomeoneElse) {
    Dispatch("0005", "x1", "0", "01");
    EXPECT_EQ(0, book.Info(2).status.status);
    EXPECT_EQ(0u, book.Info(2).status.publicIp);
    EXPECT_EQ(0u, book.Info(2).status.localIp);
    EXPECT_EQ(6082, book.Info(2).status.publicPort) << "only the addresses go";
    EXPECT_TRUE(asked.empty());

    // Its stored addresses are gone: the one the server gives is where it may speak from.
    from = ipAnswer = fakes::Ip(127, 0, 0, 5);
    Dispatch("0005", "x1", "2", "01");
    Answer();
    EXPECT_EQ(2, book.Info(2).status.status);
    EXPECT_EQ(fakes::Ip(127, 0, 0, 5), book.Info(2).status.publicIp);
    EXPECT_EQ(std::vector<std::string>{"x1"}, asked);
    Dispatch("0005", "x1", "1", "01");
    EXPECT_EQ(1, book.Info(2).status.status);
    EXPECT_EQ(1u, asked.size()) << "an online friend keeps its addresses";

    book.calls.clear();
    Dispatch("0005", "x1", "0", "02");
    Dispatch("0005", "x1", "0", "03");
    Dispatch("0005", "stranger", "2", "01");
    EXPECT_TRUE(book.calls.empty());

    Dispatch("0004", "x1", "", "02", "demo02");
    Dispatch("0001", "x1", "", "02", "");
    EXPECT_TRUE(book.calls.empty());
    EXPECT_TRUE(notices.empty());
    EXPECT_NE(nullptr, book.FindFriend("x1", nullptr));
}

TEST_F(DispatchTest, NoticesThatChangeTheBookComeOnlyFromWhereTheSenderIs) {
    // Another host naming x1 as sender: no removal, no status, no answer to a request,
    // also once the server has had its say (here: that it cannot say).
    from = fakes::Ip(127, 0, 0, 66);
    memory.asked.insert("x1");
    Dispatch("0004", "x1");
    Dispatch("0006", "x1");
    Dispatch("0005", "x1", "0", "01");
    Dispatch("0002", "x1", "", "02", "demo01", "0001");
    Answer();
    from = 0;
    Dispatch("0006", "x1");
    EXPECT_TRUE(book.calls.empty());
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(fakes::Ip(127, 0, 0, 2), book.Info(2).status.publicIp);
    EXPECT_EQ(1, book.Info(2).status.status);
    EXPECT_EQ(std::vector<std::string>{"x1"}, asked);
    // A request is anyone's to make.
    Dispatch("0001", "q9");
    EXPECT_EQ(1u, notices.size());
}

TEST_F(DispatchTest, ALocalAddressCountsOnlyBehindOurPublicAddress) {
    // x1's local address, while its public address is not ours: not x1's voice, whatever
    // the server says.
    from = fakes::Ip(10, 0, 0, 2);
    ipAnswer = fakes::Ip(127, 0, 0, 2);
    Dispatch("0005", "x1", "2", "01");
    Answer();
    Dispatch("0004", "x1");
    EXPECT_EQ(1, book.Info(2).status.status);
    EXPECT_NE(nullptr, book.FindFriend("x1", nullptr));
    // Behind our public address, its local address is its own.
    book.Info(1).status.publicIp = fakes::Ip(127, 0, 0, 2);
    Dispatch("0005", "x1", "2", "01");
    EXPECT_EQ(2, book.Info(2).status.status);
    Dispatch("0004", "x1");
    EXPECT_EQ(nullptr, book.FindFriend("x1", nullptr));
    EXPECT_EQ(std::vector<std::string>{"x1"}, asked);
}

TEST_F(DispatchTest, OneKeptAnswerServesTheSenderWhoeverAskedFirst) {
    // Answers nobody asked for, however many: none reaches the window, the server is not asked.
    for (int i = 0; i < 300; ++i) Dispatch("0002", "q9", "", "02", "demo01", "0000");
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(asked.empty());
    // A forged answer naming the stranger we asked comes first; the stranger's own
    // acceptance, from where the server says it is, is still taken, once.
    memory.asked.insert("q9");
    from = fakes::Ip(127, 0, 0, 66);
    Dispatch("0002", "q9", "", "02", "demo01", "0000");
    ipAnswer = fakes::Ip(127, 0, 0, 9);
    Answer();
    from = ipAnswer;
    for (int i = 0; i < 3; ++i) Dispatch("0002", "q9", "", "02", "demo01", "0001");
    EXPECT_EQ(std::vector<UINT>{PTM_VERIFY_ACCEPTED}, notices);

    // y1 going off and on fifty times from its own address: one ask, shown as it is.
    for (int i = 0; i < 50; ++i) {
        Dispatch("0005", "y1", "0", "01");
        Dispatch("0005", "y1", "2", "01");
        Answer();
        EXPECT_EQ(2, book.Info(3).status.status) << i;
    }
    EXPECT_EQ(fakes::Ip(127, 0, 0, 9), book.Info(3).status.publicIp);
    EXPECT_EQ((std::vector<std::string>{"q9", "y1"}), asked);
    // A sender's records keep their order while one waits: x1 coming online (which takes
    // its addresses from the server) and going off at once ends off.
    book.Info(2).status.status = 0;
    from = ipAnswer = fakes::Ip(127, 0, 0, 2);
    Dispatch("0005", "x1", "2", "01");
    Dispatch("0005", "x1", "0", "01");
    Answer();
    EXPECT_EQ(0, book.Info(2).status.status) << "the later record wins";
    EXPECT_EQ((std::vector<std::string>{"q9", "y1", "x1"}), asked);
}

TEST_F(DispatchTest, WithoutTheServersWordTheBookAloneSays) {
    // x1 went off keeping its addresses and comes online from there while the server
    // cannot be asked: shown online where the book has it.
    book.Info(2).status.status = 0;
    ask = [this](const std::string& id) {
        asked.push_back(id);
        return false;
    };
    Dispatch("0005", "x1", "2", "01");
    EXPECT_EQ(2, book.Info(2).status.status);
    EXPECT_EQ(fakes::Ip(127, 0, 0, 2), book.Info(2).status.publicIp);
    // Still nobody else's voice.
    from = fakes::Ip(127, 0, 0, 66);
    Dispatch("0005", "x1", "0", "01");
    Dispatch("0005", "y1", "3", "01");
    EXPECT_EQ(2, book.Info(2).status.status);
    EXPECT_EQ(0, book.Info(3).status.status);
    EXPECT_EQ((std::vector<std::string>{"x1", "y1"}), asked);
}

}  // namespace
