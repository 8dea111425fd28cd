// RostView.dll: the contact-list tab plug-in and the change callbacks of the contact book.
#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "AddressCallback.h"
#include "RostViewPane.h"
#include "TabPlug.h"

using rostview::CallbackEntry;
using rostview::Change;
using rostview::ChangeArgs;
using rostview::RostViewPane;

namespace {
HINSTANCE g_instance = nullptr;

RostViewPane* PaneOf(TabPlugHandle plug) { return static_cast<RostViewPane*>(plug); }

// Carries one change to the pane's window, if the pane still takes callbacks.
void Carry(UINT_PTR user, UINT message, WPARAM wp, LPARAM lp) {
    CallbackEntry entry(user);
    if (entry.pane()) entry.pane()->Deliver(message, wp, lp);
}

void CarryChange(UINT_PTR user, Change change, void* first, void* second = nullptr, void* third = nullptr) {
    ChangeArgs args = {first, second, third};
    Carry(user, rostview::UM_ROST_CHANGE, static_cast<WPARAM>(change), reinterpret_cast<LPARAM>(&args));
}
}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH && !g_instance) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    auto* pane = new RostViewPane();
    // The load thread starts while the window is made and reads once it exists.
    pane->BeginLoad(context);
    if (!pane->CreateWindowIn(g_instance, parent)) {
        pane->AbandonLoad();
        delete pane;
        return nullptr;
    }
    pane->Start(g_instance, container, reserved);
    return pane;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    RostViewPane* pane = PaneOf(plug);
    if (!pane) return 0;
    int result = pane->Destroy(g_instance);
    delete pane;
    return result;
}

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    RostViewPane* pane = PaneOf(plug);
    if (!pane || !pane->Window()) return 0;
    return MoveWindow(pane->Window(), left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) {
    RostViewPane* pane = PaneOf(plug);
    if (!pane || !pane->Window()) return 0;
    ShowWindow(pane->Window(), show ? SW_SHOW : SW_HIDE);
    return 1;
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) {
    RostViewPane* pane = PaneOf(plug);
    return pane ? pane->Window() : nullptr;
}

int WINAPI TabPlug_ChangeParent(TabPlugHandle plug, HWND newParent) {
    RostViewPane* pane = PaneOf(plug);
    if (!pane) return 0;
    SetParent(pane->Window(), newParent);
    return 1;
}

int WINAPI SwitchSkin(TabPlugHandle plug) {
    RostViewPane* pane = PaneOf(plug);
    return pane ? pane->SwitchSkin() : 0;
}

void CALLBACK AddressCallback_OnAddFriend(FriendHandle entry, GroupHandle group, UINT_PTR user) {
    Carry(user, rostview::UM_ROST_ADD_FRIEND, reinterpret_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(group));
}

void CALLBACK AddressCallback_OnDelFriend(FriendHandle entry, GroupHandle, UINT_PTR user) {
    CarryChange(user, Change::DelFriend, entry);
}

void CALLBACK AddressCallback_OnModifyFriend(FriendHandle entry, UINT_PTR user) {
    Carry(user, rostview::UM_ROST_MODIFY_FRIEND, 0, reinterpret_cast<LPARAM>(entry));
}

void CALLBACK AddressCallback_OnAddGroup(GroupHandle group, GroupHandle parent, UINT_PTR user) {
    Carry(user, rostview::UM_ROST_ADD_GROUP, reinterpret_cast<WPARAM>(group), reinterpret_cast<LPARAM>(parent));
}

void CALLBACK AddressCallback_OnDelGroup(GroupHandle group, GroupHandle, UINT_PTR user) {
    CarryChange(user, Change::DelGroup, group);
}

void CALLBACK AddressCallback_OnModifyGroup(GroupHandle group, UINT_PTR user) {
    CarryChange(user, Change::ModifyGroup, group);
}

void CALLBACK AddressCallback_OnAddStranger(FriendHandle, GroupHandle, UINT_PTR) {}

void CALLBACK AddressCallback_OnUpdateFriendExtendInfo(FriendHandle, UINT_PTR) {}

void CALLBACK AddressCallback_OnUpdateFriendOnlineStatus(FriendHandle entry, UINT_PTR user) {
    CarryChange(user, Change::Status, entry);
}

void CALLBACK AddressCallback_OnRefreshFriendStatus(UINT_PTR user) { CarryChange(user, Change::Refresh, nullptr); }

void CALLBACK AddressCallback_OnUpdateFriendSerivcePolicys(FriendHandle entry, UINT_PTR user) {
    CarryChange(user, Change::Policies, entry);
}

void CALLBACK AddressCallback_OnChangeFriendGroup(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup,
                                                  UINT_PTR user) {
    CarryChange(user, Change::MoveFriend, entry, oldGroup, newGroup);
}

void CALLBACK AddressCallback_OnPreventUser(FriendHandle entry, GroupHandle group, UINT_PTR user) {
    CarryChange(user, Change::Prevent, entry, group);
}

void CALLBACK AddressCallback_OnDelBlackUser(FriendHandle entry, UINT_PTR user) {
    CarryChange(user, Change::DelBlack, entry);
}

}  // extern "C"
