#include "FrameReader.h"

#include <cstring>

namespace sockhive {

FrameReader::FrameReader(HeadNeed head, BodyNeed body) : head_(std::move(head)), body_(std::move(body)) {}

FrameReader::Step FrameReader::Begin() {
    int head = head_ ? head_() : 0;
    if (head <= 0) {
        phase_ = Phase::Stream;
    } else if (head > kBufferBytes) {
        return Step::Fail;
    } else {
        phase_ = Phase::Head;
        wanted_ = head;
    }
    return Next();
}

FrameReader::Step FrameReader::Next() {
    int buffered = filled_ - start_;
    if (phase_ == Phase::Stream) {
        length_ = buffered;
        if (buffered > 0) return Step::Deliver;
        Compact();
        return Step::Receive;
    }
    if (phase_ == Phase::Head && buffered >= wanted_) {
        // A whole head: its body length comes from the peer's bytes, so it is checked
        // against the buffer before anything behind the head is taken for the body.
        int body = body_ ? body_(Message(), wanted_) : 0;
        if (body < 0 || body > kBufferBytes - wanted_) return Step::Fail;
        phase_ = Phase::Body;
        wanted_ += body;
    }
    if (phase_ == Phase::Body && buffered >= wanted_) {
        length_ = wanted_;
        return Step::Deliver;
    }
    Compact();
    return Step::Receive;
}

void FrameReader::Compact() {
    if (start_ == 0) return;
    int buffered = filled_ - start_;
    std::memmove(buffer_.data(), buffer_.data() + start_, static_cast<size_t>(buffered));
    // What was behind the moved bytes is cleared, as every handed-on byte is.
    std::memset(buffer_.data() + buffered, 0, static_cast<size_t>(filled_ - buffered));
    start_ = 0;
    filled_ = buffered;
}

FrameReader::Step FrameReader::Received(int bytes) {
    if (bytes <= 0 || bytes > TargetLength()) return Step::Fail;
    filled_ += bytes;
    return Next();
}

FrameReader::Step FrameReader::Delivered() {
    std::memset(buffer_.data() + start_, 0, static_cast<size_t>(length_));
    start_ += length_;
    length_ = 0;
    if (start_ == filled_) start_ = filled_ = 0;
    return Begin();
}

}  // namespace sockhive
