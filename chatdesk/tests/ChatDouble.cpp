#include "ChatDouble.h"

#include <cstring>

namespace cdtest {

namespace {
const wchar_t kClass[] = L"ChatDeskTestChat";
}

bool ChatDouble::CreateDialogWindow(chatdesk::ImService& service) {
    static ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        return RegisterClassW(&wc);
    }();
    if (!atom) return false;
    key_.assign(Peer().id, strnlen(Peer().id, sizeof Peer().id));
    // A message-only window: it takes the service's show and close like a dialog, and
    // never reaches the display that the tests share.
    window_ = CreateWindowExW(0, kClass, L"chat", 0, 0, 0, 100, 60, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (!window_) return false;
    service_ = &service;
    if (!service.Register(key_, this)) {
        service_ = nullptr;
        DestroyWindow(window_);  // the caller then discards the object
        return false;
    }
    return true;
}

LRESULT CALLBACK ChatDouble::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<ChatDouble*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
        if (message == WM_COMMAND && LOWORD(wParam) == 1002) ++self->counts_.recordCommands;
        if (message == WM_DESTROY && self->service_) self->service_->Unregister(self->key_, self);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            ++self->counts_.destroyed;
            self->window_ = nullptr;
            if (self->service_) delete self;
            // A double that never registered is discarded by its maker.
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace cdtest
