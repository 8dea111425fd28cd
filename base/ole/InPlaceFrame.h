// The in-place frame a window offers the objects it embeds: the chat display's objects
// and the enrolment wizard's browser both see their window's frame through it.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "ComObject.h"

namespace vantor {

// What the frame needs of the window that owns it.
class FrameHost {
public:
    virtual ~FrameHost() = default;
    virtual HWND HostWindow() const = 0;
    // The accelerator table handed to in-place objects, and its entry count (may be null, 0).
    virtual HACCEL Accelerators() const { return nullptr; }
    virtual UINT AcceleratorCount() const { return 0; }
};

// The in-place object active in any frame of this module (one slot for all).
IOleInPlaceActiveObject* ActiveInPlaceObject();
// Puts the object in the slot (a reference is added) and releases the previous one.
void SetActiveInPlaceObject(IOleInPlaceActiveObject* object);

// Reference counted; the host outlives it.
class InPlaceFrame : public ComObject<IOleInPlaceFrame> {
public:
    explicit InPlaceFrame(FrameHost& host) : host_(host) {}

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT rect) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveMenus(HMENU menu) override;
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;

private:
    bool Answers(REFIID riid) const override;

    BOOL helpMode_ = FALSE;
    FrameHost& host_;
};

}  // namespace vantor
