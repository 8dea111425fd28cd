#include "RostMenus.h"

#include "Text.h"

namespace rostview {

namespace {
MenuEntry Item(UINT id, const wchar_t* text, bool greyed = false) {
    MenuEntry entry;
    entry.id = id;
    entry.text = text;
    entry.greyed = greyed;
    return entry;
}
MenuEntry Separator() { return MenuEntry(); }

void AddGroups(TreeOps& tree, HTREEITEM group, Kind kind, GroupHandle current, std::vector<MoveTarget>* out) {
    ContactNode* node = tree.Node(group);
    if (!node || node->kind != kind) return;
    if (node->Group() != current) out->push_back(MoveTarget{node->Group(), tree.Text(group)});
    for (HTREEITEM child = tree.FirstChild(group); child; child = tree.Next(child)) {
        AddGroups(tree, child, kind, current, out);
    }
}
}  // namespace

MenuModel GroupMenu(Kind kind, bool root) {
    MenuModel menu;
    if (root) {
        menu.push_back(Item(CMD_NEW_GROUP, L"新建组"));
    } else {
        menu.push_back(Item(CMD_RENAME_GROUP, L"重命名"));
        menu.push_back(Item(CMD_DEL_GROUP, L"删除"));
    }
    menu.push_back(Separator());
    if (kind == Kind::TelephoneGroup) {
        menu.push_back(Item(CMD_ADD_PHONE_FRIEND, L"添加电话好友"));
    } else {
        menu.push_back(Item(CMD_SEARCH_USER, L"搜索网上好友"));
    }
    return menu;
}

MenuModel FriendMenu(const MenuFacts& facts, const std::vector<MoveTarget>& targets) {
    MenuModel menu;
    const FriendInfoA& info = facts.info;
    bool network = facts.kind == Kind::NetworkFriend;
    if (facts.accountPhone) {
        if (info.voip[0]) {
            menu.push_back(Item(CMD_VIDEO_CALL, L"拨打可视电话"));
            menu.push_back(Separator());
        }
        menu.push_back(Item(CMD_CALL_MOBILE, L"呼叫移动电话", !info.mobile[0]));
        menu.push_back(Item(CMD_CALL_PHONE, L"呼叫固定电话", !info.phone[0]));
        menu.push_back(Item(CMD_CALL_XLT, L"呼叫小灵通", !info.xlt[0]));
        menu.push_back(Separator());
    }
    if (facts.friendChatInUse && facts.accountChatInUse) menu.push_back(Item(CMD_CHAT, L"发送即时消息"));
    menu.push_back(Item(CMD_VIEW_FRIEND, L"查询详细信息"));
    menu.push_back(Separator());
    menu.push_back(Item(CMD_DEL_FRIEND, L"删除"));
    if (network) menu.push_back(Item(CMD_BLOCK_FRIEND, L"阻止并转入黑名单"));
    if (!targets.empty()) {
        menu.push_back(Separator());
        MenuEntry move;
        move.text = L"将好友移动到";
        for (size_t i = 0; i < targets.size(); ++i) {
            MenuEntry entry;
            entry.id = CMD_MOVE_FRIEND + static_cast<UINT>(i);
            entry.text = vantor::AnsiToWide(targets[i].name);
            move.submenu.push_back(entry);
        }
        menu.push_back(move);
    }
    if (facts.accountPhone) {
        menu.push_back(Separator());
        menu.push_back(Item(CMD_CALL_RECORDS, L"查看呼叫记录"));
    }
    if (network && facts.friendChatAny && facts.accountChatAny) {
        if (!facts.accountPhone) menu.push_back(Separator());
        menu.push_back(Item(CMD_CHAT_RECORDS, L"查看聊天记录"));
    }
    return menu;
}

MenuModel BlackMenu() { return MenuModel{Item(CMD_REQUEST_FRIEND, L"添加到好友列表"), Item(CMD_DEL_BLACK_USER, L"删除")}; }

std::vector<MoveTarget> MoveTargets(TreeOps& tree, HTREEITEM root, GroupHandle current) {
    std::vector<MoveTarget> out;
    ContactNode* node = root ? tree.Node(root) : nullptr;
    if (node && IsGroup(node->kind)) AddGroups(tree, root, node->kind, current, &out);
    return out;
}

int MoveIndex(UINT id, size_t listed) {
    if (id < CMD_MOVE_FRIEND) return -1;
    size_t index = id - CMD_MOVE_FRIEND;
    return index < listed ? static_cast<int>(index) : -1;
}

}  // namespace rostview
