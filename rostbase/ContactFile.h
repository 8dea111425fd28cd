// The contact file "<RostBase folder>\<account>\rostledger.xml": the reader that fills a
// new store and the updates that carry each lasting change into the file.
//
// The updates work on copies of the store's data taken when the change was made, so no
// store lock is held while the file is read and written. Each returns true when the
// changed document was saved; nothing is ever created where no file exists.
#pragma once

#include <string>
#include <vector>

#include "Entries.h"

namespace rostbase {

// The folder RostBase.dll lives in (no trailing backslash); set once at load.
const std::wstring& ModuleDirectory();
void SetModuleDirectory(HMODULE module);
// "<module folder>\<account>\rostledger.xml"; empty when the path is beyond the system limit.
std::wstring ContactFilePath(const std::wstring& account);

// What the reader found, in file order.
struct LoadedContacts {
    LoadedContacts() = default;
    ~LoadedContacts();  // frees whatever is still in the lists
    LoadedContacts(const LoadedContacts&) = delete;
    LoadedContacts& operator=(const LoadedContacts&) = delete;

    bool usable = false;        // false: the store takes its default roots
    ContactGroup offRoot;       // id "10"
    ContactGroup onRoot;        // id "11"
    ContactGroup strangers;
    ContactGroup blackList;
};

// Reads the account's contact file. Groups and entries come back newly allocated, owned
// by the caller (the lists of `out`).
void XmlLoadContacts(const std::wstring& account, LoadedContacts* out);

struct GroupKey {
    std::wstring id;
    std::wstring name;
};

// A friend's contact data with its policies, as the updates need them.
struct FriendSnapshot {
    FriendData data;
    std::vector<ServicePolicyEntry> policies;
};

// The file updates. Each reads the file under its writer lock, changes it and saves it
// whole. False when the change should have reached the file and did not: the lock was not
// had within its wait, the file is there but cannot be read now (held by another program,
// bytes its encoding does not allow, not well-formed), a write into the document failed,
// or the save did. A missing file or element is no failure: the store's memory is the
// book then.
bool XmlAddFriend(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group);
bool XmlModifyFriend(const std::wstring& account, const FriendSnapshot& entry);
bool XmlWriteServicePolicies(const std::wstring& account, const FriendSnapshot& entry);
bool XmlModifyGroup(const std::wstring& account, const GroupKey& group);
bool XmlDelFriend(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group);
bool XmlAddGroup(const std::wstring& account, const GroupKey& group, const GroupKey& parent);
bool XmlDelGroup(const std::wstring& account, const GroupKey& group, const GroupKey& parent);
bool XmlPreventUser(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& group);
bool XmlDelBlackUser(const std::wstring& account, const FriendSnapshot& entry);
bool XmlChangeFriendGroup(const std::wstring& account, const FriendSnapshot& entry, const GroupKey& oldGroup,
                          const GroupKey& newGroup);

}  // namespace rostbase
