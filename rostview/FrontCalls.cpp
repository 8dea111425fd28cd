#include "FrontCalls.h"

#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"

namespace rostview {

namespace {
template <typename Fn>
Fn DialogEntry(const char* name) {
    HMODULE front = GetModuleHandleW(L"CoreFront.dll");
    auto lookUp = vantor::ProcAddress<PFN_RostDialogs_GetProcAddress>(front, "RostDialogs_GetProcAddress");
    if (!lookUp) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(lookUp(name)));
}

typedef void(WINAPI* PFN_AddGroupA)(HostContext, const char*, GroupHandle);
typedef void(WINAPI* PFN_ModifyGroupA)(HostContext, GroupHandle, GroupInfoA*);
typedef void(WINAPI* PFN_GroupAndParent)(HostContext, GroupHandle, GroupHandle);
typedef void(WINAPI* PFN_Group)(HostContext, GroupHandle);
typedef void(WINAPI* PFN_FriendAndGroup)(HostContext, FriendHandle, GroupHandle);
typedef void(WINAPI* PFN_MoveFriend)(HostContext, FriendHandle, GroupHandle, GroupHandle, INT_PTR);
typedef void(WINAPI* PFN_Friend)(HostContext, FriendHandle);
typedef void(WINAPI* PFN_Book)(HostContext);
}  // namespace

bool FrontDialogs::AddGroupA(const char* name, GroupHandle parent) {
    auto fn = DialogEntry<PFN_AddGroupA>("RostDialogs_AddGroupA");
    if (fn) fn(book_, name, parent);
    return fn != nullptr;
}

bool FrontDialogs::ModifyGroupA(GroupHandle group, GroupInfoA* record) {
    auto fn = DialogEntry<PFN_ModifyGroupA>("RostDialogs_ModifyGroupA");
    if (fn) fn(book_, group, record);
    return fn != nullptr;
}

bool FrontDialogs::DelGroup(GroupHandle group, GroupHandle parent) {
    auto fn = DialogEntry<PFN_GroupAndParent>("RostDialogs_DelGroup");
    if (fn) fn(book_, group, parent);
    return fn != nullptr;
}

bool FrontDialogs::AddFriend(GroupHandle group) {
    auto fn = DialogEntry<PFN_Group>("RostDialogs_AddFriend");
    if (fn) fn(book_, group);
    return fn != nullptr;
}

bool FrontDialogs::ViewFriendInfo(FriendHandle entry, GroupHandle group) {
    auto fn = DialogEntry<PFN_FriendAndGroup>("RostDialogs_ViewFriendInfo");
    if (fn) fn(book_, entry, group);
    return fn != nullptr;
}

bool FrontDialogs::DelFriend(FriendHandle entry, GroupHandle group) {
    auto fn = DialogEntry<PFN_FriendAndGroup>("RostDialogs_DelFriend");
    if (fn) fn(book_, entry, group);
    return fn != nullptr;
}

bool FrontDialogs::MoveFriend(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup) {
    auto fn = DialogEntry<PFN_MoveFriend>("RostDialogs_MoveFriend");
    if (fn) fn(book_, entry, oldGroup, newGroup, 0);
    return fn != nullptr;
}

bool FrontDialogs::DelBlackUser(FriendHandle entry) {
    auto fn = DialogEntry<PFN_Friend>("RostDialogs_DelBlackUser");
    if (fn) fn(book_, entry);
    return fn != nullptr;
}

bool FrontDialogs::SearchUser() {
    auto fn = DialogEntry<PFN_Book>("RostDialogs_SearchUser");
    if (fn) fn(book_);
    return fn != nullptr;
}

namespace {
// The entry of the command center, with the debugger's line when it or its library is
// missing.
template <typename Fn>
Fn HubEntry(HMODULE hub, const char* name, const wchar_t* missingLine) {
    if (!hub) {
        vantor::DebugLine(L"命令中心模块还没有加载！\n");
        return nullptr;
    }
    auto fn = vantor::ProcAddress<Fn>(hub, name);
    if (!fn) vantor::DebugLine(missingLine);
    return fn;
}

const wchar_t kNoCommand[] = L"命令中心模块不存在接口：OrderHub_Command！\n";
const wchar_t kNoAction[] = L"命令中心模块不存在接口：OrderHub_Action！\n";
}  // namespace

void ModuleHub::Command(int command, PlugId target) {
    vantor::UniqueModule hub(vantor::HoldLoadedFile(L"OrderHub.dll"));
    auto fn = HubEntry<PFN_OrderHub_Command>(hub.get(), "OrderHub_Command", kNoCommand);
    if (fn) fn(command, target);
}

void ModuleHub::Action(PlugId target, int command, INT_PTR parameter) {
    vantor::UniqueModule hub(vantor::HoldLoadedFile(L"OrderHub.dll"));
    auto fn = HubEntry<PFN_OrderHub_Action>(hub.get(), "OrderHub_Action", kNoAction);
    if (fn) fn(target, command, parameter);
}

bool ModuleHub::ActionThroughLoadedHub(PlugId target, int command, INT_PTR parameter) {
    vantor::UniqueModule hub(vantor::LoadProgramLibrary(L"OrderHub.dll"));
    if (!hub) return false;
    auto fn = HubEntry<PFN_OrderHub_Action>(hub.get(), "OrderHub_Action", kNoAction);
    if (fn) fn(target, command, parameter);
    return true;
}

}  // namespace rostview
