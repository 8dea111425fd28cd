#include "SendPlan.h"

namespace chatdesk {

bool SendPlan::Start(uint32_t size, uint32_t resume) {
    size_ = size;
    position_ = resume;
    number_ = resume / kTransferBlockData;
    finished_ = resume > size;
    return !finished_;
}

uint32_t SendPlan::NextCount() const {
    if (finished_) return 0;
    uint32_t left = size_ - position_;
    return left < kTransferBlockData ? left : kTransferBlockData;
}

void SendPlan::Sent() {
    if (finished_) return;
    bool last = NextIsLast();
    position_ += NextCount();
    ++number_;
    finished_ = last;
}

double SendPlan::Progress() const { return size_ == 0 ? 100.0 : position_ * 100.0 / size_; }

uint32_t SendPlan::BlockCount(uint32_t size, uint32_t resume) {
    if (resume > size) return 0;
    uint32_t left = size - resume;
    // Full blocks while more than one block's worth is left, then the final one.
    return left <= kTransferBlockData ? 1 : (left - 1) / kTransferBlockData + 1;
}

}  // namespace chatdesk
