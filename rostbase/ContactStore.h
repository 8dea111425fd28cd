// One account's contact book in memory.
//
// Callers come from user-interface and worker threads at once, so every list is guarded
// by the store's lock. No lock is held while a walk procedure or an AddressCallback export
// runs (those may call back into the store, or wait for a thread that does); entries and
// groups taken out for good while such a call runs are freed only once none is running,
// so every handle a procedure or callback can see stays readable for its duration.
#pragma once

#include <windows.h>
#include <atomic>
#include <string>
#include <unordered_set>
#include <vector>

#include "ContactFile.h"
#include "ContactRecords.h"
#include "Entries.h"
#include "Sync.h"

namespace rostbase {

struct EventModule {
    HMODULE module;
    UINT_PTR userValue;
};

class ContactStore {
public:
    ContactStore();
    virtual ~ContactStore();
    ContactStore(const ContactStore&) = delete;
    ContactStore& operator=(const ContactStore&) = delete;

    static ContactStore* From(RostBaseHandle h) { return reinterpret_cast<ContactStore*>(h); }
    RostBaseHandle Handle() { return reinterpret_cast<RostBaseHandle>(this); }
    static FriendHandle Handle(FriendEntry* e) { return reinterpret_cast<FriendHandle>(e); }
    static GroupHandle Handle(ContactGroup* g) { return reinterpret_cast<GroupHandle>(g); }

    // Empties the store, keeps the account and reads its contact file.
    void Load(const std::wstring& account);

    // --- current account
    template <typename Rec> BOOL SetCurrentAccount(const Rec& info);
    FriendHandle CurrentAccount() { return Handle(current_); }

    // --- queries
    template <typename Rec> BOOL GetFriendInfo(FriendHandle entry, Rec* out);
    template <typename Rec> BOOL GetGroupInfo(GroupHandle group, Rec* out);
    GroupHandle OffRoot() { return Handle(&offRoot_); }
    GroupHandle OnRoot() { return Handle(&onRoot_); }
    BOOL EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user);
    BOOL EnumFriends(FriendEnumProc proc, DWORD mask, const wchar_t* key, UINT_PTR user);
    BOOL EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user);
    BOOL EnumBlackList(FriendEnumProc proc, UINT_PTR user);
    BOOL IsUserInBlackList(const wchar_t* id);
    BOOL IsCodeInBlackListUser(DWORD mask, const wchar_t* key);
    FriendHandle IsUserInFriends(const wchar_t* id, GroupHandle* group);
    BOOL StatFriends(GroupHandle group, DWORD* total, DWORD* online);
    DWORD GetOnlineCount(DWORD* second);
    BOOL IsGroupNameExists(GroupHandle parent, const std::wstring& name);

    // --- changes
    FriendHandle AddFriend(const FriendData& data, GroupHandle group);
    BOOL DelFriend(FriendHandle entry, GroupHandle group);
    BOOL ChangeFriendGroup(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup);
    BOOL PreventUser(FriendHandle entry, GroupHandle group);
    BOOL DelUserFromBlackList(FriendHandle entry);
    BOOL DelBlackUser(const wchar_t* id);
    BOOL AddGroup(const ContactGroup& info, GroupHandle parent);
    BOOL DelGroup(GroupHandle group, GroupHandle parent);
    BOOL AddStranger(FriendHandle entry, GroupHandle group);
    // The A forms compare the stored id converted to 8 bits with the record's id bytes.
    BOOL ModifyFriend(FriendHandle entry, const FriendData& data, const std::string* ansiId);
    BOOL ModifyGroup(GroupHandle group, const ContactGroup& info, const std::string* ansiId);
    BOOL RegisterEventModule(HMODULE module, UINT_PTR user);
    BOOL UnregisterEventModule(HMODULE module);
    BOOL UpdateFriendStatus(FriendHandle entry, const FriendStatus& status, DWORD notify);
    BOOL UpdateSelfStatus(const FriendStatus* status);
    BOOL RefreshFriendStatus(DWORD flags);
    BOOL SetOnlineCount(DWORD first, DWORD second);

    // --- service policies, boards, subjects
    template <typename Rec> BOOL AddServicePolicies(FriendHandle entry, const Rec* records, DWORD count, DWORD save);
    template <typename Rec> BOOL QueryPolicy(FriendHandle entry, DWORD id, Rec* out);
    template <typename Rec> BOOL GetPolicies(FriendHandle entry, Rec* records, DWORD* count);
    template <typename Rec> BOOL UpdatePolicyData(DWORD id, const Rec& info);
    template <typename Rec> BOOL AppendBoard(FriendHandle entry, const Rec& info);
    template <typename Rec> BOOL GetBoards(FriendHandle entry, Rec* records, DWORD* count);
    template <typename Rec> BOOL UpdateBoard(FriendHandle entry, const Rec& info);
    template <typename Rec> BOOL AppendSubject(FriendHandle entry, const wchar_t* boardId, const Rec& info);
    template <typename Rec>
    BOOL GetSubjects(FriendHandle entry, const wchar_t* boardId, Rec* records, DWORD* count);
    template <typename BoardRec, typename Rec>
    BOOL UpdateSubject(FriendHandle entry, const BoardRec& board, const Rec& info);

private:
    class Busy;
    // The callback names of AddressCallback.h; each fires with its own arguments, to the
    // modules registered when the change was made that are registered still.
    template <typename Fn, typename... Args>
    void Fire(const std::vector<EventModule>& modules, const char* name, Args... args);
    template <typename Find, typename Rec> BOOL CopyOut(Find find, Rec* out);
    template <typename Item, typename Collect, typename Call> BOOL Walk(Collect collect, bool haveProc, Call call);
    // One list of a live friend (its policies, its boards) into records.
    template <typename Item, typename Rec>
    BOOL FillFromFriend(FriendHandle entry, std::vector<Item> FriendEntry::*list, Rec* records, DWORD* count);
    // One lasting change, all of it under the file lock: check() under the lock (false:
    // refused, nothing changed), file() with no store lock, then, only when the file took
    // the change (or has nothing of it), apply() under the lock, which cannot fail;
    // notify(modules) last, with no lock held. A change the file did not take is answered
    // as not done and is not made.
    template <typename Check, typename File, typename Apply, typename Notify>
    BOOL Change(Check check, File file, Apply apply, Notify notify);
    // Whether an entry may move between lists: not when it is not in `from`, or when `to`
    // (once the entry has left its place) holds it or its id; a move refused for that
    // second reason puts the entry back at the end of `from`. Room is made in `to`, so
    // Move() cannot fail. Lock held.
    bool CanMove(FriendEntry* e, ContactGroup* from, ContactGroup* to);
    void Move(FriendEntry* e, ContactGroup* from, ContactGroup* to);

    // Lock held by the caller for all of these.
    FriendEntry* LiveFriend(FriendHandle h, bool forChange = true);
    ContactGroup* LiveGroup(GroupHandle h, bool forChange = true);
    FriendEntry* EntryOrCurrent(FriendHandle h);
    void Adopt(ContactGroup* group);
    void Disown(ContactGroup* group);
    void ClearGroup(ContactGroup& group);
    void RetireFriend(FriendEntry* e);
    void RetireGroup(ContactGroup* g);
    // Room in the pending lists for a whole group, so retiring it cannot fail half way.
    void ReserveRetired(const ContactGroup* g);
    void FreePending();
    void DefaultRoots();
    FriendSnapshot Snapshot(const FriendEntry& e, bool withPolicies = false) const;

    ContactGroup offRoot_;
    ContactGroup onRoot_;
    ContactGroup strangers_;
    ContactGroup blackList_;
    std::wstring account_;
    std::vector<EventModule> modules_;
    FriendEntry* current_;
    DWORD onlineFirst_ = 0;
    DWORD onlineSecond_ = 0;

    vantor::CriticalSection lock_;
    // Orders the file updates like the memory changes they follow.
    vantor::CriticalSection fileLock_;
    std::unordered_set<const void*> liveFriends_;
    std::unordered_set<const void*> liveGroups_;
    int busy_ = 0;
    // Counts what was taken out for good (changed with the lock held), so that a walk
    // knows without the lock whether an item it listed may have gone since.
    std::atomic<unsigned> retirements_{0};
    std::vector<FriendEntry*> pendingFriends_;
    std::vector<ContactGroup*> pendingGroups_;
};

}  // namespace rostbase
