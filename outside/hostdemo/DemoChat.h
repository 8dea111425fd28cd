// One chat of the demo host, driven from outside the chat service as a user would: the
// service (plug-in 9 of the container) opens the chat with a friend, the text goes through
// the window's compose box and send button, and the window's display is watched for the
// friend's text.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ContactRecords.h"
#include "ContainerHost.h"

namespace hostdemo {

// The chat window's controls, as its dialog template numbers them.
constexpr int kChatDisplayId = 1000;
constexpr int kChatComposeId = 1001;
constexpr int kChatSendId = 1003;

// An account id from the command line: 1 to 19 letters, digits, '_', '-' or '.'; *id gets
// it on success.
bool AcceptableAccount(const std::wstring& text, std::string* id);
// A text to send: not empty, no control characters, within the compose box's 800 bytes.
bool AcceptableChatText(const std::wstring& text);

// The friend entry of `id` in the contact store, or null when the account has no such friend.
FriendHandle FindFriend(RostBaseHandle store, const std::string& id);
// How the chat window's caption names the friend: the nickname, else the id.
std::wstring FriendName(RostBaseHandle store, FriendHandle entry);

// A top-level window of this process with a display, a compose box and a send button whose
// caption holds `name`; null when none is open.
HWND FindChatWindow(const std::wstring& name);
// Puts the text into the compose box and presses send; false when the window lacks either.
bool SendChatText(HWND chat, const std::wstring& text);
std::wstring DisplayText(HWND chat);
// Whether the display shows a text received from the friend named `name`: the header line
// the window writes above each received text, "<name> <时间：...".
bool ShowsReceivedText(const std::wstring& display, const std::wstring& name);

enum class ChatResult {
    Answered,
    NoFriend,     // the peer is not among the account's friends
    NoService,    // the container has no chat service
    NoWindow,     // the chat window did not open
    NotSent,
    NoAnswer,     // the peer's text did not arrive in time
    Cancelled,
};

struct ChatPlan {
    std::string peer;         // the friend's account id
    std::wstring text;        // what this side sends
    DWORD settleMs = 3000;    // for the service's own login to the IM server
    DWORD windowMs = 10000;   // for the chat window to open
    DWORD answerMs = 60000;   // for the friend's text
    DWORD lingerMs = 1500;    // for the receipts once the answer is in
};

// Runs the chat on the calling (user-interface) thread. `pump` handles pending messages and
// answers false when the run is to stop. *chat gets the chat window once it is open.
ChatResult RunChat(const ContainerHost& container, RostBaseHandle store, const ChatPlan& plan,
                   const std::function<bool()>& pump, HWND* chat);

}  // namespace hostdemo
