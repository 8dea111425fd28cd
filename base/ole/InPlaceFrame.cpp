#include "InPlaceFrame.h"

namespace vantor {

namespace {

IOleInPlaceActiveObject* g_active = nullptr;

}  // namespace

IOleInPlaceActiveObject* ActiveInPlaceObject() { return g_active; }

void SetActiveInPlaceObject(IOleInPlaceActiveObject* object) {
    if (object) object->AddRef();
    IOleInPlaceActiveObject* old = g_active;
    g_active = object;
    if (old) old->Release();
}

bool InPlaceFrame::Answers(REFIID riid) const {
    return riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame;
}

STDMETHODIMP InPlaceFrame::GetWindow(HWND* window) {
    if (!window) return E_INVALIDARG;
    *window = host_.HostWindow();
    return S_OK;
}

STDMETHODIMP InPlaceFrame::ContextSensitiveHelp(BOOL enter) {
    if (enter == helpMode_) return S_OK;
    helpMode_ = enter;
    if (IOleInPlaceActiveObject* active = ActiveInPlaceObject()) active->ContextSensitiveHelp(enter);
    return S_OK;
}

STDMETHODIMP InPlaceFrame::GetBorder(LPRECT rect) {
    if (!rect) return E_INVALIDARG;
    GetClientRect(host_.HostWindow(), rect);
    return S_OK;
}

STDMETHODIMP InPlaceFrame::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
    if (object == ActiveInPlaceObject()) return S_OK;
    SetActiveInPlaceObject(object);
    if (object) object->OnFrameWindowActivate(TRUE);
    return S_OK;
}

STDMETHODIMP InPlaceFrame::RemoveMenus(HMENU menu) {
    if (!menu) return E_INVALIDARG;
    while (GetMenuItemCount(menu) > 0) {
        if (!RemoveMenu(menu, 0, MF_BYPOSITION)) break;
    }
    return S_OK;
}

STDMETHODIMP InPlaceFrame::TranslateAccelerator(LPMSG message, WORD) {
    if (!message) return E_INVALIDARG;
    HACCEL table = host_.Accelerators();
    if (table && ::TranslateAcceleratorW(host_.HostWindow(), table, message)) return S_OK;
    return S_FALSE;
}

}  // namespace vantor
