// The record that friends' presence tabs exchange directly: 565 bytes sent as 1130
// upper-case hexadecimal digits, answered by a 10-byte reply sent as 20 digits.
#pragma once

#include <windows.h>

#include <string>

namespace presence {

enum : size_t {
    kPacketBytes = 565,
    kPacketChars = kPacketBytes * 2,
    kReplyBytes = 10,
    kReplyChars = kReplyBytes * 2,
};

// Field offsets and widths of a PeerPacket; every text ends inside its field.
enum : size_t {
    kCommandAt = 0, kCommandWidth = 5,
    kAnswerAt = 5, kAnswerWidth = 5,
    kSenderAt = 10, kSenderWidth = 21,
    kReceiverAt = 31, kReceiverWidth = 21,
    kSubCodeAt = 52, kSubCodeWidth = 3,
    kNicknameAt = 55, kNicknameWidth = 255,
    kMessageAt = 310, kMessageWidth = 255,
};

// Command codes, four digits each.
extern const char kPeerRequestValid[];   // "0001"
extern const char kPeerResponseValid[];  // "0002"
extern const char kPeerReserved[];       // "0003"
extern const char kPeerPreventUser[];    // "0004"
extern const char kPeerStatusNotify[];   // "0005"
extern const char kPeerDelFriend[];      // "0006"

struct PeerPacket {
    BYTE bytes[kPacketBytes];
};
static_assert(sizeof(PeerPacket) == kPacketBytes, "PeerPacket is sent byte for byte");

// The fields of one record, as plain texts (8-bit, ANSI code page).
struct PeerFields {
    std::string command;
    std::string answer;
    std::string sender;
    std::string receiver;
    std::string subCode;
    std::string nickname;
    std::string message;
};

// A zero-filled record with each text cut to fit its field at a character boundary.
PeerPacket BuildPacket(const PeerFields& fields);
// The texts of a record; a field without a terminator ends at its last byte.
PeerFields ReadPacket(const PeerPacket& packet);
// Forces a terminator at the last byte of every field, so that any later reading of a
// received record stays inside it.
void TerminateFields(PeerPacket* packet);

// Each byte as two upper-case digits, high nibble first.
std::string EncodeHex(const BYTE* bytes, size_t count);
// Pairs of digits back to bytes; a character other than "0".."9" and "A".."F" counts as 0.
void DecodeHex(const char* text, size_t chars, BYTE* bytes);

std::string EncodePacket(const PeerPacket& packet);
// Exactly kPacketChars characters are read.
PeerPacket DecodePacket(const char* text);

// The reply to a received record: its command's four bytes, a zero, then "0000" and a
// zero for the commands "0001" to "0006", or "00001" for any other.
std::string ReplyFor(const PeerPacket& packet);

}  // namespace presence
