// RostLedger and RostKeeper over a real contact store, with a stand-in ClientCore that
// hands the store out as after sign-in and takes it back as at sign-off.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ContactRecords.h"
#include "Handles.h"
#include "ModulePath.h"
#include "TestSupport.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"

namespace {

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return vantor::ProcAddress<Fn>(module, name);
}

typedef void(WINAPI* SetStoreFn)(RostBaseHandle);
typedef LONG(WINAPI* EventsFn)(UINT_PTR*);

BOOL CALLBACK CollectGroups(GroupHandle group, GroupHandle, UINT_PTR user) {
    reinterpret_cast<std::vector<GroupHandle>*>(user)->push_back(group);
    return TRUE;
}

TEST(ContactFacades, ReachTheSignedInStoreAndAnswerZeroWithoutOne) {
    // RostBase keeps its files beside itself: run a copy from a folder of the test's own.
    std::wstring dir = testkit::FreshDir(L"facades");
    ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + L"RostBase.dll").c_str(), (dir + L"RostBase.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + L"CoreStub.dll").c_str(), (dir + L"ClientCore.dll").c_str(), FALSE));
    vantor::UniqueModule rostBase(LoadLibraryW((dir + L"RostBase.dll").c_str()));
    vantor::UniqueModule core(LoadLibraryW((dir + L"ClientCore.dll").c_str()));
    vantor::UniqueModule ledger(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    vantor::UniqueModule keeper(vantor::LoadProgramLibrary(L"RostKeeper.dll"));
    ASSERT_TRUE(rostBase && core && ledger && keeper);

    typedef RostBaseHandle(WINAPI * LoadFn)(const char*);
    typedef BOOL(WINAPI * UnloadFn)(RostBaseHandle);
    typedef BOOL(WINAPI * SetAccountFn)(RostBaseHandle, const FriendInfoA*);
    typedef FriendHandle(WINAPI * CurrentFn)(RostBaseHandle);
    typedef DWORD(WINAPI * OnlineFn)(RostBaseHandle, DWORD*);
    RostBaseHandle store = Proc<LoadFn>(rostBase.get(), "RostBase_LoadA")("10001");
    ASSERT_NE(nullptr, store);
    FriendInfoA self = {};
    strcpy(self.id, "10001");
    strcpy(self.nickname, "me");
    ASSERT_TRUE(Proc<SetAccountFn>(rostBase.get(), "RostBase_SetCurrentAccountInfoA")(store, &self));
    auto setStore = Proc<SetStoreFn>(core.get(), "CoreStub_SetStore");
    setStore(store);

    const HostContext book = 1;
    auto currentAccount = Proc<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    FriendHandle account = currentAccount(book);
    EXPECT_NE(nullptr, account);
    EXPECT_EQ(Proc<CurrentFn>(rostBase.get(), "RostBase_GetCurrentAccount")(store), account);
    EXPECT_EQ(nullptr, currentAccount(0)) << "a null contact book finds nothing";

    // A change through RostKeeper is seen by the next RostLedger read and announced.
    auto registerModule =
        Proc<PFN_RostKeeper_RegisterEventModule>(keeper.get(), "RostKeeper_RegisterEventModule");
    ASSERT_TRUE(registerModule(book, core.get(), 0x5150));
    GroupHandle root = Proc<PFN_RostLedger_GetOffRootGroup>(ledger.get(), "RostLedger_GetOffRootGroup")(book);
    ASSERT_NE(nullptr, root);
    GroupInfoA family = {};
    strcpy(family.id, "100");
    strcpy(family.name, "Family");
    ASSERT_TRUE(Proc<PFN_RostKeeper_AddGroupA>(keeper.get(), "RostKeeper_AddGroupA")(book, &family, root));
    EXPECT_TRUE(Proc<PFN_RostLedger_IsGroupNameExistsA>(ledger.get(), "RostLedger_IsGroupNameExistsA")(
        book, root, "Family"));
    std::vector<GroupHandle> groups;
    ASSERT_TRUE(Proc<PFN_RostLedger_EnumGroup>(ledger.get(), "RostLedger_EnumGroup")(
        book, 1, CollectGroups, reinterpret_cast<UINT_PTR>(&groups)));
    ASSERT_EQ(2u, groups.size());
    EXPECT_EQ(root, groups[0]);

    FriendInfoA pal = {};
    strcpy(pal.id, "20002");
    strcpy(pal.nickname, "pal");
    FriendHandle friendEntry =
        Proc<PFN_RostKeeper_AddFriendA>(keeper.get(), "RostKeeper_AddFriendA")(book, &pal, groups[1]);
    ASSERT_NE(nullptr, friendEntry);
    UINT_PTR lastUser = 0;
    EXPECT_GE(Proc<EventsFn>(core.get(), "CoreStub_Events")(&lastUser), 1);
    EXPECT_EQ(0x5150u, lastUser);
    GroupHandle holder = nullptr;
    EXPECT_EQ(friendEntry, Proc<PFN_RostLedger_IsUserInFriendsA>(ledger.get(), "RostLedger_IsUserInFriendsA")(
                               book, "20002", &holder));
    EXPECT_EQ(groups[1], holder);
    FriendInfoA read = {};
    ASSERT_TRUE(Proc<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA")(book, friendEntry,
                                                                                              &read));
    EXPECT_STREQ("pal", read.nickname);

    // The unnamed ordinal 24 stores the online count.
    auto setOnline = Proc<PFN_RostKeeper_SetOnlineCount>(keeper.get(), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, setOnline);
    EXPECT_TRUE(setOnline(book, 17, 0));
    DWORD second = 99;
    EXPECT_EQ(17u, Proc<OnlineFn>(rostBase.get(), "RostBase_GetOnlineCount")(store, &second));

    // Sign-off: the store goes away; every facade call now answers 0 and touches nothing.
    setStore(nullptr);
    Proc<UnloadFn>(rostBase.get(), "RostBase_Unload")(store);
    EXPECT_EQ(nullptr, currentAccount(book));
    FriendInfoA untouched;
    memset(&untouched, 0x33, sizeof(untouched));
    EXPECT_FALSE(Proc<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA")(book, friendEntry,
                                                                                               &untouched));
    EXPECT_EQ(0x33, static_cast<unsigned char>(untouched.id[0]));
    EXPECT_EQ(nullptr, Proc<PFN_RostKeeper_AddFriendA>(keeper.get(), "RostKeeper_AddFriendA")(book, &pal, root));
    EXPECT_FALSE(Proc<PFN_RostKeeper_ModifyFriendA>(keeper.get(), "RostKeeper_ModifyFriendA")(book, friendEntry,
                                                                                             &pal));
    EXPECT_FALSE(registerModule(book, core.get(), 1));

    // Without ClientCore at all, nothing is found either.
    core.reset();
    EXPECT_EQ(nullptr, currentAccount(book));
}

// The libraries of one sign-in: RostBase and the ClientCore stand-in copied into a folder
// of their own, loaded, with a signed-in store handed to ClientCore.
struct SignIn {
    vantor::UniqueModule rostBase, core;
    RostBaseHandle store = nullptr;

    SignIn(const wchar_t* folder, const char* account) {
        std::wstring dir = testkit::FreshDir(folder);
        CopyFileW((testkit::ProgramDir() + L"RostBase.dll").c_str(), (dir + L"RostBase.dll").c_str(), FALSE);
        CopyFileW((testkit::ProgramDir() + L"CoreStub.dll").c_str(), (dir + L"ClientCore.dll").c_str(), FALSE);
        rostBase.reset(LoadLibraryW((dir + L"RostBase.dll").c_str()));
        core.reset(LoadLibraryW((dir + L"ClientCore.dll").c_str()));
        if (!rostBase || !core) return;
        typedef RostBaseHandle(WINAPI * LoadFn)(const char*);
        typedef BOOL(WINAPI * SetAccountFn)(RostBaseHandle, const FriendInfoA*);
        store = Proc<LoadFn>(rostBase.get(), "RostBase_LoadA")(account);
        FriendInfoA self = {};
        strcpy(self.id, account);
        Proc<SetAccountFn>(rostBase.get(), "RostBase_SetCurrentAccountInfoA")(store, &self);
        Proc<SetStoreFn>(core.get(), "CoreStub_SetStore")(store);
    }
    ~SignIn() {
        if (!core) return;
        Proc<SetStoreFn>(core.get(), "CoreStub_SetStore")(nullptr);
        typedef BOOL(WINAPI * UnloadFn)(RostBaseHandle);
        if (store) Proc<UnloadFn>(rostBase.get(), "RostBase_Unload")(store);
    }
};

TEST(ContactFacades, FollowTheLibrariesOfEachSignIn) {
    // The facades stay loaded while RostBase and ClientCore go and come back from another
    // folder: each call reaches the libraries loaded now.
    vantor::UniqueModule ledger(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    auto getFriend = Proc<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    auto current = Proc<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    ASSERT_TRUE(getFriend && current);
    const HostContext book = 1;
    for (const char* account : {"30001", "30002", "30003"}) {
        std::wstring folder = L"facades_" + std::wstring(account, account + 5);
        SignIn signIn(folder.c_str(), account);
        ASSERT_NE(nullptr, signIn.store);
        FriendHandle self = current(book);
        ASSERT_NE(nullptr, self);
        FriendInfoA read = {};
        ASSERT_TRUE(getFriend(book, self, &read));
        EXPECT_STREQ(account, read.id);
    }
    EXPECT_EQ(nullptr, current(book)) << "signed off";
}

}  // namespace
