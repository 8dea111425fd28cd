// Composition of outgoing texts, decoding of received ones, the display's lines.
#include <gtest/gtest.h>

#include <cstring>

#include "ReceivedText.h"
#include "TextCompose.h"
#include "TextLines.h"

using namespace chatdesk;

namespace {

// ASCII stands for the code page; 0x81-0xFE lead two-byte characters as in code page 936.
std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}
bool Lead936(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

std::wstring CodeOf(long index) { return index == 3 ? L"|:)" : std::wstring(); }

ComposeRequest Request(const std::wstring& text, bool formatted) {
    ComposeRequest r;
    r.text = text;
    r.ownId = "10001";
    r.peerId = "20002";
    r.ownStatus = 1;
    r.now = {2026, 12, 9, 14, 5, 7, 42};
    r.formatted = formatted;
    r.format = {"SimSun", 180, kEffectBold | kEffectUnderline, 0x0000ff};
    return r;
}

std::string At(const ImBytes& m, size_t offset, size_t count) {
    return std::string(reinterpret_cast<const char*>(m.data() + offset), count);
}

}  // namespace

TEST(TextCompose, FirstTextFormattedThenPlainUntilAFontIsChosen) {
    TextFormChoice form;
    EXPECT_TRUE(form.Next());
    EXPECT_FALSE(form.Next());
    EXPECT_FALSE(form.Next());
    form.FontChosen();
    EXPECT_TRUE(form.Next());
    EXPECT_TRUE(form.Next());
}

TEST(TextCompose, BuildsBothFormsWithStampStatusAndLineMarks) {
    TextCodePage cp{Narrow, Lead936};
    ComposedText formatted = ComposeChatText(Request(L"hi\r\nthere", true), cp, CodeOf);
    ASSERT_EQ(195u + 9, formatted.message.size());
    EXPECT_EQ(191u, formatted.textOffset);
    EXPECT_EQ("hi^>there", formatted.wireText);
    EXPECT_EQ("20261209140507042000", At(formatted.message, 64, 20));
    EXPECT_EQ(std::string("SimSun\0", 7), At(formatted.message, 145, 7));
    EXPECT_EQ("18", At(formatted.message, 177, 2));
    EXPECT_EQ('6', formatted.message[179]);
    EXPECT_EQ("#0000ff", At(formatted.message, 180, 7));
    EXPECT_EQ("0011", At(formatted.message, 187, 4));
    EXPECT_EQ("hi^>there1*\r\n", At(formatted.message, 191, 13));

    ComposedText plain = ComposeChatText(Request(L"hi", false), cp, CodeOf);
    ASSERT_EQ(153u + 2, plain.message.size());
    EXPECT_EQ('0', plain.message[144]);
    EXPECT_EQ(std::string("4\0\0\0", 4), At(plain.message, 145, 4));
    EXPECT_EQ("hi1*\r\n", At(plain.message, 149, 6));
}

TEST(TextCompose, EmoticonObjectsBecomeCodesAndOthersStay) {
    std::wstring text = L"a";
    text += kObjectPlaceholder;
    text += L"b";
    text += kObjectPlaceholder;
    // Index 3 has a code; 7 has none and keeps its place holder.
    std::wstring out = InsertEmoticonCodes(text, {{1, 3}, {3, 7}}, CodeOf);
    EXPECT_EQ(std::wstring(L"a|:)b") + kObjectPlaceholder, out);
    EXPECT_EQ(L"|:)|:)x", InsertEmoticonCodes(L"x", {{0, 3}, {0, 3}}, CodeOf));
    // "|" and two characters that are no code travel as they are.
    TextCodePage cp{Narrow, Lead936};
    EXPECT_EQ("|zz", ComposeChatText(Request(L"|zz", false), cp, CodeOf).wireText);
}

TEST(TextCompose, CutsAt800BytesWithoutSplittingACharacter) {
    TextCodePage cp{[](const std::wstring& w) { return std::string(w.size(), 'x'); }, Lead936};
    ComposedText long1 = ComposeChatText(Request(std::wstring(900, L'x'), false), cp, CodeOf);
    EXPECT_EQ(800u, long1.wireText.size());
    EXPECT_EQ(std::string("802\0", 4), At(long1.message, 145, 4));

    // 799 ASCII bytes and then double-byte characters: the 800th byte would be a lead byte.
    TextCodePage dbcs{[](const std::wstring&) { return std::string(799, 'a') + "\xC4\xE3\xC4\xE3"; }, Lead936};
    ComposedText cut = ComposeChatText(Request(L"ignored", false), dbcs, CodeOf);
    EXPECT_EQ(std::string(799, 'a'), cut.wireText);
}

TEST(ReceivedTexts, DecodesHeaderBreaksStatusAndFormat) {
    ChatText m;
    m.stamp = "20261209093015123000";
    m.senderId = "20002";
    m.receiverId = "10001";
    m.text = "hi^>there";
    m.status = "1*";
    ImBytes plain = BuildChatText(m);
    ReceivedText r;
    ASSERT_TRUE(DecodeReceivedText(plain.data(), plain.size(), &r));
    EXPECT_EQ("hi\r\nthere\r\n", r.body);
    EXPECT_EQ(1, r.peerStatus);
    EXPECT_EQ(L"<Lan> <时间：2026-12-09 09:30:15>\r\n", ReceivedHeader(L"Lan", r.stamp));

    m.status = "*0";
    m.formatted = true;
    m.format = {"KaiTi", 1440, kEffectItalic, 0xff0000};
    ImBytes formatted = BuildChatText(m);
    ASSERT_TRUE(DecodeReceivedText(formatted.data(), formatted.size(), &r));
    EXPECT_EQ(-1, r.peerStatus);
    EXPECT_TRUE(r.formatted);
    EXPECT_EQ("KaiTi", r.format.face);
    EXPECT_EQ(140, r.format.heightTwips);
    EXPECT_EQ(kEffectItalic, r.format.effects);
    EXPECT_EQ(0xff0000u, r.format.colour);
}

TEST(ReceivedTexts, HostileLengthsAndSendersAreRefused) {
    ChatText m;
    m.stamp = "20261209093015123000";
    m.senderId = "20002";
    m.receiverId = "10001";
    m.text = "abc";
    m.status = "1*";
    ImBytes good = BuildChatText(m);
    ReceivedText r;
    for (const char* digits : {"9999", "0001", "0000", "ab12"}) {
        ImBytes bad = good;
        std::memcpy(bad.data() + 145, digits, 4);
        EXPECT_FALSE(DecodeReceivedText(bad.data(), bad.size(), &r)) << digits;
    }
    for (const char* sender : {"..\\x", "a/b", "..", ""}) {
        m.senderId = sender;
        ImBytes bad = BuildChatText(m);
        EXPECT_FALSE(DecodeReceivedText(bad.data(), bad.size(), &r)) << sender;
    }
    ImBytes unterminated = good;
    std::memset(unterminated.data() + 84, 'x', 20);
    EXPECT_FALSE(DecodeReceivedText(unterminated.data(), unterminated.size(), &r));
    ImBytes noDate = good;
    noDate[66] = 'x';
    EXPECT_FALSE(DecodeReceivedText(noDate.data(), noDate.size(), &r));
    EXPECT_FALSE(DecodeReceivedText(good.data(), good.size() - 1, &r));
}

TEST(ReceivedTexts, StoredMessagesKeepTheirDateTextAndFormat) {
    ChatText m;
    m.stamp = "20261130235959999000";
    m.senderId = "20002";
    m.receiverId = "10001";
    m.text = "stored";
    m.status = "1*";
    m.formatted = true;
    m.format = {"A very long face name here", 240, kEffectBold, 0x00ff00};
    ImBytes text = BuildChatText(m);
    ImBytes delivery = BuildOfflineDelivery(BuildOfflineStore(text.data(), text.size()));
    ASSERT_EQ(959u, delivery.size());
    delivery.resize(961);  // as framing hands it on
    ReceivedOffline r;
    ASSERT_TRUE(DecodeOfflineMessage(delivery.data(), delivery.size(), &r));
    EXPECT_EQ("stored\r\n", r.body);
    EXPECT_EQ("A very long face nam", r.format.face);
    EXPECT_EQ(240, r.format.heightTwips);
    EXPECT_EQ(kEffectBold, r.format.effects);
    EXPECT_EQ(L"<Lan><时间：2026-11-30>\r\n", OfflineHeader(L"Lan", r.stamp));

    // Length digits past the message are held to its 800 bytes.
    std::memcpy(delivery.data() + 155, "9999", 4);
    ASSERT_TRUE(DecodeOfflineMessage(delivery.data(), delivery.size(), &r));
    EXPECT_EQ("stored\r\n", r.body);
}

TEST(TextLines, NoticesAndHeaders) {
    EXPECT_EQ(L"    消息：\"hi\" 发送超时了！\n", NoticeLine(TextNotice::TimedOut, L"hi"));
    EXPECT_EQ(L"    消息：\"hi\" 发送失败了！\n", NoticeLine(TextNotice::Refused, L"hi"));
    EXPECT_EQ(L"    消息： \"hi\" 发送失败了！\n", NoticeLine(TextNotice::NotSent, L"hi"));
    EXPECT_EQ(L"    留言： \"hi\" 发送失败了！\n", NoticeLine(TextNotice::StoreFailed, L"hi"));
    EXPECT_EQ(L"<我> <时间：2026-12-09 14:05:07:042>\r\n", SentHeader(L"我", {2026, 12, 9, 14, 5, 7, 42}));
}
