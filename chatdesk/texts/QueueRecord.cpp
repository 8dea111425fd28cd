// Queue records of outgoing chat texts.
#include "QueueRecord.h"

#include <cstring>

#include "ImCodes.h"

namespace chatdesk {

bool MakeQueueRecord(const uint8_t* message, size_t length, size_t textOffset, QueueRecord* out) {
    if (!message || length >= kQueueMessageField) return false;
    ChatText text;
    if (!ReadChatText(message, length, &text)) return false;
    size_t expected = text.formatted ? kChatTextFormattedOffset : kChatTextPlainOffset;
    if (textOffset != expected) return false;
    std::memset(out, 0, sizeof *out);
    std::memcpy(out->message, message, length);
    out->textOffset = static_cast<uint32_t>(textOffset);
    out->length = static_cast<uint32_t>(length);
    return true;
}

std::string RecordStamp(const QueueRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.message + 64), kImStampSize);
}

bool RecordHasStamp(const QueueRecord& record, const std::string& stamp) {
    return stamp.size() == kImStampSize && std::memcmp(record.message + 64, stamp.data(), kImStampSize) == 0;
}

std::string RecordText(const QueueRecord& record) {
    if (record.textOffset != kChatTextPlainOffset && record.textOffset != kChatTextFormattedOffset) return {};
    uint32_t n = ReadDecimalField(record.message + record.textOffset - 4, 4);
    if (n < 2) return {};
    size_t count = n - 2;
    // A record holds at most its own message; the text never reaches past it.
    if (record.textOffset + count > record.length || record.length > kQueueMessageField) return {};
    return std::string(reinterpret_cast<const char*>(record.message + record.textOffset), count);
}

bool RecordFormatted(const QueueRecord& record) { return record.textOffset == kChatTextFormattedOffset; }

ImBytes RecordOfflineStore(const QueueRecord& record) {
    if (record.length > kQueueMessageField) return {};
    return BuildOfflineStore(record.message, record.length);
}

}  // namespace chatdesk
