// Message layouts byte for byte, the small text fields, and readers fed hostile fields.
#include <gtest/gtest.h>

#include <cstring>

#include "ImCodes.h"
#include "ImMessages.h"
#include "ImText.h"
#include "Samples.h"

namespace chatdesk {
namespace {

std::string At(const ImBytes& msg, size_t offset, size_t count) {
    return std::string(reinterpret_cast<const char*>(msg.data() + offset), count);
}

bool EndsWithCrLf(const ImBytes& msg) { return msg.size() >= 2 && msg[msg.size() - 2] == '\r' && msg.back() == '\n'; }

TEST(ImLayouts, PlainChatTextOfTheExample) {
    ChatText m = SampleText(false, std::string(52, 't'));
    m.status = MakeStatusPair(1);
    ImBytes msg = BuildChatText(m);
    ASSERT_EQ(msg.size(), 205u);
    EXPECT_EQ(At(msg, 60, 4), "003S");
    EXPECT_EQ(At(msg, 0, 60), std::string(60, '\0'));
    EXPECT_EQ(At(msg, 64, 20), "20261209093015123000");
    EXPECT_EQ(At(msg, 84, 20), std::string("20002") + std::string(15, '\0'));
    EXPECT_EQ(msg[144], '0');
    EXPECT_EQ(At(msg, 145, 4), std::string("54\0\0", 4));
    EXPECT_EQ(At(msg, 149, 52), std::string(52, 't'));
    EXPECT_EQ(At(msg, 201, 2), "1*");
    EXPECT_TRUE(EndsWithCrLf(msg));
}

TEST(ImLayouts, FormattedChatTextFields) {
    ChatText m = SampleText(true, "hi^>there");
    m.format = {"Microsoft YaHei", 180, kEffectBold | kEffectUnderline, 0x0000ff};
    ImBytes msg = BuildChatText(m);
    ASSERT_EQ(msg.size(), 195u + 9);
    EXPECT_EQ(msg[144], '2');
    EXPECT_EQ(At(msg, 145, 16), std::string("Microsoft YaHei\0", 16));
    EXPECT_EQ(At(msg, 177, 2), "18");
    EXPECT_EQ(msg[179], '6');
    EXPECT_EQ(At(msg, 180, 7), "#0000ff");
    EXPECT_EQ(At(msg, 187, 4), "0011");
    EXPECT_EQ(At(msg, 191, 9), "hi^>there");
    EXPECT_EQ(At(msg, 200, 2), "1*");
    EXPECT_TRUE(EndsWithCrLf(msg));

    ChatText back;
    ASSERT_TRUE(ReadChatText(msg.data(), msg.size(), &back));
    EXPECT_TRUE(back.formatted);
    EXPECT_EQ(back.format.face, "Microsoft YaHei");
    EXPECT_EQ(back.format.heightTwips, 180);
    EXPECT_EQ(back.format.effects, kEffectBold | kEffectUnderline);
    EXPECT_EQ(back.format.colour, 0x0000ffu);
    EXPECT_EQ(back.text, "hi^>there");
    EXPECT_EQ(ReadStatusPair(back.status.c_str()), 1);
}

TEST(ImLayouts, LongTextsAreCutToEightHundredBytes) {
    std::string composed(900, 'a');
    ImBytes msg = BuildChatText(SampleText(false, CutChatText(composed, nullptr)));
    EXPECT_EQ(msg.size(), 153u + 800);
    EXPECT_EQ(At(msg, 145, 4), std::string("802\0", 4));
    msg = BuildChatText(SampleText(true, composed));  // the builder cuts on its own too
    EXPECT_EQ(msg.size(), 195u + 800);
    EXPECT_EQ(At(msg, 187, 4), "0802");

    // Never half a double-byte character: 799 single bytes and then a pair.
    auto lead = [](uint8_t c) { return c >= 0x81 && c <= 0xFE; };
    std::string mixed = std::string(799, 'a') + "\xC4\xE3" + "bb";
    EXPECT_EQ(CutChatText(mixed, lead), std::string(799, 'a'));
    std::string pairs;
    for (int i = 0; i < 450; ++i) pairs += "\xC4\xE3";
    EXPECT_EQ(CutChatText(pairs, lead).size(), 800u);
    EXPECT_EQ(CutChatText("a\xC4\xE3", lead, 2), "a");
}

TEST(ImTextFields, ColoursHeightsCodesAndStatus) {
    EXPECT_EQ(MakeColourField(0x000000ff), "#0000ff");  // red
    EXPECT_EQ(MakeColourField(0x00ff0000), "#ff0000");  // blue
    EXPECT_EQ(MakeColourField(0xff123456), "#123456");  // never more than six digits
    EXPECT_EQ(ReadColourDigits(reinterpret_cast<const uint8_t*>("0000ffzz")), 0xffu);
    EXPECT_EQ(ReadColourDigits(reinterpret_cast<const uint8_t*>("12g456")), 0x12u);

    EXPECT_EQ(MakeHeightField(180), "18");
    EXPECT_EQ(MakeHeightField(90), std::string("9\0", 2));
    EXPECT_EQ(MakeHeightField(1440), "14");
    EXPECT_EQ(ReadHeightField(reinterpret_cast<const uint8_t*>("14")), 140);
    EXPECT_EQ(ReadHeightField(reinterpret_cast<const uint8_t*>("9\0")), 90);
    EXPECT_EQ(MakeHeightField(-200), std::string("0\0", 2));

    EXPECT_EQ(FormatCodeFromEffects(kEffectBold | kEffectUnderline), '6');
    EXPECT_EQ(FormatCodeFromEffects(kEffectBold | 0x40000000), '0');  // an extra bit
    const char* codes = "0123456789ABCDEF";
    for (const char* c = codes; *c; ++c) EXPECT_EQ(FormatCodeFromEffects(EffectsFromFormatCode(*c)), *c);
    EXPECT_EQ(EffectsFromFormatCode('F'), 15u);
    EXPECT_EQ(EffectsFromFormatCode('G'), 0u);
    EXPECT_EQ(EffectsFromFormatCode('a'), 0u);

    EXPECT_EQ(MakeStatusPair(1), "1*");
    EXPECT_EQ(MakeStatusPair(12), "12");
    EXPECT_EQ(MakeStatusPair(1234), "12");
    EXPECT_EQ(ReadStatusPair("1*"), 1);
    EXPECT_EQ(ReadStatusPair("12"), 1);
    EXPECT_EQ(ReadStatusPair("10"), 1);
    EXPECT_EQ(ReadStatusPair("*5"), -1);
    EXPECT_EQ(ReadStatusPair(std::string("\0\0", 2).c_str()), -1);

    EXPECT_EQ(CrLfToMarks("hi\r\nthere\r\n"), "hi^>there^>");
    EXPECT_EQ(CrLfToMarks("a\nb\r"), "a\nb\r");
    EXPECT_EQ(MarksToCrLf("hi^>there^"), "hi\r\nthere^");
}

TEST(ImTextFields, StampsAndIds) {
    std::string stamp = MakeImStamp({2026, 12, 9, 9, 30, 5, 7});
    EXPECT_EQ(stamp, "20261209093005007000");
    ImDateTime back;
    ASSERT_TRUE(ReadImStamp(stamp.c_str(), &back));
    EXPECT_EQ(back.year, 2026);
    EXPECT_EQ(back.second, 5);
    EXPECT_EQ(back.millisecond, 7);
    EXPECT_FALSE(ReadImStamp("2026120909300500x000", &back));

    for (const char* bad : {"", ".", "..", "..\\..\\x", "a/b", "c:x", "a*", "a?", "a\"", "a<", "a>", "a|", "a=b",
                            "[x]", "a\tb", "\x7f"}) {
        EXPECT_FALSE(IsAcceptableImId(bad)) << bad;
    }
    for (const char* good : {"10001", "user.name", "...", "a b", "\xC4\xE3\xBA\xC3"}) EXPECT_TRUE(IsAcceptableImId(good)) << good;

    uint8_t field[20];
    std::memset(field, 'x', sizeof field);
    std::string id;
    EXPECT_FALSE(ReadImId(field, sizeof field, &id));  // 20 bytes without a terminator
    field[19] = 0;
    EXPECT_TRUE(ReadImId(field, sizeof field, &id));
    EXPECT_EQ(id, std::string(19, 'x'));
}

TEST(ImLayouts, FileTransferBodies) {
    ImBytes offer = BuildFileOffer({"20261209093015123000", "10001", "20002", "C:\\big.bin", 5000000000ull});
    ASSERT_EQ(offer.size(), 410u);
    EXPECT_EQ(ReadU32(offer.data() + 400), 705032704u);
    EXPECT_EQ(At(offer, 144, 11), std::string("C:\\big.bin\0", 11));
    FileOffer readOffer;
    ASSERT_TRUE(ReadFileOffer(offer.data(), offer.size(), &readOffer));
    EXPECT_EQ(readOffer.size, 705032704u);
    EXPECT_EQ(readOffer.path, "C:\\big.bin");

    // A 10,000-byte file sent from the start: blocks 0, 1 and 2, the last carrying 1,808 bytes.
    std::vector<uint8_t> file(10000);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7);
    uint32_t number = 0;
    ImBytes last;
    for (size_t at = 0; at < file.size(); at += 4096, ++number) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(4096, file.size() - at));
        last = BuildFileBlock({"20261209093015123000", "10001", "20002", number, file.data() + at, n});
        ASSERT_EQ(last.size(), 4251u);
    }
    FileBlock block;
    ASSERT_TRUE(ReadFileBlock(last.data(), last.size(), &block));
    EXPECT_EQ(block.number, 2u);
    EXPECT_EQ(block.count, 1808u);
    EXPECT_EQ(0, std::memcmp(block.data, file.data() + 8192, 1808));
    EXPECT_EQ(last[148], 0);
    EXPECT_TRUE(EndsWithCrLf(last));

    ImBytes reject = BuildFileOfferReply({"20261209093015123000", "20002", "10001", false, 99});
    EXPECT_EQ(At(reject, 64, 20), std::string(20, '\0'));  // a rejection names no transfer
    EXPECT_EQ(reject[144], '1');
    EXPECT_EQ(ReadU32(reject.data() + 145), 0u);
    ImBytes accept = BuildFileOfferReply({"20261209093015123000", "20002", "10001", true, 5000});
    FileOfferReply reply;
    ASSERT_TRUE(ReadFileOfferReply(accept.data(), accept.size(), &reply));
    EXPECT_TRUE(reply.accepted);
    EXPECT_EQ(reply.resume, 5000u);
}

TEST(ImLayouts, OfflineStoreFromAQueuedText) {
    ChatText m = SampleText(true, "offline words");
    m.format.face = "A very long font face name of 31";
    ImBytes text = BuildChatText(m);
    ImBytes store = BuildOfflineStore(text.data(), text.size());
    ASSERT_EQ(store.size(), 961u);
    EXPECT_EQ(At(store, 60, 4), "014S");
    EXPECT_EQ(At(store, 64, 60), At(text, 64, 60));
    EXPECT_EQ(store[124], '2');
    EXPECT_EQ(At(store, 125, 20), "A very long font fac");  // 20 bytes of the face, no terminator
    EXPECT_EQ(At(store, 145, 2), "18");
    EXPECT_EQ(store[147], '6');
    EXPECT_EQ(At(store, 148, 7), "#0000ff");
    EXPECT_EQ(At(store, 155, 4), "0015");
    EXPECT_EQ(At(store, 159, 13), "offline words");
    EXPECT_EQ(store[172], 0);  // no status characters
    EXPECT_TRUE(EndsWithCrLf(store));

    OfflineMessage back;
    ASSERT_TRUE(ReadOfflineMessage(store.data(), store.size(), &back));
    EXPECT_EQ(back.face, "A very long font fac");
    EXPECT_EQ(back.text, "offline words");
    EXPECT_EQ(back.heightTwips, 180);
    EXPECT_EQ(back.formatCode, '6');
    EXPECT_EQ(back.colour, 0x0000ffu);

    ImBytes plainText = BuildChatText(SampleText(false, std::string(800, 'p')));
    ImBytes plain = BuildOfflineStore(plainText.data(), plainText.size());
    ASSERT_EQ(plain.size(), 931u);
    EXPECT_EQ(At(plain, 125, 4), std::string("802\0", 4));
    EXPECT_EQ(At(plain, 129, 800), std::string(800, 'p'));
    EXPECT_TRUE(EndsWithCrLf(plain));

    // Delivered back without CR LF and read at the stored length: all 800 bytes survive.
    ImBytes delivery = BuildOfflineDelivery(plain);
    ASSERT_EQ(delivery.size(), 929u);
    delivery.resize(931, 0);
    ASSERT_TRUE(ReadOfflineMessage(delivery.data(), delivery.size(), &back));
    EXPECT_EQ(back.text, std::string(800, 'p'));
    EXPECT_EQ(back.senderId, "20002");

    // Digits that promise more than the message holds take 800 bytes, not a byte beyond.
    std::memcpy(delivery.data() + 125, "9999", 4);
    ASSERT_TRUE(ReadOfflineMessage(delivery.data(), delivery.size(), &back));
    EXPECT_EQ(back.text.size(), 800u);
    std::memcpy(delivery.data() + 125, "1\0\0\0", 4);
    ASSERT_TRUE(ReadOfflineMessage(delivery.data(), delivery.size(), &back));
    EXPECT_EQ(back.text, "");
    EXPECT_TRUE(BuildOfflineStore(delivery.data(), delivery.size()).empty());  // no chat text
}

TEST(ImLayouts, EveryLayoutReadsBackWhatWasBuilt) {
    ImLogin login;
    ImBytes msg = BuildImLogin({"10001"});
    ASSERT_EQ(msg.size(), 206u);
    ASSERT_TRUE(ReadImLogin(msg.data(), msg.size(), &login));
    EXPECT_EQ(login.ownId, "10001");

    ImLoginReply loginReply;
    msg = BuildImLoginReply({'1'});
    ASSERT_TRUE(ReadImLoginReply(msg.data(), msg.size(), &loginReply));
    EXPECT_EQ(loginReply.result, '1');

    PeerLinkRequest request;
    msg = BuildPeerLinkRequest({"20002", "255.255.255.255", "65535"});
    ASSERT_TRUE(ReadPeerLinkRequest(msg.data(), msg.size(), &request));
    EXPECT_EQ(request.address, "255.255.255.255");  // fills its field exactly
    EXPECT_EQ(request.port, "65535");
    uint32_t ip = 0;
    uint16_t port = 0;
    EXPECT_TRUE(ParseIpv4("127.0.0.2", &ip));
    EXPECT_EQ(ip, 0x7F000002u);
    EXPECT_FALSE(ParseIpv4("1.2.3", &ip));
    EXPECT_FALSE(ParseIpv4("1.2.3.256", &ip));
    EXPECT_FALSE(ParseIpv4("1.2.3.4x", &ip));
    EXPECT_TRUE(ParsePort("60000", &port));
    EXPECT_FALSE(ParsePort("65536", &port));
    EXPECT_FALSE(ParsePort("", &port));

    PeerLinkReply linkReply;
    msg = BuildPeerLinkReply({"10001", "20002", true});
    ASSERT_TRUE(ReadPeerLinkReply(msg.data(), msg.size(), &linkReply));
    EXPECT_TRUE(linkReply.linked);
    EXPECT_EQ(linkReply.peerId, "20002");

    ChatTextReceipt receipt;
    msg = BuildChatTextReceipt({"20261209093015123000", "10001", "20002", '6'});
    ASSERT_TRUE(ReadChatTextReceipt(msg.data(), msg.size(), &receipt));
    EXPECT_EQ(receipt.stamp, "20261209093015123000");
    EXPECT_EQ(receipt.result, '6');

    OfflineStoreReply storeReply;
    msg = BuildOfflineStoreReply({"20261209093015123000", "20002", '1'});
    ASSERT_TRUE(ReadOfflineStoreReply(msg.data(), msg.size(), &storeReply));
    EXPECT_EQ(storeReply.peerId, "20002");
    EXPECT_EQ(storeReply.result, '1');

    OfflineFetch fetch;
    msg = BuildOfflineFetch({"10001"});
    ASSERT_EQ(msg.size(), 86u);
    ASSERT_TRUE(ReadOfflineFetch(msg.data(), msg.size(), &fetch));

    FileBlockAck ack;
    msg = BuildFileBlockAck({"20261209093015123000", "20002", "10001", true});
    ASSERT_TRUE(ReadFileBlockAck(msg.data(), msg.size(), &ack));
    EXPECT_TRUE(ack.stop);

    TypingNotice typing;
    msg = BuildTypingNotice({"20002", "10001", '2'});
    ASSERT_TRUE(ReadTypingNotice(msg.data(), msg.size(), &typing));
    EXPECT_EQ(typing.state, '2');

    FileCancel cancel;
    msg = BuildFileCancel({"20002", "10001"});
    ASSERT_TRUE(ReadFileCancel(msg.data(), msg.size(), &cancel));
    EXPECT_EQ(cancel.otherId, "10001");

    ChatText text;
    msg = BuildChatText(SampleText(false, ""));
    ASSERT_TRUE(ReadChatText(msg.data(), msg.size(), &text));
    EXPECT_EQ(text.text, "");
    EXPECT_EQ(text.status, "1*");
}

TEST(ImLayouts, HostileFieldsMakeAMessageInvalid) {
    // Ids filling their whole field, or unfit to name a file.
    ImBytes text = BuildChatText(SampleText(false));
    ChatText out;
    ImBytes bad = text;
    std::memset(bad.data() + 84, 'x', 20);
    EXPECT_FALSE(ReadChatText(bad.data(), bad.size(), &out));
    bad = text;
    std::memcpy(bad.data() + 84, "..\\..\\x", 8);
    EXPECT_FALSE(ReadChatText(bad.data(), bad.size(), &out));
    bad = text;
    std::memset(bad.data() + 104, 0, 20);
    EXPECT_FALSE(ReadChatText(bad.data(), bad.size(), &out));

    // Lengths that disagree with the digits, or digits out of range.
    EXPECT_FALSE(ReadChatText(text.data(), text.size() - 1, &out));
    EXPECT_FALSE(ReadChatText(text.data(), 100, &out));
    bad = text;
    std::memcpy(bad.data() + 145, "1\0", 2);
    EXPECT_FALSE(ReadChatText(bad.data(), bad.size(), &out));

    // A path without a terminator is cut to its field; the message stays readable.
    ImBytes offer = BuildFileOffer({"20261209093015123000", "10001", "20002", "", 1});
    std::memset(offer.data() + 144, 'p', 256);
    FileOffer readOffer;
    ASSERT_TRUE(ReadFileOffer(offer.data(), offer.size(), &readOffer));
    EXPECT_EQ(readOffer.path, std::string(256, 'p'));

    // A block that claims more than 4096 bytes cannot be taken.
    ImBytes block = BuildFileBlock({"20261209093015123000", "10001", "20002", 0, nullptr, 0});
    FileBlock readBlock;
    for (uint32_t n : {4097u, 5000u, 0xFFFFFFFFu}) {
        WriteU32(block.data() + 149, n);
        EXPECT_FALSE(ReadFileBlock(block.data(), block.size(), &readBlock)) << n;
    }

    // Wrong code or wrong length for every fixed layout.
    for (const ImBytes& msg : SampleMessages()) {
        FileCancel cancel;
        TypingNotice typing;
        ImBytes shorter(msg.begin(), msg.end() - 1);
        EXPECT_FALSE(ReadFileCancel(shorter.data(), shorter.size(), &cancel));
        EXPECT_FALSE(ReadTypingNotice(shorter.data(), shorter.size(), &typing));
    }
    EXPECT_FALSE(ReadFileCancel(nullptr, 0, nullptr));
}

}  // namespace
}  // namespace chatdesk
