#include "FrameReader.h"

#include <cstring>

namespace sockhive {

FrameReader::FrameReader(HeadNeed head, BodyNeed body) : head_(std::move(head)), body_(std::move(body)) {}

FrameReader::Step FrameReader::Begin() {
    filled_ = 0;
    int head = head_ ? head_() : 0;
    if (head <= 0) {
        phase_ = Phase::Stream;
        wanted_ = kBufferBytes;
        return Step::Receive;
    }
    if (head > kBufferBytes) return Step::Fail;
    phase_ = Phase::Head;
    wanted_ = head;
    return Step::Receive;
}

FrameReader::Step FrameReader::Received(int bytes) {
    if (bytes <= 0 || bytes > TargetLength()) return Step::Fail;
    filled_ += bytes;
    if (phase_ == Phase::Stream) return Step::Deliver;
    if (filled_ < wanted_) return Step::Receive;
    if (phase_ == Phase::Body) return Step::Deliver;

    // A whole head: its body length comes from the peer's bytes, so it is checked
    // against the buffer before anything is read behind the head.
    int body = body_ ? body_(buffer_.data(), filled_) : 0;
    if (body == 0) return Step::Deliver;
    if (body < 0 || body > kBufferBytes - filled_) return Step::Fail;
    phase_ = Phase::Body;
    wanted_ = filled_ + body;
    return Step::Receive;
}

FrameReader::Step FrameReader::Delivered() {
    // Only the delivered bytes can be dirty: the rest of the buffer is still clear.
    std::memset(buffer_.data(), 0, static_cast<size_t>(filled_));
    return Begin();
}

}  // namespace sockhive
