// The pane's decisions without a window: the menus, where a call goes, what each command
// hands to the contact dialogs and the command center, group label edits, and the drag
// rules; the drag and drop objects are called directly.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"

#include "DebugLines.h"
#include "DragObjects.h"
#include "DropRules.h"
#include "FrontCalls.h"
#include "GroupEdit.h"
#include "MemoryBook.h"
#include "MemoryTree.h"
#include "RostCommands.h"
#include "RostMenus.h"

namespace {

using namespace rostview;
using rvtest::MemoryBook;
using rvtest::MemoryTree;

std::vector<UINT> Ids(const MenuModel& menu) {
    std::vector<UINT> ids;
    for (const MenuEntry& e : menu) ids.push_back(e.submenu.empty() ? e.id : 1);
    return ids;
}

const MenuEntry* Find(const MenuModel& menu, UINT id) {
    for (const MenuEntry& e : menu) {
        if (e.id == id && !e.Separator()) return &e;
    }
    return nullptr;
}

TEST(Menus, GroupsOfferNewOnlyOnRootsAndTheirKindsEntry) {
    EXPECT_EQ((std::vector<UINT>{CMD_NEW_GROUP, 0, CMD_ADD_PHONE_FRIEND}), Ids(GroupMenu(Kind::TelephoneGroup, true)));
    EXPECT_EQ((std::vector<UINT>{CMD_RENAME_GROUP, CMD_DEL_GROUP, 0, CMD_SEARCH_USER}),
              Ids(GroupMenu(Kind::NetworkGroup, false)));
    EXPECT_EQ(L"新建组", GroupMenu(Kind::NetworkGroup, true)[0].text);
    EXPECT_EQ((std::vector<UINT>{CMD_REQUEST_FRIEND, CMD_DEL_BLACK_USER}), Ids(BlackMenu()));
}

TEST(Menus, FriendEntriesFollowNumbersAndPolicies) {
    MenuFacts facts;
    facts.kind = Kind::TelephoneFriend;
    std::strcpy(facts.info.mobile, "13800000000");
    // No phone service: no call entries, no call records.
    EXPECT_EQ((std::vector<UINT>{CMD_VIEW_FRIEND, 0, CMD_DEL_FRIEND}), Ids(FriendMenu(facts, {})));

    facts.accountPhone = true;
    MenuModel phone = FriendMenu(facts, {});
    EXPECT_EQ((std::vector<UINT>{CMD_CALL_MOBILE, CMD_CALL_PHONE, CMD_CALL_XLT, 0, CMD_VIEW_FRIEND, 0, CMD_DEL_FRIEND, 0,
                                 CMD_CALL_RECORDS}),
              Ids(phone));
    EXPECT_FALSE(Find(phone, CMD_CALL_MOBILE)->greyed);
    EXPECT_TRUE(Find(phone, CMD_CALL_PHONE)->greyed);
    EXPECT_TRUE(Find(phone, CMD_CALL_XLT)->greyed);

    std::strcpy(facts.info.voip, "voip1");
    EXPECT_EQ(CMD_VIDEO_CALL, FriendMenu(facts, {})[0].id);
    EXPECT_TRUE(FriendMenu(facts, {})[1].Separator());

    // Chat needs status 1 on both sides; the block and the chat records only for network friends.
    facts.kind = Kind::NetworkFriend;
    facts.accountPhone = false;
    facts.friendChatInUse = facts.friendChatAny = true;
    facts.accountChatAny = true;
    MenuModel half = FriendMenu(facts, {});
    EXPECT_EQ(nullptr, Find(half, CMD_CHAT));
    EXPECT_EQ((std::vector<UINT>{CMD_VIEW_FRIEND, 0, CMD_DEL_FRIEND, CMD_BLOCK_FRIEND, 0, CMD_CHAT_RECORDS}), Ids(half));
    facts.accountChatInUse = true;
    EXPECT_EQ(CMD_CHAT, FriendMenu(facts, {})[0].id);
    EXPECT_EQ(L"阻止并转入黑名单", Find(half, CMD_BLOCK_FRIEND)->text);
}

struct Tree {
    MemoryTree tree;
    Tree() {
        tree.onDelete = [](ContactNode* n) { delete n; };
    }
    HTREEITEM Add(HTREEITEM parent, const char* text, Kind kind, void* handle) {
        return tree.Insert(parent, text, 0, 0, new ContactNode(kind, handle));
    }
};

TEST(Menus, MoveSubmenuListsTheRootsGroupsButTheOwn) {
    Tree t;
    auto g = [](int n) { return reinterpret_cast<GroupHandle>(static_cast<INT_PTR>(n)); };
    HTREEITEM root = t.Add(nullptr, "net", Kind::NetworkGroup, g(1));
    t.Add(root, "f", Kind::NetworkFriend, g(90));
    HTREEITEM a = t.Add(root, "a", Kind::NetworkGroup, g(2));
    t.Add(a, "a1", Kind::NetworkGroup, g(3));
    t.Add(root, "b", Kind::NetworkGroup, g(4));
    t.Add(nullptr, "phone", Kind::TelephoneGroup, g(5));

    std::vector<MoveTarget> fromSub = MoveTargets(t.tree, root, g(3));
    ASSERT_EQ(3u, fromSub.size());
    EXPECT_EQ("net", fromSub[0].name);
    EXPECT_EQ("a", fromSub[1].name);
    EXPECT_EQ("b", fromSub[2].name);
    EXPECT_EQ(3u, MoveTargets(t.tree, root, g(1)).size());

    MenuFacts facts;
    facts.kind = Kind::NetworkFriend;
    MenuModel menu = FriendMenu(facts, fromSub);
    const MenuEntry& move = menu.back();
    EXPECT_EQ(L"将好友移动到", move.text);
    ASSERT_EQ(3u, move.submenu.size());
    EXPECT_EQ(CMD_MOVE_FRIEND + 2, move.submenu[2].id);
    // A chosen id past the listed groups is no move.
    EXPECT_EQ(2, MoveIndex(CMD_MOVE_FRIEND + 2, 3));
    EXPECT_EQ(-1, MoveIndex(CMD_MOVE_FRIEND + 3, 3));
    EXPECT_EQ(-1, MoveIndex(0, 3));
}

TEST(Phone, PrefersFourteenAndSendsOnlyWhenInUse) {
    EXPECT_EQ(14, RoutePhone(true, false, true, true).target);
    EXPECT_FALSE(RoutePhone(true, false, true, true).send);
    EXPECT_EQ(3, RoutePhone(false, false, true, true).target);
    EXPECT_TRUE(RoutePhone(false, false, true, true).send);
    EXPECT_EQ(0, RoutePhone(false, false, false, false).target);
}

// What the commands hand over.
struct Recorder : DialogCalls, CommandHub {
    std::vector<std::string> calls;
    bool missing = false;
    bool hubLoads = true;
    std::wstring number;
    BlockRecord block = {};
    FriendInfoA requested = {};

    bool Note(const std::string& call) {
        if (missing) return false;
        calls.push_back(call);
        return true;
    }
    static std::string P(const void* p) { return std::to_string(reinterpret_cast<UINT_PTR>(p)); }
    bool AddGroupA(const char* name, GroupHandle parent) override { return Note("AddGroupA " + std::string(name) + " " + P(parent)); }
    bool ModifyGroupA(GroupHandle g, GroupInfoA* r) override { return Note("ModifyGroupA " + P(g) + " " + r->name); }
    bool DelGroup(GroupHandle g, GroupHandle p) override { return Note("DelGroup " + P(g) + " " + P(p)); }
    bool AddFriend(GroupHandle g) override { return Note("AddFriend " + P(g)); }
    bool ViewFriendInfo(FriendHandle f, GroupHandle g) override { return Note("ViewFriendInfo " + P(f) + " " + P(g)); }
    bool DelFriend(FriendHandle f, GroupHandle g) override { return Note("DelFriend " + P(f) + " " + P(g)); }
    bool MoveFriend(FriendHandle f, GroupHandle o, GroupHandle n) override {
        return Note("MoveFriend " + P(f) + " " + P(o) + " " + P(n));
    }
    bool DelBlackUser(FriendHandle f) override { return Note("DelBlackUser " + P(f)); }
    bool SearchUser() override { return Note("SearchUser"); }
    void Command(int command, PlugId target) override {
        calls.push_back("Command " + std::to_string(command) + " " + std::to_string(target));
    }
    void Action(PlugId target, int command, INT_PTR parameter) override {
        calls.push_back("Action " + std::to_string(target) + " " + std::to_string(command));
        if (target == 14 || target == 3) number = reinterpret_cast<const wchar_t*>(parameter);
        if (target == PLUG_PRESENCE && command == 5) block = *reinterpret_cast<BlockRecord*>(parameter);
    }
    bool ActionThroughLoadedHub(PlugId target, int command, INT_PTR parameter) override {
        if (!hubLoads) return false;
        calls.push_back("LoadedAction " + std::to_string(target) + " " + std::to_string(command));
        requested = *reinterpret_cast<FriendInfoA*>(parameter);
        return true;
    }
};

struct Lines : DebugSink {
    std::vector<std::wstring> lines;
    void Line(const wchar_t* text) override { lines.push_back(text); }
};

struct Commands {
    MemoryBook book;
    Recorder rec;
    Lines lines;
    CommandRunner runner{book, rec, rec, lines};
    GroupHandle root, group;
    FriendHandle account, phoneFriend, netFriend, black;
    ContactNode phoneNode{Kind::TelephoneFriend, nullptr}, netNode{Kind::NetworkFriend, nullptr},
        blackNode{Kind::BlackUser, nullptr}, groupNode{Kind::NetworkGroup, nullptr};

    Commands() {
        root = book.AddGroup(nullptr, "11", "网络好友");
        group = book.AddGroup(root, "12", "同学");
        account = book.AddFriend(nullptr, "me", "me");
        book.self = account;
        phoneFriend = book.AddFriend(root, "t1", "老张");
        std::strcpy(book.At(phoneFriend).info.mobile, "13912345678");
        netFriend = book.AddFriend(group, "n1", "小李");
        black = book.AddBlack("b1", "骚扰");
        phoneNode.handle = phoneFriend;
        netNode.handle = netFriend;
        blackNode.handle = black;
        groupNode.handle = group;
    }
    CommandItem On(ContactNode& node, GroupHandle parent) {
        CommandItem item;
        item.node = &node;
        item.parentGroup = parent;
        item.black = node.kind == Kind::BlackUser;
        item.menuItemKnown = true;
        item.menuParentGroup = parent;
        return item;
    }
    std::string P(const void* p) { return Recorder::P(p); }
};

TEST(CommandDispatch, PhoneCallsGoToTheServiceWithTheWideNumber) {
    Commands c;
    c.book.At(c.account).policies[3] = 1;
    EXPECT_TRUE(c.runner.Run(CMD_CALL_MOBILE, c.On(c.phoneNode, c.root)));
    EXPECT_EQ((std::vector<std::string>{"Command 1001 3", "Action 3 2"}), c.rec.calls);
    EXPECT_EQ(L"13912345678", c.rec.number);
    EXPECT_NE(std::wstring::npos, c.lines.lines.back().find(L"拨打移动电话(13912345678)"));

    // Service 14 is preferred; not in use: prepared, not called.
    c.rec.calls.clear();
    c.book.At(c.account).policies[14] = 0;
    c.runner.Run(CMD_CALL_PHONE, c.On(c.phoneNode, c.root));
    EXPECT_EQ((std::vector<std::string>{"Command 1001 14"}), c.rec.calls);

    // Neither service: nothing sent.
    Commands none;
    EXPECT_FALSE(none.runner.Run(CMD_VIDEO_CALL, none.On(none.phoneNode, none.root)));
    EXPECT_TRUE(none.rec.calls.empty());
}

TEST(CommandDispatch, PlugActionsAfterTheirPreparation) {
    Commands c;
    c.book.At(c.account).policies[9] = 1;
    c.runner.Run(CMD_CHAT, c.On(c.netNode, c.group));
    c.runner.Run(CMD_CHAT_RECORDS, c.On(c.netNode, c.group));
    c.runner.Run(CMD_SHORT_MESSAGE, c.On(c.netNode, c.group));  // no service 8
    EXPECT_EQ((std::vector<std::string>{"Command 1001 9", "Action 9 1", "Command 1001 9", "Action 9 8",
                                        "Command 1001 8"}),
              c.rec.calls);
}

TEST(CommandDispatch, DialogCallsCarryTheirItems) {
    Commands c;
    ContactNode phoneGroup{Kind::TelephoneGroup, c.root};
    c.runner.Run(CMD_DEL_FRIEND, c.On(c.netNode, c.group));
    c.runner.Run(CMD_VIEW_FRIEND, c.On(c.netNode, c.group));
    c.runner.Run(CMD_DEL_GROUP, c.On(c.groupNode, c.root));
    c.runner.Run(CMD_SEARCH_USER, c.On(c.groupNode, c.root));
    c.runner.Run(CMD_ADD_PHONE_FRIEND, c.On(phoneGroup, nullptr));
    c.runner.Run(CMD_DEL_BLACK_USER, c.On(c.blackNode, nullptr));
    c.runner.Move(MoveRecord{c.netFriend, c.group, c.root});
    EXPECT_EQ((std::vector<std::string>{
                  "DelFriend " + c.P(c.netFriend) + " " + c.P(c.group),
                  "ViewFriendInfo " + c.P(c.netFriend) + " " + c.P(c.group),
                  "DelGroup " + c.P(c.group) + " " + c.P(c.root),
                  "SearchUser",
                  "AddFriend " + c.P(c.root),
                  "DelBlackUser " + c.P(c.black),
                  "MoveFriend " + c.P(c.netFriend) + " " + c.P(c.group) + " " + c.P(c.root),
              }),
              c.rec.calls);
    EXPECT_EQ(L"移动用户到其它组\n", c.lines.lines.back());
}

TEST(CommandDispatch, BlockAndFriendRequestRecords) {
    Commands c;
    EXPECT_TRUE(c.runner.Run(CMD_BLOCK_FRIEND, c.On(c.netNode, c.group)));
    EXPECT_EQ(c.netFriend, c.rec.block.entry);
    EXPECT_EQ(c.group, c.rec.block.group);
    EXPECT_EQ(L"拖入黑名单\n", c.lines.lines.back());
    EXPECT_TRUE(c.runner.Run(CMD_REQUEST_FRIEND, c.On(c.blackNode, nullptr)));
    EXPECT_STREQ("b1", c.rec.requested.id);
    EXPECT_EQ("LoadedAction " + std::to_string(PLUG_PRESENCE) + " 3", c.rec.calls.back());
    c.rec.hubLoads = false;
    EXPECT_FALSE(c.runner.Run(CMD_REQUEST_FRIEND, c.On(c.blackNode, nullptr)));
    EXPECT_EQ(L"载入命令中心OrderHub失败\n", c.lines.lines.back());
}

TEST(CommandDispatch, WrongKindsDismissedMenusAndMissingEntriesDoNothing) {
    Commands c;
    CommandItem rootItem = c.On(c.groupNode, nullptr);
    rootItem.root = true;
    EXPECT_FALSE(c.runner.Run(CMD_DEL_GROUP, rootItem));
    EXPECT_FALSE(c.runner.Run(0, c.On(c.netNode, c.group)));
    EXPECT_FALSE(c.runner.Run(CMD_CALL_RECORDS, c.On(c.netNode, c.group)));
    EXPECT_FALSE(c.runner.Run(CMD_BLOCK_FRIEND, c.On(c.phoneNode, c.root)));
    EXPECT_FALSE(c.runner.Run(CMD_DEL_FRIEND, c.On(c.blackNode, nullptr)));
    EXPECT_FALSE(c.runner.Run(CMD_ADD_PHONE_FRIEND, c.On(c.groupNode, c.root)));  // a network group
    EXPECT_FALSE(c.runner.Run(CMD_DEL_FRIEND, CommandItem()));
    // The menu item has gone: the details have nothing to show.
    CommandItem cleared = c.On(c.netNode, c.group);
    cleared.menuItemKnown = false;
    EXPECT_FALSE(c.runner.Run(CMD_VIEW_FRIEND, cleared));
    EXPECT_TRUE(c.rec.calls.empty());

    c.rec.missing = true;
    EXPECT_FALSE(c.runner.Run(CMD_DEL_GROUP, c.On(c.groupNode, c.root)));
    EXPECT_EQ(L"不能删除组，接口没有找到\n", c.lines.lines.back());
    EXPECT_FALSE(c.runner.Run(CMD_VIEW_FRIEND, c.On(c.netNode, c.group)));
    EXPECT_EQ(L"RostDialogs中没有找到RostDialogs_ViewFriendInfo的接口\n", c.lines.lines.back());
}

TEST(GroupEditing, EditsAllowedAndDecided) {
    ContactNode group{Kind::NetworkGroup, nullptr}, buddy{Kind::NetworkFriend, nullptr};
    EXPECT_TRUE(MayEditLabel(false, nullptr));  // the new group's temporary item
    EXPECT_TRUE(MayEditLabel(false, &group));
    EXPECT_FALSE(MayEditLabel(true, &group));
    EXPECT_FALSE(MayEditLabel(false, &buddy));

    std::vector<std::string> asked;
    auto exists = [&](const std::string& name) {
        asked.push_back(name);
        return name == "old";
    };
    EXPECT_EQ(EditOutcome::AddGroup, DecideLabelEdit(true, "new", exists).outcome);
    EditDecision dup = DecideLabelEdit(false, "old", exists);
    EXPECT_EQ(EditOutcome::Duplicate, dup.outcome);
    EXPECT_STREQ(L"修改组", dup.caption);
    EXPECT_STREQ(L"新建组", DecideLabelEdit(true, "old", exists).caption);
    EXPECT_EQ(EditOutcome::RenameGroup, DecideLabelEdit(false, "other", exists).outcome);
    // Cancelled or empty: nothing, and nothing asked.
    asked.clear();
    EXPECT_EQ(EditOutcome::Nothing, DecideLabelEdit(true, nullptr, exists).outcome);
    EXPECT_EQ(EditOutcome::Nothing, DecideLabelEdit(false, "", exists).outcome);
    EXPECT_TRUE(asked.empty());
}

TEST(GroupEditing, NamesAreCutAsStoredOnWholeCharacters) {
    EXPECT_EQ(std::string(20, 'a'), StoredGroupName(std::string(30, 'a').c_str()));
    // Twelve two-byte characters are 24 bytes: eleven fit the 23 the record stores.
    std::string wide = MemoryBook::Ansi("一二三四五六七八九十甲乙");
    EXPECT_EQ(wide.substr(0, 22), StoredGroupName(wide.c_str()));
    // The duplicate check sees the stored name.
    std::string seen;
    DecideLabelEdit(false, wide.c_str(), [&](const std::string& n) {
        seen = n;
        return false;
    });
    EXPECT_EQ(22u, seen.size());
}

TEST(DropRules, KindsOntoKinds) {
    EXPECT_TRUE(DropAllowed(Kind::TelephoneGroup, Kind::TelephoneFriend));
    EXPECT_FALSE(DropAllowed(Kind::TelephoneGroup, Kind::NetworkFriend));
    EXPECT_TRUE(DropAllowed(Kind::NetworkGroup, Kind::NetworkFriend));
    EXPECT_TRUE(DropAllowed(Kind::NetworkGroup, Kind::BlackUser));
    EXPECT_FALSE(DropAllowed(Kind::NetworkGroup, Kind::TelephoneFriend));
    EXPECT_FALSE(DropAllowed(Kind::NetworkGroup, Kind::NetworkGroup));
    EXPECT_FALSE(DropAllowed(Kind::NetworkFriend, Kind::NetworkFriend));
}

TEST(DropRules, KeyStateEffect) {
    const DWORD all = DROPEFFECT_MOVE | DROPEFFECT_COPY | DROPEFFECT_LINK;
    EXPECT_EQ(DROPEFFECT_COPY, EffectFromKeys(MK_CONTROL, all));
    EXPECT_EQ(DROPEFFECT_MOVE, EffectFromKeys(MK_SHIFT, all));
    EXPECT_EQ(DROPEFFECT_NONE, EffectFromKeys(MK_CONTROL | MK_SHIFT, all));
    EXPECT_EQ(DROPEFFECT_MOVE, EffectFromKeys(MK_LBUTTON, all));
    EXPECT_EQ(DROPEFFECT_COPY, EffectFromKeys(0, DROPEFFECT_COPY));
    EXPECT_EQ(DROPEFFECT_NONE, EffectFromKeys(MK_CONTROL, DROPEFFECT_MOVE));
}

TEST(DropRules, DragOverAndDrop) {
    DragPoint onGroup;
    onGroup.friendTreeShown = onGroup.onItem = onGroup.hasNode = true;
    onGroup.itemKind = Kind::NetworkGroup;
    EXPECT_EQ(DROPEFFECT_MOVE, DragOverEffect(Kind::NetworkFriend, onGroup));
    EXPECT_EQ(DropAction::Move, DecideDrop(Kind::NetworkFriend, onGroup));
    EXPECT_EQ(DropAction::RequestFriend, DecideDrop(Kind::BlackUser, onGroup));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::TelephoneFriend, onGroup));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::NetworkGroup, onGroup));

    DragPoint own = onGroup;
    own.itemIsOwnParent = true;
    EXPECT_EQ(DROPEFFECT_NONE, DragOverEffect(Kind::NetworkFriend, own));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::NetworkFriend, own));

    DragPoint onFriend = onGroup;
    onFriend.itemKind = Kind::NetworkFriend;
    EXPECT_EQ(DROPEFFECT_NONE, DragOverEffect(Kind::NetworkFriend, onFriend));

    DragPoint blackHeader;
    blackHeader.friendTreeShown = true;
    blackHeader.header = Folder::BlackList;
    EXPECT_EQ(DropAction::Block, DecideDrop(Kind::NetworkFriend, blackHeader));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::TelephoneFriend, blackHeader));

    DragPoint friendHeader;
    friendHeader.blackTreeShown = true;
    friendHeader.header = Folder::FriendList;
    EXPECT_EQ(DropAction::RequestFriend, DecideDrop(Kind::BlackUser, friendHeader));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::NetworkFriend, friendHeader));

    DragPoint inBlack;
    inBlack.blackTreeShown = inBlack.insideBlackTree = true;
    EXPECT_EQ(DropAction::Block, DecideDrop(Kind::NetworkFriend, inBlack));
    EXPECT_EQ(DropAction::None, DecideDrop(Kind::BlackUser, inBlack));
}

// The pane's side of the drop target, recorded.
struct Owner : DragOperations {
    IDataObject* own = nullptr;
    CLIPFORMAT offered = 0;
    DWORD overEffect = DROPEFFECT_MOVE;
    std::vector<std::string> events;
    HTREEITEM dropped = nullptr;
    CLIPFORMAT OnDragEnter(IDataObject* data, DWORD, LONG, LONG, DWORD) override {
        events.push_back("enter");
        return data == own ? offered : 0;
    }
    void OnDragOver(HTREEITEM, LONG, LONG, DWORD* effect) override {
        events.push_back("over");
        *effect = overEffect;
    }
    void OnDragLeave() override { events.push_back("leave"); }
    void OnDragFeedback(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) override {}
    void OnDrop(HTREEITEM item, CLIPFORMAT, LONG, LONG, DWORD* effect) override {
        events.push_back("drop");
        dropped = item;
        *effect = DROPEFFECT_MOVE;
    }
};

TEST(DragObjects, DataObjectOffersItsOneFormat) {
    CLIPFORMAT format = KindFormat(Kind::NetworkFriend);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(0x1234567));
    auto* data = new NodeDataObject(item, format);
    FORMATETC ask = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(S_OK, data->QueryGetData(&ask));
    FORMATETC other = {KindFormat(Kind::BlackUser), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(E_NOTIMPL, data->QueryGetData(&other));
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, data->GetData(&ask, &medium));
    EXPECT_EQ(item, ReadPayload(medium.hGlobal));
    ReleaseStgMedium(&medium);
    ASSERT_EQ(S_OK, data->GetData(&other, &medium));
    EXPECT_EQ(nullptr, medium.hGlobal);
    EXPECT_EQ(E_INVALIDARG, data->SetData(&ask, nullptr, FALSE));
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DAdvise(&ask, 0, nullptr, nullptr));

    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &formats));
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
    FORMATETC got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, formats->Next(2, got, &fetched));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(format, got[0].cfFormat);
    IEnumFORMATETC* copy = nullptr;
    ASSERT_EQ(S_OK, formats->Clone(&copy));
    EXPECT_EQ(S_FALSE, copy->Next(1, got, &fetched));  // the copy keeps the position
    EXPECT_EQ(S_OK, copy->Reset());
    EXPECT_EQ(S_OK, copy->Next(1, got, &fetched));
    EXPECT_EQ(S_FALSE, copy->Skip(1));
    EXPECT_EQ(0u, copy->Release());
    EXPECT_EQ(0u, formats->Release());
    EXPECT_EQ(2u, data->AddRef());
    data->Release();
    EXPECT_EQ(0u, data->Release());
}

TEST(DragObjects, DropSourceFollowsTheButtonAndEscape) {
    auto* source = new NodeDropSource();
    EXPECT_EQ(DRAGDROP_S_CANCEL, source->QueryContinueDrag(TRUE, MK_LBUTTON));
    EXPECT_EQ(DRAGDROP_S_DROP, source->QueryContinueDrag(FALSE, 0));
    EXPECT_EQ(S_OK, source->QueryContinueDrag(FALSE, MK_LBUTTON));
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, source->GiveFeedback(DROPEFFECT_MOVE));
    EXPECT_EQ(0u, source->Release());
}

TEST(DragObjects, DropTargetTakesOnlyTheOwnDragAndHonoursTheKeys) {
    Owner owner;
    auto* target = new NodeDropTarget(owner);
    CLIPFORMAT format = KindFormat(Kind::NetworkFriend);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(77));
    auto* own = new NodeDataObject(item, format);
    auto* foreign = new NodeDataObject(item, format);  // offers the format, is not the pane's
    owner.own = own;
    owner.offered = format;
    POINTL p = {1, 1};

    DWORD effect = DROPEFFECT_MOVE;
    target->DragEnter(foreign, MK_LBUTTON, p, &effect);
    EXPECT_EQ(DROPEFFECT_NONE, effect);
    effect = DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON, p, &effect);
    EXPECT_EQ(DROPEFFECT_NONE, effect);
    effect = DROPEFFECT_MOVE;
    target->Drop(foreign, MK_LBUTTON, p, &effect);
    EXPECT_EQ(nullptr, owner.dropped);

    effect = DROPEFFECT_MOVE;
    target->DragEnter(own, MK_LBUTTON, p, &effect);
    EXPECT_EQ(DROPEFFECT_MOVE, effect);
    effect = DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON | MK_CONTROL, p, &effect);
    EXPECT_EQ(DROPEFFECT_NONE, effect);
    effect = DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON, p, &effect);
    EXPECT_EQ(DROPEFFECT_MOVE, effect);
    // Control held at the drop: nothing is dropped.
    effect = DROPEFFECT_MOVE;
    target->Drop(own, MK_CONTROL, p, &effect);
    EXPECT_EQ(nullptr, owner.dropped);
    EXPECT_EQ(DROPEFFECT_NONE, effect);

    effect = DROPEFFECT_MOVE;
    target->DragEnter(own, MK_LBUTTON, p, &effect);
    effect = DROPEFFECT_MOVE;
    target->Drop(own, 0, p, &effect);
    EXPECT_EQ(item, owner.dropped);
    EXPECT_EQ(DROPEFFECT_NONE, effect);  // the source deletes nothing

    own->Release();
    foreign->Release();
    EXPECT_EQ(0u, target->Release());
}

TEST(ModuleHub, SaysWhenOrderHubOrItsEntryIsMissing) {
    testkit::DebugLines lines;
    ASSERT_EQ(nullptr, GetModuleHandleW(L"OrderHub.dll"));
    ModuleHub hub;
    hub.Command(1001, 9);
    hub.Action(9, 1, 0);
    EXPECT_EQ(2u, lines.Count(L"命令中心模块还没有加载！"));
    // A library of that name without the entries.
    std::wstring folder = testkit::ProgramDir() + L"scratch\\hubless\\";
    CreateDirectoryW((testkit::ProgramDir() + L"scratch").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testkit::CopyFromProgramDir(folder, L"FakeDialogs.dll", L"OrderHub.dll"));
    HMODULE hubless = LoadLibraryW((folder + L"OrderHub.dll").c_str());
    ASSERT_NE(nullptr, hubless);
    hub.Command(1001, 9);
    hub.Action(9, 1, 0);
    FreeLibrary(hubless);
    EXPECT_EQ(1u, lines.Count(L"命令中心模块不存在接口：OrderHub_Command！"));
    EXPECT_EQ(1u, lines.Count(L"命令中心模块不存在接口：OrderHub_Action！"));
}

}  // namespace
