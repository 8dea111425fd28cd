// CSkinFrame: the skinned dialog base that dialogs in other modules derive from.
//
// It runs a dialog from a resource template (modal or modeless), links the window to its
// object through the window property "this", and turns window messages into calls of the
// virtual operations below. A skinned top-level dialog gets a drawn caption band (which
// drags the window), drawn close and minimise boxes, the common skin's background and
// frame, and a window cut to rounded bottom corners.
//
// A skinned dialog's template is a borderless pop-up: the caption band is drawn inside the
// client area and the region follows the window's outline. The resource compiler adds the
// system caption for a CAPTION statement, so such templates end their STYLE with
// "NOT WS_CAPTION" (the caption text is still the window text drawn in the band).
//
// Link "libSkinFrame.dll.a". Every module that derives from the class must be built by the
// same compiler with this same header: the virtual operations are declared in their slot
// order and derived classes add theirs after the last one.
#pragma once

#include <windows.h>

#include "outside/PictKit.h"

#ifdef SKINFRAME_BUILD
#define SKINFRAME_API __declspec(dllexport)
#else
#define SKINFRAME_API __declspec(dllimport)
#endif

// Hit codes the caption answers (the system's own values).
enum : int {
    SKINFRAME_HIT_CAPTION = HTCAPTION,   // 2
    SKINFRAME_HIT_MINIMIZE = HTMINBUTTON,  // 8
    SKINFRAME_HIT_CLOSE = HTCLOSE,       // 20
};

// Caption-button mask bits.
enum : unsigned long {
    SKINFRAME_BUTTON_CLOSE = 1,
    SKINFRAME_BUTTON_MINIMIZE = 2,
};

// What a dialog closed through its close box, Destroy() or WM_CLOSE ends with.
enum : int { SKINFRAME_CLOSE_RESULT = 2 };

class SKINFRAME_API CSkinFrame {
public:
    CSkinFrame(bool skinned = true, unsigned long captionButtons = SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE);
    virtual ~CSkinFrame();

    // The dispatch of the window's messages to the operations below; unlisted messages
    // answer 0 (the dialog manager's default then applies).
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool OnInitDialog();
    virtual int OnCreate();
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void OnCommand(UINT notifyCode, UINT controlId, HWND control);
    virtual bool OnSysCommand(WPARAM command, LPARAM lParam);
    virtual void OnPaint(HDC dc);
    virtual bool OnEraseBkgnd(HDC dc);
    virtual HBRUSH OnCtlColorDlg(HDC dc, HWND window);
    virtual HBRUSH OnCtlColorStatic(HDC dc, HWND control);
    virtual int OnTestNcHit(POINT screenPoint);
    virtual void OnLButtonDown(UINT flags, POINT clientPoint);
    virtual void OnMouseMove(UINT flags, POINT clientPoint);
    virtual void OnMouseLeave();
    virtual void OnLButtonUp(UINT flags, POINT clientPoint);
    virtual void OnClose();
    virtual bool OnDrawItem(LPDRAWITEMSTRUCT item);
    // Called at the end of skin loading, so that derived classes read their own skin keys.
    virtual void LoadCustomSkin();
    virtual void UnloadCustomSkin();
    // Derived content, painted into the same off-screen picture as caption and frame.
    virtual void OnDraw(HDC dc);

protected:
    virtual void DrawTitleBar(HDC dc, const RECT& rect);
    virtual void DrawCaptionBar(HDC dc);
    virtual void DrawWndFrame(HDC dc);

public:
    // Modeless run from the template `dialogId` in `module`; true when a window was made.
    bool Create(HINSTANCE module, UINT dialogId, HWND parent);
    // Modal run; the end value, or -1 when the dialog could not be made.
    int DoModal(HINSTANCE module, UINT dialogId, HWND parent);
    // Closes the window the skinned way; always answers false.
    bool Destroy();
    bool IsModal() const;
    // The client rectangle less the caption band and a 2-pixel margin when skinned.
    void GetRealClientRect(LPRECT rect) const;
    HWND GetSafeHwnd() const { return m_hWnd; }

    CSkinFrame(const CSkinFrame&) = delete;
    CSkinFrame& operator=(const CSkinFrame&) = delete;

protected:
    void LoadSkinResource();
    void UnloadSkinResource();
    void MakeRgnEffect();
    void DrawDownRect(HDC dc, const RECT& rect);
    void DrawUpRect(HDC dc, const RECT& rect);

    HWND m_hWnd;
    COLORREF m_captionStart;
    COLORREF m_captionEnd;
    RECT m_captionRect;
    HBITMAP m_glyphStrip;
    RECT m_closeBox;
    RECT m_minimizeBox;
    int m_lastHit;
    int m_pressedHit;
    unsigned long m_captionButtons;
    COLORREF m_frameColor;
    bool m_skinned;
    bool m_modal;
    PictKit m_background;
    PictKit m_overlay;

private:
    static INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
