// Contact dialogs that report themselves idle from inside their own call and keep
// running their own code afterwards, as a dialog does from its last window message.
#include <windows.h>

#include "Trace.h"
#include "outside/CoreFront.h"

using plugtest::Trace;

namespace {
HMODULE g_self = nullptr;
HMODULE g_facade = nullptr;
volatile LONG g_uses = 0;
}

extern "C" {

int WINAPI SetFacadeModule(HMODULE facade) {
    g_facade = facade;
    Trace(g_self, "SetFacadeModule %s", plugtest::ModuleName(facade).c_str());
    return 1;
}

int WINAPI RostDialogs_Run(void) {
    InterlockedIncrement(&g_uses);
    int work = 0;
    if (InterlockedDecrement(&g_uses) == 0) {
        auto release = reinterpret_cast<PFN_Facade_FreeModule>(
            reinterpret_cast<void*>(GetProcAddress(g_facade, "Facade_FreeModule")));
        if (release) work = release(g_self);
    }
    // Still inside this library after reporting idle.
    Trace(g_self, "Run after release %d", work);
    return 7;
}

// The contact-list tab's calls: each records its arguments, friends and groups by the id
// the program folder's RostLedger reads for them.
void WINAPI RostDialogs_AddGroupA(HostContext book, const char* name, GroupHandle parent) {
    Trace(g_self, "AddGroupA book=%llu name=%s parent=%s", static_cast<unsigned long long>(book), name ? name : "null",
          plugtest::GroupId(book, parent).c_str());
}

void WINAPI RostDialogs_ModifyGroupA(HostContext book, GroupHandle group, GroupInfoA* record) {
    Trace(g_self, "ModifyGroupA book=%llu group=%s id=%s name=%s", static_cast<unsigned long long>(book),
          plugtest::GroupId(book, group).c_str(), record ? record->id : "null", record ? record->name : "null");
}

void WINAPI RostDialogs_DelGroup(HostContext book, GroupHandle group, GroupHandle parent) {
    Trace(g_self, "DelGroup book=%llu group=%s parent=%s", static_cast<unsigned long long>(book),
          plugtest::GroupId(book, group).c_str(), plugtest::GroupId(book, parent).c_str());
}

void WINAPI RostDialogs_AddFriend(HostContext book, GroupHandle group) {
    Trace(g_self, "AddFriend book=%llu group=%s", static_cast<unsigned long long>(book), plugtest::GroupId(book, group).c_str());
}

void WINAPI RostDialogs_ViewFriendInfo(HostContext book, FriendHandle entry, GroupHandle group) {
    Trace(g_self, "ViewFriendInfo book=%llu friend=%s group=%s", static_cast<unsigned long long>(book),
          plugtest::FriendId(book, entry).c_str(), plugtest::GroupId(book, group).c_str());
}

void WINAPI RostDialogs_DelFriend(HostContext book, FriendHandle entry, GroupHandle group) {
    Trace(g_self, "DelFriend book=%llu friend=%s group=%s", static_cast<unsigned long long>(book),
          plugtest::FriendId(book, entry).c_str(), plugtest::GroupId(book, group).c_str());
}

void WINAPI RostDialogs_MoveFriend(HostContext book, FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup,
                                   INT_PTR proxy) {
    Trace(g_self, "MoveFriend book=%llu friend=%s old=%s new=%s proxy=%lld", static_cast<unsigned long long>(book),
          plugtest::FriendId(book, entry).c_str(), plugtest::GroupId(book, oldGroup).c_str(), plugtest::GroupId(book, newGroup).c_str(),
          static_cast<long long>(proxy));
}

void WINAPI RostDialogs_DelBlackUser(HostContext book, FriendHandle entry) {
    Trace(g_self, "DelBlackUser book=%llu friend=%s", static_cast<unsigned long long>(book), plugtest::FriendId(book, entry).c_str());
}

void WINAPI RostDialogs_SearchUser(HostContext book) {
    Trace(g_self, "SearchUser book=%llu", static_cast<unsigned long long>(book));
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    if (reason == DLL_PROCESS_DETACH) Trace(g_self, "Unloaded");
    return TRUE;
}
