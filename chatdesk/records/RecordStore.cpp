#include "RecordStore.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace chatdesk {

namespace {

// Orders the adds and the changes of the pending records.
std::mutex& PendingLock() {
    static std::mutex lock;
    return lock;
}

// Orders the folds and the lists: one rewrite of a record file at a time.
std::mutex& FoldLock() {
    static std::mutex lock;
    return lock;
}

// Retries of a replace before the file is rewritten in place (a viewer holds it for a moment).
const unsigned kReplacePauses[] = {10, 20, 40};

std::wstring CopyPath(const std::wstring& path) { return path + L".copy"; }

std::vector<ChatRecordBytes> Blocks(const std::string& content) {
    std::vector<ChatRecordBytes> records(content.size() / kChatRecordSize);
    for (size_t i = 0; i < records.size(); ++i)
        std::memcpy(records[i].data(), content.data() + i * kChatRecordSize, kChatRecordSize);
    return records;
}

bool SameBlock(const std::string& content, size_t at, const ChatRecordBytes& record) {
    return content.size() >= (at + 1) * kChatRecordSize &&
           std::memcmp(content.data() + at * kChatRecordSize, record.data(), kChatRecordSize) == 0;
}

// How many of the pending records (oldest first) are in the file already: a fold that a
// kill kept from dropping them wrote them, or a window that closed while the pending file
// refused later records (PutFirst). Both write the oldest first, so those in are the first
// ones. A record holds its sender, its stamp to the millisecond and its text: two alike
// are one text received twice.
size_t AlreadyIn(const std::string& content, const std::vector<ChatRecordBytes>& pending) {
    size_t blocks = content.size() / kChatRecordSize, count = 0;
    for (; count < pending.size(); ++count) {
        size_t at = 0;
        while (at < blocks && !SameBlock(content, at, pending[count])) ++at;
        if (at == blocks) break;
    }
    return count;
}

}  // namespace

std::wstring PendingRecordsPath(const std::wstring& recordPath) { return recordPath + L".pending"; }

bool RecordStore::Add(const std::wstring& path, const ChatRecordBytes& record) {
    std::lock_guard<std::mutex> hold(PendingLock());
    return files_.AppendBlock(PendingRecordsPath(path), record.data(), record.size());
}

bool RecordStore::ReadPending(const std::wstring& path, std::vector<ChatRecordBytes>* records) {
    std::lock_guard<std::mutex> hold(PendingLock());
    std::string content;
    bool exists = false;
    if (!files_.ReadAll(PendingRecordsPath(path), &content, &exists)) return false;
    *records = Blocks(content);
    return true;
}

bool RecordStore::DropPending(const std::wstring& path, size_t count) {
    std::lock_guard<std::mutex> hold(PendingLock());
    std::wstring pending = PendingRecordsPath(path);
    std::string content;
    bool exists = false;
    if (!files_.ReadAll(pending, &content, &exists)) return false;
    size_t whole = content.size() / kChatRecordSize;
    // All of them went in (a torn block at the end goes with them).
    if (whole <= count) return files_.Remove(pending);
    // Records added meanwhile stay.
    std::wstring temporary = pending + L".tmp";
    if (files_.WriteNew(temporary, content.substr(count * kChatRecordSize, (whole - count) * kChatRecordSize)) &&
        files_.Replace(temporary, pending))
        return true;
    files_.Remove(temporary);
    return false;
}

bool RecordStore::Rewrite(const std::wstring& path, const std::string& content) {
    std::wstring temporary = path + L".tmp";
    if (!files_.WriteNew(temporary, content)) {
        files_.Remove(temporary);
        return false;
    }
    if (files_.Replace(temporary, path)) return true;
    for (unsigned pause : kReplacePauses) {
        files_.Pause(pause);
        if (files_.Replace(temporary, path)) return true;
    }
    // Held open by another program: written where it stands, the whole new content kept
    // beside it until then. A write that fails leaves the copy for the next fold.
    if (!files_.Replace(temporary, CopyPath(path))) {
        files_.Remove(temporary);
        return false;
    }
    return files_.Overwrite(path, content) && files_.Remove(CopyPath(path));
}

bool RecordStore::FinishCopy(const std::wstring& path) {
    std::wstring copy = CopyPath(path);
    if (files_.Size(copy) < 0) return true;
    // A rewrite in place was cut short: the copy holds what the file was to become.
    std::string content;
    bool exists = false;
    if (!files_.ReadAll(copy, &content, &exists)) return false;
    if (files_.Replace(copy, path)) return true;
    return files_.Overwrite(path, content) && files_.Remove(copy);
}

bool RecordStore::FoldHeld(const std::wstring& path) {
    if (!FinishCopy(path)) return false;
    for (;;) {
        std::vector<ChatRecordBytes> pending;
        if (!ReadPending(path, &pending)) return false;
        // Nothing, or a block a kill cut short while it was being added.
        if (pending.empty()) return files_.Size(PendingRecordsPath(path)) < 0 || DropPending(path, 0);
        std::string old;
        bool exists = false;
        if (!files_.ReadAll(path, &old, &exists)) return false;
        size_t written = AlreadyIn(old, pending);
        if (written > 0) {
            if (!DropPending(path, written)) return false;
            continue;
        }
        // A failed move keeps the history: the records then go before it.
        if (static_cast<int64_t>(old.size()) >= kRecordRollOverSize && files_.Move(path, RolledRecordPath(path, clock_())))
            old.clear();
        // Each record goes first while the file is below its limit (or could not be moved);
        // the rest wait for the next round, which moves the file aside.
        bool unmoved = static_cast<int64_t>(old.size()) >= kRecordRollOverSize;
        size_t count = 0;
        int64_t size = static_cast<int64_t>(old.size());
        while (count < pending.size() && (unmoved || size < kRecordRollOverSize)) {
            size += kChatRecordSize;
            ++count;
        }
        std::string content;
        content.reserve(count * kChatRecordSize + old.size());
        for (size_t i = count; i > 0; --i)
            content.append(reinterpret_cast<const char*>(pending[i - 1].data()), kChatRecordSize);
        content += old;
        if (!Rewrite(path, content)) return false;
        if (!DropPending(path, count)) return false;
    }
}

bool RecordStore::Fold(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(FoldLock());
    return FoldHeld(path);
}

bool RecordStore::PutFirst(const std::wstring& path, const std::vector<ChatRecordBytes>& records) {
    std::lock_guard<std::mutex> hold(FoldLock());
    if (!FinishCopy(path)) return false;
    std::vector<ChatRecordBytes> pending;
    std::string old;
    bool exists = false;
    if (!ReadPending(path, &pending) || !files_.ReadAll(path, &old, &exists)) return false;
    size_t written = AlreadyIn(old, pending);
    std::string content;
    content.reserve((records.size() + pending.size() - written) * kChatRecordSize + old.size());
    for (size_t i = records.size(); i > 0; --i)
        content.append(reinterpret_cast<const char*>(records[i - 1].data()), kChatRecordSize);
    for (size_t i = pending.size(); i > written; --i)
        content.append(reinterpret_cast<const char*>(pending[i - 1].data()), kChatRecordSize);
    content += old;
    if (!Rewrite(path, content)) return false;
    // Pending records that stay are found in the file by the next fold.
    DropPending(path, pending.size());
    return true;
}

std::vector<ChatRecordBytes> RecordStore::List(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(FoldLock());
    FoldHeld(path);
    std::vector<ChatRecordBytes> pending;
    ReadPending(path, &pending);
    // A copy left by a rewrite that failed is what the file is to hold.
    std::string content;
    bool exists = false;
    if (!files_.ReadAll(CopyPath(path), &content, &exists) || !exists) files_.ReadAll(path, &content, &exists);
    std::vector<ChatRecordBytes> records(pending.rbegin(), pending.rend() - AlreadyIn(content, pending));
    for (const ChatRecordBytes& record : Blocks(content)) records.push_back(record);
    return records;
}

}  // namespace chatdesk
