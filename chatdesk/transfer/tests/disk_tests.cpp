// The transfer jobs over real files in a scratch folder: the received file appears only at
// the confirmed path, a target that can't be written keeps the ".im", and a sparse file of
// 4 GiB is not offered.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "MemoryFiles.h"
#include "ReceiveJob.h"
#include "SendJob.h"
#include "TestSupport.h"
#include "TransferFiles.h"
#include "TransferRules.h"

namespace chatdesk {
namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Content(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

// The transfer of a file of `size` bytes offered as "source.bin".
TransferOrigin OriginOf(uint32_t size) { return {"10001", "source.bin", size}; }

// Sends `source` into a receive job saving at `save`; the receive job's last result.
BlockOutcome Copy(const std::wstring& source, uint32_t size, const std::wstring& save, uint32_t* resume) {
    DiskSendFiles sendFiles;
    DiskReceiveFiles receiveFiles;
    ReceiveJob receiver(receiveFiles, OriginOf(size));
    if (!receiver.Accept(save, resume)) return BlockOutcome::Ignored;
    RecordingLink link;
    RecordingObserver observer;
    BlockOutcome last = BlockOutcome::Ignored;
    link.afterBlock = [&](const ImBytes& msg) {
        std::string stamp;
        uint32_t number = 0, count = 0;
        const uint8_t* data = nullptr;
        ReadBlockForReceive(msg.data(), msg.size(), &stamp, &number, &count, &data);
        last = receiver.OnBlock(number, count, data).outcome;
    };
    SendOffer offer;
    offer.stamp = "20261209093015123000";
    offer.offererId = "10001";
    offer.receiverId = "20002";
    offer.path = source;
    offer.offeredSize = size;
    offer.resume = *resume;
    SendJob job(offer, nullptr);
    job.Run(sendFiles, link, observer);
    return last;
}

TEST(DiskTransfer, ReceivedThroughTheTemporaryFileAndResumed) {
    std::wstring dir = testkit::FreshDir(L"transfer-disk");
    std::string content = Content(300000);
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"source.bin", content));
    // Part of the file from an earlier transfer that was cancelled.
    uint32_t resume = 0;
    {
        DiskReceiveFiles files;
        ReceiveJob earlier(files, OriginOf(300000));
        ASSERT_TRUE(earlier.Accept(dir + L"b.txt", &resume));
        for (size_t at = 0; at < 123456; at += 4096) {
            uint32_t count = static_cast<uint32_t>(std::min<size_t>(4096, 123456 - at));
            ASSERT_EQ(BlockOutcome::Written,
                      earlier.OnBlock(static_cast<uint32_t>(at / 4096), count,
                                      reinterpret_cast<const uint8_t*>(content.data() + at))
                          .outcome);
        }
        EXPECT_TRUE(earlier.Cancel());
    }
    // Another program's file of the same name is left alone.
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"c.txt.im", "not ours"));
    EXPECT_EQ(BlockOutcome::Complete, Copy(dir + L"source.bin", 300000, dir + L"b.txt", &resume));
    EXPECT_EQ(123456u, resume);
    EXPECT_EQ(content, testkit::ReadFileBytes(dir + L"b.txt"));
    EXPECT_FALSE(Exists(dir + L"b.txt.im"));
    EXPECT_EQ(BlockOutcome::Complete, Copy(dir + L"source.bin", 300000, dir + L"c.txt", &resume));
    EXPECT_EQ(0u, resume);
    EXPECT_TRUE(content == testkit::ReadFileBytes(dir + L"c.txt"));
    EXPECT_EQ("not ours", testkit::ReadFileBytes(dir + L"c.txt.im"));
    EXPECT_FALSE(Exists(dir + L"c.txt.1.im"));

    // An empty file arrives as an empty file, over a stale one of the same name.
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"empty.bin", ""));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"e.txt", "old"));
    resume = 0;
    EXPECT_EQ(BlockOutcome::Complete, Copy(dir + L"empty.bin", 0, dir + L"e.txt", &resume));
    EXPECT_TRUE(Exists(dir + L"e.txt"));
    EXPECT_EQ("", testkit::ReadFileBytes(dir + L"e.txt"));
    testkit::RemoveTree(dir);
}

TEST(DiskTransfer, ATargetThatCantBeWrittenKeepsTheTemporaryFile) {
    std::wstring dir = testkit::FreshDir(L"transfer-disk");
    std::string content = Content(10000);
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"source.bin", content));
    // The confirmed path names a folder: the ".im" can be written beside it, the move fails
    // and leaves it whole and marked.
    ASSERT_TRUE(CreateDirectoryW((dir + L"taken").c_str(), nullptr));
    uint32_t resume = 0;
    EXPECT_EQ(BlockOutcome::Failed, Copy(dir + L"source.bin", 10000, dir + L"taken", &resume));
    EXPECT_EQ(content + ResumeMarkOf(10000, OriginOf(10000)), testkit::ReadFileBytes(dir + L"taken.im"));

    // A folder that does not exist: the ".im" can't be opened, the offer is not accepted.
    DiskReceiveFiles files;
    ReceiveJob job(files, OriginOf(10));
    EXPECT_FALSE(job.Accept(dir + L"missing\\x.txt", &resume));
    testkit::RemoveTree(dir);
}

TEST(DiskTransfer, SizesOfFilesToOffer) {
    std::wstring dir = testkit::FreshDir(L"transfer-disk");
    uint64_t size = 0;
    EXPECT_FALSE(QueryFileSize(dir + L"none.bin", &size));
    EXPECT_FALSE(QueryFileSize(dir, &size));
    // A sparse file of 4 GiB takes no room and is refused.
    std::wstring big = dir + L"big.bin";
    HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 0x100000000ll;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(QueryFileSize(big, &size));
    EXPECT_EQ(0x100000000ull, size);
    EXPECT_FALSE(CanOfferFile(true, size));
    EXPECT_EQ(L"4.00GB", FormatFileSize(size));
    DeleteFileW(big.c_str());
    testkit::RemoveTree(dir);
}

}  // namespace
}  // namespace chatdesk
