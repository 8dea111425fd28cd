// The send and receive jobs over files and a link in memory: blocks on the wire, resume,
// completion, and every way a transfer ends early.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "MemoryFiles.h"
#include "ReceiveJob.h"
#include "SendJob.h"

namespace chatdesk {
namespace {

const char kStamp[] = "20261209093015123000";

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return s;
}

SendOffer OfferOf(uint64_t size, uint32_t resume = 0) {
    SendOffer offer;
    offer.stamp = kStamp;
    offer.offererId = "10001";
    offer.receiverId = "20002";
    offer.path = L"C:\\send\\f.bin";
    offer.offeredSize = size;
    offer.resume = resume;
    return offer;
}

struct Sender {
    MemoryFiles files;
    RecordingLink link;
    RecordingObserver observer;
    std::atomic<bool> stop{false};
    SendEnd Run(SendJob& job) { return job.Run(files, link, observer); }
};

TEST(SendJobRun, TenThousandBytesGoAsThreeFullLengthBlocks) {
    Sender s;
    s.files.files[L"C:\\send\\f.bin"] = Pattern(10000);
    SendJob job(OfferOf(10000), &s.stop);
    ASSERT_EQ(SendEnd::Complete, s.Run(job));
    ASSERT_EQ(3u, s.link.blocks.size());
    const uint32_t counts[] = {4096, 4096, 1808};
    for (uint32_t i = 0; i < 3; ++i) {
        FileBlock b;
        ASSERT_EQ(kFileBlockSize, s.link.blocks[i].size());
        ASSERT_TRUE(ReadFileBlock(s.link.blocks[i].data(), s.link.blocks[i].size(), &b));
        EXPECT_EQ(i, b.number);
        EXPECT_EQ(counts[i], b.count);
        EXPECT_EQ(kStamp, b.stamp);
        EXPECT_EQ("20002", b.receiverId);
        EXPECT_EQ(Pattern(10000).substr(i * 4096, b.count), std::string(reinterpret_cast<const char*>(b.data), b.count));
    }
    // The last block's unused data bytes are zero again, not the previous block's.
    EXPECT_EQ(0, s.link.blocks[2][153 + 1808]);
    // Progress after every block, the last one too, then complete.
    ASSERT_EQ(3u, s.observer.progress.size());
    EXPECT_DOUBLE_EQ(100.0, s.observer.progress.back());
    EXPECT_EQ(1, s.observer.complete);
    EXPECT_EQ(0, s.link.cancels);
    EXPECT_EQ(1, s.link.sends);
}

TEST(SendJobRun, LargeFilesGoInSendsOfSeveralBlocksNumberedInOrder) {
    Sender s;
    const uint32_t size = (2 * kBlocksPerSend + 1) * 4096 + 7;
    s.files.files[L"C:\\send\\f.bin"] = Pattern(size);
    SendJob job(OfferOf(size), &s.stop);
    ASSERT_EQ(SendEnd::Complete, s.Run(job));
    EXPECT_EQ(3, s.link.sends);
    ASSERT_EQ(2 * kBlocksPerSend + 2, s.link.blocks.size());
    std::string joined;
    for (uint32_t i = 0; i < s.link.blocks.size(); ++i) {
        FileBlock b;
        ASSERT_TRUE(ReadFileBlock(s.link.blocks[i].data(), kFileBlockSize, &b));
        EXPECT_EQ(i, b.number);
        joined.append(reinterpret_cast<const char*>(b.data), b.count);
    }
    EXPECT_EQ(Pattern(size), joined);
    EXPECT_EQ(0, s.link.blocks.back()[153 + 7 + 1]);  // no bytes left over from the block before
    ASSERT_EQ(s.link.blocks.size(), s.observer.progress.size());
    EXPECT_TRUE(std::is_sorted(s.observer.progress.begin(), s.observer.progress.end()));
    EXPECT_DOUBLE_EQ(100.0, s.observer.progress.back());
    EXPECT_EQ(size, job.BytesDone());
}

TEST(SendJobRun, ResumeReadsFromThePeersCountAndSmallFilesTakeOneBlock) {
    Sender s;
    s.files.files[L"C:\\send\\f.bin"] = Pattern(10000);
    SendJob resumed(OfferOf(10000, 5000), &s.stop);
    ASSERT_EQ(SendEnd::Complete, s.Run(resumed));
    FileBlock b;
    ASSERT_TRUE(ReadFileBlock(s.link.blocks[0].data(), kFileBlockSize, &b));
    EXPECT_EQ(1u, b.number);
    EXPECT_EQ(Pattern(10000).substr(5000, 4096), std::string(reinterpret_cast<const char*>(b.data), b.count));
    EXPECT_EQ(2u, s.link.blocks.size());

    Sender small;
    small.files.files[L"C:\\send\\f.bin"] = Pattern(100);
    SendJob job(OfferOf(100), &small.stop);
    ASSERT_EQ(SendEnd::Complete, small.Run(job));
    ASSERT_EQ(1u, small.link.blocks.size());
    EXPECT_EQ(1, small.observer.complete);
    EXPECT_EQ(1u, small.observer.progress.size());

    // The peer holds the whole file already: one empty block still goes.
    Sender held;
    held.files.files[L"C:\\send\\f.bin"] = Pattern(100);
    SendJob whole(OfferOf(100, 100), &held.stop);
    ASSERT_EQ(SendEnd::Complete, held.Run(whole));
    ASSERT_TRUE(ReadFileBlock(held.link.blocks.at(0).data(), kFileBlockSize, &b));
    EXPECT_EQ(0u, b.count);
}

TEST(SendJobRun, TroubleFailsWithOneCancelNotice) {
    struct Case {
        const char* name;
        uint64_t offered;
        uint32_t resume;
        bool failOpen;
        size_t shrinkAfter;
        size_t failSendFrom;
        size_t blocksSent;
    } cases[] = {
        {"resume past the size", 10000, 10001, false, 0, 0, 0},
        {"open fails", 10000, 0, true, 0, 0, 0},
        {"size changed since the offer", 9999, 0, false, 0, 0, 0},
        {"short read", 10000, 0, false, 2, 0, 1},
        {"send fails", 10000, 0, false, 0, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sender s;
        s.files.files[L"C:\\send\\f.bin"] = Pattern(10000);
        s.files.failOpen = c.failOpen;
        s.files.shrinkAfterReads = c.shrinkAfter;
        s.link.failFrom = c.failSendFrom;
        SendJob job(OfferOf(c.offered, c.resume), &s.stop);
        EXPECT_EQ(SendEnd::Failed, s.Run(job));
        EXPECT_EQ(c.blocksSent, s.link.blocks.size());
        EXPECT_EQ(1, s.link.cancels);
        EXPECT_EQ(1, s.observer.failed);
        EXPECT_EQ(0, s.observer.complete);
    }
}

TEST(SendJobRun, StopFlagsEndTheSendCancelledBeforeTheNextBlock) {
    Sender s;
    s.files.files[L"C:\\send\\f.bin"] = Pattern(10000);
    s.stop = true;  // a window that lost its direct link: not even the first block
    SendJob early(OfferOf(10000), &s.stop);
    EXPECT_EQ(SendEnd::Stopped, s.Run(early));
    EXPECT_TRUE(s.link.blocks.empty());
    EXPECT_EQ(1, s.observer.cancelled);

    // The peer's '1' during a send: the blocks of that send went, no further send follows.
    Sender p;
    const uint32_t size = (kBlocksPerSend + 5) * 4096;
    p.files.files[L"C:\\send\\f.bin"] = Pattern(size);
    SendJob job(OfferOf(size), &p.stop);
    p.link.afterBlock = [&job](const ImBytes&) { job.Cancel(); };
    EXPECT_EQ(SendEnd::Stopped, p.Run(job));
    EXPECT_EQ(1, p.link.sends);
    EXPECT_EQ(kBlocksPerSend, p.link.blocks.size());
    EXPECT_EQ(kBlocksPerSend, p.observer.progress.size());
    EXPECT_EQ(kBlocksPerSend * 4096, job.BytesDone());
    EXPECT_EQ(1, p.observer.cancelled);
    EXPECT_EQ(0, p.link.cancels);

    // A send that the link ended at a block for a stop seen meanwhile is a stop, not a
    // failure: no cancel notice of the job's own follows.
    Sender e;
    e.files.files[L"C:\\send\\f.bin"] = Pattern(size);
    SendJob ended(OfferOf(size), &e.stop);
    e.link.afterBlock = [&](const ImBytes&) {
        if (e.link.blocks.size() == 3) ended.Cancel();
    };
    e.link.failFrom = 4;
    EXPECT_EQ(SendEnd::Stopped, e.Run(ended));
    EXPECT_EQ(3u, e.link.blocks.size());
    EXPECT_EQ(1, e.observer.cancelled);
    EXPECT_EQ(0, e.observer.failed);
    EXPECT_EQ(0, e.link.cancels);

    // A cancel that comes while the blocks of a send are being read: no further block is
    // read, and the blocks read for that send do not go.
    Sender m;
    m.files.files[L"C:\\send\\f.bin"] = Pattern(size);
    SendJob midway(OfferOf(size), &m.stop);
    m.files.afterRead = [&midway](size_t reads) {
        if (reads == 3) midway.Cancel();
    };
    EXPECT_EQ(SendEnd::Stopped, m.Run(midway));
    EXPECT_EQ(3u, m.files.reads);
    EXPECT_TRUE(m.link.blocks.empty());
    EXPECT_EQ(0u, midway.BytesDone());
    EXPECT_EQ(1, m.observer.cancelled);
}

// A receiver fed from a sender's blocks, as the window would.
struct Receiver {
    MemoryFiles files;
    std::unique_ptr<ReceiveJob> job;
    std::vector<BlockResult> results;
    explicit Receiver(uint32_t total, const char* offerer = "20002", const char* name = "f.bin")
        : job(new ReceiveJob(files, TransferOrigin{offerer, name, total})) {}
    void Take(const ImBytes& msg) {
        std::string stamp;
        uint32_t number = 0, count = 0;
        const uint8_t* data = nullptr;
        ASSERT_TRUE(ReadBlockForReceive(msg.data(), msg.size(), &stamp, &number, &count, &data));
        EXPECT_EQ(kStamp, stamp);
        results.push_back(job->OnBlock(number, count, data));
    }
};

TEST(ReceiveJobRun, BlocksArriveThroughTheTemporaryFileAtTheConfirmedPath) {
    Sender s;
    const std::string content = Pattern(1000000);
    s.files.files[L"C:\\send\\f.bin"] = content;
    Receiver r(static_cast<uint32_t>(content.size()));
    uint32_t resume = 99;
    ASSERT_TRUE(r.job->Accept(L"C:\\a\\b.txt", &resume));
    EXPECT_EQ(0u, resume);
    EXPECT_EQ(L"C:\\a\\b.txt.im", r.job->TemporaryPath());
    EXPECT_TRUE(r.files.Has(L"C:\\a\\b.txt.im"));
    s.link.afterBlock = [&](const ImBytes& msg) {
        r.Take(msg);
        if (r.results.back().outcome == BlockOutcome::Written) {
            EXPECT_FALSE(r.files.Has(L"C:\\a\\b.txt"));
        }
    };
    SendJob job(OfferOf(content.size()), &s.stop);
    ASSERT_EQ(SendEnd::Complete, s.Run(job));
    EXPECT_EQ(SendPlan::BlockCount(1000000, 0), r.results.size());
    EXPECT_EQ(BlockOutcome::Complete, r.results.back().outcome);
    EXPECT_FALSE(r.results.back().stopSender());
    EXPECT_EQ(ReceiveState::Complete, r.job->State());
    EXPECT_EQ(content, r.files.files[L"C:\\a\\b.txt"]);
    EXPECT_FALSE(r.files.Has(L"C:\\a\\b.txt.im"));
    // A late block changes nothing and stops the sender.
    r.Take(s.link.blocks.back());
    EXPECT_EQ(BlockOutcome::Ignored, r.results.back().outcome);
    EXPECT_TRUE(r.results.back().stopSender());
}

// Feeds `content` from `from` to `to` in blocks; the last result.
BlockOutcome Feed(ReceiveJob& job, const std::string& content, size_t from, size_t to) {
    BlockOutcome last = BlockOutcome::Ignored;
    for (size_t at = from; at < to; at += 4096) {
        size_t count = std::min<size_t>(4096, to - at);
        last = job.OnBlock(static_cast<uint32_t>(at / 4096), static_cast<uint32_t>(count),
                           reinterpret_cast<const uint8_t*>(content.data() + at))
                   .outcome;
    }
    return last;
}

TEST(ReceiveJobRun, OnlyATemporaryFileThisClientLeftIsResumed) {
    const std::string content = Pattern(10000);
    // A transfer cut short leaves its ".im"; the next offer of that size resumes from it.
    Receiver first(10000);
    uint32_t resume = 99;
    ASSERT_TRUE(first.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(0u, resume);
    EXPECT_EQ(BlockOutcome::Written, Feed(*first.job, content, 0, 5000));
    EXPECT_TRUE(first.job->Cancel());
    first.job.reset();
    std::map<std::wstring, std::string> left = first.files.files;
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(L"C:\\r\\f.bin.im", left.begin()->first);

    Receiver again(10000);
    again.files.files = left;
    ASSERT_TRUE(again.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(5000u, resume);
    EXPECT_EQ(BlockOutcome::Complete, Feed(*again.job, content, 5000, 10000));
    EXPECT_TRUE(content == again.files.files[L"C:\\r\\f.bin"]);
    EXPECT_EQ(1u, again.files.files.size()) << "no temporary file is left";

    // An offer of another size, from another friend or of another name is another
    // transfer: it starts afresh beside the old one, which stays as it was.
    for (Receiver* other : {new Receiver(20000), new Receiver(10000, "20003"), new Receiver(10000, "20002", "g.bin")}) {
        std::unique_ptr<Receiver> owner(other);
        other->files.files = left;
        ASSERT_TRUE(other->job->Accept(L"C:\\r\\f.bin", &resume));
        EXPECT_EQ(0u, resume);
        EXPECT_EQ(L"C:\\r\\f.bin.1.im", other->job->TemporaryPath());
        EXPECT_EQ(left.begin()->second, other->files.files[L"C:\\r\\f.bin.im"]);
    }

    // Files of that name the client did not leave, shorter or longer than the offer, stay
    // as they were; the transfer goes to a fresh name and lands at the confirmed path.
    for (size_t size : {5000u, 30000u}) {
        Receiver stranger(10000);
        const std::string theirs(size, 'u');
        stranger.files.files[L"C:\\r\\u.bin.im"] = theirs;
        ASSERT_TRUE(stranger.job->Accept(L"C:\\r\\u.bin", &resume));
        EXPECT_EQ(0u, resume);
        EXPECT_NE(L"C:\\r\\u.bin.im", stranger.job->TemporaryPath());
        EXPECT_EQ(BlockOutcome::Complete, Feed(*stranger.job, content, 0, 10000));
        EXPECT_TRUE(content == stranger.files.files[L"C:\\r\\u.bin"]);
        EXPECT_EQ(theirs, stranger.files.files[L"C:\\r\\u.bin.im"]);
        EXPECT_EQ(2u, stranger.files.files.size());
    }
}

// The ".im" is marked from the accept on: a receive killed at any step (nothing of it
// ended) leaves a file the next offer of that transfer goes on from, and no second one.
TEST(ReceiveJobRun, AReceiveKilledAtAnyStepIsResumedFromItsOwnFile) {
    const std::string content = Pattern(10000);
    for (size_t blocks : {0u, 1u, 2u}) {
        Receiver killed(10000);
        uint32_t resume = 99;
        ASSERT_TRUE(killed.job->Accept(L"C:\\r\\f.bin", &resume));
        Feed(*killed.job, content, 0, blocks * 4096);
        std::map<std::wstring, std::string> left = killed.files.files;  // the disk as the kill left it
        Receiver again(10000);
        again.files.files = left;
        ASSERT_TRUE(again.job->Accept(L"C:\\r\\f.bin", &resume));
        EXPECT_EQ(blocks * 4096, resume);
        EXPECT_EQ(L"C:\\r\\f.bin.im", again.job->TemporaryPath());
        EXPECT_EQ(BlockOutcome::Complete, Feed(*again.job, content, resume, 10000));
        EXPECT_TRUE(content == again.files.files[L"C:\\r\\f.bin"]) << blocks;
        EXPECT_EQ(1u, again.files.files.size()) << "no temporary file is left";
    }
}

TEST(ReceiveJobRun, HostileBlocksWriteNothingAndCancel) {
    uint8_t data[4096] = {1, 2, 3};
    Receiver unaccepted(10000);
    EXPECT_EQ(BlockOutcome::Ignored, unaccepted.job->OnBlock(0, 100, data).outcome);
    EXPECT_TRUE(unaccepted.job->OnBlock(0, 100, data).stopSender());
    EXPECT_TRUE(unaccepted.files.files.empty());

    uint32_t resume = 0;
    for (uint32_t n : {5000u, 0xFFFFFFFFu}) {
        Receiver r(10000);
        ASSERT_TRUE(r.job->Accept(L"C:\\r\\f.bin", &resume));
        BlockResult res = r.job->OnBlock(0, n, n <= 4096 ? data : nullptr);
        EXPECT_EQ(BlockOutcome::Rejected, res.outcome);
        EXPECT_TRUE(res.ended());
        EXPECT_EQ(kResumeMarkSize, r.files.files[L"C:\\r\\f.bin.im"].size()) << "the mark alone";
        EXPECT_EQ(ReceiveState::Cancelled, r.job->State());
    }
    // Past the offered size: 4096 + 4096 + 4096 of a 10,000-byte offer.
    Receiver past(10000);
    ASSERT_TRUE(past.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(BlockOutcome::Written, past.job->OnBlock(0, 4096, data).outcome);
    EXPECT_EQ(BlockOutcome::Written, past.job->OnBlock(1, 4096, data).outcome);
    EXPECT_EQ(BlockOutcome::Rejected, past.job->OnBlock(2, 4096, data).outcome);
    EXPECT_EQ(8192u + kResumeMarkSize, past.files.files[L"C:\\r\\f.bin.im"].size());
    EXPECT_FALSE(past.files.Has(L"C:\\r\\f.bin"));

    // Blocks out of their order: one from before passes and one past a missing block
    // ends the transfer; neither is written, and what came in order resumes.
    const std::string content = Pattern(10000);
    Receiver gap(10000);
    ASSERT_TRUE(gap.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(BlockOutcome::Written, Feed(*gap.job, content, 0, 4096));
    BlockResult again = gap.job->OnBlock(0, 4096, data);
    EXPECT_EQ(BlockOutcome::Passed, again.outcome);
    EXPECT_FALSE(again.stopSender());
    EXPECT_EQ(BlockOutcome::Rejected, gap.job->OnBlock(2, 1808, data).outcome);
    EXPECT_EQ(content.substr(0, 4096) + ResumeMarkOf(4096, {"20002", "f.bin", 10000}),
              gap.files.files[L"C:\\r\\f.bin.im"]);
    Receiver resumed(10000);
    resumed.files.files = gap.files.files;
    ASSERT_TRUE(resumed.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(4096u, resume);
    EXPECT_EQ(BlockOutcome::Complete, Feed(*resumed.job, content, 4096, 10000));
    EXPECT_TRUE(content == resumed.files.files[L"C:\\r\\f.bin"]);

    // The message reader hands an oversized count on, without data.
    FileBlock b;
    b.stamp = kStamp;
    b.offererId = "20002";
    b.receiverId = "10001";
    ImBytes msg = BuildFileBlock(b);
    WriteU32(msg.data() + 149, 5000);
    std::string stamp;
    uint32_t number = 0, count = 0;
    const uint8_t* at = data;
    ASSERT_TRUE(ReadBlockForReceive(msg.data(), msg.size(), &stamp, &number, &count, &at));
    EXPECT_EQ(5000u, count);
    EXPECT_EQ(nullptr, at);
    EXPECT_FALSE(ReadBlockForReceive(msg.data(), msg.size() - 1, &stamp, &number, &count, &at));
}

TEST(ReceiveJobRun, DiskTroubleAndCancelKeepTheTemporaryFile) {
    uint8_t data[100] = {7};
    uint32_t resume = 0;
    Receiver write(100);
    ASSERT_TRUE(write.job->Accept(L"C:\\r\\f.bin", &resume));
    write.files.failWrite = true;
    EXPECT_EQ(BlockOutcome::Failed, write.job->OnBlock(0, 50, data).outcome);
    EXPECT_TRUE(write.files.Has(L"C:\\r\\f.bin.im"));

    Receiver move(100);
    ASSERT_TRUE(move.job->Accept(L"C:\\r\\f.bin", &resume));
    move.files.failMove = true;
    BlockResult last = move.job->OnBlock(0, 100, data);
    EXPECT_EQ(BlockOutcome::Failed, last.outcome);
    EXPECT_TRUE(last.stopSender());
    EXPECT_FALSE(move.files.Has(L"C:\\r\\f.bin"));
    // The whole file stays marked: the next offer takes it as it is and moves it again.
    EXPECT_EQ(100u + kResumeMarkSize, move.files.files[L"C:\\r\\f.bin.im"].size());
    Receiver retry(100);
    retry.files.files = move.files.files;
    ASSERT_TRUE(retry.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(100u, resume);
    EXPECT_EQ(BlockOutcome::Complete, retry.job->OnBlock(0, 0, nullptr).outcome);
    EXPECT_EQ(std::string(data, data + 100), retry.files.files[L"C:\\r\\f.bin"]);
    EXPECT_EQ(1u, retry.files.files.size());
    // A flush that failed leaves nothing to resume from.
    Receiver flush(100);
    ASSERT_TRUE(flush.job->Accept(L"C:\\r\\f.bin", &resume));
    flush.files.failClose = true;
    EXPECT_EQ(BlockOutcome::Failed, flush.job->OnBlock(0, 100, data).outcome);
    EXPECT_TRUE(flush.files.files.empty());

    Receiver open(100);
    open.files.failOpen = true;
    EXPECT_FALSE(open.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(ReceiveState::Offered, open.job->State());

    Receiver cancel(100);
    EXPECT_FALSE(cancel.job->Cancel());  // never accepted: nothing was counted
    Receiver running(100);
    ASSERT_TRUE(running.job->Accept(L"C:\\r\\f.bin", &resume));
    EXPECT_EQ(BlockOutcome::Written, running.job->OnBlock(0, 40, data).outcome);
    EXPECT_TRUE(running.job->Cancel());
    EXPECT_FALSE(running.job->Cancel());
    EXPECT_EQ(BlockOutcome::Ignored, running.job->OnBlock(1, 60, data).outcome);
    EXPECT_EQ(40u + kResumeMarkSize, running.files.files[L"C:\\r\\f.bin.im"].size());
    EXPECT_FALSE(running.files.Has(L"C:\\r\\f.bin"));
}

}  // namespace
}  // namespace chatdesk
