// Contact and group actions, queries about other users, verification and status.
#include <winsock2.h>

#include "PsCore.h"
#include "PresenceCore.h"

#include <type_traits>

namespace ps {

namespace {

const long kMostUsers = 2000000000;

// Runs one action: post, then the reply walk. Actions that keep their relay messages
// even when refused walk after a failure too (the walk finds nodes only when the
// envelope was read).
PsResult RunAction(Form form, const char* action, const std::string& params, bool walkAfterFailure,
                   const CellHandler& handler = CellHandler()) {
    Reply reply;
    PsResult r = PsRequest(reply, form, action, params);
    if (r == PS_OK) {
        WalkReplyCells(reply, handler);
    } else if (walkAfterFailure) {
        // Nothing of a failed reply is copied into the caller's records.
        WalkReplyCells(reply, CellHandler());
    }
    return r;
}

template <typename Record>
void AddContactSet(FormText& form, const Record& info, bool all) {
    form.Add("customer_name", Field(info.nickname));
    form.AddNumber("gender", info.sex);
    const struct { const char* key; std::string value; } optional[] = {
        {"birthday", Field(info.birthday)}, {"mobile", Field(info.mobile)}, {"email", Field(info.email)},
        {"phone", Field(info.phone)},       {"voip_number", Field(info.voip)}, {"xiaolingtong", Field(info.xlt)}};
    for (const auto& pair : optional)
        if (all || !pair.value.empty()) form.Add(pair.key, pair.value);
}

template <typename Record, typename Text>
PsResult AddOffFriend(Record* info, const Text* groupId) {
    if (!info) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("group_id", Ansi(groupId));
    AddContactSet(form, *info, false);
    bool idFits = true;
    PsResult r = RunAction(FormOf<Text>(), "AddFriend2PS", form.Text(), false, [&](const Cell& cell, const XmlNode&) {
        if (SameName(cell.name, L"id")) idFits = PutId(info->id, cell.text) && idFits;
        return true;
    });
    // The friend exists on the server under an id the caller cannot hold: not a success.
    return r == PS_OK && !idFits ? PS_NO_ENVELOPE : r;
}

template <typename Record, typename Text>
PsResult AddOnFriend(Record* info, const Text* groupId) {
    if (!info) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("id", Field(info->id));
    form.Add("group_id", Ansi(groupId));
    AddContactSet(form, *info, false);
    return RunAction(FormOf<Text>(), "AddHWFriend2PS", form.Text(), true);
}

template <typename Record, typename Text>
PsResult ModifyFriendInfo(Record* info, const Text* groupId) {
    if (!info) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("id", Field(info->id));
    form.Add("group_id", Ansi(groupId));
    AddContactSet(form, *info, true);
    return RunAction(FormOf<Text>(), "ModFriendInf2PS", form.Text(), true);
}

template <typename Group, typename Text>
PsResult AddGroup(Group* group, const Text* parentId, const wchar_t* idCell) {
    if (!group) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("GroupName", Field(group->name));
    form.Add("ParGroupID", Ansi(parentId));
    bool idFits = true;
    PsResult r = RunAction(FormOf<Text>(), "AddNewGroup", form.Text(), false, [&](const Cell& cell, const XmlNode&) {
        if (SameName(cell.name, idCell)) idFits = PutId(group->id, cell.text) && idFits;
        return true;
    });
    return r == PS_OK && !idFits ? PS_NO_ENVELOPE : r;
}

template <typename Group>
PsResult ModifyGroupInfo(Group* group) {
    using Text = typename std::remove_reference<decltype(group->id[0])>::type;
    if (!group) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("GroupID", Field(group->id));
    form.Add("NewGroupName", Field(group->name));
    return RunAction(FormOf<Text>(), "RenameGroup", form.Text(), true);
}

template <typename Text>
PsResult MoveFriend(const Text* friendId, const Text* groupId, int proxyFlag) {
    FormText form;
    form.Add("friendID", Ansi(friendId)).Add("GroupID", Ansi(groupId)).Add("proxyflag", proxyFlag ? "1" : "0");
    return RunAction(FormOf<Text>(), "ChangeGroup", form.Text(), true);
}

template <typename Text>
PsResult DelBlackUser(const Text* friendId, const Text* proxyFlag) {
    FormText form;
    form.Add("FriendID", Ansi(friendId)).Add("proxyflag", Ansi(proxyFlag));
    return RunAction(FormOf<Text>(), "DeleteBlackUser", form.Text(), true);
}

template <typename Text>
PsResult DelGroup(const Text* groupId) {
    FormText form;
    form.Add("GroupID", Ansi(groupId)).Add("proxyflag", "0");
    return RunAction(FormOf<Text>(), "DeleteGroup", form.Text(), true);
}

template <typename Text>
PsResult DelFriend(const Text* friendId, const Text* proxyFlag) {
    FormText form;
    form.Add("id", Ansi(friendId)).Add("proxyflag", Ansi(proxyFlag));
    return RunAction(FormOf<Text>(), "DelFriend2PS", form.Text(), true);
}

template <typename Record, typename Text>
PsResult GetFriendInfo(const Text* friendId, Record* info) {
    if (!info) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("id", Ansi(friendId));
    return RunAction(FormOf<Text>(), "GetFriendInf2PS", form.Text(), false, [&](const Cell& cell, const XmlNode&) {
        const std::wstring& v = cell.text;
        if (SameName(cell.name, L"id")) PutId(info->id, v);
        else if (SameName(cell.name, L"customer-name")) PutText(info->nickname, v);
        else if (SameName(cell.name, L"gender")) info->sex = static_cast<SHORT>(_wtoi(v.c_str()));
        else if (SameName(cell.name, L"birthday")) PutText(info->birthday, v);
        else if (SameName(cell.name, L"mobile")) PutText(info->mobile, v);
        else if (SameName(cell.name, L"email")) PutText(info->email, v);
        else if (SameName(cell.name, L"phone")) PutText(info->phone, v);
        else if (SameName(cell.name, L"voip-number")) PutText(info->voip, v);
        else if (SameName(cell.name, L"xiaolingtong")) PutText(info->xlt, v);
        return true;
    });
}

template <typename Record, typename Text>
PsResult GetFriendIp(const Text* friendId, Record* info) {
    if (!info) return PS_NO_ENVELOPE;
    FormText form;
    form.Add("linkertype", "client").Add("target_id", Ansi(friendId));
    // The id is read before the post: callers pass one record as both arguments.
    FriendStatus status = info->status;
    PsResult r = RunAction(FormOf<Text>(), "GetFriendIP", form.Text(), false, [&](const Cell& cell, const XmlNode&) {
        const std::wstring& v = cell.text;
        if (SameName(cell.name, L"statuscode")) status.status = static_cast<WORD>(_wtoi(v.c_str()));
        else if (SameName(cell.name, L"localip")) status.localIp = ParseIPv4Address(v);
        else if (SameName(cell.name, L"localport")) status.localPort = static_cast<WORD>(_wtoi(v.c_str()));
        else if (SameName(cell.name, L"ip")) status.publicIp = ParseIPv4Address(v);
        else if (SameName(cell.name, L"port")) status.publicPort = static_cast<WORD>(_wtoi(v.c_str()));
        return true;
    });
    if (r == PS_OK) info->status = status;
    return r;
}

template <typename Text>
PsResult SendRequestValid(const Text* targetId, const Text* requestText, bool walkAfterFailure) {
    FormText form;
    form.Add("target_id", Ansi(targetId));
    if (requestText) form.Add("request_inf", Ansi(requestText));
    return RunAction(FormOf<Text>(), "SendRequestValidFriend2PS", form.Text(), walkAfterFailure);
}

template <typename Text>
PsResult SendResponseValid(const Text* targetId, int responseCode, int proxyFlag) {
    FormText form;
    form.Add("target_id", Ansi(targetId)).AddNumber("response_code", responseCode).Add("proxyflag", proxyFlag ? "1" : "0");
    return RunAction(FormOf<Text>(), "SendResponseValidFriend2PS", form.Text(), true);
}

template <typename Text>
PsResult UpdateStatus(int type, const Text* value, const Text* friendIds, int proxyFlag) {
    FormText form;
    form.AddNumber("type", type).Add("value", Ansi(value)).AddNumber("proxyflag", proxyFlag);
    form.Add("friend-id", Ansi(friendIds));
    return RunAction(FormOf<Text>(), "UpdateUserStatus", form.Text(), true);
}

}  // namespace

}  // namespace ps

using namespace ps;

#define PS_EXPORT extern "C" int __stdcall

PS_EXPORT PS_Cco_AddOffFriendA(FriendInfoA* info, const char* groupId) { return Guard([&] { return AddOffFriend(info, groupId); }); }
PS_EXPORT PS_Cco_AddOffFriendW(FriendInfoW* info, const wchar_t* groupId) { return Guard([&] { return AddOffFriend(info, groupId); }); }
PS_EXPORT PS_Cco_AddOnFriendA(FriendInfoA* info, const char* groupId) { return Guard([&] { return AddOnFriend(info, groupId); }); }
PS_EXPORT PS_Cco_AddOnFriendW(FriendInfoW* info, const wchar_t* groupId) { return Guard([&] { return AddOnFriend(info, groupId); }); }
PS_EXPORT PS_Cco_AddGroupA(GroupInfoA* group, const char* parentId) { return Guard([&] { return AddGroup(group, parentId, L"groupid"); }); }
PS_EXPORT PS_Cco_AddGroupW(GroupInfoW* group, const wchar_t* parentId) { return Guard([&] { return AddGroup(group, parentId, L"id"); }); }
PS_EXPORT PS_Cco_MoveFriendA(const char* friendId, const char* groupId, int proxyFlag) { return Guard([&] { return MoveFriend(friendId, groupId, proxyFlag); }); }
PS_EXPORT PS_Cco_MoveFriendW(const wchar_t* friendId, const wchar_t* groupId, int proxyFlag) { return Guard([&] { return MoveFriend(friendId, groupId, proxyFlag); }); }
PS_EXPORT PS_Cco_DelBlackUserA(const char* friendId, const char* proxyFlag) { return Guard([&] { return DelBlackUser(friendId, proxyFlag); }); }
PS_EXPORT PS_Cco_DelBlackUserW(const wchar_t* friendId, const wchar_t* proxyFlag) { return Guard([&] { return DelBlackUser(friendId, proxyFlag); }); }
PS_EXPORT PS_Cco_DelGroupA(const char* groupId) { return Guard([&] { return DelGroup(groupId); }); }
PS_EXPORT PS_Cco_DelGroupW(const wchar_t* groupId) { return Guard([&] { return DelGroup(groupId); }); }
PS_EXPORT PS_Cco_DelFriendA(const char* friendId, const char* proxyFlag) { return Guard([&] { return DelFriend(friendId, proxyFlag); }); }
PS_EXPORT PS_Cco_DelFriendW(const wchar_t* friendId, const wchar_t* proxyFlag) { return Guard([&] { return DelFriend(friendId, proxyFlag); }); }
PS_EXPORT PS_Cco_ModifyFriendInfoA(FriendInfoA* info, const char* groupId) { return Guard([&] { return ModifyFriendInfo(info, groupId); }); }
PS_EXPORT PS_Cco_ModifyFriendInfoW(FriendInfoW* info, const wchar_t* groupId) { return Guard([&] { return ModifyFriendInfo(info, groupId); }); }
PS_EXPORT PS_Cco_ModifyGroupInfoA(GroupInfoA* group) { return Guard([&] { return ModifyGroupInfo(group); }); }
PS_EXPORT PS_Cco_ModifyGroupInfoW(GroupInfoW* group) { return Guard([&] { return ModifyGroupInfo(group); }); }
PS_EXPORT PS_Cco_GetFriendInfoA(const char* friendId, FriendInfoA* info) { return Guard([&] { return GetFriendInfo(friendId, info); }); }
PS_EXPORT PS_Cco_GetFriendInfoW(const wchar_t* friendId, FriendInfoW* info) { return Guard([&] { return GetFriendInfo(friendId, info); }); }
PS_EXPORT PS_Cco_GetFriendIpA(const char* friendId, FriendInfoA* info) { return Guard([&] { return GetFriendIp(friendId, info); }); }
PS_EXPORT PS_Cco_GetFriendIpW(const wchar_t* friendId, FriendInfoW* info) { return Guard([&] { return GetFriendIp(friendId, info); }); }

PS_EXPORT PS_Cco_GetOnlineCount(LONG* count) {
    return Guard([&] {
        LONG value = 0;
        bool seen = false;
        PsResult r = RunAction(Form::Ansi, "GetOnlineUserCount", std::string(), false, [&](const Cell& cell, const XmlNode&) {
            // A count below 0 or beyond any user base is no count.
            long parsed = 0;
            if (SameName(cell.name, L"onlineusercount") && ParseNumberInRange(cell.text, 0, kMostUsers, &parsed)) {
                value = parsed;
                seen = true;
            }
            return true;
        });
        if (r == PS_OK && seen && count) *count = value;
        return r;
    });
}

PS_EXPORT PS_Cco_SendRequestValidA(const char* targetId, const char* requestText) { return Guard([&] { return SendRequestValid(targetId, requestText, true); }); }
PS_EXPORT PS_Cco_SendRequestValidW(const wchar_t* targetId, const wchar_t* requestText) { return Guard([&] { return SendRequestValid(targetId, requestText, false); }); }
PS_EXPORT PS_Cco_SendResponseValidA(const char* targetId, int responseCode, UINT_PTR, int proxyFlag) { return Guard([&] { return SendResponseValid(targetId, responseCode, proxyFlag); }); }
PS_EXPORT PS_Cco_SendResponseValidW(const wchar_t* targetId, int responseCode, UINT_PTR, int proxyFlag) { return Guard([&] { return SendResponseValid(targetId, responseCode, proxyFlag); }); }
PS_EXPORT PS_Cco_UpdateStatusA(int type, const char* value, const char* friendIds, int proxyFlag) { return Guard([&] { return UpdateStatus(type, value, friendIds, proxyFlag); }); }
PS_EXPORT PS_Cco_UpdateStatusW(int type, const wchar_t* value, const wchar_t* friendIds, int proxyFlag) { return Guard([&] { return UpdateStatus(type, value, friendIds, proxyFlag); }); }
