// Where friends are: who is believed at which address, and the presence server's answers
// shared by the threads that ask at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "AddressAnswers.h"
#include "PeerPath.h"

using namespace vantor::imkit;

namespace {

FriendStatus At(DWORD publicIp, DWORD localIp) {
    FriendStatus s = {};
    s.publicIp = publicIp;
    s.localIp = localIp;
    return s;
}

TEST(PeerPath, ALocalAddressIsTheFriendsOnlyBehindOurPublicAddress) {
    FriendStatus own = At(1, 0);
    FriendStatus apart = At(2, 9);
    EXPECT_TRUE(SpeaksFrom(own, apart, 2));
    EXPECT_FALSE(SpeaksFrom(own, apart, 9)) << "a local address seen from another network";
    EXPECT_EQ(2u, PathAddress(own, apart));
    FriendStatus together = At(1, 9);
    EXPECT_TRUE(SpeaksFrom(own, together, 9));
    EXPECT_EQ(9u, PathAddress(own, together));
    // Unknown addresses are nobody's: ours, the friend's, the sender's.
    EXPECT_FALSE(SpeaksFrom(At(0, 0), At(0, 9), 9));
    EXPECT_FALSE(SpeaksFrom(own, At(0, 0), 0));
    EXPECT_FALSE(SpeaksFrom(own, At(0xFFFFFFFFu, 0), 0xFFFFFFFFu));
}

TEST(AddressAnswers, OneAskServesEveryCallerOfItsTime) {
    AddressAnswers answers;
    std::atomic<int> asks{0};
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto ask = [&](FriendStatus* out) {
        ++asks;
        WaitForSingleObject(release, 5000);
        out->publicIp = 7;
        return true;
    };
    AddressAnswers::Answer first, second;
    std::thread one([&] { first = answers.Confirm("x1", ask, 5000); });
    while (answers.Look("x1").state != AddressAnswers::State::kAsking) Sleep(5);
    std::thread two([&] { second = answers.Confirm("x1", ask, 5000); });
    Sleep(100);
    SetEvent(release);
    one.join();
    two.join();
    CloseHandle(release);
    EXPECT_EQ(1, asks.load());
    EXPECT_TRUE(first.found && second.found);
    EXPECT_EQ(7u, second.status.publicIp);
    // Kept: later callers ask nothing, a failed ask stays "cannot say".
    EXPECT_FALSE(answers.BeginAsk("x1"));
    EXPECT_EQ(7u, answers.Confirm("x1", ask, 0).status.publicIp);
    EXPECT_FALSE(answers.Confirm("y1", [](FriendStatus*) { return false; }, 0).found);
    EXPECT_EQ(AddressAnswers::State::kAnswered, answers.Look("y1").state);
    EXPECT_EQ(1, asks.load());
    // A caller waits for another's ask only its own time.
    ASSERT_TRUE(answers.BeginAsk("z1"));
    EXPECT_EQ(AddressAnswers::State::kAsking, answers.Confirm("z1", ask, 50).state);
}

}  // namespace
