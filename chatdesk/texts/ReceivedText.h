// What the display shows of a received chat text or stored message, read from the message
// with every length and id checked: a message that fails is shown nowhere and recorded
// nowhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ImMessages.h"

namespace chatdesk {

struct ReceivedText {
    std::string senderId;
    ImDateTime stamp;    // the header's date and time
    std::string body;    // ANSI, "^>" turned into CR LF, ending in CR LF
    int peerStatus = -1; // from the status pair; -1 when it carries none
    bool formatted = false;
    ChatFormat format;   // formatted texts: the peer's new message format
};

// Reads a "003S" as framing handed it over. False for any message that is not a sound chat
// text: a length field out of 2-802 or not matching the message, an unterminated or unfit
// id ("..\\x"), a stamp that is no date.
bool DecodeReceivedText(const uint8_t* message, size_t length, ReceivedText* out);

struct ReceivedOffline {
    std::string senderId;
    ImDateTime stamp;
    std::string body;    // ANSI, at most 800 bytes of text, ending in CR LF
    bool formatted = false;
    ChatFormat format;   // the face name is the stored 20 bytes at most
};

// Reads a delivered stored message ("015B" of 931 or 961 bytes as dispatched).
bool DecodeOfflineMessage(const uint8_t* message, size_t length, ReceivedOffline* out);

}  // namespace chatdesk
