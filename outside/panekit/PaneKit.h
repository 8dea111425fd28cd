// What the plug-in stand-ins of the main job share: a child window that shows a title and
// lines of text under a coloured band, the tab plug-in calls on it, and the signed-in
// account's information read through RostLedger.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TabPlug.h"

namespace panekit {

class Pane {
public:
    explicit Pane(COLORREF band) : band_(band) {}
    virtual ~Pane() = default;
    Pane(const Pane&) = delete;
    Pane& operator=(const Pane&) = delete;

    // The window, hidden, as a child of the parent (or a pop-up without one).
    bool Create(HWND parent, HMODULE container, HostContext context);
    void Destroy();
    HWND wnd() const { return wnd_; }
    HMODULE container() const { return container_; }
    HostContext context() const { return context_; }
    // New texts, drawn at the next paint.
    void SetText(const std::wstring& title, const std::vector<std::wstring>& lines);

    // Reads what the pane shows again.
    virtual void Refresh() = 0;
    // Messages other modules send to the window; true when handled.
    virtual bool OnMessage(UINT, WPARAM, LPARAM) { return false; }
    virtual void OnCommand(int, INT_PTR) {}

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);

    HWND wnd_ = nullptr;
    HMODULE container_ = nullptr;
    HostContext context_ = 0;
    COLORREF band_;
    std::wstring title_;
    std::vector<std::wstring> lines_;
};

// The pane of the stand-in library; each library defines it.
Pane* MakePane();

// The signed-in account as lines ("帐号：<id>", "昵称：<nickname>", its services), or a
// line saying that no one is signed in.
std::vector<std::wstring> AccountLines(HostContext context);

// Another plug-in of the container (id 0: the tab manager): its command, its window.
void CommandPlug(HMODULE container, PlugId id, int command, INT_PTR parameter);
HWND PlugWindow(HMODULE container, PlugId id);

// Called when the library leaves the process: no class may keep pointing at its code.
void UnregisterPaneClass(HINSTANCE module);

// The bodies of the tab plug-in exports on a Pane handle.
Pane* AsPane(TabPlugHandle handle);
int DestroyPane(TabPlugHandle handle);
int MovePane(TabPlugHandle handle, int left, int top, int right, int bottom);
int ShowPane(TabPlugHandle handle, int show);
void CommandPane(TabPlugHandle handle, int command, INT_PTR parameter);
HWND PaneWindow(TabPlugHandle handle);

}  // namespace panekit
