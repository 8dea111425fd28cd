// The pane's context menus, its commands, the click on a tree and group label editing.
#include <windowsx.h>

#include "FrontCalls.h"
#include "GroupEdit.h"
#include "RostViewPane.h"
#include "Text.h"

namespace rostview {

namespace {
const UINT kOnItem = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON;

HTREEITEM HitItem(HWND tree, POINT screen, UINT* flags) {
    TVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(tree, &hit.pt);
    HTREEITEM item = TreeView_HitTest(tree, &hit);
    *flags = hit.flags;
    return item;
}

HMENU BuildMenu(const MenuModel& model) {
    HMENU menu = CreatePopupMenu();
    for (const MenuEntry& entry : model) {
        if (entry.Separator()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else if (!entry.submenu.empty()) {
            AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildMenu(entry.submenu)), entry.text.c_str());
        } else {
            AppendMenuW(menu, MF_STRING | (entry.greyed ? MF_GRAYED : 0), entry.id, entry.text.c_str());
        }
    }
    return menu;
}
}  // namespace

bool RostViewPane::InTree(TreeOps& tree, HTREEITEM item) {
    if (!item) return false;
    // A walk rather than asking the control about the handle: a handle of an item
    // already deleted must not be given to it.
    std::vector<HTREEITEM> pending;
    for (HTREEITEM top = tree.FirstChild(nullptr); top; top = tree.Next(top)) pending.push_back(top);
    while (!pending.empty()) {
        HTREEITEM at = pending.back();
        pending.pop_back();
        if (at == item) return true;
        for (HTREEITEM child = tree.FirstChild(at); child; child = tree.Next(child)) pending.push_back(child);
    }
    return false;
}

GroupHandle RostViewPane::ParentGroup(TreeOps& tree, HTREEITEM item) {
    HTREEITEM parent = item ? tree.Parent(item) : nullptr;
    ContactNode* node = parent ? tree.Node(parent) : nullptr;
    return node && IsGroup(node->kind) ? node->Group() : nullptr;
}

MenuFacts RostViewPane::FactsOf(ContactNode* node) {
    LedgerBook book(book_);
    MenuFacts facts;
    facts.kind = node->kind;
    book.FriendA(node->Friend(), &facts.info);
    FriendHandle account = book.CurrentAccount();
    ServicePolicyInfoA policy = {};
    facts.accountPhone = book.Policy(account, 14, &policy) || book.Policy(account, 3, &policy);
    ServicePolicyInfoA chat = {};
    facts.accountChatAny = book.Policy(account, 9, &chat);
    facts.accountChatInUse = facts.accountChatAny && chat.flags[SERVICE_POLICY_STATUS_FLAG] == 1;
    ServicePolicyInfoA friendChat = {};
    facts.friendChatAny = book.Policy(node->Friend(), 9, &friendChat);
    facts.friendChatInUse = facts.friendChatAny && friendChat.flags[SERVICE_POLICY_STATUS_FLAG] == 1;
    return facts;
}

void RostViewPane::OnContextMenu(HWND tree, LPARAM position) {
    if (tree != friendTree_ && tree != blackTree_) return;
    POINT screen = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: at the selected item.
        HTREEITEM selected = TreeView_GetSelection(tree);
        RECT r = {};
        if (!selected || !TreeView_GetItemRect(tree, selected, &r, TRUE)) return;
        screen = POINT{r.left + 1, r.top + 1};
        ClientToScreen(tree, &screen);
    }
    UINT flags = 0;
    HTREEITEM item = HitItem(tree, screen, &flags);
    menuItem_ = item;
    if (item) TreeView_SelectItem(tree, item);
    if (!item || !(flags & kOnItem)) return;
    TreeOps& ops = tree == friendTree_ ? friendOps_ : blackOps_;
    ContactNode* node = ops.Node(item);
    if (!node) return;
    if (tree == blackTree_) {
        if (node->kind == Kind::BlackUser) ShowMenu(BlackMenu(), screen, item, node, {});
        return;
    }
    if (IsGroup(node->kind)) {
        bool root = item == model_.TelephoneRoot() || item == model_.NetworkRoot();
        ShowMenu(GroupMenu(node->kind, root), screen, item, node, {});
        return;
    }
    if (node->kind != Kind::TelephoneFriend && node->kind != Kind::NetworkFriend) return;
    HTREEITEM root = node->kind == Kind::NetworkFriend ? model_.NetworkRoot() : model_.TelephoneRoot();
    std::vector<MoveTarget> targets = MoveTargets(friendOps_, root, ParentGroup(friendOps_, item));
    ShowMenu(FriendMenu(FactsOf(node), targets), screen, item, node, targets);
}

void RostViewPane::ShowMenu(const MenuModel& model, POINT screen, HTREEITEM item, ContactNode* node,
                            const std::vector<MoveTarget>& targets) {
    HMENU menu = BuildMenu(model);
    if (!menu) return;
    bool black = node->kind == Kind::BlackUser;
    void* contact = node->handle;
    UINT id = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, screen.x, screen.y, 0, window_, nullptr));
    DestroyMenu(menu);
    // The menu's loop runs the book's changes: the contact may have gone or moved, and its
    // node and item with it.
    item = black ? model_.FindBlackNode(static_cast<FriendHandle>(contact)) : model_.FindNode(contact);
    node = item ? (black ? blackOps_ : friendOps_).Node(item) : nullptr;
    if (!node) return;
    menuItem_ = item;
    if (id >= CMD_MOVE_FRIEND && !IsGroup(node->kind) && node->kind != Kind::BlackUser) {
        int index = MoveIndex(id, targets.size());
        if (index < 0) return;
        auto* record = new MoveRecord{node->Friend(), ParentGroup(friendOps_, item), targets[index].group};
        if (!PostMessageW(window_, UM_ROST_COMMAND, CMD_MOVE_FRIEND, reinterpret_cast<LPARAM>(record))) delete record;
        return;
    }
    PostMessageW(window_, UM_ROST_COMMAND, id, reinterpret_cast<LPARAM>(item));
}

void RostViewPane::OnCommand(UINT id, LPARAM argument) {
    LedgerBook book(book_);
    FrontDialogs dialogs(book_);
    ModuleHub hub;
    CommandRunner runner(book, dialogs, hub, sink_);
    if (id == CMD_MOVE_FRIEND) {
        std::unique_ptr<MoveRecord> record(reinterpret_cast<MoveRecord*>(argument));
        // The friend may have gone since the menu or the drop.
        if (record && model_.FindNode(record->entry)) runner.Move(*record);
        return;
    }
    auto item = reinterpret_cast<HTREEITEM>(argument);
    CommandItem target;
    if (InTree(friendOps_, item)) {
        target.node = friendOps_.Node(item);
        target.parentGroup = ParentGroup(friendOps_, item);
        target.root = item == model_.TelephoneRoot() || item == model_.NetworkRoot();
    } else if (InTree(blackOps_, item)) {
        target.node = blackOps_.Node(item);
        target.black = true;
    } else {
        return;
    }
    if (!target.node) return;
    if (id == CMD_NEW_GROUP) {
        if (target.root) NewGroup(item);
        return;
    }
    if (id == CMD_RENAME_GROUP) {
        if (!target.root && IsGroup(target.node->kind)) {
            SetFocus(friendTree_);
            SendMessageW(friendTree_, TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(item));
        }
        return;
    }
    target.menuItemKnown = menuItem_ != nullptr && InTree(friendOps_, menuItem_);
    if (target.menuItemKnown) target.menuParentGroup = ParentGroup(friendOps_, menuItem_);
    runner.Run(id, target);
}

void RostViewPane::OnTreeClick(HWND tree) {
    if (tree != friendTree_) return;
    POINT screen;
    GetCursorPos(&screen);
    UINT flags = 0;
    HTREEITEM item = HitItem(tree, screen, &flags);
    if (!item || !(flags & kOnItem)) return;
    ContactNode* node = friendOps_.Node(item);
    if (!node) return;
    if (node->kind == Kind::NetworkFriend) {
        PostMessageW(window_, UM_ROST_COMMAND, CMD_CHAT, reinterpret_cast<LPARAM>(item));
    } else if (IsGroup(node->kind)) {
        // The expanded notice gives the group its open or closed images.
        TreeView_Expand(tree, item, TVE_TOGGLE);
    }
}

// --- group label editing

void RostViewPane::NewGroup(HTREEITEM root) {
    if (temporaryItem_) friendOps_.Delete(temporaryItem_);
    friendOps_.Expand(root);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = root;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(L"新建自定义组");
    insert.item.iImage = IMAGE_GROUP_CLOSED;
    insert.item.iSelectedImage = IMAGE_GROUP_CLOSED_SELECTED;
    insert.item.lParam = 0;
    temporaryItem_ = reinterpret_cast<HTREEITEM>(
        SendMessageW(friendTree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!temporaryItem_) return;
    TreeView_EnsureVisible(friendTree_, temporaryItem_);
    // The item edited is the selected one, as for a rename from the menu.
    TreeView_SelectItem(friendTree_, temporaryItem_);
    SetFocus(friendTree_);
    SendMessageW(friendTree_, TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(temporaryItem_));
}

LRESULT RostViewPane::OnBeginLabelEdit(HTREEITEM item) {
    bool root = item == model_.TelephoneRoot() || item == model_.NetworkRoot();
    ContactNode* node = friendOps_.Node(item);
    if (!node && item != temporaryItem_) return TRUE;
    if (!MayEditLabel(root, node)) return TRUE;
    if (HWND edit = TreeView_GetEditControl(friendTree_)) SendMessageW(edit, EM_LIMITTEXT, GROUP_NAME_CHARS, 0);
    return FALSE;
}

void RostViewPane::OnEndLabelEdit(HTREEITEM item, const char* text) {
    // Finished after the tree has closed its editor: the temporary item goes then.
    pendingEdit_.item = item;
    pendingEdit_.temporary = item != nullptr && item == temporaryItem_;
    pendingEdit_.cancelled = text == nullptr;
    pendingEdit_.text = text ? text : "";
    PostMessageW(window_, UM_ROST_FINISH_EDIT, 0, 0);
}

void RostViewPane::FinishEdit() {
    PendingEdit edit = pendingEdit_;
    pendingEdit_ = PendingEdit();
    if (!edit.item) return;
    if (!InTree(friendOps_, edit.item)) return;
    GroupHandle parent = ParentGroup(friendOps_, edit.item);
    ContactNode* node = friendOps_.Node(edit.item);
    if (edit.temporary) {
        friendOps_.Delete(edit.item);
    } else if (!node || !IsGroup(node->kind)) {
        return;
    }
    LedgerBook book(book_);
    EditDecision decision = DecideLabelEdit(edit.temporary, edit.cancelled ? nullptr : edit.text.c_str(),
                                            [&](const std::string& name) { return book.GroupNameExists(parent, name.c_str()); });
    FrontDialogs dialogs(book_);
    switch (decision.outcome) {
    case EditOutcome::Nothing:
        return;
    case EditOutcome::Duplicate:
        MessageBoxW(window_, kDuplicateGroupText, decision.caption, MB_OK | MB_ICONERROR);
        return;
    case EditOutcome::AddGroup:
        dialogs.AddGroupA(decision.name.c_str(), parent);
        return;
    case EditOutcome::RenameGroup: {
        GroupInfoA record = {};
        book.GroupA(node->Group(), &record);
        ZeroMemory(record.name, sizeof record.name);
        CopyMemory(record.name, decision.name.data(), decision.name.size());
        if (!dialogs.ModifyGroupA(node->Group(), &record)) sink_.Line(L"不能删除组，接口没有找到\n");
        return;
    }
    }
}

}  // namespace rostview
