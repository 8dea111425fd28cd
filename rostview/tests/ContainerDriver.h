// The contact list inside the real container, and a user's hands for it: the mouse and
// keyboard through the system's input queue, popup menus found on screen and chosen by
// their texts, and a helper thread that acts while the window's thread sits in a modal
// loop (a menu, a drag, a message box).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "PaneDriver.h"

namespace rvtest {

const UINT UM_ROST_COMMAND = WM_USER + 1807;
const UINT UM_ROST_SELECT_FOLDER = WM_USER + 1800;

// The container of the program folder with the contact list (plug id -1) as its tab,
// in a frame of the test.
struct Container {
    HMODULE module = nullptr;
    HWND frame = nullptr;
    HWND pane = nullptr;

    explicit Container(HostContext book = 1);
    ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    HWND Tree(int id) const { return GetDlgItem(pane, id); }
    HWND Friends() const { return Tree(1); }
    HWND BlackList() const { return Tree(2); }
    HTREEITEM Item(int tree, const wchar_t* text) const;
    void Post(UINT id, HTREEITEM item) const;
    // Shows folder 0 (friends) or 1 (black list) and waits until its tree is visible.
    bool ShowFolder(int index) const;
};

std::string U8(const wchar_t* text);
std::string Gbk(const wchar_t* text);

// Screen points of a tree item's label and of the pane's folder headers.
POINT LabelCentre(HWND tree, HTREEITEM item);
// The header of the folder at the top (first) or at the bottom (last) of the pane.
POINT TopHeader(HWND pane);
POINT BottomHeader(HWND pane);

void MouseAt(POINT screen);
void RightClick();
void Key(WORD vk);
// Characters as typed (each a key press carrying the character).
void TypeText(const std::wstring& text);

// The n-th visible popup menu (1 the first), null when none comes within three seconds.
HWND WaitMenu(int count);
// Clicks the entry with this text on the n-th open menu; false (and the menus closed)
// when there is none.
bool ChooseMenuEntry(int menuCount, const std::wstring& text);
// A top-level window of this process with the caption, waiting up to three seconds.
HWND WaitWindow(const wchar_t* caption);

// Runs `helper` on a thread of its own while this thread runs `action` and then pumps
// until the helper is done.
void WhileHelping(const std::function<void()>& helper, const std::function<void()>& action, DWORD ms = 15000);

}  // namespace rvtest
