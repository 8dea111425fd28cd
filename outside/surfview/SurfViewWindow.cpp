#include "SurfViewWindow.h"

#include <cstdio>

#include "EventValue.h"
#include "FrameDispatch.h"
#include "ModulePath.h"
#include "PagePaint.h"
#include "SurfTrace.h"

using surfview::Trace;

namespace {

const UINT kStepMessage = WM_APP + 0x51;

}  // namespace

using pageengine::EventVariant;

SurfViewWindow::SurfViewWindow(CSdkSurfView* owner, CSdkWebEventCallback* callback, UINT number)
    : owner_(owner),
      callback_(callback),
      number_(number),
      thread_(GetCurrentThreadId()),
      session_(this, vantor::ProgramDir()) {
    top_.attach(pageengine::NewFrameDispatch());
}

SurfViewWindow::~SurfViewWindow() = default;

SurfViewWindow::Scope::~Scope() {
    if (--w_->depth_ == 0 && w_->gone_) w_->Release();
}

void SurfViewWindow::Release() {
    if (GetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, nullptr, 0) == 0) {
        delete owner_;  // and this window object with it
        return;
    }
    // Kept for the test: every call of the object finds it gone, and a move of its window
    // gives that hidden window a size.
    owner_->m_hWnd = CreateWindowExW(0, L"STATIC", SURFVIEW_DESTROYED_TITLE, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                     nullptr, nullptr);
}

const wchar_t* SurfViewWindow::ClassName() { return L"SurfViewBrowser"; }

bool SurfViewWindow::RegisterWindowClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    HINSTANCE self = vantor::ThisModule();
    if (GetClassInfoExW(self, ClassName(), &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    // The object sits in the class's own extra bytes: panes subclass the browser window and
    // may use its user data themselves.
    wc.cbWndExtra = sizeof(SurfViewWindow*);
    wc.hInstance = self;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName();
    return RegisterClassExW(&wc) != 0;
}

bool SurfViewWindow::Usable() const { return !gone_ && wnd_ && GetCurrentThreadId() == thread_; }

LRESULT CALLBACK SurfViewWindow::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<SurfViewWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->wnd_ = wnd;
        SetWindowLongPtrW(wnd, 0, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SurfViewWindow*>(GetWindowLongPtrW(wnd, 0));
    if (!self) return DefWindowProcW(wnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT SurfViewWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kStepMessage: {
            Scope scope(this);
            if (!gone_) session_.Step();
            return 0;
        }
        case WM_COPYDATA: {
            auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            if (!data || !data->lpData) return FALSE;
            std::wstring url(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
            url = url.substr(0, url.find(L'\0'));
            Scope scope(this);
            if (data->dwData == SURFVIEW_COPYDATA_CLICK) {
                Trace(L"click " + url);
                if (!gone_) session_.Follow(url);
                return TRUE;
            }
            if (data->dwData == SURFVIEW_COPYDATA_NEW_WINDOW) {
                NewWindow(url);
                return TRUE;
            }
            return FALSE;
        }
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            InvalidateRect(wnd_, nullptr, FALSE);
            break;
        case WM_NCDESTROY: {
            HWND wnd = wnd_;
            Trace(L"destroy " + std::to_wstring(number_));
            gone_ = true;
            session_.Stop();
            owner_->m_hWnd = nullptr;
            wnd_ = nullptr;
            SetWindowLongPtrW(wnd, 0, 0);
            if (depth_ == 0) Release();
            return DefWindowProcW(wnd, msg, wp, lp);
        }
    }
    return DefWindowProcW(wnd_, msg, wp, lp);
}

void SurfViewWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd_, &ps);
    RECT client;
    GetClientRect(wnd_, &client);
    pageengine::PaintPage(dc, client, session_.Current(), scrollY_);
    EndPaint(wnd_, &ps);
}

IDispatch* SurfViewWindow::Frame(int frame) {
    if (frame == pageengine::kTopFrame) return top_.get();
    auto& slot = frames_[frame];
    if (!slot) slot.attach(pageengine::NewFrameDispatch());
    return slot.get();
}

std::wstring SurfViewWindow::FrameName(int frame) const {
    return frame == pageengine::kTopFrame ? L"top" : L"frame" + std::to_wstring(frame);
}

void SurfViewWindow::Scroll(long x, long y) {
    scrollX_ = x < 0 ? 0 : x;
    scrollY_ = y < 0 ? 0 : y;
    InvalidateRect(wnd_, nullptr, FALSE);
}

bool SurfViewWindow::DocSize(long* cx, long* cy) const {
    const pageengine::PageDocument* page = session_.Current();
    long w = 0, h = 0;
    if (page && page->hasSize) {
        w = page->width;
        h = page->height;
    } else if (page) {
        RECT r = {};
        GetClientRect(wnd_, &r);
        w = r.right;
        h = r.bottom;
    }
    if (cx) *cx = w;
    if (cy) *cy = h;
    return page != nullptr;
}

bool SurfViewWindow::OnBeforeNavigate(int frame, const std::wstring& url) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    HRESULT hr = S_OK;
    if (callback_) {
        EventVariant address;
        address.SetText(url);
        EventVariant flags;
        flags.SetLong(0);
        EventVariant target;
        target.SetText(L"");
        EventVariant postData;
        EventVariant headers;
        headers.SetText(L"");
        hr = callback_->OnBeforeNavigate2(Frame(frame), address.get(), flags.get(), target.get(), postData.get(),
                                          headers.get(), &cancel);
    }
    bool cancelled = cancel != VARIANT_FALSE;
    std::wstring line = L"BeforeNavigate2 " + FrameName(frame) + L" " + url + (cancelled ? L" -> cancel" : L" -> proceed");
    if (FAILED(hr)) line += L" (" + pageengine::StatusText(hr) + L")";
    Trace(line);
    return cancelled;
}

void SurfViewWindow::OnProgress(long progressMax, long progress) {
    Trace(L"ProgressChange " + std::to_wstring(progressMax) + L" " + std::to_wstring(progress));
    if (callback_) callback_->OnProgressChange(progressMax, progress);
}

void SurfViewWindow::OnNavigateError(int frame, const std::wstring& url, long status) {
    Trace(L"NavigateError " + FrameName(frame) + L" " + url + L" " +
          pageengine::StatusText(status));
    if (!callback_) return;
    EventVariant address;
    address.SetText(url);
    EventVariant target;
    target.SetText(L"");
    EventVariant code;
    code.SetLong(status);
    callback_->OnNavigateError(Frame(frame), address.get(), target.get(), code.get(), VARIANT_FALSE);
}

void SurfViewWindow::OnNavigateComplete() {
    Trace(L"NavigateComplete");
    scrollX_ = scrollY_ = 0;
    InvalidateRect(wnd_, nullptr, FALSE);
    if (callback_) callback_->OnNavigateComplete();
}

void SurfViewWindow::OnDocumentComplete(int frame, const std::wstring& url) {
    Trace(L"DocumentComplete " + FrameName(frame) + L" " + url);
    if (!callback_) return;
    EventVariant address;
    address.SetText(url);
    callback_->OnDocumentComplete(Frame(frame), address.get());
}

void SurfViewWindow::OnDownloadComplete() {
    Trace(L"DownloadComplete");
    if (callback_) callback_->OnDownloadComplete();
}

void SurfViewWindow::OnCommandState(long command, bool enable) {
    Trace(L"CommandStateChange " + std::to_wstring(command) + (enable ? L" -1" : L" 0"));
    if (callback_) callback_->OnCommandStateChange(command, enable ? VARIANT_TRUE : VARIANT_FALSE);
}

void SurfViewWindow::OnWindowClosing() {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    if (callback_) callback_->OnWindowClosing(VARIANT_FALSE, &cancel);
    Trace(std::wstring(L"WindowClosing -> ") + (cancel != VARIANT_FALSE ? L"cancel" : L"close"));
    // The page's window.close(): the browser goes, and its owner makes a new one if it
    // wants one.
    if (cancel == VARIANT_FALSE && wnd_ && !gone_) DestroyWindow(wnd_);
}

void SurfViewWindow::NewWindow(const std::wstring& url) {
    IDispatch* given = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch** window = &given;
    VARIANT_BOOL* cancelFlag = &cancel;
    if (callback_) callback_->OnNewWindow2(window, cancelFlag);
    Trace(L"NewWindow2 " + url + (cancel != VARIANT_FALSE ? L" -> cancel" : given ? L" -> given" : L" -> allow"));
    if (given) given->Release();
}

void SurfViewWindow::OnFramesDone(const std::vector<int>& frames) {
    for (int frame : frames) frames_.erase(frame);
}

void SurfViewWindow::Wake() {
    if (wnd_ && !gone_) PostMessageW(wnd_, kStepMessage, 0, 0);
}
