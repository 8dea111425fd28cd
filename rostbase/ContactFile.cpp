#include "ContactFile.h"

namespace rostbase {

void XmlLoadContacts(const std::wstring& account, LoadedContacts* out) { out->usable = false; }

bool XmlAddFriend(const std::wstring&, const FriendSnapshot&, const GroupKey&) { return false; }
bool XmlModifyFriend(const std::wstring&, const FriendSnapshot&) { return false; }
bool XmlWriteServicePolicies(const std::wstring&, const FriendSnapshot&) { return false; }
bool XmlModifyGroup(const std::wstring&, const GroupKey&) { return false; }
bool XmlDelFriend(const std::wstring&, const FriendSnapshot&, const GroupKey&) { return false; }
bool XmlAddGroup(const std::wstring&, const GroupKey&, const GroupKey&) { return false; }
bool XmlDelGroup(const std::wstring&, const GroupKey&, const GroupKey&) { return false; }
bool XmlPreventUser(const std::wstring&, const FriendSnapshot&, const GroupKey&) { return false; }
bool XmlDelBlackUser(const std::wstring&, const FriendSnapshot&) { return false; }
bool XmlChangeFriendGroup(const std::wstring&, const FriendSnapshot&, const GroupKey&, const GroupKey&) {
    return false;
}

}  // namespace rostbase
