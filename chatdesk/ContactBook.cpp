#include "ContactBook.h"

#include <cstring>

#include "Handles.h"
#include "ModulePath.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"

namespace chatdesk {

namespace {
typedef int(WINAPI* PFN_Cco_GetUserPublicInfoA)(const char* account, FriendInfoA* out);
}

HMODULE ContactBook::Load(const wchar_t* fileName) const {
    return LoadLibraryW((vantor::ModuleDir(ownModule_) + fileName).c_str());
}

bool ContactBook::OwnRecord(FriendInfoA* out) const {
    std::memset(out, 0, sizeof *out);
    if (!book_) return false;
    vantor::UniqueModule ledger(Load(L"RostLedger.dll"));
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    if (!current || !info) return false;
    FriendHandle self = current(book_);
    return self && info(book_, self, out) && out->id[0];
}

std::string ContactBook::OwnId() const {
    FriendInfoA self;
    if (!OwnRecord(&self)) return std::string();
    return std::string(self.id, strnlen(self.id, sizeof self.id));
}

bool ContactBook::FriendRecord(FriendHandle entry, FriendInfoA* out) const {
    std::memset(out, 0, sizeof *out);
    if (!book_ || !entry) return false;
    vantor::UniqueModule ledger(Load(L"RostLedger.dll"));
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    return info && info(book_, entry, out);
}

bool ContactBook::FriendById(const std::string& id, FriendInfoA* out) const {
    if (!book_) return false;
    vantor::UniqueModule ledger(Load(L"RostLedger.dll"));
    auto find = vantor::ProcAddress<PFN_RostLedger_IsUserInFriendsA>(ledger.get(), "RostLedger_IsUserInFriendsA");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    FriendHandle entry = find ? find(book_, id.c_str(), nullptr) : nullptr;
    return entry && info && info(book_, entry, out);
}

bool ContactBook::ServerStatus(const std::string& id, FriendStatus* out) const {
    using GetFriendIp = int(__stdcall*)(const char*, FriendInfoA*);
    vantor::UniqueModule presence(Load(L"PresenceCore.dll"));
    auto fetch = vantor::ProcAddress<GetFriendIp>(presence.get(), "PS_Cco_GetFriendIpA");
    FriendInfoA record = {};
    if (!fetch || id.size() >= sizeof record.id) return false;
    memcpy(record.id, id.c_str(), id.size());
    if (fetch(record.id, &record) != 0) return false;
    *out = record.status;
    return true;
}

bool ContactBook::PeerRecord(const std::string& id, FriendInfoA* out) const {
    FriendById(id, out);
    if (!out->nickname[0]) {
        vantor::UniqueModule core(Load(L"ClientCore.dll"));
        auto publicInfo = vantor::ProcAddress<PFN_Cco_GetUserPublicInfoA>(core.get(), "Cco_GetUserPublicInfoA");
        if (publicInfo) publicInfo(id.c_str(), out);
    }
    return true;
}

bool ContactBook::IsBlackListed(const std::string& id) const {
    if (!book_) return false;
    vantor::UniqueModule ledger(Load(L"RostLedger.dll"));
    auto black = vantor::ProcAddress<PFN_RostLedger_IsUserInBlackListA>(ledger.get(), "RostLedger_IsUserInBlackListA");
    return black && black(book_, id.c_str());
}

bool ContactBook::ModifyFriend(const FriendInfoA& record) const {
    if (!book_) return false;
    FriendHandle entry = nullptr;
    {
        vantor::UniqueModule ledger(Load(L"RostLedger.dll"));
        auto find = vantor::ProcAddress<PFN_RostLedger_IsUserInFriendsA>(ledger.get(), "RostLedger_IsUserInFriendsA");
        std::string id(record.id, strnlen(record.id, sizeof record.id));
        entry = find ? find(book_, id.c_str(), nullptr) : nullptr;
    }
    if (!entry) return false;
    vantor::UniqueModule keeper(Load(L"RostKeeper.dll"));
    auto modify = vantor::ProcAddress<PFN_RostKeeper_ModifyFriendA>(keeper.get(), "RostKeeper_ModifyFriendA");
    return modify && modify(book_, entry, &record);
}

bool ContactBook::RegisterEvents(UINT_PTR user) const {
    vantor::UniqueModule keeper(Load(L"RostKeeper.dll"));
    auto reg = vantor::ProcAddress<PFN_RostKeeper_RegisterEventModule>(keeper.get(), "RostKeeper_RegisterEventModule");
    return reg && reg(book_, ownModule_, user);
}

void ContactBook::UnregisterEvents() const {
    vantor::UniqueModule keeper(Load(L"RostKeeper.dll"));
    auto unreg =
        vantor::ProcAddress<PFN_RostKeeper_UnregisterEventModule>(keeper.get(), "RostKeeper_UnregisterEventModule");
    if (unreg) unreg(book_, ownModule_);
}

}  // namespace chatdesk
