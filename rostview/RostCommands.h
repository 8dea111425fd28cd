// Carrying out the pane's commands: the contact dialogs make every change of the book,
// the command center carries the rest to other plug-ins. Plain code over two small
// interfaces, so that each command is checked without a window.
#pragma once

#include <windows.h>

#include <string>

#include "ContactBook.h"
#include "ContactModel.h"
#include "ContactNode.h"
#include "VantorTypes.h"

namespace rostview {

// The contact dialogs' entries the pane calls. Each answers false when the entry could
// not be found (nothing was called).
class DialogCalls {
public:
    virtual ~DialogCalls() = default;
    virtual bool AddGroupA(const char* name, GroupHandle parent) = 0;
    virtual bool ModifyGroupA(GroupHandle group, GroupInfoA* record) = 0;
    virtual bool DelGroup(GroupHandle group, GroupHandle parent) = 0;
    virtual bool AddFriend(GroupHandle group) = 0;
    virtual bool ViewFriendInfo(FriendHandle entry, GroupHandle group) = 0;
    virtual bool DelFriend(FriendHandle entry, GroupHandle group) = 0;
    virtual bool MoveFriend(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup) = 0;
    virtual bool DelBlackUser(FriendHandle entry) = 0;
    virtual bool SearchUser() = 0;
};

// The command center.
class CommandHub {
public:
    virtual ~CommandHub() = default;
    virtual void Command(int command, PlugId target) = 0;
    virtual void Action(PlugId target, int command, INT_PTR parameter) = 0;
    // One action through a command center loaded from the program folder for it; false
    // when it could not be loaded.
    virtual bool ActionThroughLoadedHub(PlugId target, int command, INT_PTR parameter) = 0;
};

// Where a phone call goes: service 14 when the account has it, else 3; sent only when
// that service is in use. Target 0: the call goes nowhere.
struct PhoneRoute {
    PlugId target = 0;
    bool send = false;
};
PhoneRoute RoutePhone(bool has14, bool inUse14, bool has3, bool inUse3);

// Moves a friend: made by the menu or a drop, freed by the command.
struct MoveRecord {
    FriendHandle entry;
    GroupHandle oldGroup;
    GroupHandle newGroup;
};

// The friend and group words the block action points to.
struct BlockRecord {
    FriendHandle entry;
    GroupHandle group;
};

// A command's item as the pane found it: the node (still in its tree) and its parent's
// group.
struct CommandItem {
    ContactNode* node = nullptr;
    GroupHandle parentGroup = nullptr;
    bool black = false;       // in the black-list tree
    bool root = false;        // one of the two root groups
    GroupHandle menuParentGroup = nullptr;  // the menu item's parent (view details)
    bool menuItemKnown = false;
};

class CommandRunner {
public:
    CommandRunner(ContactBook& book, DialogCalls& dialogs, CommandHub& hub, DebugSink& sink)
        : book_(book), dialogs_(dialogs), hub_(hub), sink_(sink) {}

    // The commands on an item, each only for the kind of item it is meant for; false
    // when the command did nothing.
    bool Run(UINT id, const CommandItem& item);
    bool Move(const MoveRecord& record);

private:
    bool Phone(FriendHandle entry, int kind);
    bool ToPlug(PlugId target, int command, FriendHandle entry);
    void Line(const std::wstring& text) { sink_.Line(text.c_str()); }

    ContactBook& book_;
    DialogCalls& dialogs_;
    CommandHub& hub_;
    DebugSink& sink_;
};

}  // namespace rostview
