#include "PeerPacket.h"

#include <cstring>

#include "Text.h"

namespace presence {

const char kPeerRequestValid[] = "0001";
const char kPeerResponseValid[] = "0002";
const char kPeerReserved[] = "0003";
const char kPeerPreventUser[] = "0004";
const char kPeerStatusNotify[] = "0005";
const char kPeerDelFriend[] = "0006";

namespace {

const char kDigits[] = "0123456789ABCDEF";

// Cut at a character boundary, so a double-byte character never loses its second half.
void PutText(PeerPacket& packet, size_t at, size_t width, const std::string& text) {
    size_t keep = vantor::WholeCharsPrefix(text.data(), text.size(), width - 1);
    memcpy(packet.bytes + at, text.data(), keep);
}

std::string GetText(const PeerPacket& packet, size_t at, size_t width) {
    const char* field = reinterpret_cast<const char*>(packet.bytes + at);
    return std::string(field, vantor::BoundedLength(field, width));
}

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

const size_t kFieldEnds[] = {kAnswerAt, kSenderAt, kReceiverAt, kSubCodeAt, kNicknameAt, kMessageAt, kPacketBytes};

}  // namespace

PeerPacket BuildPacket(const PeerFields& f) {
    PeerPacket packet;
    memset(&packet, 0, sizeof packet);
    PutText(packet, kCommandAt, kCommandWidth, f.command);
    PutText(packet, kAnswerAt, kAnswerWidth, f.answer);
    PutText(packet, kSenderAt, kSenderWidth, f.sender);
    PutText(packet, kReceiverAt, kReceiverWidth, f.receiver);
    PutText(packet, kSubCodeAt, kSubCodeWidth, f.subCode);
    PutText(packet, kNicknameAt, kNicknameWidth, f.nickname);
    PutText(packet, kMessageAt, kMessageWidth, f.message);
    return packet;
}

PeerFields ReadPacket(const PeerPacket& packet) {
    PeerFields f;
    f.command = GetText(packet, kCommandAt, kCommandWidth);
    f.answer = GetText(packet, kAnswerAt, kAnswerWidth);
    f.sender = GetText(packet, kSenderAt, kSenderWidth);
    f.receiver = GetText(packet, kReceiverAt, kReceiverWidth);
    f.subCode = GetText(packet, kSubCodeAt, kSubCodeWidth);
    f.nickname = GetText(packet, kNicknameAt, kNicknameWidth);
    f.message = GetText(packet, kMessageAt, kMessageWidth);
    return f;
}

void TerminateFields(PeerPacket* packet) {
    for (size_t end : kFieldEnds) packet->bytes[end - 1] = 0;
}

std::string EncodeHex(const BYTE* bytes, size_t count) {
    std::string text(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

void DecodeHex(const char* text, size_t chars, BYTE* bytes) {
    for (size_t i = 0; i + 1 < chars; i += 2) bytes[i / 2] = static_cast<BYTE>(Nibble(text[i]) << 4 | Nibble(text[i + 1]));
}

std::string EncodePacket(const PeerPacket& packet) { return EncodeHex(packet.bytes, kPacketBytes); }

PeerPacket DecodePacket(const char* text) {
    PeerPacket packet;
    memset(&packet, 0, sizeof packet);
    DecodeHex(text, kPacketChars, packet.bytes);
    return packet;
}

std::string ReplyFor(const PeerPacket& packet) {
    BYTE reply[kReplyBytes] = {};
    memcpy(reply, packet.bytes, 4);
    std::string command(reinterpret_cast<const char*>(packet.bytes), 4);
    bool known = false;
    for (const char* code : {kPeerRequestValid, kPeerResponseValid, kPeerReserved, kPeerPreventUser,
                             kPeerStatusNotify, kPeerDelFriend}) {
        if (command == code) known = true;
    }
    memcpy(reply + 5, known ? "0000" : "00001", known ? 4 : 5);
    return EncodeHex(reply, kReplyBytes);
}

}  // namespace presence
