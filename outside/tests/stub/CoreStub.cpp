// Plays ClientCore for the contact-book facades (copied as "ClientCore.dll"): hands out
// the store the test set, counts the change notices that reach it as a registered
// module, and tells on which thread public information was last asked for.
#include <windows.h>

#include "AddressCallback.h"
#include "ContactRecords.h"

namespace {
RostBaseHandle g_store = nullptr;
LONG g_events = 0;
UINT_PTR g_lastUser = 0;
DWORD g_publicInfoThread = 0;
}  // namespace

extern "C" {

void WINAPI CoreStub_SetStore(RostBaseHandle store) { g_store = store; }

// Notices received so far; the user value of the last one.
LONG WINAPI CoreStub_Events(UINT_PTR* lastUser) {
    if (lastUser) *lastUser = g_lastUser;
    return g_events;
}

RostBaseHandle WINAPI Cco_GetRostBaseHandle(void) { return g_store; }

// The thread of the last Cco_GetUserPublicInfoA, 0 before the first.
DWORD WINAPI CoreStub_PublicInfoThread(void) { return g_publicInfoThread; }

// The public information of any account: its nickname is "public <id>".
int WINAPI Cco_GetUserPublicInfoA(const char* account, FriendInfoA* out) {
    g_publicInfoThread = GetCurrentThreadId();
    if (!account || !*account || !out) return 0;
    lstrcpynA(out->id, account, sizeof out->id);
    wsprintfA(out->nickname, "public %.16s", account);
    return 1;
}

void CALLBACK AddressCallback_OnAddFriend(FriendHandle, GroupHandle, UINT_PTR user) {
    InterlockedIncrement(&g_events);
    g_lastUser = user;
}

void CALLBACK AddressCallback_OnModifyFriend(FriendHandle, UINT_PTR user) {
    InterlockedIncrement(&g_events);
    g_lastUser = user;
}

}  // extern "C"
