// The chat window's rules that need no window: texts it shows, where its record viewer
// and emoticon picker go, whom its direct link is tried at, when it tells the peer that
// the user types. Plain code, tested without a screen.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "ContactRecords.h"
#include "ChatRecord.h"

namespace chatdesk {

// The peer's nickname, or its id when the nickname is empty (8-bit, as stored).
std::string PeerName(const FriendInfoA& peer);
// "与 <name> 聊天中".
std::wstring ChatCaption(const FriendInfoA& peer);
// "<name> 正在输入消息... ..."
std::wstring TypingLabel(const FriendInfoA& peer);
// The status picture of the name area: 4 for offline (0 and 10), else 5.
int StatusPicture(uint16_t status);

// Fills the text fields (and age and sex) that are still empty in `peer` from `from`;
// the id and the status with the addresses stay as they are.
void FillEmptyFields(FriendInfoA* peer, const FriendInfoA& from);

// The record viewer: at the chat window's left edge directly below it, as wide as it.
RECT ViewerRect(const RECT& chatWindow, int viewerHeight);
// The picker's top-left corner for the emoticon button: above the button when there is
// room between the screen's top and the button, else below it.
POINT PickerPosition(const RECT& button, SIZE picker, int screenTop);

// The address a direct link is tried at (network order): the peer's public address, or
// its local one when both sides share their public address; 0 when there is none.
uint32_t LinkTarget(const FriendStatus& own, const FriendStatus& peer);

// The viewer's header line of a record, "<name> <时间：y-m-d h:m:s>" and CR LF (8-bit).
std::string ViewerHeader(const ChatRecordView& record, const FriendInfoA& peer, const FriendInfoA& own);

// Typing notices, kept in the chat window's flag word: bit 0 says that the user typed
// since the last notice. The first change after a notice sets it and starts the 4-second
// timer; sending a text clears it; when the timer fires, a notice goes out only if it is
// still set.
constexpr DWORD kFlagTyped = 0x1;

// The compose text changed; true when the timer must be started.
inline bool TypingChanged(std::atomic<DWORD>& flags, bool hasText) {
    return hasText && !(flags.fetch_or(kFlagTyped) & kFlagTyped);
}
// The timer fired (and was stopped); true when a notice must be sent.
inline bool TypingTimerFired(std::atomic<DWORD>& flags) { return (flags.fetch_and(~kFlagTyped) & kFlagTyped) != 0; }

}  // namespace chatdesk
