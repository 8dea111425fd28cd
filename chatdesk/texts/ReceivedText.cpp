// Reading received texts for the display.
#include "ReceivedText.h"

#include "ImCodes.h"

namespace chatdesk {

bool DecodeReceivedText(const uint8_t* message, size_t length, ReceivedText* out) {
    ChatText text;
    if (!ReadChatText(message, length, &text)) return false;
    ImDateTime stamp;
    if (!ReadImStamp(text.stamp.c_str(), &stamp)) return false;
    out->senderId = text.senderId;
    out->stamp = stamp;
    // The status pair ends the text; the display shows a line break in its place.
    out->body = MarksToCrLf(text.text) + "\r\n";
    out->peerStatus = ReadStatusPair(text.status.c_str());
    out->formatted = text.formatted;
    out->format = text.format;
    return true;
}

bool DecodeOfflineMessage(const uint8_t* message, size_t length, ReceivedOffline* out) {
    if (!message || length < kImHeaderSize || !SameImCode(message + kImCodeOffset, "015B")) return false;
    OfflineMessage stored;
    if (!ReadOfflineMessage(message, length, &stored)) return false;
    ImDateTime stamp;
    if (!ReadImStamp(stored.stamp.c_str(), &stamp)) return false;
    out->senderId = stored.senderId;
    out->stamp = stamp;
    // Bytes after a zero inside the announced length are no text.
    std::string text = stored.text.substr(0, stored.text.find('\0'));
    out->body = text + "\r\n";
    out->formatted = stored.formatted;
    out->format = ChatFormat{};
    if (stored.formatted) {
        out->format.face = stored.face;
        out->format.heightTwips = stored.heightTwips;
        out->format.effects = EffectsFromFormatCode(stored.formatCode);
        out->format.colour = stored.colour;
    }
    return true;
}

}  // namespace chatdesk
