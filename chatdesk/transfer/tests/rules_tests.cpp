// Size texts, the offer size rule, the send plan's blocks and the transfer count.
#include <gtest/gtest.h>

#include "SendPlan.h"
#include "TransferRules.h"

namespace chatdesk {
namespace {

TEST(FileSizeText, EveryBranchOfTheTable) {
    EXPECT_EQ(L"0B", FormatFileSize(0));
    EXPECT_EQ(L"1024B", FormatFileSize(1024));
    EXPECT_EQ(L"1.00KB", FormatFileSize(1025));
    EXPECT_EQ(L"1024.00KB", FormatFileSize(1048576));
    EXPECT_EQ(L"1.00MB", FormatFileSize(1048577));
    EXPECT_EQ(L"1024.00MB", FormatFileSize(1073741824));
    EXPECT_EQ(L"1.50GB", FormatFileSize(1610612736));
    EXPECT_EQ(L"4.66GB", FormatFileSize(5000000000ull));
    EXPECT_EQ(L"1.00TB", FormatFileSize(0, 256));
    EXPECT_EQ(L"1.50TB", FormatFileSize(0, 384));
}

TEST(OfferSize, FourGibibytesAndUnknownSizesAreRefused) {
    EXPECT_TRUE(CanOfferFile(true, 0));
    EXPECT_TRUE(CanOfferFile(true, 0xFFFFFFFFull));
    EXPECT_FALSE(CanOfferFile(true, 0x100000000ull));
    EXPECT_FALSE(CanOfferFile(true, 5000000000ull));
    EXPECT_FALSE(CanOfferFile(false, 10));
}

std::vector<uint32_t> Counts(uint32_t size, uint32_t resume, uint32_t* firstNumber = nullptr) {
    SendPlan plan;
    std::vector<uint32_t> counts;
    if (!plan.Start(size, resume)) return counts;
    if (firstNumber) *firstNumber = plan.BlockNumber();
    while (!plan.Finished()) {
        counts.push_back(plan.NextCount());
        plan.Sent();
    }
    EXPECT_EQ(plan.Position(), size);
    EXPECT_EQ(counts.size(), SendPlan::BlockCount(size, resume));
    return counts;
}

TEST(SendPlanBlocks, ReadSizesAndTheFinalBlock) {
    EXPECT_EQ((std::vector<uint32_t>{4096, 4096, 1808}), Counts(10000, 0));
    EXPECT_EQ((std::vector<uint32_t>{100}), Counts(100, 0));
    EXPECT_EQ((std::vector<uint32_t>{4096, 4096}), Counts(8192, 0));
    EXPECT_EQ((std::vector<uint32_t>{4096, 1}), Counts(4097, 0));
    // Nothing left, or an empty file: still one block, which lets the receiver finish.
    EXPECT_EQ((std::vector<uint32_t>{0}), Counts(0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0}), Counts(10000, 10000));
    uint32_t first = 99;
    EXPECT_EQ((std::vector<uint32_t>{4096, 904}), Counts(10000, 5000, &first));
    EXPECT_EQ(1u, first);
}

TEST(SendPlanBlocks, FiftyMillionBytesAndImpossibleResumePoints) {
    EXPECT_EQ(12208u, SendPlan::BlockCount(50000000, 0));
    SendPlan plan;
    ASSERT_TRUE(plan.Start(50000000, 0));
    for (uint32_t i = 0; i < 12207; ++i) plan.Sent();
    EXPECT_TRUE(plan.NextIsLast());
    EXPECT_EQ(12207u, plan.BlockNumber());
    EXPECT_EQ(128u, plan.NextCount());
    EXPECT_FALSE(plan.Start(100, 101));
    EXPECT_TRUE(plan.Finished());
    EXPECT_EQ(0u, SendPlan::BlockCount(100, 101));
}

}  // namespace
}  // namespace chatdesk
