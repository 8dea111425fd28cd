#include "ChannelLife.h"

namespace sockhive {

bool ChannelLife::FinishLocked() {
    if (!closing_ || finished_ || receives_ > 0 || sends_ > 0) return false;
    finished_ = true;
    return true;
}

bool ChannelLife::BeginReceive() {
    vantor::Lock hold(lock_);
    if (closing_) return false;
    ++receives_;
    return true;
}

bool ChannelLife::BeginSend() {
    vantor::Lock hold(lock_);
    if (closing_ || sends_ >= sendLimit_) return false;
    ++sends_;
    return true;
}

bool ChannelLife::EndReceive() {
    vantor::Lock hold(lock_);
    if (receives_ > 0) --receives_;
    return FinishLocked();
}

bool ChannelLife::EndSend(int count) {
    vantor::Lock hold(lock_);
    sends_ = sends_ > count ? sends_ - count : 0;
    return FinishLocked();
}

bool ChannelLife::RequestClose() {
    vantor::Lock hold(lock_);
    closing_ = true;
    return FinishLocked();
}

bool ChannelLife::Closing() const {
    vantor::Lock hold(lock_);
    return closing_;
}

int ChannelLife::PendingSends() const {
    vantor::Lock hold(lock_);
    return sends_;
}

}  // namespace sockhive
