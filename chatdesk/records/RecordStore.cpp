#include "RecordStore.h"

#include <cstring>
#include <mutex>

namespace chatdesk {

namespace {
std::mutex& RecordLock() {
    static std::mutex lock;
    return lock;
}
}  // namespace

bool RecordStore::Append(const std::wstring& path, const std::wstring& rolledPath, const ChatRecordBytes& record) {
    std::lock_guard<std::mutex> hold(RecordLock());
    std::string content(reinterpret_cast<const char*>(record.data()), record.size());
    int64_t size = files_.Size(path);
    // A failed move keeps the history: the record then goes before it as usual.
    bool rolled = size >= kRecordRollOverSize && files_.Move(path, rolledPath);
    if (!rolled && size > 0) {
        std::string old;
        bool exists = false;
        if (!files_.ReadAll(path, &old, &exists)) return false;
        content += old;
    }
    return files_.WriteAll(path, content);
}

std::vector<ChatRecordBytes> RecordStore::List(const std::wstring& path) {
    std::string content;
    bool exists = false;
    {
        std::lock_guard<std::mutex> hold(RecordLock());
        if (!files_.ReadAll(path, &content, &exists)) return {};
    }
    std::vector<ChatRecordBytes> records;
    for (size_t at = 0; at + kChatRecordSize <= content.size(); at += kChatRecordSize) {
        ChatRecordBytes record;
        std::memcpy(record.data(), content.data() + at, kChatRecordSize);
        records.push_back(record);
    }
    return records;
}

}  // namespace chatdesk
