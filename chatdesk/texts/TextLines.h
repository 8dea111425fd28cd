// The lines the chat display and the offline-message window show around the texts: the
// headers above each text and the notices of texts that could not be delivered.
//
// Plain C++ without Windows headers; the texts themselves come in already widened (the
// caller converts the wire's ANSI text with the system code page).
#pragma once

#include <string>

#include "ImText.h"

namespace chatdesk {

// "<nickname> <时间：yyyy-mm-dd hh:mm:ss:mmm>" and CR LF: above a text of one's own, with the
// local time of sending.
std::wstring SentHeader(const std::wstring& nickname, const ImDateTime& when);
// "<nickname> <时间：yyyy-mm-dd hh:mm:ss>" and CR LF: above a received text, from its stamp.
std::wstring ReceivedHeader(const std::wstring& nickname, const ImDateTime& stamp);
// "<name><时间：yyyy-mm-dd>" and CR LF: above a stored message in the offline-message window.
std::wstring OfflineHeader(const std::wstring& name, const ImDateTime& stamp);

enum class TextNotice {
    NotSent,       // no path took the text and its offline store failed too
    Refused,       // the receipt reported a failure
    TimedOut,      // no receipt in time
    StoreFailed,   // the IM server did not store the offline message
};
// The notice line of one text, ending in "\n" as the display takes it.
std::wstring NoticeLine(TextNotice notice, const std::wstring& text);

// The offer that follows a refused text, and its two link words.
extern const wchar_t kOfferLine[];
extern const wchar_t kOfferSendLink[];    // "发送留言"
extern const wchar_t kOfferGiveUpLink[];  // "放弃留言"
constexpr size_t kOfferLinkChars = 4;
// How far from one link the other is looked for.
constexpr size_t kOfferLinkSpan = 16;

// Which of the two links the user clicked.
enum class OfferLink { None, Send, GiveUp };

}  // namespace chatdesk
