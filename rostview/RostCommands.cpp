#include "RostCommands.h"

#include <cstdio>

#include "RostMenus.h"
#include "Text.h"
#include "outside/OrderHub.h"

namespace rostview {

namespace {
std::wstring Format(const wchar_t* format, const std::wstring& a, const std::wstring& b = std::wstring()) {
    wchar_t text[256];
    _snwprintf(text, 255, format, a.c_str(), b.c_str());
    text[255] = 0;
    return text;
}

bool IsFriend(const ContactNode* node) {
    return node && (node->kind == Kind::TelephoneFriend || node->kind == Kind::NetworkFriend);
}
}  // namespace

PhoneRoute RoutePhone(bool has14, bool inUse14, bool has3, bool inUse3) {
    if (has14) return PhoneRoute{14, inUse14};
    if (has3) return PhoneRoute{3, inUse3};
    return PhoneRoute{};
}

bool CommandRunner::Phone(FriendHandle entry, int kind) {
    FriendInfoA info = {};
    book_.FriendA(entry, &info);
    FriendHandle account = book_.CurrentAccount();
    const char* field = kind == 1 ? info.voip : kind == 2 ? info.mobile : kind == 3 ? info.phone : info.xlt;
    std::wstring number = vantor::AnsiToWide(field, sizeof info.voip);
    ServicePolicyInfoA policy = {};
    bool has14 = book_.Policy(account, 14, &policy);
    bool inUse14 = has14 && policy.flags[SERVICE_POLICY_STATUS_FLAG] == 1;
    ServicePolicyInfoA policy3 = {};
    bool has3 = book_.Policy(account, 3, &policy3);
    bool inUse3 = has3 && policy3.flags[SERVICE_POLICY_STATUS_FLAG] == 1;
    PhoneRoute route = RoutePhone(has14, inUse14, has3, inUse3);
    if (route.target) {
        hub_.Command(ORDERHUB_PREPARE_TARGET, route.target);
        if (route.send) hub_.Action(route.target, kind, reinterpret_cast<INT_PTR>(number.c_str()));
    }
    static const wchar_t* const kLines[] = {L"给好友%s拨打宽带电话(%s)中\n", L"给好友%s拨打移动电话(%s)中\n",
                                             L"给好友%s拨打固定电话(%s)中\n", L"给好友%s拨打小灵通电话(%s)中\n"};
    Line(Format(kLines[kind - 1], vantor::AnsiToWide(FriendText(info)), number));
    return route.target != 0;
}

bool CommandRunner::ToPlug(PlugId target, int command, FriendHandle entry) {
    hub_.Command(ORDERHUB_PREPARE_TARGET, target);
    if (!book_.PolicyInUse(book_.CurrentAccount(), static_cast<DWORD>(target))) return false;
    hub_.Action(target, command, reinterpret_cast<INT_PTR>(entry));
    return true;
}

bool CommandRunner::Run(UINT id, const CommandItem& item) {
    ContactNode* node = item.node;
    if (!node) return false;
    Kind kind = node->kind;
    if (item.black) {
        if (kind != Kind::BlackUser) return false;
        if (id == CMD_REQUEST_FRIEND) {
            FriendInfoA info = {};
            book_.FriendA(node->Friend(), &info);
            if (!hub_.ActionThroughLoadedHub(PLUG_PRESENCE, 3, reinterpret_cast<INT_PTR>(&info))) {
                Line(L"载入命令中心OrderHub失败\n");
                return false;
            }
            return true;
        }
        if (id == CMD_DEL_BLACK_USER) {
            if (dialogs_.DelBlackUser(node->Friend())) return true;
            Line(L"不能删除好友，接口没有找到\n");
        }
        return false;
    }
    if (IsGroup(kind)) {
        switch (id) {
        case CMD_DEL_GROUP:
            if (item.root) return false;
            if (dialogs_.DelGroup(node->Group(), item.parentGroup)) return true;
            Line(L"不能删除组，接口没有找到\n");
            return false;
        case CMD_ADD_PHONE_FRIEND:
            if (kind != Kind::TelephoneGroup) return false;
            if (dialogs_.AddFriend(node->Group())) return true;
            Line(L"查询失败\n");
            return false;
        case CMD_SEARCH_USER:
            if (kind != Kind::NetworkGroup) return false;
            if (dialogs_.SearchUser()) return true;
            Line(L"查询失败\n");
            return false;
        }
        return false;
    }
    if (!IsFriend(node)) return false;
    FriendHandle entry = node->Friend();
    auto name = [&] {
        FriendInfoA info = {};
        book_.FriendA(entry, &info);
        return vantor::AnsiToWide(FriendText(info));
    };
    switch (id) {
    case CMD_VIDEO_CALL:
    case CMD_CALL_MOBILE:
    case CMD_CALL_PHONE:
    case CMD_CALL_XLT:
        return Phone(entry, static_cast<int>(id - CMD_VIDEO_CALL) + 1);
    case CMD_SHORT_MESSAGE: {
        bool sent = ToPlug(8, 1, entry);
        Line(Format(L"发送短信到好友%s中\n", name()));
        return sent;
    }
    case CMD_CHAT: {
        bool sent = ToPlug(PLUG_CHAT, 1, entry);
        Line(Format(L"和好友%s启动即时聊天的功能\n", name()));
        return sent;
    }
    case CMD_CHAT_RECORDS: {
        bool sent = ToPlug(PLUG_CHAT, 8, entry);
        Line(Format(L"察看好友%s的聊天纪录\n", name()));
        return sent;
    }
    case CMD_DEL_FRIEND:
        if (dialogs_.DelFriend(entry, item.parentGroup)) return true;
        Line(L"不能删除好友，接口没有找到\n");
        return false;
    case CMD_VIEW_FRIEND:
        // The details are those of the friend under the last menu; once that item went
        // there is nothing to show.
        if (!item.menuItemKnown) return false;
        if (dialogs_.ViewFriendInfo(entry, item.menuParentGroup)) return true;
        Line(L"RostDialogs中没有找到RostDialogs_ViewFriendInfo的接口\n");
        return false;
    case CMD_BLOCK_FRIEND: {
        if (kind != Kind::NetworkFriend) return false;
        Line(L"拖入黑名单\n");
        BlockRecord record = {entry, item.parentGroup};
        hub_.Action(PLUG_PRESENCE, 5, reinterpret_cast<INT_PTR>(&record));
        return true;
    }
    }
    return false;
}

bool CommandRunner::Move(const MoveRecord& record) {
    Line(L"移动用户到其它组\n");
    return dialogs_.MoveFriend(record.entry, record.oldGroup, record.newGroup);
}

}  // namespace rostview
