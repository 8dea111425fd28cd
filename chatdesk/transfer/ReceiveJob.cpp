#include "ReceiveJob.h"

#include <algorithm>

#include "ImCodes.h"
#include "ImMessages.h"
#include "SendPlan.h"

namespace chatdesk {

namespace {

// The mark: start, held, total, offerer id, name offered, end.
const char kMarkStart[] = "VantorIM resume\0";  // 16 bytes with its terminator
const char kMarkEnd[] = "\r\nmark\r\n";           // 8 bytes
const size_t kMarkIdSize = 20, kMarkNameSize = 256;
const size_t kMarkHeldAt = 16;
const size_t kMarkIdAt = 24, kMarkNameAt = kMarkIdAt + kMarkIdSize, kMarkEndAt = kMarkNameAt + kMarkNameSize;
static_assert(kMarkEndAt + 8 == kResumeMarkSize, "the mark's fields fill it");
const int kMostTemporaryNames = 100;

// A field of the mark: the text cut to leave its terminator, zero-filled.
std::string MarkField(const std::string& text, size_t size) {
    std::string field = text.substr(0, std::min(text.find('\0'), size - 1));
    field.resize(size, '\0');
    return field;
}

// What a marked file of `size` bytes holds of the transfer.
bool ReadResumeMark(const std::string& mark, uint64_t size, const TransferOrigin& origin, uint32_t* held) {
    if (mark.size() != kResumeMarkSize || mark.compare(0, 16, kMarkStart, 16) != 0 ||
        mark.compare(kMarkEndAt, 8, kMarkEnd, 8) != 0)
        return false;
    if (mark.compare(kMarkIdAt, kMarkIdSize, MarkField(origin.offererId, kMarkIdSize)) != 0 ||
        mark.compare(kMarkNameAt, kMarkNameSize, MarkField(origin.name, kMarkNameSize)) != 0)
        return false;
    const uint8_t* values = reinterpret_cast<const uint8_t*>(mark.data()) + kMarkHeldAt;
    *held = ReadU32(values);
    return ReadU32(values + 4) == origin.total && *held <= origin.total && size == *held + kResumeMarkSize;
}

}  // namespace

std::string ResumeMarkOf(uint32_t held, const TransferOrigin& origin) {
    std::string mark(kMarkStart, kMarkHeldAt);
    for (uint32_t value : {held, origin.total}) {
        uint8_t bytes[4];
        WriteU32(bytes, value);
        mark.append(reinterpret_cast<const char*>(bytes), 4);
    }
    mark += MarkField(origin.offererId, kMarkIdSize);
    mark += MarkField(origin.name, kMarkNameSize);
    mark.append(kMarkEnd, 8);
    return mark;
}

std::wstring TemporaryPathOf(const std::wstring& savePath, int n) {
    return n == 0 ? savePath + L".im" : savePath + L"." + std::to_wstring(n) + L".im";
}

ReceiveJob::ReceiveJob(ReceiveFiles& files, TransferOrigin origin)
    : files_(files), origin_(std::move(origin)), total_(origin_.total), mark_(ResumeMarkOf(0, origin_)) {}

ReceiveJob::~ReceiveJob() {
    if (file_) End(BlockOutcome::Ignored, state_);
}

std::string ReceiveJob::MarkFor(uint32_t held) const {
    std::string mark = mark_;
    WriteU32(reinterpret_cast<uint8_t*>(&mark[kMarkHeldAt]), held);
    return mark;
}

bool ReceiveJob::WriteBlock(const uint8_t* data, uint32_t count) {
    written_.assign(data, data + count);
    written_.insert(written_.end(), mark_.begin(), mark_.end());
    WriteU32(written_.data() + count + kMarkHeldAt, received_ + count);
    return file_->WriteAt(received_, written_.data(), static_cast<uint32_t>(written_.size()));
}

std::unique_ptr<ReceiveFile> ReceiveJob::OpenTemporary(const std::wstring& savePath, std::wstring* path,
                                                       uint32_t* held) {
    for (int n = 0; n < kMostTemporaryNames; ++n) {
        *path = TemporaryPathOf(savePath, n);
        *held = 0;
        std::unique_ptr<ReceiveFile> fresh = files_.CreateNew(*path);
        if (fresh) {
            // Marked from the start: a receive that never gets further is still ours.
            if (fresh->WriteAt(0, reinterpret_cast<const uint8_t*>(mark_.data()), static_cast<uint32_t>(mark_.size())))
                return fresh;
            fresh->Close();
            files_.Remove(*path);
            return nullptr;
        }
        std::string mark;
        uint64_t size = 0;
        if (!files_.ReadTail(*path, kResumeMarkSize, &mark, &size) || !ReadResumeMark(mark, size, origin_, held))
            continue;  // someone else's file, or another transfer's: left as it is
        // Its mark stays until the next block is written over it.
        return files_.OpenForWriting(*path, &size);
    }
    return nullptr;
}

bool ReceiveJob::Accept(const std::wstring& savePath, uint32_t* resume) {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ != ReceiveState::Offered) return false;
    std::wstring temp;
    uint32_t held = 0;
    std::unique_ptr<ReceiveFile> file = OpenTemporary(savePath, &temp, &held);
    if (!file) return false;
    file_ = std::move(file);
    savePath_ = savePath;
    tempPath_ = temp;
    received_ = held;
    nextNumber_ = held / kTransferBlockData;
    state_ = ReceiveState::Receiving;
    *resume = received_;
    return true;
}

BlockResult ReceiveJob::End(BlockOutcome outcome, ReceiveState state) {
    if (file_) {
        // What arrived is kept for a later offer, with the mark that says it is ours (put
        // back in its place after a write that failed part way).
        std::string mark = MarkFor(received_);
        if (file_->WriteAt(received_, reinterpret_cast<const uint8_t*>(mark.data()), static_cast<uint32_t>(mark.size())))
            file_->CutTo(received_ + mark.size());
        file_->Close();
        file_.reset();
    }
    state_ = state;
    BlockResult r;
    r.outcome = outcome;
    r.progress = ProgressNow();
    return r;
}

void ReceiveJob::MarkClosedTemporary() {
    uint64_t size = 0;
    std::unique_ptr<ReceiveFile> file = files_.OpenForWriting(tempPath_, &size);
    std::string mark = MarkFor(received_);
    bool marked = file && size == received_ &&
                  file->WriteAt(size, reinterpret_cast<const uint8_t*>(mark.data()), static_cast<uint32_t>(mark.size()));
    if (file && !file->Close()) marked = false;
    if (!marked) files_.Remove(tempPath_);
}

BlockResult ReceiveJob::Finish() {
    // The data goes to disk while the mark still says whose it is; then the mark goes and
    // the ".im", closed, takes the confirmed name. Only a move that worked removes the
    // ".im"; one that failed leaves it whole and marked again: the next offer of the file
    // takes it from there and moves it again.
    if (!file_->Flush()) {
        file_->Close();
        file_.reset();
        files_.Remove(tempPath_);  // what it holds is not known to be on disk
        return End(BlockOutcome::Failed, ReceiveState::Failed);
    }
    if (!file_->CutTo(total_)) return End(BlockOutcome::Failed, ReceiveState::Failed);
    bool closed = file_->Close();
    file_.reset();
    if (!closed) {
        files_.Remove(tempPath_);
        return End(BlockOutcome::Failed, ReceiveState::Failed);
    }
    if (!files_.MoveOnto(tempPath_, savePath_)) {
        MarkClosedTemporary();
        return End(BlockOutcome::Failed, ReceiveState::Failed);
    }
    return End(BlockOutcome::Complete, ReceiveState::Complete);
}

BlockResult ReceiveJob::OnBlock(uint32_t number, uint32_t count, const uint8_t* data) {
    std::lock_guard<std::mutex> hold(lock_);
    BlockResult r;
    if (state_ != ReceiveState::Receiving) return r;
    // A block from before is let pass; one after a missing block can't be placed.
    if (number < nextNumber_) {
        r.outcome = BlockOutcome::Passed;
        r.progress = ProgressNow();
        return r;
    }
    if (number != nextNumber_ || count > kTransferBlockData || count > total_ - received_ || (count && !data))
        return End(BlockOutcome::Rejected, ReceiveState::Cancelled);
    if (count && !WriteBlock(data, count)) return End(BlockOutcome::Failed, ReceiveState::Failed);
    received_ += count;
    ++nextNumber_;
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

bool ReadBlockForReceive(const uint8_t* msg, size_t length, std::string* stamp, uint32_t* number, uint32_t* count,
                         const uint8_t** data) {
    if (!msg || length != kFileBlockSize || !SameImCode(msg + kImCodeOffset, "005S")) return false;
    FileBlock block;
    *stamp = std::string(reinterpret_cast<const char*>(msg + 64), kImStampSize);
    *number = ReadU32(msg + 144);
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
