#include "Recorder.h"

#include <cstring>
#include <vector>

#include "AddressCallback.h"
#include "Sync.h"

namespace {

vantor::CriticalSection g_lock;
std::vector<RecordedCall> g_calls;
LONG* g_sequence = nullptr;
RecorderHook g_hook = nullptr;

void Note(const char* name, UINT_PTR a0, UINT_PTR a1, UINT_PTR a2, UINT_PTR user,
          const FriendStatus* status = nullptr) {
    RecordedCall call = {};
    {
        vantor::Lock lock(g_lock);
        call.sequence = g_sequence ? InterlockedIncrement(g_sequence) : 0;
        lstrcpynA(call.name, name, sizeof(call.name));
        call.args[0] = a0;
        call.args[1] = a1;
        call.args[2] = a2;
        call.user = user;
        if (status) call.status = *status;
        g_calls.push_back(call);
    }
    if (g_hook) g_hook(name, a0, user);
}

UINT_PTR U(const void* p) { return reinterpret_cast<UINT_PTR>(p); }

}  // namespace

extern "C" {

void WINAPI Recorder_Reset(LONG* sequence, RecorderHook hook) {
    vantor::Lock lock(g_lock);
    g_calls.clear();
    g_sequence = sequence;
    g_hook = hook;
}

int WINAPI Recorder_Count() {
    vantor::Lock lock(g_lock);
    return static_cast<int>(g_calls.size());
}

BOOL WINAPI Recorder_Get(int index, RecordedCall* out) {
    vantor::Lock lock(g_lock);
    if (index < 0 || index >= static_cast<int>(g_calls.size())) return FALSE;
    *out = g_calls[static_cast<size_t>(index)];
    return TRUE;
}

void CALLBACK AddressCallback_OnAddFriend(FriendHandle e, GroupHandle g, UINT_PTR user) {
    Note("OnAddFriend", U(e), U(g), 0, user);
}
void CALLBACK AddressCallback_OnDelFriend(FriendHandle e, GroupHandle g, UINT_PTR user) {
    Note("OnDelFriend", U(e), U(g), 0, user);
}
void CALLBACK AddressCallback_OnChangeFriendGroup(FriendHandle e, GroupHandle from, GroupHandle to, UINT_PTR user) {
    Note("OnChangeFriendGroup", U(e), U(from), U(to), user);
}
void CALLBACK AddressCallback_OnPreventUser(FriendHandle e, GroupHandle g, UINT_PTR user) {
    Note("OnPreventUser", U(e), U(g), 0, user);
}
void CALLBACK AddressCallback_OnDelBlackUser(FriendHandle e, UINT_PTR user) { Note("OnDelBlackUser", U(e), 0, 0, user); }
void CALLBACK AddressCallback_OnAddGroup(GroupHandle g, GroupHandle parent, UINT_PTR user) {
    Note("OnAddGroup", U(g), U(parent), 0, user);
}
void CALLBACK AddressCallback_OnDelGroup(GroupHandle g, GroupHandle parent, UINT_PTR user) {
    Note("OnDelGroup", U(g), U(parent), 0, user);
}
void CALLBACK AddressCallback_OnAddStranger(FriendHandle e, GroupHandle g, UINT_PTR user) {
    Note("OnAddStranger", U(e), U(g), 0, user);
}
void CALLBACK AddressCallback_OnModifyFriend(FriendHandle e, UINT_PTR user) { Note("OnModifyFriend", U(e), 0, 0, user); }
void CALLBACK AddressCallback_OnModifyGroup(GroupHandle g, UINT_PTR user) { Note("OnModifyGroup", U(g), 0, 0, user); }
void CALLBACK AddressCallback_OnUpdateFriendSerivcePolicys(FriendHandle e, UINT_PTR user) {
    Note("OnUpdateFriendSerivcePolicys", U(e), 0, 0, user);
}
void CALLBACK AddressCallback_OnRefreshSelfStatus(const FriendStatus* s, UINT_PTR user) {
    Note("OnRefreshSelfStatus", U(s), 0, 0, user, s);
}
void CALLBACK AddressCallback_OnRefreshOnlineUser(UINT_PTR user) { Note("OnRefreshOnlineUser", 0, 0, 0, user); }
void CALLBACK AddressCallback_OnUpdateFriendOnlineStatus(FriendHandle e, UINT_PTR user) {
    Note("OnUpdateFriendOnlineStatus", U(e), 0, 0, user);
}
void CALLBACK AddressCallback_OnRefreshFriendStatus(UINT_PTR user) { Note("OnRefreshFriendStatus", 0, 0, 0, user); }

}  // extern "C"
