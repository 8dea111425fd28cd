// GlassKit: transparent check boxes and buttons on dialog controls. Linked (import
// library GlassKit).
//
// The control is made owner-drawn and keeps its own check state (owner-drawn buttons
// have none): BM_GETCHECK, BM_SETCHECK and clicks work as on a normal check box. The
// dialog hands WM_DRAWITEM to DrawItem, which lets the parent paint the background
// behind the control first, so the control shows the dialog's skin through it.
#pragma once

#include <windows.h>

#ifdef GLASSKIT_BUILD
#define GLASSKIT_API __declspec(dllexport)
#else
#define GLASSKIT_API __declspec(dllimport)
#endif

// Button styles of SetBtnStyle.
enum : int {
    GLASSKIT_STYLE_PUSH = 1,
    GLASSKIT_STYLE_CHECK = 2,
};

class GLASSKIT_API CGlassKit {
public:
    CGlassKit();
    virtual ~CGlassKit();
    CGlassKit(const CGlassKit&) = delete;
    CGlassKit& operator=(const CGlassKit&) = delete;

    // False when the window is not a button or this object already holds one. The
    // button's current check state is kept.
    bool SubclassWnd(HWND button);
    void UnsubclassWnd();
    bool IsSubclass() const;
    HWND GetSafeHwnd() const;

    // GLASSKIT_STYLE_CHECK (the default) or GLASSKIT_STYLE_PUSH.
    void SetBtnStyle(int style);
    int GetBtnStyle() const;

    virtual bool DrawItem(LPDRAWITEMSTRUCT item);

private:
    struct State;
    State* state_;
};
