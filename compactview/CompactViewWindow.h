// The compact view: a small window with a title strip (the account's id and two picture
// buttons) above the personal-information pane, once that pane is made its child.
#pragma once

#include <windows.h>

#include <string>

#include "CompactLayout.h"
#include "PaneWindow.h"
#include "VantorTypes.h"
#include "outside/PictKit.h"

namespace compactview {

class CompactViewWindow {
public:
    CompactViewWindow(HMODULE container, HostContext context, INT_PTR reserved);
    virtual ~CompactViewWindow();
    CompactViewWindow(const CompactViewWindow&) = delete;
    CompactViewWindow& operator=(const CompactViewWindow&) = delete;

    bool Create(HINSTANCE module, HWND owner);
    HWND window() const { return window_; }
    void LayOutPane();

private:
    friend class vantor::LinkedDialog<CompactViewWindow>;
    void OnLinked(HWND window) { window_ = window; }
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void SwitchToFullStyle();
    void DrawTitle(HDC dc);
    void DrawButton(const DRAWITEMSTRUCT* item);

    PictKit titlePicture_;
    HWND window_ = nullptr;
    HMODULE container_;
    HostContext context_;
    INT_PTR reserved_;
    RECT title_ = {};
};

// The file name of a picture key of "resource\compactview\config.cfg", as the window reads
// it: at most 19 characters (the rest is cut off); empty when the key is not set.
std::wstring PictureName(const wchar_t* key, size_t chars);
// The current account's id through RostLedger; empty without one.
std::string AccountId(HostContext context);

}  // namespace compactview
