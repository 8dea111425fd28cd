// AnchorKit: hyperlinks on static controls. Linked (import library AnchorKit).
//
// SubclassWnd adds SS_NOTIFY (clicks reach the parent as WM_COMMAND with the control id),
// shows a hand cursor, and sizes the static to its text. The text is drawn in the normal
// colour, in the hover colour and underlined while the pointer is over it, and in the
// checked colour while the link is checked.
#pragma once

#include <windows.h>

#ifdef ANCHORKIT_BUILD
#define ANCHORKIT_API __declspec(dllexport)
#else
#define ANCHORKIT_API __declspec(dllimport)
#endif

class ANCHORKIT_API CAnchorKit {
public:
    CAnchorKit();
    virtual ~CAnchorKit();
    CAnchorKit(const CAnchorKit&) = delete;
    CAnchorKit& operator=(const CAnchorKit&) = delete;

    // False when the window is not a static control or this object already holds one.
    bool SubclassWnd(HWND staticWnd);
    void UnsubclassWnd();
    bool IsSubclass() const;
    HWND GetSafeHwnd() const;

    void SetTextColor(COLORREF normal, COLORREF hover, COLORREF checked);
    // Point size (0 keeps the control's font), weight, underline and face (null or empty
    // keeps the face). The static is resized to fit its text in the new font.
    void SetTextFont(int pointSize, bool bold, bool underline, const char* face);
    void SetChecked(bool checked);
    bool IsChecked() const;

private:
    struct State;
    State* state_;
};
