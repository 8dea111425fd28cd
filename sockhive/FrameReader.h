// Cuts one channel's incoming bytes into messages: a head of the length the caller's
// head callback names, then the body its body callback names for that head, delivered
// together; or, without a head length, whatever each receive brings.
//
// Heads and bodies that arrive in pieces are completed by further receives before they
// are delivered. Each receive asks for no more than the rest of the current message, so
// bytes of the next message stay with the socket.
#pragma once

#include <array>
#include <functional>

namespace sockhive {

constexpr int kBufferBytes = 32768;

class FrameReader {
public:
    // Head length (0: stream), and body length for a head. Either may be empty.
    using HeadNeed = std::function<int()>;
    using BodyNeed = std::function<int(const char*, int)>;

    enum class Step {
        Receive,  // post the next receive at Target() for TargetLength() bytes
        Deliver,  // hand Message() on, then call Delivered()
        Fail,     // the peer named a message that cannot fit: close the channel
    };

    FrameReader(HeadNeed head, BodyNeed body);

    // Starts the first message; Fail when the head callback names a head that can't fit.
    Step Begin();
    char* Target() { return buffer_.data() + filled_; }
    int TargetLength() const { return wanted_ - filled_; }

    // `bytes` (> 0) arrived at Target().
    Step Received(int bytes);

    const char* Message() const { return buffer_.data(); }
    int MessageLength() const { return filled_; }
    // The message was handed on: start the next one (same result as Begin()).
    Step Delivered();

    bool InBody() const { return phase_ == Phase::Body; }

private:
    enum class Phase { Stream, Head, Body };

    HeadNeed head_;
    BodyNeed body_;
    Phase phase_ = Phase::Stream;
    int wanted_ = kBufferBytes;
    int filled_ = 0;
    std::array<char, kBufferBytes> buffer_{};
};

}  // namespace sockhive
