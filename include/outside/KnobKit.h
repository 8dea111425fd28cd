// KnobKit: skinned push buttons on dialog controls. Linked (import library KnobKit).
//
// SubclassWnd makes the button owner-drawn and tracks the pointer; the dialog hands its
// WM_DRAWITEM for the button to DrawItem, which draws the normal, hover, pressed or
// disabled picture stretched over the button with the text centred on it. Pictures are
// bitmap files given by full 8-bit path; a missing picture falls back to the normal one,
// and with no picture at all the button is drawn as a plain raised button.
#pragma once

#include <windows.h>

#ifdef KNOBKIT_BUILD
#define KNOBKIT_API __declspec(dllexport)
#else
#define KNOBKIT_API __declspec(dllimport)
#endif

class KNOBKIT_API CKnobKit {
public:
    CKnobKit();
    virtual ~CKnobKit();
    CKnobKit(const CKnobKit&) = delete;
    CKnobKit& operator=(const CKnobKit&) = delete;

    // False when the window is not a button or this object already holds one.
    bool SubclassWnd(HWND button);
    // Gives the button its old window procedure and style back.
    void UnsubclassWnd();
    bool IsSubclass() const;
    HWND GetSafeHwnd() const;

    // Any path may be null: no picture for that state.
    void SetBkgndImage(const char* normal, const char* hover, const char* pressed, const char* disabled);
    void SetTextColor(COLORREF normal, COLORREF hover);

    // True when the item belongs to this button and was drawn.
    virtual bool DrawItem(LPDRAWITEMSTRUCT item);

    // Whether the pointer is over the button (for derived drawing).
    bool IsHover() const;

private:
    struct State;
    State* state_;
};
