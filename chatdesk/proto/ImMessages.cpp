#include "ImMessages.h"

#include <algorithm>
#include <cstring>

#include "ImCodes.h"

namespace chatdesk {

namespace {

ImBytes NewMessage(size_t size, const char* code, bool crlf = true) {
    ImBytes msg(size, 0);
    std::memcpy(msg.data() + kImCodeOffset, code, kImCodeSize);
    if (crlf) {
        msg[size - 2] = '\r';
        msg[size - 1] = '\n';
    }
    return msg;
}

// Zero-terminated text in a zero-filled field: at most size - 1 bytes travel.
void PutText(ImBytes& msg, size_t offset, size_t size, const std::string& text) {
    std::memcpy(msg.data() + offset, text.data(), std::min(text.size(), size - 1));
}

// Text that fills its field (stamps, the stored face name): up to size bytes, no terminator.
void PutFilled(ImBytes& msg, size_t offset, size_t size, const std::string& text) {
    std::memcpy(msg.data() + offset, text.data(), std::min(text.size(), size));
}

std::string Stamp(const uint8_t* msg, size_t offset) {
    return std::string(reinterpret_cast<const char*>(msg + offset), kImStampSize);
}

bool Is(const uint8_t* msg, size_t length, const char* code, size_t size) {
    return msg && length == size && SameImCode(msg + kImCodeOffset, code);
}

bool Id(const uint8_t* msg, size_t offset, std::string* id) { return ReadImId(msg + offset, kImIdField, id); }

}  // namespace

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

ImBytes BuildImLogin(const ImLogin& m) {
    ImBytes msg = NewMessage(kImLoginSize, "001S");
    PutText(msg, 64, kImLoginIdField, m.ownId);
    return msg;
}

bool ReadImLogin(const uint8_t* msg, size_t length, ImLogin* out) {
    return Is(msg, length, "001S", kImLoginSize) && ReadImId(msg + 64, kImLoginIdField, &out->ownId);
}

ImBytes BuildImLoginReply(const ImLoginReply& m) {
    ImBytes msg = NewMessage(kImLoginReplySize, "001B");
    msg[64] = static_cast<uint8_t>(m.result);
    return msg;
}

bool ReadImLoginReply(const uint8_t* msg, size_t length, ImLoginReply* out) {
    if (!Is(msg, length, "001B", kImLoginReplySize)) return false;
    out->result = static_cast<char>(msg[64]);
    return true;
}

ImBytes BuildPeerLinkRequest(const PeerLinkRequest& m) {
    ImBytes msg = NewMessage(kPeerLinkRequestSize, "002S", false);
    PutText(msg, 64, kImIdField, m.requesterId);
    // The server may fill these fields to their last byte.
    PutFilled(msg, 104, 15, m.address);
    PutFilled(msg, 119, 7, m.port);
    return msg;
}

bool ReadPeerLinkRequest(const uint8_t* msg, size_t length, PeerLinkRequest* out) {
    if (!Is(msg, length, "002S", kPeerLinkRequestSize) || !Id(msg, 64, &out->requesterId)) return false;
    // "255.255.255.255" fills its 15 bytes exactly: the field's end terminates it.
    out->address = ReadTextField(msg + 104, 15);
    out->port = ReadTextField(msg + 119, 7);
    return true;
}

bool ParseIpv4(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        uint32_t octet = 0;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9') {
            octet = octet * 10 + static_cast<uint32_t>(text[pos] - '0');
            ++pos;
        }
        if (pos == start || octet > 255) return false;
        value = value << 8 | octet;
    }
    if (pos != text.size()) return false;
    *address = value;
    return true;
}

bool ParsePort(const std::string& text, uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

ImBytes BuildPeerLinkReply(const PeerLinkReply& m) {
    ImBytes msg = NewMessage(kPeerLinkReplySize, "002B");
    PutText(msg, 64, kImIdField, m.ownId);
    PutText(msg, 84, kImIdField, m.peerId);
    msg[124] = m.linked ? '1' : '0';
    return msg;
}

bool ReadPeerLinkReply(const uint8_t* msg, size_t length, PeerLinkReply* out) {
    if (!Is(msg, length, "002B", kPeerLinkReplySize) || !Id(msg, 64, &out->ownId) || !Id(msg, 84, &out->peerId))
        return false;
    out->linked = msg[124] == '1';
    return true;
}

ImBytes BuildChatText(const ChatText& m) {
    std::string text = m.text.substr(0, kImMaxChatText);
    size_t offset = m.formatted ? kChatTextFormattedOffset : kChatTextPlainOffset;
    ImBytes msg = NewMessage((m.formatted ? kChatTextFormattedBase : kChatTextPlainBase) + text.size(), "003S");
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.senderId);
    PutText(msg, 104, kImIdField, m.receiverId);
    std::string count = std::to_string(text.size() + 2);
    if (m.formatted) {
        msg[144] = '2';
        PutText(msg, 145, kImFaceField, m.format.face);
        PutFilled(msg, 177, 2, MakeHeightField(m.format.heightTwips));
        msg[179] = static_cast<uint8_t>(FormatCodeFromEffects(m.format.effects));
        PutFilled(msg, 180, 7, MakeColourField(m.format.colour));
        count.insert(0, 4 - count.size(), '0');
        PutFilled(msg, 187, 4, count);
    } else {
        msg[144] = '0';
        PutFilled(msg, 145, 4, count);
    }
    std::memcpy(msg.data() + offset, text.data(), text.size());
    PutFilled(msg, offset + text.size(), 2, m.status);
    return msg;
}

bool ReadChatText(const uint8_t* msg, size_t length, ChatText* out) {
    if (!msg || length < kChatTextPlainBase || !SameImCode(msg + kImCodeOffset, "003S")) return false;
    bool formatted = msg[144] != '0';
    size_t offset = formatted ? kChatTextFormattedOffset : kChatTextPlainOffset;
    if (length < offset) return false;
    uint32_t n = ReadDecimalField(msg + offset - 4, 4);
    if (n < 2 || n > kImMaxChatText + 2 || length != offset + n + 2) return false;
    if (!Id(msg, 84, &out->senderId) || !Id(msg, 104, &out->receiverId)) return false;
    out->stamp = Stamp(msg, 64);
    out->formatted = formatted;
    out->format = ChatFormat{};
    if (formatted) {
        out->format.face = ReadTextField(msg + 145, kImFaceField);
        out->format.heightTwips = ReadHeightField(msg + 177);
        out->format.effects = EffectsFromFormatCode(static_cast<char>(msg[179]));
        out->format.colour = ReadColourDigits(msg + 181);
    }
    out->text.assign(reinterpret_cast<const char*>(msg + offset), n - 2);
    out->status.assign(reinterpret_cast<const char*>(msg + offset + n - 2), 2);
    return true;
}

ImBytes BuildChatTextReceipt(const ChatTextReceipt& m) {
    ImBytes msg = NewMessage(kChatTextReceiptSize, "003B");
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.senderId);
    PutText(msg, 104, kImIdField, m.textSenderId);
    msg[144] = static_cast<uint8_t>(m.result);
    return msg;
}

bool ReadChatTextReceipt(const uint8_t* msg, size_t length, ChatTextReceipt* out) {
    if (!Is(msg, length, "003B", kChatTextReceiptSize) || !Id(msg, 84, &out->senderId) ||
        !Id(msg, 104, &out->textSenderId))
        return false;
    out->stamp = Stamp(msg, 64);
    out->result = static_cast<char>(msg[144]);
    return true;
}

ImBytes BuildOfflineStore(const uint8_t* chatText, size_t length) {
    ChatText text;
    if (!ReadChatText(chatText, length, &text)) return {};
    ImBytes msg = NewMessage(text.formatted ? kOfflineStoreFormattedSize : kOfflineStorePlainSize, "014S");
    // Stamp, ids and the format block are copied byte for byte, as the chat text has them.
    std::memcpy(msg.data() + 64, chatText + 64, 60);
    size_t textAt;
    if (text.formatted) {
        msg[124] = '2';
        std::memcpy(msg.data() + 125, chatText + 145, kImStoredFaceField);
        std::memcpy(msg.data() + 145, chatText + 177, 2 + 1 + 7);
        std::memcpy(msg.data() + 155, chatText + 187, 4);
        textAt = 159;
    } else {
        msg[124] = '0';
        std::memcpy(msg.data() + 125, chatText + 145, 4);
        textAt = 129;
    }
    std::memcpy(msg.data() + textAt, text.text.data(), text.text.size());
    return msg;
}

ImBytes BuildOfflineDelivery(const ImBytes& store) {
    if (store.size() < kImHeaderSize + 2) return {};
    ImBytes msg(store.begin(), store.end() - 2);
    std::memcpy(msg.data() + kImCodeOffset, "015B", kImCodeSize);
    return msg;
}

bool ReadOfflineMessage(const uint8_t* msg, size_t length, OfflineMessage* out) {
    if (!msg || length < kOfflineStorePlainSize) return false;
    const uint8_t* code = msg + kImCodeOffset;
    if (!SameImCode(code, "014S") && !SameImCode(code, "015B")) return false;
    bool formatted = msg[124] != '0';
    if (length != (formatted ? kOfflineStoreFormattedSize : kOfflineStorePlainSize)) return false;
    if (!Id(msg, 84, &out->senderId) || !Id(msg, 104, &out->receiverId)) return false;
    out->stamp = Stamp(msg, 64);
    out->formatted = formatted;
    size_t digitsAt = formatted ? 155 : 125;
    uint32_t n = ReadDecimalField(msg + digitsAt, 4);
    // The digits come from the peer: whatever they say, the text stays inside its 800 bytes.
    size_t textLength = n < 2 ? 0 : std::min<size_t>(n - 2, kImMaxChatText);
    out->text.assign(reinterpret_cast<const char*>(msg + digitsAt + 4), textLength);
    if (formatted) {
        out->face = ReadTextField(msg + 125, kImStoredFaceField);
        out->heightTwips = ReadHeightField(msg + 145);
        out->formatCode = static_cast<char>(msg[147]);
        out->colour = ReadColourDigits(msg + 149);
    } else {
        out->face.clear();
        out->heightTwips = 0;
        out->formatCode = '0';
        out->colour = 0;
    }
    return true;
}

ImBytes BuildOfflineStoreReply(const OfflineStoreReply& m) {
    ImBytes msg = NewMessage(kOfflineStoreReplySize, "014B");
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.peerId);
    msg[124] = static_cast<uint8_t>(m.result);
    return msg;
}

bool ReadOfflineStoreReply(const uint8_t* msg, size_t length, OfflineStoreReply* out) {
    if (!Is(msg, length, "014B", kOfflineStoreReplySize) || !Id(msg, 84, &out->peerId)) return false;
    out->stamp = Stamp(msg, 64);
    out->result = static_cast<char>(msg[124]);
    return true;
}

ImBytes BuildOfflineFetch(const OfflineFetch& m) {
    ImBytes msg = NewMessage(kOfflineFetchSize, "015S");
    PutText(msg, 64, kImIdField, m.ownId);
    return msg;
}

bool ReadOfflineFetch(const uint8_t* msg, size_t length, OfflineFetch* out) {
    return Is(msg, length, "015S", kOfflineFetchSize) && Id(msg, 64, &out->ownId);
}

ImBytes BuildFileOffer(const FileOffer& m) {
    ImBytes msg = NewMessage(kFileOfferSize, "004S");
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.offererId);
    PutText(msg, 104, kImIdField, m.receiverId);
    PutText(msg, 144, kImPathField, m.path);
    WriteU32(msg.data() + 400, static_cast<uint32_t>(m.size));
    return msg;
}

bool ReadFileOffer(const uint8_t* msg, size_t length, FileOffer* out) {
    if (!Is(msg, length, "004S", kFileOfferSize) || !Id(msg, 84, &out->offererId) || !Id(msg, 104, &out->receiverId))
        return false;
    out->stamp = Stamp(msg, 64);
    out->path = ReadTextField(msg + 144, kImPathField);
    out->size = ReadU32(msg + 400);
    return true;
}

ImBytes BuildFileOfferReply(const FileOfferReply& m) {
    ImBytes msg = NewMessage(kFileOfferReplySize, "004B");
    if (m.accepted) PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.replierId);
    PutText(msg, 104, kImIdField, m.offererId);
    msg[144] = m.accepted ? '0' : '1';
    if (m.accepted) WriteU32(msg.data() + 145, m.resume);
    return msg;
}

bool ReadFileOfferReply(const uint8_t* msg, size_t length, FileOfferReply* out) {
    if (!Is(msg, length, "004B", kFileOfferReplySize) || !Id(msg, 84, &out->replierId) ||
        !Id(msg, 104, &out->offererId))
        return false;
    out->stamp = Stamp(msg, 64);
    out->accepted = msg[144] == '0';
    out->resume = ReadU32(msg + 145);
    return true;
}

ImBytes BuildFileBlock(const FileBlock& m) {
    ImBytes msg = NewMessage(kFileBlockSize, "005S");
    uint32_t count = std::min<uint32_t>(m.count, kImBlockData);
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.offererId);
    PutText(msg, 104, kImIdField, m.receiverId);
    WriteU32(msg.data() + 144, m.number);
    WriteU32(msg.data() + 149, count);
    if (count && m.data) std::memcpy(msg.data() + 153, m.data, count);
    return msg;
}

bool ReadFileBlock(const uint8_t* msg, size_t length, FileBlock* out) {
    if (!Is(msg, length, "005S", kFileBlockSize) || !Id(msg, 84, &out->offererId) || !Id(msg, 104, &out->receiverId))
        return false;
    uint32_t count = ReadU32(msg + 149);
    if (count > kImBlockData) return false;
    out->stamp = Stamp(msg, 64);
    out->number = ReadU32(msg + 144);
    out->count = count;
    out->data = msg + 153;
    return true;
}

ImBytes BuildFileBlockAck(const FileBlockAck& m) {
    ImBytes msg = NewMessage(kFileBlockAckSize, "005B");
    PutFilled(msg, 64, kImStampSize, m.stamp);
    PutText(msg, 84, kImIdField, m.ackerId);
    PutText(msg, 104, kImIdField, m.offererId);
    msg[124] = m.stop ? '1' : '0';
    return msg;
}

bool ReadFileBlockAck(const uint8_t* msg, size_t length, FileBlockAck* out) {
    if (!Is(msg, length, "005B", kFileBlockAckSize) || !Id(msg, 84, &out->ackerId) || !Id(msg, 104, &out->offererId))
        return false;
    out->stamp = Stamp(msg, 64);
    out->stop = msg[124] == '1';
    return true;
}

ImBytes BuildTypingNotice(const TypingNotice& m) {
    ImBytes msg = NewMessage(kTypingNoticeSize, "012S");
    PutText(msg, 64, kImIdField, m.senderId);
    PutText(msg, 84, kImIdField, m.receiverId);
    msg[124] = static_cast<uint8_t>(m.state);
    return msg;
}

bool ReadTypingNotice(const uint8_t* msg, size_t length, TypingNotice* out) {
    if (!Is(msg, length, "012S", kTypingNoticeSize) || !Id(msg, 64, &out->senderId) || !Id(msg, 84, &out->receiverId))
        return false;
    out->state = static_cast<char>(msg[124]);
    return true;
}

ImBytes BuildFileCancel(const FileCancel& m) {
    ImBytes msg = NewMessage(kFileCancelSize, "020S");
    PutText(msg, 64, kImIdField, m.cancellerId);
    PutText(msg, 84, kImIdField, m.otherId);
    return msg;
}

bool ReadFileCancel(const uint8_t* msg, size_t length, FileCancel* out) {
    return Is(msg, length, "020S", kFileCancelSize) && Id(msg, 64, &out->cancellerId) && Id(msg, 84, &out->otherId);
}

}  // namespace chatdesk
