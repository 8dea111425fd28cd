#include "ReceiveJob.h"

#include "ImCodes.h"
#include "ImMessages.h"
#include "SendPlan.h"

namespace chatdesk {

std::wstring TemporaryPathOf(const std::wstring& savePath) { return savePath + L".im"; }

ReceiveJob::~ReceiveJob() {
    if (file_) file_->Close();
}

bool ReceiveJob::Accept(const std::wstring& savePath, uint32_t* resume) {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ != ReceiveState::Offered) return false;
    std::wstring temp = TemporaryPathOf(savePath);
    uint64_t held = 0;
    std::unique_ptr<ReceiveFile> file = files_.OpenForAppend(temp, &held);
    if (!file) return false;
    // More than the offer: another file of that name. Start over rather than never end.
    if (held > total_) {
        if (!file->Empty()) {
            file->Close();
            return false;
        }
        held = 0;
    }
    file_ = std::move(file);
    savePath_ = savePath;
    tempPath_ = temp;
    received_ = static_cast<uint32_t>(held);
    state_ = ReceiveState::Receiving;
    *resume = received_;
    return true;
}

BlockResult ReceiveJob::End(BlockOutcome outcome, ReceiveState state) {
    if (file_) {
        file_->Close();
        file_.reset();
    }
    state_ = state;
    BlockResult r;
    r.outcome = outcome;
    r.progress = ProgressNow();
    return r;
}

BlockResult ReceiveJob::Finish() {
    // The data is on disk and the ".im" closed before it takes the confirmed name; only a
    // move that worked removes the ".im".
    bool closed = file_->Close();
    file_.reset();
    if (!closed || !files_.MoveOnto(tempPath_, savePath_)) return End(BlockOutcome::Failed, ReceiveState::Failed);
    return End(BlockOutcome::Complete, ReceiveState::Complete);
}

BlockResult ReceiveJob::OnBlock(uint32_t count, const uint8_t* data) {
    std::lock_guard<std::mutex> hold(lock_);
    BlockResult r;
    if (state_ != ReceiveState::Receiving) return r;
    if (count > kTransferBlockData || count > total_ - received_ || (count && !data))
        return End(BlockOutcome::Rejected, ReceiveState::Cancelled);
    if (count && !file_->Write(data, count)) return End(BlockOutcome::Failed, ReceiveState::Failed);
    received_ += count;
    if (received_ == total_) return Finish();
    r.outcome = BlockOutcome::Written;
    r.progress = ProgressNow();
    return r;
}

bool ReceiveJob::Cancel() {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ == ReceiveState::Offered) {
        state_ = ReceiveState::Cancelled;
        return false;
    }
    if (state_ != ReceiveState::Receiving) return false;
    End(BlockOutcome::Ignored, ReceiveState::Cancelled);
    return true;
}

ReceiveState ReceiveJob::State() const {
    std::lock_guard<std::mutex> hold(lock_);
    return state_;
}

uint32_t ReceiveJob::Received() const {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
}

std::wstring ReceiveJob::SavePath() const {
    std::lock_guard<std::mutex> hold(lock_);
    return savePath_;
}

std::wstring ReceiveJob::TemporaryPath() const {
    std::lock_guard<std::mutex> hold(lock_);
    return tempPath_;
}

bool ReadBlockForReceive(const uint8_t* msg, size_t length, std::string* stamp, uint32_t* count,
                         const uint8_t** data) {
    if (!msg || length != kFileBlockSize || !SameImCode(msg + kImCodeOffset, "005S")) return false;
    FileBlock block;
    *stamp = std::string(reinterpret_cast<const char*>(msg + 64), kImStampSize);
    if (ReadFileBlock(msg, length, &block)) {
        *count = block.count;
        *data = block.data;
    } else {
        *count = ReadU32(msg + 149);
        *data = nullptr;
    }
    return true;
}

}  // namespace chatdesk
