// A byte source that plays back a script: chunks of bytes, pauses, a close or an error.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "ImFramer.h"

namespace chatdesk {

class ScriptedSource : public ImByteSource {
public:
    struct Step {
        enum class Kind { Bytes, Pause, Close, Fail } kind;
        std::vector<uint8_t> bytes;
    };

    void Add(const std::vector<uint8_t>& bytes) { steps_.push_back({Step::Kind::Bytes, bytes}); }
    void Pause() { steps_.push_back({Step::Kind::Pause, {}}); }
    void Fail() { steps_.push_back({Step::Kind::Fail, {}}); }

    // The bytes cut into pieces of `size` bytes each.
    void AddInPieces(const std::vector<uint8_t>& bytes, size_t size) {
        for (size_t at = 0; at < bytes.size(); at += size)
            Add(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size)));
    }

    int pausesWaited = 0;     // pauses that the framer waited out
    int unlimitedWaits = 0;   // reads that asked to wait without a limit

    Result Read(uint8_t* buffer, size_t size, int waitMs) override {
        if (waitMs < 0) ++unlimitedWaits;
        while (!steps_.empty()) {
            Step& step = steps_.front();
            switch (step.kind) {
            case Step::Kind::Pause:
                steps_.pop_front();
                if (waitMs >= 0) return {Status::TimedOut, 0, 0};
                ++pausesWaited;
                continue;
            case Step::Kind::Close:
                return {Status::Closed, 0, 0};
            case Step::Kind::Fail:
                return {Status::Error, 0, 10054};
            case Step::Kind::Bytes: {
                if (step.bytes.empty()) {
                    steps_.pop_front();
                    continue;
                }
                size_t n = std::min(size, step.bytes.size());
                std::memcpy(buffer, step.bytes.data(), n);
                step.bytes.erase(step.bytes.begin(), step.bytes.begin() + n);
                if (step.bytes.empty()) steps_.pop_front();
                return {Status::Data, n, 0};
            }
            }
        }
        return {Status::Closed, 0, 0};
    }

private:
    std::deque<Step> steps_;
};

}  // namespace chatdesk
