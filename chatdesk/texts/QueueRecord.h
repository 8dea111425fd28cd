// One queued chat text: the record of a chat window's outgoing queue and of its list of
// texts waiting for a receipt. 1012 bytes, no pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ImMessages.h"

namespace chatdesk {

constexpr size_t kQueueMessageField = 996;

struct QueueRecord {
    uint8_t message[kQueueMessageField];  // the whole "003S", zero after its end
    uint32_t textOffset;                  // 149 plain, 191 formatted
    uint32_t length;                      // of the message
    // 0 until an offline-message offer is shown for the text; then the character position
    // of the offer's "发送留言" link plus one.
    uint32_t linkKey;
    uint32_t age;                         // time-out ticks, 0 when queued
};
static_assert(sizeof(QueueRecord) == 1012, "a queue record is 1012 bytes");

// A record of a chat text (link key and age 0); false when the bytes are no chat text of
// the given text offset or do not fit the record.
bool MakeQueueRecord(const uint8_t* message, size_t length, size_t textOffset, QueueRecord* out);

// The text's stamp, its 20 characters at bytes 64-83.
std::string RecordStamp(const QueueRecord& record);
bool RecordHasStamp(const QueueRecord& record, const std::string& stamp);
// The text without its status characters: the length field less 2 bytes from the text offset.
std::string RecordText(const QueueRecord& record);
bool RecordFormatted(const QueueRecord& record);
// The offline store ("014S", 931 or 961 bytes) of the record's text; empty when none can be made.
ImBytes RecordOfflineStore(const QueueRecord& record);

}  // namespace chatdesk
