// The contact dialogs through the loaded kernel facade, and the command center, as the
// pane's commands reach them.
#pragma once

#include "RostCommands.h"

namespace rostview {

// Each entry is looked up at each call through CoreFront's RostDialogs_GetProcAddress;
// without CoreFront loaded, or without the entry, nothing is called.
class FrontDialogs : public DialogCalls {
public:
    explicit FrontDialogs(HostContext book) : book_(book) {}
    bool AddGroupA(const char* name, GroupHandle parent) override;
    bool ModifyGroupA(GroupHandle group, GroupInfoA* record) override;
    bool DelGroup(GroupHandle group, GroupHandle parent) override;
    bool AddFriend(GroupHandle group) override;
    bool ViewFriendInfo(FriendHandle entry, GroupHandle group) override;
    bool DelFriend(FriendHandle entry, GroupHandle group) override;
    bool MoveFriend(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup) override;
    bool DelBlackUser(FriendHandle entry) override;
    bool SearchUser() override;

private:
    HostContext book_;
};

// OrderHub as the container loaded it; actions go nowhere when it is not loaded.
class ModuleHub : public CommandHub {
public:
    void Command(int command, PlugId target) override;
    void Action(PlugId target, int command, INT_PTR parameter) override;
    bool ActionThroughLoadedHub(PlugId target, int command, INT_PTR parameter) override;
};

}  // namespace rostview
