// The receipt waiting list: what is reported on which tick, and what never is.
#include <gtest/gtest.h>

#include "ImMessages.h"
#include "WaitingList.h"

using namespace chatdesk;

namespace {
std::vector<uint8_t> Sent(const char* stamp, const std::string& words, bool formatted) {
    ChatText text;
    text.stamp = stamp;
    text.senderId = "10001";
    text.receiverId = "20002";
    text.formatted = formatted;
    text.format.face = "Arial";
    text.text = words;
    text.status = "1*";
    ImBytes bytes = BuildChatText(text);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
}  // namespace

TEST(WaitingList, UnansweredTextsAreReportedOnTheEleventhTickAnsweredOnesNever) {
    WaitingList list;
    list.Add(Sent("20261209101112000000", "one", false), 149);
    list.Add(Sent("20261209101112001000", "两个", true), 191);
    list.Add(Sent("20261209101112002000", "answered", false), 149);
    for (int tick = 1; tick <= 10; ++tick) {
        EXPECT_TRUE(list.Tick().empty()) << tick;
        if (tick == 5) EXPECT_TRUE(list.Answer("20261209101112002000"));
    }
    std::vector<std::string> late = list.Tick();
    ASSERT_EQ(2u, late.size());
    EXPECT_EQ("one", late[0]);
    EXPECT_EQ("两个", late[1]);
    EXPECT_EQ(0u, list.Size());
    EXPECT_FALSE(list.Answer("20261209101112000000")) << "a late receipt finds nothing";
    EXPECT_FALSE(list.Answer("2026")) << "a stamp must be whole";
}
