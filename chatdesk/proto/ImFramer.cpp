#include "ImFramer.h"

#include <cstring>

namespace chatdesk {

ImFramer::ImFramer(ImByteSource& source, int stallLimitMs) : source_(source), stallLimitMs_(stallLimitMs) {
    std::memset(buffer_, 0, sizeof buffer_);
}

bool ImFramer::ReadExactly(size_t at, size_t size, bool insideMessage, ImFrame* failure) {
    size_t done = 0;
    while (done < size) {
        // Between messages a connection may rest for as long as it likes; once a message
        // has begun, its rest must keep coming.
        bool started = insideMessage || at + done > 0;
        ImByteSource::Result r = source_.Read(buffer_ + at + done, size - done, started ? stallLimitMs_ : -1);
        switch (r.status) {
        case ImByteSource::Status::Data:
            if (r.count == 0 || r.count > size - done) {
                *failure = {ImFrame::Kind::Error, 0, 0, started};
                return false;
            }
            done += r.count;
            break;
        case ImByteSource::Status::Closed:
            *failure = {ImFrame::Kind::Closed, 0, 0, started};
            return false;
        case ImByteSource::Status::Error:
            *failure = {ImFrame::Kind::Error, 0, r.error, started};
            return false;
        case ImByteSource::Status::TimedOut:
            if (!started) continue;
            *failure = {ImFrame::Kind::Stalled, 0, 0, true};
            return false;
        }
    }
    return true;
}

ImFrame ImFramer::Next() {
    std::memset(buffer_, 0, sizeof buffer_);
    ImFrame failure{};
    if (!ReadExactly(0, kImHeaderSize, false, &failure)) return failure;

    const uint8_t* code = buffer_ + kImCodeOffset;
    size_t fixed = ImFixedLength(code);
    if (fixed == 0) return {ImFrame::Kind::Skipped, kImHeaderSize, 0, false};
    size_t length = kImHeaderSize;
    if (!ReadExactly(length, fixed, true, &failure)) return failure;
    length += fixed;

    size_t variable = ImVariableLength(buffer_) - ImWireShortfall(code);
    if (!ReadExactly(length, variable, true, &failure)) return failure;
    length += variable;

    bool dropped = false;
    if (SameImCode(code, "003S")) {
        // n counts the text and the two status characters; it is read whatever it says
        // so the next message starts where it should, and only then judged.
        uint32_t n = ReadDecimalField(buffer_ + (buffer_[144] == '0' ? 145 : 187), 4);
        if (!ReadExactly(length, n + 2, true, &failure)) return failure;
        length += n + 2;
        dropped = n < kImMinTextField || n > kImMaxTextField;
    }
    if (dropped) return {ImFrame::Kind::Dropped, length, 0, false};
    return {ImFrame::Kind::Message, length + ImWireShortfall(code), 0, false};
}

}  // namespace chatdesk
