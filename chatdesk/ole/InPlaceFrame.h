// The in-place frame a chat window offers the objects embedded in its display.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "OleHost.h"

namespace chatdesk {

class InPlaceFrame : public IOleInPlaceFrame {
public:
    explicit InPlaceFrame(OleHost& host) : host_(host) {}
    virtual ~InPlaceFrame() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
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
    LONG refs_ = 0;
    BOOL helpMode_ = FALSE;
    OleHost& host_;
};

}  // namespace chatdesk
