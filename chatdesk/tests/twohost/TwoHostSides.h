// Two clients in child copies of the test program, each with a program folder, account,
// loopback address and contact book of its own, reaching each other through the fake IM
// server or over a direct link.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "ContactRecords.h"
#include "WindowClient.h"

namespace cdtest {

// One side: its account, the peer's, and the last bytes of the loopback addresses they
// listen on.
struct Side {
    const char* ownId;
    const char* peerId;
    int ownLast;
    int peerLast;
};

extern const char kFirstId[];   // "10001"
extern const char kSecondId[];  // "20002"
extern const Side kFirst;
extern const Side kSecond;

// The parent's folder for what the children leave it, and the way the books route: set
// by the parent before it starts the children.
extern const wchar_t kLogVariable[];    // CHATDESK_TWOHOST_LOGS
extern const wchar_t kRouteVariable[];  // CHATDESK_TWOHOST_ROUTE: "direct" or "relay"

// Builds the side's contact book in its program folder and hands it to the ClientCore
// stand-in; the peer's entry, or null. With "direct" routing the peer's entry names where
// it listens; otherwise an address where nothing listens, so the texts go by relay.
FriendHandle BuildBook(const Side& side);

// Once both sides hold a session at the IM server, opens the chat with the peer and waits
// for its link attempt to end: the window, or null when either did not come.
chatdesk::ChatDialog* OpenOnceBothIn(WindowClient& client, const Side& side, FriendHandle peer);

// The text an edit control shows, in the ANSI code page.
std::string Shown(HWND edit);
size_t Count(const std::string& text, const std::string& part);

// The parent's log folder (emptied), set for the children with the route.
std::wstring PrepareLogs(const wchar_t* route);
std::wstring LogDir();

}  // namespace cdtest
