#include "SendJob.h"

#include <cstring>
#include <vector>

namespace chatdesk {

SendEnd SendJob::Fail(BlockLink& link, SendObserver& observer) {
    link.SendCancel();
    observer.Failed();
    return SendEnd::Failed;
}

SendEnd SendJob::Run(SendFiles& files, BlockLink& link, SendObserver& observer) {
    done_ = offer_.resume;
    // The offer told the peer the size: a file that is now another size, or a peer that
    // claims more than the file holds, can't make a correct copy.
    SendPlan plan;
    if (offer_.offeredSize >= (uint64_t(1) << 32) || !plan.Start(static_cast<uint32_t>(offer_.offeredSize), offer_.resume))
        return Fail(link, observer);
    std::unique_ptr<SendFile> file = files.OpenForSending(offer_.path);
    uint64_t size = 0;
    if (!file || !file->Size(&size) || size != offer_.offeredSize || !file->Seek(offer_.resume))
        return Fail(link, observer);

    // Messages for one send, each rewritten for its block: the ids and the stamp stay.
    FileBlock head;
    head.stamp = offer_.stamp;
    head.offererId = offer_.offererId;
    head.receiverId = offer_.receiverId;
    ImBytes one = BuildFileBlock(head);
    std::vector<uint8_t> batch(kBlocksPerSend * kFileBlockSize);
    for (size_t i = 0; i < kBlocksPerSend; ++i) std::memcpy(batch.data() + i * kFileBlockSize, one.data(), one.size());
    double progress[kBlocksPerSend];
    uint32_t position[kBlocksPerSend];

    // The lines of a send's blocks go to the debugger together: one write per block would
    // cost the transfer a good part of its speed.
    std::wstring trace;
    while (!plan.Finished()) {
        size_t built = 0;
        bool shortRead = false;
        trace.clear();
        while (built < kBlocksPerSend && !plan.Finished()) {
            if (StopSeen()) {
                if (!trace.empty()) observer.Trace(trace.c_str());
                observer.Cancelled();
                return SendEnd::Stopped;
            }
            trace += L"for loop send file\n";
            if (plan.NextIsLast()) trace += L"发送最后一个数据报，文件传输结束\n";
            uint8_t* message = batch.data() + built * kFileBlockSize;
            uint8_t* data = message + 153;
            uint32_t want = plan.NextCount();
            uint32_t got = 0;
            // A read that fails or comes short while bytes remain means the file changed.
            if (want && (!file->Read(data, want, &got) || got != want)) {
                shortRead = true;
                break;
            }
            if (want < kTransferBlockData) std::memset(data + want, 0, kTransferBlockData - want);
            WriteU32(message + 144, plan.BlockNumber());
            WriteU32(message + 149, want);
            plan.Sent();
            progress[built] = plan.Progress();
            position[built] = plan.Position();
            ++built;
        }
        if (!trace.empty()) observer.Trace(trace.c_str());
        // The blocks read before a bad read still go; the cancel follows them. A send that
        // ended at a block for a stop is no failure.
        if (built && !link.SendBlocks(batch.data(), built)) {
            if (!StopSeen()) return Fail(link, observer);
            observer.Cancelled();
            return SendEnd::Stopped;
        }
        trace.clear();
        for (size_t i = 0; i < built; ++i) trace += L"计算文件传输的进度\n";
        if (!trace.empty()) observer.Trace(trace.c_str());
        for (size_t i = 0; i < built; ++i) {
            done_ = position[i];
            observer.Progress(progress[i]);
        }
        if (shortRead) return Fail(link, observer);
    }
    observer.Complete();
    return SendEnd::Complete;
}

}  // namespace chatdesk
