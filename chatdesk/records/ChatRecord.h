// One entry of a chat record file: 993 bytes kept in the formatted layout of a chat text,
// whichever form the text travelled in. Plain code: no Windows headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ImText.h"

namespace chatdesk {

constexpr size_t kChatRecordSize = 993;
constexpr size_t kRecordHeadSize = 191;      // bytes 0-190 of the formatted form
constexpr size_t kRecordLengthOffset = 187;  // four length characters
constexpr size_t kRecordTextOffset = 191;
constexpr size_t kRecordTextRoom = 800;      // bytes 191-990
constexpr size_t kPlainLengthOffset = 145;
constexpr size_t kPlainTextOffset = 149;
constexpr size_t kPlainHeadSize = 145;       // bytes 0-144 of the plain form
constexpr size_t kStampOffset = 64;
constexpr size_t kSenderOffset = 84;
constexpr size_t kIdSize = 20;

using ChatRecordBytes = std::array<uint8_t, kChatRecordSize>;

// The length characters' value: decimal digits up to the first other character; -1 when
// the first is no digit.
int ReadLengthDigits(const uint8_t* field);

// Builds the record of a chat text message (`length` bytes as received or sent). The text
// part is the length value less 2 (the status pair is not kept), at most 800 bytes and
// never more than the message holds. False when the message is too short for its head.
bool BuildChatRecord(const uint8_t* message, size_t length, bool formatted, ChatRecordBytes* out);

// What the viewer shows of a record.
struct ChatRecordView {
    std::string senderId;
    ImDateTime when;
    std::string text;  // ANSI, "^>" marks as stored
};
// Reads a record: the text is the stored length less 2 when that length lies in 2-802;
// any other stored length shows the text room up to its first zero (at most 800 bytes).
ChatRecordView ReadChatRecord(const uint8_t* record);

// "<folder>\<own>\Chat<peer>.rec", and the roll-over name of such a file at a time:
// "...\Chat<peer>_yyyyMMddhhmmss.his".
std::wstring RecordFilePath(const std::wstring& programFolder, const std::wstring& ownId, const std::wstring& peerId);
std::wstring RolledRecordPath(const std::wstring& recordPath, const ImDateTime& when);

}  // namespace chatdesk
