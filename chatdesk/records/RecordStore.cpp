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

// How many of the pending records (oldest first) already stand first in the file, newest
// first: those a fold wrote before a kill kept it from dropping them from the pending ones.
// A record holds its sender, its stamp to the millisecond and its text: two alike are one
// text received twice.
size_t AlreadyFirst(const std::string& content, const std::vector<ChatRecordBytes>& pending) {
    for (size_t count = std::min(pending.size(), content.size() / kChatRecordSize); count > 0; --count) {
        size_t i = 0;
        while (i < count && SameBlock(content, i, pending[count - 1 - i])) ++i;
        if (i == count) return count;
    }
    return 0;
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
    return files_.WriteNew(temporary, content.substr(count * kChatRecordSize, (whole - count) * kChatRecordSize)) &&
           files_.Replace(temporary, pending);
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
        size_t written = AlreadyFirst(old, pending);
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

std::vector<ChatRecordBytes> RecordStore::List(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(FoldLock());
    FoldHeld(path);
    std::vector<ChatRecordBytes> pending;
    ReadPending(path, &pending);
    // A copy left by a rewrite that failed is what the file is to hold.
    std::string content;
    bool exists = false;
    if (!files_.ReadAll(CopyPath(path), &content, &exists) || !exists) files_.ReadAll(path, &content, &exists);
    std::vector<ChatRecordBytes> records(pending.rbegin(), pending.rend() - AlreadyFirst(content, pending));
    for (const ChatRecordBytes& record : Blocks(content)) records.push_back(record);
    return records;
}

}  // namespace chatdesk
