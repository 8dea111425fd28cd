// What the skinned-control libraries share: taking over a dialog control through a
// subclass and giving it back, tracking the pointer over it, and drawing text and the
// parent's background into it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace kitbase {

// The window's whole text.
std::wstring WindowText(HWND wnd);

// Draws the control's text in its own font (the default GUI font when it has none),
// without a background, in the given colour.
void DrawControlText(HDC dc, HWND wnd, const std::wstring& text, RECT rc, COLORREF colour, UINT format,
                     HFONT font = nullptr);

// Lets the parent paint what lies behind the control into the control's DC, so the
// control shows the dialog's skin through it.
void PaintParentBackground(HWND wnd, HDC dc);

// One control taken over through a subclass procedure. The procedure passes every
// message to OnMessage first: the control's own end forgets it, so giving it back later
// never touches a handle that may by then name another window.
class Subclass {
public:
    // False when the window is not of that class (case ignored) or one is held already.
    // The style becomes (style & keep) | add.
    bool Attach(HWND wnd, const wchar_t* cls, SUBCLASSPROC proc, UINT_PTR id, void* data, LONG_PTR keep,
                LONG_PTR add);
    // Removes the procedure and restores the style; false when no live window is held.
    bool Detach();
    // Keeps the pointer state current; true when it changed (the control was invalidated).
    bool OnMessage(HWND wnd, UINT msg);

    HWND wnd() const { return wnd_; }
    bool hover() const { return hover_; }

private:
    HWND wnd_ = nullptr;
    SUBCLASSPROC proc_ = nullptr;
    UINT_PTR id_ = 0;
    LONG_PTR oldStyle_ = 0;
    bool hover_ = false;
};

}  // namespace kitbase
