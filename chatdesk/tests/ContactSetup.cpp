#include "ContactSetup.h"

#include <cstring>

#include "ChildRun.h"
#include "ModulePath.h"
#include "RostBase.h"

namespace cdtest {

const char kOwnId[] = "10001";
const char kFriendId[] = "20002";
const char kOtherFriend[] = "20003";
const char kBlackListed[] = "30003";

namespace {

FriendInfoA Record(const char* id, const char* nickname) {
    FriendInfoA info = {};
    strcpy(info.id, id);
    strcpy(info.nickname, nickname);
    info.status.status = 1;
    return info;
}

ContactBook Build() {
    ContactBook book;
    // RostBase keeps the contact file beside itself: the child's own folder.
    HMODULE rostBase = vantor::LoadProgramLibrary(L"RostBase.dll");
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    if (!rostBase || !core) return book;
    auto load = vantor::ProcAddress<decltype(&RostBase_LoadA)>(rostBase, "RostBase_LoadA");
    auto setSelf = vantor::ProcAddress<decltype(&RostBase_SetCurrentAccountInfoA)>(rostBase, "RostBase_SetCurrentAccountInfoA");
    auto root = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rostBase, "RostBase_GetOnRootGroup");
    auto add = vantor::ProcAddress<decltype(&RostBase_AddFriendA)>(rostBase, "RostBase_AddFriendA");
    auto prevent = vantor::ProcAddress<decltype(&RostBase_PreventUser)>(rostBase, "RostBase_PreventUser");
    auto del = vantor::ProcAddress<decltype(&RostBase_DelFriend)>(rostBase, "RostBase_DelFriend");
    typedef void(WINAPI * SetStoreFn)(RostBaseHandle);
    auto setStore = vantor::ProcAddress<SetStoreFn>(core, "CoreStub_SetStore");
    if (!load || !setSelf || !root || !add || !prevent || !del || !setStore) return book;

    RostBaseHandle store = load(kOwnId);
    if (!store) return book;
    FriendInfoA self = Record(kOwnId, "me");
    self.status.publicIp = inet_addr(kClientAddress);
    setSelf(store, &self);
    GroupHandle friends = root(store);
    FriendInfoA lan = Record(kFriendId, "Lan");
    lan.status.publicIp = inet_addr(kPeerAddress);  // where its test peer listens
    book.friendEntry = add(store, &lan, friends);
    FriendInfoA other = Record(kOtherFriend, "");
    other.status.publicIp = inet_addr(kOtherPeerAddress);
    book.otherEntry = add(store, &other, friends);
    FriendInfoA black = Record(kBlackListed, "Black");
    prevent(store, add(store, &black, friends), friends);
    FriendInfoA gone = Record("40004", "Gone");
    book.staleEntry = add(store, &gone, friends);
    del(store, book.staleEntry, friends);
    setStore(store);
    return book;
}

}  // namespace

const ContactBook& Contacts() {
    static ContactBook book = Build();
    return book;
}

}  // namespace cdtest
