// Private window messages of the contact-list pane (they never leave RostView).
#pragma once

#include <windows.h>

namespace rostview {

enum : UINT {
    UM_ROST_SELECT_FOLDER = WM_USER + 1800,    // 0, folder index
    UM_ROST_CONTACTS_LOADED = WM_USER + 1801,  // 0, 0
    UM_ROST_TREE_MOUSEMOVE = WM_USER + 1802,   // 0, TreeMouse*
    UM_ROST_TREE_MOUSELEAVE = WM_USER + 1803,  // 0, tree window
    UM_ROST_TREE_LBUTTONDOWN = WM_USER + 1804, // 0, TreeMouse*
    UM_ROST_TREE_LBUTTONUP = WM_USER + 1805,   // 0, TreeMouse*
    UM_ROST_TREE_SCROLLED = WM_USER + 1806,    // 0, tree window
    UM_ROST_COMMAND = WM_USER + 1807,          // command id, argument
    UM_ROST_ADD_FRIEND = WM_USER + 1808,       // friend, group
    UM_ROST_GET_FRIEND_INFO = WM_USER + 1809,  // friend, FriendInfoA*
    UM_ROST_ADD_GROUP = WM_USER + 1810,        // group, parent group
    UM_ROST_MODIFY_FRIEND = WM_USER + 1811,    // 0, friend
    // The load's deliveries and the other changes, carried to the window's thread.
    UM_ROST_LOADED = WM_USER + 1812,           // 0, 0: posted; deliveries wait in the pane's queue
    UM_ROST_CHANGE = WM_USER + 1814,           // Change, ChangeArgs*
    UM_ROST_FINISH_EDIT = WM_USER + 1815,      // 0, 0: the end of a label edit, after the tree is done with it
};

// What a subclassed tree reports of the mouse.
struct TreeMouse {
    HWND tree;
    WPARAM keys;
    int x;
    int y;
};

struct ChangeArgs {
    void* first;
    void* second;
    void* third;
};

}  // namespace rostview
