#include "ChatRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace chatdesk {

int ReadLengthDigits(const uint8_t* field) {
    if (field[0] < '0' || field[0] > '9') return -1;
    int value = 0;
    for (size_t i = 0; i < 4 && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
    return value;
}

bool BuildChatRecord(const uint8_t* message, size_t length, bool formatted, ChatRecordBytes* out) {
    out->fill(0);
    size_t lengthAt = formatted ? kRecordLengthOffset : kPlainLengthOffset;
    size_t textAt = formatted ? kRecordTextOffset : kPlainTextOffset;
    if (!message || length < textAt) return false;
    if (formatted) {
        std::memcpy(out->data(), message, kRecordHeadSize);
    } else {
        std::memcpy(out->data(), message, kPlainHeadSize);
        (*out)[144] = '0';
        std::memcpy(out->data() + kRecordLengthOffset, message + kPlainLengthOffset, 4);
    }
    int n = ReadLengthDigits(message + lengthAt);
    size_t text = n >= 2 ? static_cast<size_t>(n - 2) : 0;
    text = std::min({text, kRecordTextRoom, length - textAt});
    std::memcpy(out->data() + kRecordTextOffset, message + textAt, text);
    (*out)[kChatRecordSize - 2] = '\r';
    (*out)[kChatRecordSize - 1] = '\n';
    return true;
}

ChatRecordView ReadChatRecord(const uint8_t* record) {
    ChatRecordView view;
    view.senderId = ReadTextField(record + kSenderOffset, kIdSize);
    ReadImStamp(reinterpret_cast<const char*>(record + kStampOffset), &view.when);
    int n = ReadLengthDigits(record + kRecordLengthOffset);
    const char* text = reinterpret_cast<const char*>(record + kRecordTextOffset);
    if (n >= 2 && n <= static_cast<int>(kRecordTextRoom) + 2)
        view.text.assign(text, static_cast<size_t>(n - 2));
    else
        view.text.assign(text, strnlen(text, kRecordTextRoom));
    return view;
}

std::wstring RecordFilePath(const std::wstring& programFolder, const std::wstring& ownId, const std::wstring& peerId) {
    return programFolder + L"\\" + ownId + L"\\Chat" + peerId + L".rec";
}

std::wstring RolledRecordPath(const std::wstring& recordPath, const ImDateTime& when) {
    wchar_t stamp[32];
    swprintf(stamp, 32, L"_%04d%02d%02d%02d%02d%02d.his", when.year, when.month, when.day, when.hour, when.minute,
             when.second);
    const std::wstring suffix = L".rec";
    bool named = recordPath.size() >= suffix.size() &&
                 recordPath.compare(recordPath.size() - suffix.size(), suffix.size(), suffix) == 0;
    return (named ? recordPath.substr(0, recordPath.size() - suffix.size()) : recordPath) + stamp;
}

}  // namespace chatdesk
