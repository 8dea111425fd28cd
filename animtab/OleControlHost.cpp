#include "OleControlHost.h"

#include "DebugOut.h"
#include "ModulePath.h"

namespace animtab {
namespace {

const wchar_t kHostClass[] = L"MyOleControl";
const wchar_t kHostWindow[] = L"MyOleControlWindow";

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        SetWindowLongPtrW(wnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return 0;
    }
    OleControlHost* host = reinterpret_cast<OleControlHost*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!host) return DefWindowProcW(wnd, msg, wp, lp);
    switch (msg) {
    case WM_SIZE:
        host->PlaceControl();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(wnd, &paint);
        host->Draw(dc, nullptr, false);
        EndPaint(wnd, &paint);
        return 0;
    }
    case WM_NCHITTEST:
        if (host->hasViewEx()) {
            return host->HitTest({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

OleControlHost::~OleControlHost() {
    ReleaseControl();
    DestroyWindow();
}

void OleControlHost::ReleaseControl() {
    if (object_) object_->Close(OLECLOSE_NOSAVE);
    inPlace_ = nullptr;
    viewEx_ = nullptr;
    view_ = nullptr;
    movie_ = nullptr;
    if (object_) object_->SetClientSite(nullptr);
    object_ = nullptr;
    unknown_ = nullptr;
}

void OleControlHost::DestroyWindow() {
    if (wnd_) ::DestroyWindow(wnd_);
    wnd_ = nullptr;
    // The class's procedure lives in this library: a class left behind after the library
    // is unloaded would send the next host's messages into freed code.
    if (classRegistered_) UnregisterClassW(kHostClass, instance_);
    classRegistered_ = false;
}

bool OleControlHost::Create(REFCLSID clsid, DWORD exStyle, DWORD style, HWND parent, HINSTANCE instance) {
    parent_ = parent;
    instance_ = instance;
    clsid_ = clsid;
    windowless_ = (exStyle & WS_EX_LAYERED) != 0;
    child_ = (style & WS_CHILD) != 0;
    // The layered, windowless mode is not carried: the window is always an ordinary one.
    exStyle &= ~WS_EX_LAYERED;
    windowless_ = false;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClass;
    if (RegisterClassW(&wc)) {
        classRegistered_ = true;
    } else if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    RECT area = {};
    if (child_) GetClientRect(parent, &area);
    else GetWindowRect(parent, &area);
    wnd_ = CreateWindowExW(exStyle, kHostClass, kHostWindow, style, area.left, area.top, area.right - area.left,
                           area.bottom - area.top, parent, nullptr, instance, this);
    if (!wnd_) return false;
    SetWindowPos(wnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    HRESULT hr = OleCreate(clsid, IID_IOleObject, OLERENDER_DRAW, nullptr, static_cast<IOleClientSite*>(this),
                           static_cast<IStorage*>(this), reinterpret_cast<void**>(object_.put()));
    if (hr == REGDB_E_CLASSNOTREG) {
        OnClassNotRegistered();
        return false;
    }
    if (FAILED(hr) || !object_) {
        vantor::DebugLine(L"AnimTab: OleCreate 失败 0x%08lx", static_cast<unsigned long>(hr));
        object_ = nullptr;
        return false;
    }
    OleSetContainedObject(object_.get(), TRUE);
    object_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown_.put()));
    object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(movie_.put()));
    if (FAILED(object_->QueryInterface(IID_IViewObjectEx, reinterpret_cast<void**>(viewEx_.put()))) || !viewEx_) {
        viewEx_ = nullptr;
        if (FAILED(object_->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(view_.put()))) || !view_) {
            view_ = nullptr;
            return false;
        }
    } else {
        view_ = viewEx_.get();
    }
    if (FAILED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace_.put()))) || !inPlace_) {
        inPlace_ = nullptr;
        return false;
    }
    if (!OnBeforeActivate()) return false;
    hr = object_->DoVerb(OLEIVERB_SHOW, nullptr, static_cast<IOleClientSite*>(this), 0, nullptr, nullptr);
    if (FAILED(hr)) return false;
    return OnAfterActivate();
}

void OleControlHost::Draw(HDC dc, const RECT* area, bool erase) {
    if (!view_ || !wnd_) return;
    RECT client;
    GetClientRect(wnd_, &client);
    RECTL bounds = {client.left, client.top, client.right, client.bottom};
    HDC own = dc ? nullptr : ::GetDC(wnd_);
    view_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc ? dc : own, &bounds, nullptr, nullptr, 0);
    if (own) ::ReleaseDC(wnd_, own);
}

void OleControlHost::PlaceControl() {
    if (!inPlace_ || !wnd_) return;
    RECT client;
    GetClientRect(wnd_, &client);
    inPlace_->SetObjectRects(&client, &client);
}

LRESULT OleControlHost::HitTest(POINT screen) {
    RECT bounds;
    GetClientRect(wnd_, &bounds);
    POINT at = screen;
    ScreenToClient(wnd_, &at);
    DWORD hit = HITRESULT_OUTSIDE;
    if (FAILED(viewEx_->QueryHitPoint(DVASPECT_CONTENT, &bounds, at, 1, &hit))) hit = HITRESULT_OUTSIDE;
    return hit == HITRESULT_HIT ? HTCLIENT : HTTRANSPARENT;
}

RECT OleControlHost::SiteRect() const {
    RECT client = {};
    if (wnd_) GetClientRect(wnd_, &client);
    return client;
}

void* OleControlHost::HostInterface(REFIID iid) {
    if (iid == IID_IOleInPlaceFrame) return static_cast<IOleInPlaceFrame*>(this);
    if (iid == IID_IStorage) return static_cast<IStorage*>(this);
    return nullptr;
}

STDMETHODIMP OleControlHost::InvalidateRect(LPCRECT area, BOOL) {
    Draw(nullptr, area, false);
    return S_OK;
}

}  // namespace animtab
