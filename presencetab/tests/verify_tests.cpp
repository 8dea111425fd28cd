// The verification workers against recording fakes: what reaches the friend, the server
// and the contact book, and in which order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Fakes.h"
#include "PeerPacket.h"
#include "VerifyWork.h"

using namespace presence;

namespace {

GroupHandle const kGroup = reinterpret_cast<GroupHandle>(0x200);

class Services : public VerifyServices {
public:
    bool Account(FriendInfoA* own) override {
        if (!hasAccount) return false;
        *own = account;
        return true;
    }
    std::vector<GroupChoice> NetworkGroups() override { return groups; }
    bool GroupInfo(GroupHandle group, GroupInfoA* out) override {
        for (const GroupChoice& g : groups) {
            if (g.group != group) continue;
            strcpy(out->id, "g7");
            strcpy(out->name, g.name.c_str());
            return true;
        }
        return false;
    }
    bool DelBlackUser(const char* id) override { return Log("unblack " + std::string(id)), true; }
    FriendHandle AddFriend(const FriendInfoA& record, GroupHandle group) override {
        Log("add " + std::string(record.id) + " " + record.nickname + (group == kGroup ? " g" : " ?"));
        return addFails ? nullptr : reinterpret_cast<FriendHandle>(0x300);
    }
    bool AddServicePolicies(FriendHandle, const ServicePolicyInfoA*, DWORD count) override {
        return Log("policies " + std::to_string(count)), true;
    }
    int SendRequestValid(const char* id, const char* message) override {
        Log("request " + std::string(id));
        lastText = message;
        return serverAnswer;
    }
    int SendResponseValid(const char* id, int code, const char*, int proxyFlag) override {
        Log("response " + std::string(id) + " " + std::to_string(code) + " " + std::to_string(proxyFlag));
        return serverAnswer;
    }
    int MoveFriend(const char* id, const char* groupId, int flag) override {
        Log("move " + std::string(id) + " " + groupId + " " + std::to_string(flag));
        return moveAnswer;
    }
    int ModifyFriendInfo(FriendInfoA* record, const char* groupId) override {
        return Log("modify " + std::string(record->id) + " " + groupId), 0;
    }
    int FriendIp(const char*, FriendInfoA*) override { return 0; }
    int UserPublicInfo(const char* id, FriendInfoA* record) override {
        Log("public " + std::string(id));
        *record = FriendInfoA{};
        strcpy(record->nickname, "Nick");
        return 0;
    }
    int ServicePolicies(const char*, ServicePolicyInfoA* records, UINT* count) override {
        if (!records) *count = policyCount;
        return 1;
    }
    bool SendAndConfirm(const PeerTarget& target, const std::string& text) override {
        Log("peer " + std::to_string(target.port));
        sentTo = target;
        sent.push_back(ReadPacket(DecodePacket(text.c_str())));
        return peerAnswers;
    }
    void Log(const std::string& line) { calls.push_back(line); }

    bool hasAccount = true;
    FriendInfoA account = fakes::Record("me", "Me", 1, fakes::Ip(127, 0, 0, 1), 7000);
    std::vector<GroupChoice> groups{{kGroup, "friends"}};
    bool peerAnswers = true, addFails = false;
    int serverAnswer = 0, moveAnswer = 0;
    UINT policyCount = 2;
    PeerTarget sentTo;
    std::vector<PeerFields> sent;
    std::vector<std::string> calls;
    std::string lastText;
};

FriendInfoA Peer() { return fakes::Record("q1", "Q", 1, fakes::Ip(127, 0, 0, 2), 7100, fakes::Ip(10, 0, 0, 2), 7200); }

TEST(Verify, RequestGoesStraightOrThroughTheServerCutToWholeCharacters) {
    Services s;
    FriendInfoA target = Peer();
    EXPECT_TRUE(SendFriendRequest(s, target, "hello"));
    ASSERT_EQ(1u, s.sent.size());
    EXPECT_EQ("0001", s.sent[0].command);
    EXPECT_EQ("me", s.sent[0].sender);
    EXPECT_EQ("q1", s.sent[0].receiver);
    EXPECT_EQ("hello", s.sent[0].message);
    EXPECT_EQ(7100, s.sentTo.port) << "the friend's public port";
    EXPECT_EQ(std::vector<std::string>{"peer 7100"}, s.calls);

    // Unreachable: the server gets the text, at most 258 bytes, never half a character.
    s.calls.clear();
    s.peerAnswers = false;
    std::string longText = "a";
    for (int i = 0; i < 150; ++i) longText += "\xC4\xE3";  // a double-byte character each
    EXPECT_TRUE(SendFriendRequest(s, target, longText));
    EXPECT_EQ("request q1", s.calls.back());
    EXPECT_EQ(257u, s.lastText.size());
    s.serverAnswer = 1;
    EXPECT_FALSE(SendFriendRequest(s, target, "x"));

    // Behind our router: the local address and port.
    s.peerAnswers = true;
    target.status.publicIp = s.account.status.publicIp;
    SendFriendRequest(s, target, "x");
    EXPECT_EQ(7200, s.sentTo.port);
    EXPECT_EQ(fakes::Ip(10, 0, 0, 2), s.sentTo.address);
}

TEST(Verify, AcceptNeedsAGroupAndTheServerAndSucceedsOnlyWhenAdded) {
    Services s;
    FriendInfoA r = Peer();
    EXPECT_FALSE(SendAnswer(s, &r, true, "", [] { return GroupHandle(nullptr); }, 6082));
    EXPECT_TRUE(s.calls.empty()) << "no group: nothing is asked of anyone";

    auto chosen = [] { return kGroup; };
    EXPECT_TRUE(SendAnswer(s, &r, true, "", chosen, 6082));
    EXPECT_EQ((std::vector<std::string>{"response q1 0 1", "peer 6082", "move q1 g7 0", "unblack q1", "public q1",
                                        "modify q1 g7", "add q1 Nick g", "policies 2"}),
              s.calls);
    ASSERT_EQ(1u, s.sent.size());
    EXPECT_EQ("0002", s.sent[0].command);
    EXPECT_EQ("0001", s.sent[0].answer);

    // The requester unreachable: still added once the server agreed.
    s.calls.clear();
    s.peerAnswers = false;
    r = Peer();
    EXPECT_TRUE(SendAnswer(s, &r, true, "", chosen, 6082));
    EXPECT_EQ("policies 2", s.calls.back());

    // A refused move: a failure, and the black-list entry stays.
    s.calls.clear();
    s.moveAnswer = 1;
    r = Peer();
    EXPECT_FALSE(SendAnswer(s, &r, true, "", chosen, 6082));
    EXPECT_EQ("move q1 g7 0", s.calls.back());

    // The server refuses the answer itself: nothing else happens.
    s.calls.clear();
    s.moveAnswer = 0;
    s.serverAnswer = 1;
    EXPECT_FALSE(SendAnswer(s, &r, true, "", chosen, 6082));
    EXPECT_EQ(std::vector<std::string>{"response q1 0 1"}, s.calls);

    // The book refuses the friend: a failure.
    s.serverAnswer = 0;
    s.addFails = true;
    EXPECT_FALSE(SendAnswer(s, &r, true, "", chosen, 6082));
}

TEST(Verify, RefusalCarriesTheReasonAndFallsBackToTheServer) {
    Services s;
    FriendInfoA r = Peer();
    EXPECT_TRUE(SendAnswer(s, &r, false, "no thanks", nullptr, 6082));
    EXPECT_EQ(std::vector<std::string>{"peer 6082"}, s.calls);
    ASSERT_EQ(1u, s.sent.size());
    EXPECT_EQ("0000", s.sent[0].answer);
    EXPECT_EQ("no thanks", s.sent[0].message);
    EXPECT_EQ(fakes::Ip(127, 0, 0, 2), s.sentTo.address);

    s.calls.clear();
    s.peerAnswers = false;
    EXPECT_TRUE(SendAnswer(s, &r, false, "no", nullptr, 6082));
    EXPECT_EQ((std::vector<std::string>{"peer 6082", "response q1 1 1"}), s.calls);
    s.serverAnswer = 1;
    EXPECT_FALSE(SendAnswer(s, &r, false, "no", nullptr, 6082));
}

TEST(Verify, FriendAddedSaveMovesFirstThenStoresWithPolicies) {
    Services s;
    FriendInfoA r = Peer();
    FriendDetails details = FetchFriendDetails(s, &r);
    EXPECT_TRUE(details.found);
    EXPECT_STREQ("q1", r.id) << "the id survives the public record";
    EXPECT_EQ(2u, details.policies.size());
    s.calls.clear();
    EXPECT_FALSE(SaveAcceptedFriend(s, &r, details.policies, nullptr));
    EXPECT_TRUE(s.calls.empty());
    EXPECT_TRUE(SaveAcceptedFriend(s, &r, details.policies, kGroup));
    EXPECT_EQ((std::vector<std::string>{"move q1 g7 0", "unblack q1", "modify q1 g7", "add q1 Nick g", "policies 2"}),
              s.calls);
    s.calls.clear();
    s.moveAnswer = 5;
    EXPECT_FALSE(SaveAcceptedFriend(s, &r, {}, kGroup));
    EXPECT_EQ(std::vector<std::string>{"move q1 g7 0"}, s.calls);
}

TEST(Verify, TypedTextIsCutToWholeCharacters) {
    std::wstring typed(300, L'x');
    EXPECT_EQ(260u, CutText(typed, kRequestTextChars).size());
    EXPECT_EQ(L"ab", CutText(L"ab", 260));
}

}  // namespace
