// Cuts one channel's incoming bytes into messages: a head of the length the caller's
// head callback names, then the body its body callback names for that head, delivered
// together; or, without a head length, whatever has arrived.
//
// Each receive fills the free space of the buffer, so one receive may bring the end of
// one message and several whole ones behind it: every whole message is handed on in
// turn, and a piece of the next stays at the front of the buffer until the rest of it
// arrives.
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
    int TargetLength() const { return kBufferBytes - filled_; }

    // `bytes` (> 0) arrived at Target().
    Step Received(int bytes);

    const char* Message() const { return buffer_.data() + start_; }
    int MessageLength() const { return length_; }
    // The message was handed on: start the next one, which may already be whole.
    Step Delivered();

private:
    enum class Phase { Stream, Head, Body };

    // What the buffered bytes of the current message allow.
    Step Next();
    // Moves the unfinished message to the front, so the next receive has all the room.
    void Compact();

    HeadNeed head_;
    BodyNeed body_;
    Phase phase_ = Phase::Stream;
    int wanted_ = 0;  // head length, then head and body
    int start_ = 0;   // the current message's first byte
    int filled_ = 0;  // bytes in the buffer
    int length_ = 0;  // the message ready to be handed on
    std::array<char, kBufferBytes> buffer_{};
};

}  // namespace sockhive
