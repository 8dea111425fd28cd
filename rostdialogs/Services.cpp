// Partners bound per call: the library is loaded from the program folder by file name, the
// export resolved by name, called, and the library freed again.
#include "Services.h"

#include "DebugOut.h"
#include "Handles.h"
#include "IniFile.h"
#include "ModulePath.h"
#include "Text.h"
#include "outside/HookRelay.h"
#include "outside/OrderHub.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"

namespace rostdialogs {

namespace {

const size_t kCaptionChars = 63;

// Calls `name` of `file` with `args` when both can be found; `missing` otherwise.
template <typename Fn, typename Result, typename... Args>
Result CallPartner(const wchar_t* file, const char* name, Result missing, Args... args) {
    vantor::UniqueModule module(vantor::LoadProgramLibrary(file));
    Fn fn = module ? vantor::ProcAddress<Fn>(module.get(), name) : nullptr;
    if (!fn) {
        vantor::DebugLineA("RostDialogs: %ls %s not found\n", file, name);
        return missing;
    }
    return static_cast<Result>(fn(args...));
}

template <typename Fn, typename... Args>
bool Ledger(const char* name, Args... args) {
    return CallPartner<Fn, bool>(L"RostLedger.dll", name, false, args...);
}

template <typename Fn, typename... Args>
int Presence(const char* name, Args... args) {
    return CallPartner<Fn, int>(L"PresenceCore.dll", name, static_cast<int>(kPresenceMissing), args...);
}

template <typename Fn, typename... Args>
bool Keeper(const char* name, Args... args) {
    return CallPartner<Fn, bool>(L"RostKeeper.dll", name, false, args...);
}

template <typename Handle, typename Fn, typename... Args>
Handle LedgerHandle(const char* name, Args... args) {
    vantor::UniqueModule module(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    Fn fn = module ? vantor::ProcAddress<Fn>(module.get(), name) : nullptr;
    if (!fn) {
        vantor::DebugLineA("RostDialogs: RostLedger.dll %s not found\n", name);
        return nullptr;
    }
    return fn(args...);
}

class Live : public Services {
public:
    bool ReadGroupA(HostContext book, GroupHandle group, ::GroupInfoA* out) override {
        return Ledger<PFN_RostLedger_GetGroupInfoA>("RostLedger_GetGroupInfoA", book, group, out);
    }
    bool ReadGroupW(HostContext book, GroupHandle group, ::GroupInfoW* out) override {
        return Ledger<PFN_RostLedger_GetGroupInfoW>("RostLedger_GetGroupInfoW", book, group, out);
    }
    bool ReadFriend(HostContext book, FriendHandle entry, FriendInfoA* out) override {
        return Ledger<PFN_RostLedger_GetFriendInfoA>("RostLedger_GetFriendInfoA", book, entry, out);
    }
    GroupHandle OffRootGroup(HostContext book) override {
        return LedgerHandle<GroupHandle, PFN_RostLedger_GetOffRootGroup>("RostLedger_GetOffRootGroup", book);
    }
    FriendHandle CurrentAccount(HostContext book) override {
        return LedgerHandle<FriendHandle, PFN_RostLedger_GetCurrentAccount>("RostLedger_GetCurrentAccount", book);
    }
    bool HasService(HostContext book, FriendHandle entry, DWORD serviceId) override {
        ServicePolicyInfoA policy = {};
        return Ledger<PFN_RostLedger_QueryFriendServicePolicyA>("RostLedger_QueryFriendServicePolicyA", book, entry,
                                                               serviceId, &policy);
    }
    FriendHandle IsUserInFriends(HostContext book, const char* id) override {
        return LedgerHandle<FriendHandle, PFN_RostLedger_IsUserInFriendsA>("RostLedger_IsUserInFriendsA", book, id,
                                                                           static_cast<GroupHandle*>(nullptr));
    }

    int PsAddGroupA(::GroupInfoA* group, const char* parentId) override {
        return Presence<decltype(&PS_Cco_AddGroupA)>("PS_Cco_AddGroupA", group, parentId);
    }
    int PsAddGroupW(::GroupInfoW* group, const wchar_t* parentId) override {
        return Presence<decltype(&PS_Cco_AddGroupW)>("PS_Cco_AddGroupW", group, parentId);
    }
    int PsModifyGroupA(::GroupInfoA* group) override {
        return Presence<decltype(&PS_Cco_ModifyGroupInfoA)>("PS_Cco_ModifyGroupInfoA", group);
    }
    int PsModifyGroupW(::GroupInfoW* group) override {
        return Presence<decltype(&PS_Cco_ModifyGroupInfoW)>("PS_Cco_ModifyGroupInfoW", group);
    }
    int PsDelGroup(const char* groupId) override {
        return Presence<decltype(&PS_Cco_DelGroupA)>("PS_Cco_DelGroupA", groupId);
    }
    int PsMoveFriend(const char* friendId, const char* groupId, int proxyFlag) override {
        return Presence<decltype(&PS_Cco_MoveFriendA)>("PS_Cco_MoveFriendA", friendId, groupId, proxyFlag);
    }
    int PsDelFriend(const char* friendId, const char* proxyFlag) override {
        return Presence<decltype(&PS_Cco_DelFriendA)>("PS_Cco_DelFriendA", friendId, proxyFlag);
    }
    int PsDelBlackUser(const char* friendId, const char* proxyFlag) override {
        return Presence<decltype(&PS_Cco_DelBlackUserA)>("PS_Cco_DelBlackUserA", friendId, proxyFlag);
    }
    int PsAddOffFriend(FriendInfoA* record, const char* groupId) override {
        return Presence<decltype(&PS_Cco_AddOffFriendA)>("PS_Cco_AddOffFriendA", record, groupId);
    }
    int PsModifyFriend(FriendInfoA* record, const char* groupId) override {
        return Presence<decltype(&PS_Cco_ModifyFriendInfoA)>("PS_Cco_ModifyFriendInfoA", record, groupId);
    }
    int PsSearch(const char* query, int page, PsFriendEnumProc proc, UINT_PTR context) override {
        return Presence<decltype(&PS_Cco_SearchUserA)>("PS_Cco_SearchUserA", query, page, proc, context);
    }

    bool KeepAddGroupA(HostContext book, const ::GroupInfoA* group, GroupHandle parent) override {
        return Keeper<PFN_RostKeeper_AddGroupA>("RostKeeper_AddGroupA", book, group, parent);
    }
    bool KeepAddGroupW(HostContext book, const ::GroupInfoW* group, GroupHandle parent) override {
        return Keeper<PFN_RostKeeper_AddGroupW>("RostKeeper_AddGroupW", book, group, parent);
    }
    bool KeepModifyGroupA(HostContext book, GroupHandle group, const ::GroupInfoA* info) override {
        return Keeper<PFN_RostKeeper_ModifyGroupA>("RostKeeper_ModifyGroupA", book, group, info);
    }
    bool KeepModifyGroupW(HostContext book, GroupHandle group, const ::GroupInfoW* info) override {
        return Keeper<PFN_RostKeeper_ModifyGroupW>("RostKeeper_ModifyGroupW", book, group, info);
    }
    bool KeepDelGroup(HostContext book, GroupHandle group, GroupHandle parent) override {
        return Keeper<PFN_RostKeeper_DelGroup>("RostKeeper_DelGroup", book, group, parent);
    }
    bool KeepAddFriend(HostContext book, const FriendInfoA* record, GroupHandle group) override {
        vantor::UniqueModule module(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
        auto fn = module ? vantor::ProcAddress<PFN_RostKeeper_AddFriendA>(module.get(), "RostKeeper_AddFriendA") : nullptr;
        if (!fn) {
            vantor::DebugLine(L"RostDialogs: RostKeeper.dll RostKeeper_AddFriendA not found\n");
            return false;
        }
        return fn(book, record, group) != nullptr;
    }
    bool KeepModifyFriend(HostContext book, FriendHandle entry, const FriendInfoA* record) override {
        return Keeper<PFN_RostKeeper_ModifyFriendA>("RostKeeper_ModifyFriendA", book, entry, record);
    }
    bool KeepDelFriend(HostContext book, FriendHandle entry, GroupHandle group) override {
        return Keeper<PFN_RostKeeper_DelFriend>("RostKeeper_DelFriend", book, entry, group);
    }
    bool KeepDelBlackUser(HostContext book, const char* id) override {
        // No caller reads the result: a found export is a made change.
        vantor::UniqueModule module(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
        auto fn = module ? vantor::ProcAddress<PFN_RostKeeper_DelBlackUserA>(module.get(), "RostKeeper_DelBlackUserA")
                         : nullptr;
        if (!fn) {
            vantor::DebugLine(L"RostDialogs: RostKeeper.dll RostKeeper_DelBlackUserA not found\n");
            return false;
        }
        fn(book, id);
        return true;
    }
    bool KeepChangeGroup(HostContext book, FriendHandle entry, GroupHandle from, GroupHandle to) override {
        return Keeper<PFN_RostKeeper_ChangeFriendGroup>("RostKeeper_ChangeFriendGroup", book, entry, from, to);
    }
    bool KeepPreventUser(HostContext book, FriendHandle entry, GroupHandle group) override {
        return Keeper<PFN_RostKeeper_PreventUser>("RostKeeper_PreventUser", book, entry, group);
    }

    void PresenceAction(int command, INT_PTR parameter) override {
        vantor::UniqueModule module(vantor::LoadProgramLibrary(L"OrderHub.dll"));
        auto fn = module ? vantor::ProcAddress<PFN_OrderHub_Action>(module.get(), "OrderHub_Action") : nullptr;
        if (!fn) {
            vantor::DebugLine(L"RostDialogs: OrderHub.dll OrderHub_Action not found\n");
            return;
        }
        fn(PLUG_PRESENCE, command, parameter);
    }

    void Message(HWND owner, const wchar_t* text, UINT icon) override {
        std::wstring caption = DialogCaption();
        MessageBoxW(owner, text, caption.c_str(), MB_OK | icon);
    }
};

}  // namespace

Services& LiveServices() {
    static Live live;
    return live;
}

std::wstring DialogCaption() {
    std::wstring caption = vantor::ini::ReadString(vantor::ini::ProgramFile(L"config\\uiprof.cfg"), L"Dialog",
                                                   L"Caption", L"", kCaptionChars + 1);
    if (caption.size() > kCaptionChars)
        caption.resize(vantor::WholeCharsPrefix(caption.c_str(), caption.size(), kCaptionChars));
    return caption;
}

void HookDialog(HWND dialog, bool install) {
    const char* name = install ? "HookRelay_InstallHook" : "HookRelay_UninstallHook";
    CallPartner<PFN_HookRelay_InstallHook, int>(L"HookRelay.dll", name, 0, dialog);
}

}  // namespace rostdialogs
