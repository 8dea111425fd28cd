#include "SendJob.h"

#include <cstring>

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

    // One message, rewritten for each block: the ids and the stamp stay.
    FileBlock head;
    head.stamp = offer_.stamp;
    head.offererId = offer_.offererId;
    head.receiverId = offer_.receiverId;
    ImBytes message = BuildFileBlock(head);
    uint8_t* data = message.data() + 153;

    while (!plan.Finished()) {
        if (StopSeen()) {
            observer.Cancelled();
            return SendEnd::Stopped;
        }
        uint32_t want = plan.NextCount();
        uint32_t got = 0;
        // A read that fails or comes short while bytes remain means the file changed.
        if (want && (!file->Read(data, want, &got) || got != want)) return Fail(link, observer);
        if (want < kTransferBlockData) std::memset(data + want, 0, kTransferBlockData - want);
        WriteU32(message.data() + 144, plan.BlockNumber());
        WriteU32(message.data() + 149, want);
        if (!link.SendBlock(message.data(), message.size())) return Fail(link, observer);
        plan.Sent();
        done_ = plan.Position();
        observer.Progress(plan.Progress());
    }
    observer.Complete();
    return SendEnd::Complete;
}

}  // namespace chatdesk
