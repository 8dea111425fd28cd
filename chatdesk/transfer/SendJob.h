// One outgoing transfer after the peer accepted it: reads the file from the resume point
// and sends it as "005S" blocks, back to back, over the direct link. Runs on the window's
// send thread; the file, the link and the control are reached through the interfaces
// below, so the job runs the same over real files and sockets as over test doubles.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ImMessages.h"
#include "SendPlan.h"

namespace chatdesk {

// The file being sent, open for reading.
class SendFile {
public:
    virtual ~SendFile() = default;
    virtual bool Size(uint64_t* size) = 0;
    virtual bool Seek(uint64_t position) = 0;
    // Reads up to `want` bytes; `got` is what came (fewer only at the end or on trouble).
    virtual bool Read(uint8_t* buffer, uint32_t want, uint32_t* got) = 0;
};

class SendFiles {
public:
    virtual ~SendFiles() = default;
    // Shared read of an existing file; null when it can't be opened.
    virtual std::unique_ptr<SendFile> OpenForSending(const std::wstring& path) = 0;
};

// Where the blocks go: the direct link to the peer (the cancel notice may take the relay).
class BlockLink {
public:
    virtual ~BlockLink() = default;
    // `count` whole "005S" messages back to back, in one send. False: no direct link, the
    // send failed, or it ended at a block once the job's stop was seen (some of them may
    // have gone).
    virtual bool SendBlocks(const uint8_t* messages, size_t count) = 0;
    // The "020S" that tells the peer the transfer is over.
    virtual void SendCancel() = 0;
};

// What the sending control is told (from the send thread).
class SendObserver {
public:
    virtual ~SendObserver() = default;
    virtual void Progress(double percent) = 0;  // after every block, the last too
    virtual void Complete() = 0;
    virtual void Failed() = 0;     // the peer has been sent a cancel notice
    virtual void Cancelled() = 0;  // stopped by the peer's answer, the user or the window
    // Lines for the debugger, those of one send together: before it, one for each block
    // about to be read and one more for the last; after it, one for each block sent.
    virtual void Trace(const wchar_t* line) {}
};

struct SendOffer {
    std::string stamp;  // the transfer's 20 characters
    std::string offererId;
    std::string receiverId;
    std::wstring path;
    uint64_t offeredSize = 0;  // the size the offer announced
    uint32_t resume = 0;       // bytes the peer holds already
};

enum class SendEnd {
    Complete,  // every block sent
    Failed,    // open, read, size or send trouble, or an impossible resume point
    Stopped,   // the cancel flag or the window's stop flag was seen
};

// Blocks read ahead and sent together: one socket send for this many, not one for each.
// The stop flags are still looked at before each block is read.
constexpr size_t kBlocksPerSend = 15;  // 63,765 bytes

class SendJob {
public:
    // `windowStop` is the window's transfer stop flag (may be null); it outlives the job.
    SendJob(SendOffer offer, const std::atomic<bool>* windowStop) : offer_(std::move(offer)), windowStop_(windowStop) {}

    const SendOffer& Offer() const { return offer_; }

    // Stops the job before its next block is read (the peer's '1', the user's cancel);
    // blocks read for a send that has not gone out yet do not go.
    void Cancel() { cancel_ = true; }
    bool Cancelled() const { return cancel_.load(); }
    // The cancel flag or the window's stop flag is set.
    bool StopSeen() const { return cancel_.load() || (windowStop_ && windowStop_->load()); }

    // Runs the whole transfer (send thread) and tells the observer how it went.
    SendEnd Run(SendFiles& files, BlockLink& link, SendObserver& observer);

    // Bytes the peer holds by now (the resume point and every block sent).
    uint32_t BytesDone() const { return done_.load(); }

private:
    SendEnd Fail(BlockLink& link, SendObserver& observer);

    SendOffer offer_;
    const std::atomic<bool>* windowStop_;
    std::atomic<bool> cancel_{false};
    std::atomic<uint32_t> done_{0};
};

}  // namespace chatdesk
