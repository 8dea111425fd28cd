// RostView.dll loaded as a host loads it, its pane in a window of the test, and what the
// tests read back from its trees.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "Screenshot.h"
#include "TabPlug.h"

namespace rvtest {

struct RostViewLibrary {
    HMODULE module = nullptr;
    PFN_TabPlug_Create create = nullptr;
    PFN_TabPlug_Destroy destroy = nullptr;
    PFN_TabPlug_Move move = nullptr;
    PFN_TabPlug_Show show = nullptr;
    PFN_TabPlug_GetSafeHwnd window = nullptr;
    PFN_TabPlug_ChangeParent changeParent = nullptr;
    PFN_SwitchSkin switchSkin = nullptr;

    // From the folder of the running program.
    RostViewLibrary();
    ~RostViewLibrary();
    bool Loaded() const { return create && destroy && move && show && window && changeParent && switchSkin; }
};

// A visible top-level window holding one pane.
class PaneHost {
public:
    PaneHost(RostViewLibrary& library, HostContext book, int width = 260, int height = 420);
    ~PaneHost();
    PaneHost(const PaneHost&) = delete;
    PaneHost& operator=(const PaneHost&) = delete;

    HWND Frame() const { return frame_; }
    HWND Pane() const;
    HWND FriendTree() const { return GetDlgItem(Pane(), 1); }
    HWND BlackTree() const { return GetDlgItem(Pane(), 2); }
    TabPlugHandle Handle() const { return plug_; }
    // Pumps until both roots are expanded (the load has ended), at most ms.
    bool WaitLoaded(DWORD ms = 20000);
    int Destroy();

private:
    RostViewLibrary& library_;
    HWND frame_ = nullptr;
    TabPlugHandle plug_ = nullptr;
};

inline void Pump(DWORD ms) { testkit::PumpFor(ms); }
template <typename Done>
bool PumpUntil(Done done, DWORD ms = 5000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return done();
        Pump(10);
    }
    return true;
}

// "text/image" of each item, children in braces (texts in UTF-8).
std::string DumpTree(HWND tree, HTREEITEM parent = nullptr);
// The first item whose text (UTF-8) is `text`, anywhere in the tree.
HTREEITEM FindItem(HWND tree, const std::string& text, HTREEITEM parent = nullptr);

// Synthetic input through the system's queue.
void MouseTo(HWND window, int x, int y);
void MouseButton(bool down);

// Writes the window with this program's pop-ups over it (tool tips, menus), and nothing
// of other programs, under "<program folder>\screenshots"; the extra width and height
// take in pop-ups that reach past the window.
bool SaveScreenshot(HWND window, const wchar_t* name, int extraWidth = 0, int extraHeight = 0);
// The tool tip the pane owns.
HWND PaneTooltip(HWND pane);

}  // namespace rvtest
