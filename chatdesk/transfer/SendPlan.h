// The order of blocks of one outgoing file: where reading starts, how much each block
// reads, which block is the last, and the block numbers the peer sees.
//
// Blocks carry 4096 data bytes; the last one carries what is left, possibly nothing, so
// the receiver always gets a block that brings it to the file's size.
#pragma once

#include <cstdint>

namespace chatdesk {

constexpr uint32_t kTransferBlockData = 4096;

class SendPlan {
public:
    // False when the peer claims to hold more than the file has: nothing can be sent.
    bool Start(uint32_t size, uint32_t resume);

    uint32_t Size() const { return size_; }
    uint32_t Position() const { return position_; }
    uint32_t BlockNumber() const { return number_; }
    bool Finished() const { return finished_; }

    // The next block: how many bytes it reads, and whether it is the last.
    uint32_t NextCount() const;
    bool NextIsLast() const { return size_ - position_ <= kTransferBlockData; }

    // The next block went out: the position moves on by its count.
    void Sent();

    // Percent of the file the peer holds, for the control's progress.
    double Progress() const;

    // Blocks a transfer from `resume` takes, the final one included.
    static uint32_t BlockCount(uint32_t size, uint32_t resume);

private:
    uint32_t size_ = 0;
    uint32_t position_ = 0;
    uint32_t number_ = 0;
    bool finished_ = true;
};

}  // namespace chatdesk
