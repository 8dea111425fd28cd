// The exports of the contact dialogs. Every verb takes one use at its start and gives it
// back as its very last act (modeless dialogs: when their window is gone).
#include <windows.h>
#include <commctrl.h>

#include "DeleteDialogs.h"
#include "FriendInfoDialog.h"
#include "Module.h"
#include "TipDayDialog.h"
#include "UserSearch.h"
#include "Verbs.h"

using namespace rostdialogs;

namespace {

// A modeless dialog under the desktop, shown and brought to the front; on failure the
// object goes and the use with it.
void RegisterControls() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
}

void RunModeless(ContactDialog* dialog) {
    RegisterControls();
    dialog->SetSelfDelete(true);
    if (!dialog->Create(GetDesktopWindow())) {
        delete dialog;
        GiveUse();
        return;
    }
    dialog->Show(SW_SHOW);
    SetForegroundWindow(dialog->GetSafeHwnd());
}

void RunConfirmation(ConfirmDialog* dialog) {
    dialog->Run();
    delete dialog;
    GiveUse();
}

DeleteTarget Target(DeleteTarget::Kind kind, HostContext book, void* target, void* container) {
    DeleteTarget t;
    t.kind = kind;
    t.book = book;
    t.target = target;
    t.container = container;
    ReadDeleteTarget(LiveServices(), t);
    return t;
}

}  // namespace

extern "C" {

HMODULE WINAPI SetFacadeModule(HMODULE facade) {
    SetFacade(facade);
    return facade;
}

void WINAPI SwitchSkin(void) {}

void WINAPI RostDialogs_AddGroupA(HostContext book, const char* name, GroupHandle parent) {
    TakeUse();
    AddGroupA(LiveServices(), book, name, parent);
    GiveUse();
}

void WINAPI RostDialogs_AddGroupW(HostContext book, const wchar_t* name, GroupHandle parent) {
    TakeUse();
    AddGroupW(LiveServices(), book, name, parent);
    GiveUse();
}

void WINAPI RostDialogs_ModifyGroupA(HostContext book, GroupHandle group, GroupInfoA* info) {
    TakeUse();
    ModifyGroupA(LiveServices(), book, group, info);
    GiveUse();
}

void WINAPI RostDialogs_ModifyGroupW(HostContext book, GroupHandle group, GroupInfoW* info) {
    TakeUse();
    ModifyGroupW(LiveServices(), book, group, info);
    GiveUse();
}

void WINAPI RostDialogs_MoveFriend(HostContext book, FriendHandle entry, GroupHandle from, GroupHandle to,
                                   int proxyFlag) {
    TakeUse();
    MoveFriend(LiveServices(), book, entry, from, to, proxyFlag);
    GiveUse();
}

int WINAPI RostDialogs_PreventUser(HostContext book, FriendHandle entry, GroupHandle group, int proxyFlag) {
    TakeUse();
    int result = PreventUser(LiveServices(), book, entry, group, proxyFlag);
    GiveUse();
    return result;
}

void WINAPI RostDialogs_AddFriend(HostContext book, GroupHandle group) {
    TakeUse();
    RunModeless(new FriendInfoDialog(book, group, nullptr, false));
}

void WINAPI RostDialogs_ViewFriendInfo(HostContext book, FriendHandle entry, GroupHandle group) {
    TakeUse();
    RunModeless(new FriendInfoDialog(book, group, entry, true));
}

void WINAPI RostDialogs_DelFriend(HostContext book, FriendHandle entry, GroupHandle group) {
    TakeUse();
    RunConfirmation(new DeleteConfirmDialog(Target(DeleteTarget::Friend, book, entry, group)));
}

void WINAPI RostDialogs_DelBlackUser(HostContext book, FriendHandle entry) {
    TakeUse();
    RunConfirmation(new DeleteConfirmDialog(Target(DeleteTarget::BlackUser, book, entry, nullptr)));
}

void WINAPI RostDialogs_DelGroup(HostContext book, GroupHandle group, GroupHandle parent) {
    TakeUse();
    RunConfirmation(new GroupDeleteDialog(Target(DeleteTarget::Group, book, group, parent)));
}

void WINAPI RostDialogs_SearchUser(HostContext book) {
    TakeUse();
    if (UserSearchDialog* open = SearchDialogSlot()) {
        SetForegroundWindow(open->GetSafeHwnd());
        GiveUse();
        return;
    }
    RegisterControls();
    auto* dialog = new UserSearchDialog(book);
    SearchDialogSlot() = dialog;
    dialog->SetSelfDelete(true);
    if (!dialog->Create(GetDesktopWindow())) {
        SearchDialogSlot() = nullptr;
        delete dialog;
        GiveUse();
        return;
    }
    dialog->Show(SW_SHOW);
    SetForegroundWindow(dialog->GetSafeHwnd());
}

void WINAPI UI_ShowTipDay() { ShowTipDay(); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetSelf(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
