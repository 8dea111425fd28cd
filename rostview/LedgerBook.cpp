#include "ContactBook.h"

#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"

namespace rostview {

bool ContactBook::PolicyInUse(FriendHandle entry, DWORD policyId) {
    ServicePolicyInfoA policy = {};
    return Policy(entry, policyId, &policy) && policy.flags[SERVICE_POLICY_STATUS_FLAG] == 1;
}

LedgerBook::LedgerBook(HostContext book) : book_(book), module_(vantor::LoadProgramLibrary(L"RostLedger.dll")) {}

LedgerBook::~LedgerBook() {
    if (module_) FreeLibrary(module_);
}

template <typename Fn>
Fn LedgerBook::Export(const char* name) const {
    return vantor::ProcAddress<Fn>(module_, name);
}

namespace {
// A record read that finds the library without its export says so once per call.
template <typename Fn>
Fn Reader(Fn fn, HMODULE module) {
    if (module && !fn) vantor::DebugLine(L"不存在该接口\n");
    return fn;
}
}  // namespace

bool LedgerBook::FriendA(FriendHandle entry, FriendInfoA* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetFriendInfoA>("RostLedger_GetFriendInfoA"), module_);
    return fn && fn(book_, entry, out);
}

bool LedgerBook::FriendW(FriendHandle entry, FriendInfoW* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetFriendInfoW>("RostLedger_GetFriendInfoW"), module_);
    return fn && fn(book_, entry, out);
}

bool LedgerBook::GroupA(GroupHandle group, GroupInfoA* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetGroupInfoA>("RostLedger_GetGroupInfoA"), module_);
    return fn && fn(book_, group, out);
}

bool LedgerBook::GroupW(GroupHandle group, GroupInfoW* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetGroupInfoW>("RostLedger_GetGroupInfoW"), module_);
    return fn && fn(book_, group, out);
}

FriendHandle LedgerBook::CurrentAccount() {
    auto fn = Reader(Export<PFN_RostLedger_GetCurrentAccount>("RostLedger_GetCurrentAccount"), module_);
    return fn ? fn(book_) : nullptr;
}

bool LedgerBook::Policy(FriendHandle entry, DWORD policyId, ServicePolicyInfoA* out) {
    auto fn = Export<PFN_RostLedger_QueryFriendServicePolicyA>("RostLedger_QueryFriendServicePolicyA");
    return fn && fn(book_, entry, policyId, out);
}

bool LedgerBook::CanWalk() const {
    return Export<PFN_RostLedger_EnumGroup>("RostLedger_EnumGroup") &&
           Export<PFN_RostLedger_EnumGroupFriends>("RostLedger_EnumGroupFriends");
}

bool LedgerBook::EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumGroup>("RostLedger_EnumGroup");
    return fn && fn(book_, rootMask, proc, user);
}

bool LedgerBook::EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumGroupFriends>("RostLedger_EnumGroupFriends");
    return fn && fn(book_, group, proc, user);
}

bool LedgerBook::EnumBlackList(FriendEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumBlackList>("RostLedger_EnumBlackList");
    return fn && fn(book_, proc, user);
}

bool LedgerBook::GroupNameExists(GroupHandle parent, const char* name) {
    auto fn = Export<PFN_RostLedger_IsGroupNameExistsA>("RostLedger_IsGroupNameExistsA");
    return fn && fn(book_, parent, name);
}

bool RegisterWithKeeper(HostContext book, HMODULE module, UINT_PTR user) {
    vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
    auto fn = vantor::ProcAddress<PFN_RostKeeper_RegisterEventModule>(keeper.get(), "RostKeeper_RegisterEventModule");
    return fn && fn(book, module, user);
}

bool UnregisterFromKeeper(HostContext book, HMODULE module) {
    vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
    auto fn =
        vantor::ProcAddress<PFN_RostKeeper_UnregisterEventModule>(keeper.get(), "RostKeeper_UnregisterEventModule");
    return fn && fn(book, module);
}

}  // namespace rostview
