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

LedgerBook::LedgerBook(HostContext book) : book_(book) {}

LedgerBook::~LedgerBook() {
    if (module_) FreeLibrary(module_);
}

namespace {
const char* const kExportNames[] = {
    "RostLedger_GetFriendInfoA", "RostLedger_GetFriendInfoW",       "RostLedger_GetGroupInfoA",
    "RostLedger_GetGroupInfoW",  "RostLedger_GetCurrentAccount",    "RostLedger_QueryFriendServicePolicyA",
    "RostLedger_EnumGroup",      "RostLedger_EnumGroupFriends",     "RostLedger_EnumBlackList",
    "RostLedger_IsGroupNameExistsA",
};
}  // namespace

HMODULE LedgerBook::Module() const {
    if (!loadTried_) {
        module_ = vantor::LoadProgramLibrary(L"RostLedger.dll");
        loadTried_ = true;
    }
    return module_;
}

template <typename Fn>
Fn LedgerBook::Export(Call call) const {
    static_assert(sizeof kExportNames / sizeof kExportNames[0] == CALL_COUNT, "one name per call");
    if (!looked_[call]) {
        exports_[call] = Module() ? GetProcAddress(module_, kExportNames[call]) : nullptr;
        looked_[call] = true;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(exports_[call]));
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
    auto fn = Reader(Export<PFN_RostLedger_GetFriendInfoA>(FRIEND_A), Module());
    return fn && fn(book_, entry, out);
}

bool LedgerBook::FriendW(FriendHandle entry, FriendInfoW* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetFriendInfoW>(FRIEND_W), Module());
    return fn && fn(book_, entry, out);
}

bool LedgerBook::GroupA(GroupHandle group, GroupInfoA* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetGroupInfoA>(GROUP_A), Module());
    return fn && fn(book_, group, out);
}

bool LedgerBook::GroupW(GroupHandle group, GroupInfoW* out) {
    auto fn = Reader(Export<PFN_RostLedger_GetGroupInfoW>(GROUP_W), Module());
    return fn && fn(book_, group, out);
}

FriendHandle LedgerBook::CurrentAccount() {
    auto fn = Reader(Export<PFN_RostLedger_GetCurrentAccount>(ACCOUNT), Module());
    return fn ? fn(book_) : nullptr;
}

bool LedgerBook::Policy(FriendHandle entry, DWORD policyId, ServicePolicyInfoA* out) {
    auto fn = Export<PFN_RostLedger_QueryFriendServicePolicyA>(POLICY);
    return fn && fn(book_, entry, policyId, out);
}

bool LedgerBook::CanWalk() const {
    return Export<PFN_RostLedger_EnumGroup>(ENUM_GROUP) &&
           Export<PFN_RostLedger_EnumGroupFriends>(ENUM_FRIENDS);
}

bool LedgerBook::EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumGroup>(ENUM_GROUP);
    return fn && fn(book_, rootMask, proc, user);
}

bool LedgerBook::EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumGroupFriends>(ENUM_FRIENDS);
    return fn && fn(book_, group, proc, user);
}

bool LedgerBook::EnumBlackList(FriendEnumProc proc, UINT_PTR user) {
    auto fn = Export<PFN_RostLedger_EnumBlackList>(ENUM_BLACK);
    return fn && fn(book_, proc, user);
}

bool LedgerBook::GroupNameExists(GroupHandle parent, const char* name) {
    auto fn = Export<PFN_RostLedger_IsGroupNameExistsA>(NAME_EXISTS);
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
