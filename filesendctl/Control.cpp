// The control's life, its _DFileSendCtl methods, redraws and its window.
#include "Control.h"

#include <windowsx.h>

#include "DebugOut.h"
#include "FileIcon.h"
#include "FileSendCtl.h"
#include "Module.h"
#include "Resource.h"
#include "SaveName.h"

namespace filesend {

namespace {

const wchar_t kWindowClass[] = L"FileSendCtlWindow";
const wchar_t kNotifierClass[] = L"FileSendCtlNotifier";
// Posted to the notifier: a whole redraw (wParam 0) or, as progress comes in, the status box.
const UINT WM_CONTROL_REDRAW = WM_APP + 1;
const UINT WM_PROGRESS_REDRAW = WM_USER + 1000;
// Progress comes after every block, thousands a second on a fast link: the progress box
// is redrawn at most this often, the last value always shown.
const DWORD kProgressPaceMs = 100;
const UINT_PTR kRedrawTimer = 1;

HFONT MakeFont(bool underline) {
    return CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

// A window of another thread cannot be destroyed from here: it is cut loose from its
// object and asked to close itself.
void DestroyOwnedWindow(HWND window, DWORD ownerThread) {
    if (!window) return;
    if (GetCurrentThreadId() == ownerThread) {
        DestroyWindow(window);
        return;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

template <typename T>
void ReleaseSlot(T*& slot) {
    if (slot) {
        T* old = slot;
        slot = nullptr;
        old->Release();
    }
}

}  // namespace

void FileSendControl::RegisterClasses() {
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = Module();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW nc = {sizeof(nc)};
    nc.lpfnWndProc = NotifierProc;
    nc.hInstance = Module();
    nc.lpszClassName = kNotifierClass;
    RegisterClassExW(&nc);
}

void FileSendControl::UnregisterClasses() {
    UnregisterClassW(kWindowClass, Module());
    UnregisterClassW(kNotifierClass, Module());
}

HRESULT FileSendControl::Create(REFIID riid, void** out) {
    FileSendControl* control = new (std::nothrow) FileSendControl();
    if (!control) return E_OUTOFMEMORY;
    HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
}

FileSendControl::FileSendControl()
    : textFont_(MakeFont(false)),
      linkFont_(MakeFont(true)),
      ownerThread_(GetCurrentThreadId()),
      events_(static_cast<IConnectionPointContainer*>(this), DIID__DFileSendCtlEvents) {
    ObjectCreated();
    ownIcon_ = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(IDI_FILESENDCTL), IMAGE_ICON, 32, 32, 0));
    notifier_ = CreateWindowExW(0, kNotifierClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(), this);
}

FileSendControl::~FileSendControl() {
    WriteProgressLines();
    events_.UnadviseAll();
    DestroyOwnedWindow(window_, ownerThread_);
    DestroyOwnedWindow(notifier_, ownerThread_);
    ReleaseSlot(viewSink_);
    ReleaseSlot(oleAdvise_);
    ReleaseSlot(dataAdvise_);
    ReleaseSlot(document_);
    ReleaseSlot(frame_);
    ReleaseSlot(inPlaceSite_);
    ReleaseSlot(clientSite_);
    ReleaseSlot(typeLib_);
    if (fileIcon_) DestroyIcon(fileIcon_);
    if (ownIcon_) DestroyIcon(ownIcon_);
    ObjectDestroyed();
}

STDMETHODIMP FileSendControl::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DFileSendCtl)
        *out = static_cast<IDispatch*>(this);
    else if (riid == IID_IOleObject)
        *out = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
        *out = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleInPlaceActiveObject)
        *out = static_cast<IOleInPlaceActiveObject*>(this);
    else if (riid == IID_IOleControl)
        *out = static_cast<IOleControl*>(this);
    else if (riid == IID_IViewObject || riid == IID_IViewObject2)
        *out = static_cast<IViewObject2*>(this);
    else if (riid == IID_IDataObject)
        *out = static_cast<IDataObject*>(this);
    else if (riid == IID_IPersist || riid == IID_IPersistStorage)
        *out = static_cast<IPersistStorage*>(this);
    else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
        *out = static_cast<IProvideClassInfo2*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_ISpecifyPropertyPages)
        *out = static_cast<ISpecifyPropertyPages*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FileSendControl::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) FileSendControl::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

//--- _DFileSendCtl

void FileSendControl::SetFile(bool sending, const std::wstring& who, const std::wstring& file,
                              const std::wstring& size, const std::wstring* dateTime) {
    HICON icon = sending ? SenderIcon(file) : ReceiverIcon(ExtensionOf(ProposedSaveName(file)));
    HICON old;
    {
        vantor::Lock hold(lock_);
        if (sending)
            state_.SetTransFile(who, file, size, dateTime);
        else
            state_.SetAcceptFile(who, file, size, dateTime);
        old = fileIcon_;
        fileIcon_ = icon;
    }
    if (old) DestroyIcon(old);
    RequestRedraw(kRedrawAll);
}

void FileSendControl::CancelTransmitFile() {
    bool changed;
    {
        vantor::Lock hold(lock_);
        changed = state_.Cancel();
    }
    if (changed) RequestRedraw(kRedrawAll);
}

void FileSendControl::RejectTransmitFile() {
    bool changed;
    {
        vantor::Lock hold(lock_);
        changed = state_.Reject();
    }
    if (changed) RequestRedraw(kRedrawAll);
}

std::wstring FileSendControl::GetTransmitFileName() {
    vantor::Lock hold(lock_);
    return state_.TransmitFileName();
}

bool FileSendControl::IsTransmitFile(const wchar_t* dateTime) {
    vantor::Lock hold(lock_);
    return state_.IsTransmitFile(dateTime);
}

// Starting to send or receive changes only the status box too: the one link stays.
void FileSendControl::SetTransmitProgress(double percent) {
    std::wstring lines;
    {
        vantor::Lock hold(lock_);
        state_.SetProgress(percent);
        lines = progressLines_.Add(L"当前的传输进度为：%.2f%%\n", percent);
    }
    vantor::DebugText(lines);
    RequestRedraw(kRedrawProgress);
}

void FileSendControl::WriteProgressLines() {
    std::wstring lines;
    {
        vantor::Lock hold(lock_);
        lines = progressLines_.Take();
    }
    vantor::DebugText(lines);
}

void FileSendControl::TransmitComplete() {
    {
        vantor::Lock hold(lock_);
        state_.Complete();
    }
    RequestRedraw(kRedrawAll);
}

bool FileSendControl::IsInTransfering() {
    vantor::Lock hold(lock_);
    return state_.IsInTransfering();
}

bool FileSendControl::IsSendWaiting() {
    vantor::Lock hold(lock_);
    return state_.IsSendWaiting();
}

void FileSendControl::TransmitFailed() {
    bool changed;
    {
        vantor::Lock hold(lock_);
        changed = state_.Fail();
    }
    if (changed) RequestRedraw(kRedrawAll);
}

bool FileSendControl::IsRequestWaiting() {
    vantor::Lock hold(lock_);
    return state_.IsRequestWaiting();
}

//--- Redraws

// Each pending post holds a reference, so the notifier never reaches a deleted control;
// a second request while one is pending only widens it.
void FileSendControl::RequestRedraw(Redraw what) {
    // Whatever ends or changes more than the progress comes after the lines gathered.
    if (what != kRedrawProgress) WriteProgressLines();
    bool post;
    {
        vantor::Lock hold(lock_);
        post = pendingRedraw_ == 0;
        pendingRedraw_ |= what;
    }
    if (!post || !notifier_) return;
    AddRef();
    UINT message = what == kRedrawProgress ? WM_PROGRESS_REDRAW : WM_CONTROL_REDRAW;
    if (!PostMessageW(notifier_, message, 0, 0)) {
        {
            vantor::Lock hold(lock_);
            pendingRedraw_ = 0;
        }
        Release();
    }
}

// A progress redraw too soon after the last one waits for the timer; its request stays
// pending meanwhile, so no further posts are made and later changes join it.
void FileSendControl::PacedRedraw(HWND notifier) {
    int what;
    {
        vantor::Lock hold(lock_);
        what = pendingRedraw_;
    }
    DWORD since = GetTickCount() - lastRedraw_;
    if (what == kRedrawProgress && since < kProgressPaceMs) {
        if (!redrawTimer_) redrawTimer_ = SetTimer(notifier, kRedrawTimer, kProgressPaceMs - since, nullptr) != 0;
        if (redrawTimer_) return;
    }
    FlushRedraw();
}

void FileSendControl::FlushRedraw() {
    WriteProgressLines();
    int what;
    {
        vantor::Lock hold(lock_);
        what = pendingRedraw_;
        pendingRedraw_ = 0;
    }
    if (!what) return;
    lastRedraw_ = GetTickCount();
    OnRedraw(what);
}

void FileSendControl::OnRedraw(int what) {
    try {
        if (window_) {
            if (what & kRedrawAll) {
                InvalidateRect(window_, nullptr, FALSE);
            } else {
                vantor::DebugLine(L"SetTransmitProgress InvalidateControl\n");
                RECT client;
                GetClientRect(window_, &client);
                RECT box = StatusBox(client.right);
                InvalidateRect(window_, &box, FALSE);
            }
        }
        NotifyViewChange();
    } catch (...) {
        // A host's sink that throws must not take the control's window down with it.
        vantor::DebugLine(L"刷新控件时发生了异常\n");
    }
}

// Hosts that draw the control themselves (a document showing it inactive) hear of the
// change through their advise sinks; a host without one has its window repainted.
void FileSendControl::NotifyViewChange() {
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
    if (dataAdvise_) dataAdvise_->SendOnDataChange(static_cast<IDataObject*>(this), 0, 0);
    if (!viewSink_ && !window_ && clientSite_) {
        IOleInPlaceSite* site = nullptr;
        if (SUCCEEDED(clientSite_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site)))) {
            HWND host = nullptr;
            if (SUCCEEDED(site->GetWindow(&host)) && host) InvalidateRect(host, nullptr, FALSE);
            site->Release();
        }
    }
}

LRESULT CALLBACK FileSendControl::NotifierProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto control = reinterpret_cast<FileSendControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_CONTROL_REDRAW || message == WM_PROGRESS_REDRAW) {
        if (!control) return 0;
        control->PacedRedraw(window);
        control->Release();  // the post's reference
        return 0;
    }
    if (message == WM_TIMER && wParam == kRedrawTimer) {
        KillTimer(window, kRedrawTimer);
        if (!control) return 0;
        control->redrawTimer_ = false;
        control->FlushRedraw();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

//--- Drawing

RECT FileSendControl::PaintInto(HDC dc, const RECT& bounds) {
    TransferState view;
    PaintTools tools;
    {
        vantor::Lock hold(lock_);
        view = state_;
        tools.fileIcon = fileIcon_ ? CopyIcon(fileIcon_) : nullptr;
    }
    tools.textFont = textFont_.get();
    tools.linkFont = linkFont_.get();
    tools.ownIcon = ownIcon_;
    RECT link = PaintControl(dc, bounds, view, tools);
    if (tools.fileIcon) DestroyIcon(tools.fileIcon);
    return link;
}

HBITMAP FileSendControl::RenderBitmap() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kControlWidth, kControlHeight);
    ReleaseDC(nullptr, screen);
    if (dc && bitmap) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT bounds = {0, 0, kControlWidth, kControlHeight};
        PaintInto(dc, bounds);
        SelectObject(dc, old);
    }
    if (dc) DeleteDC(dc);
    return bitmap;
}

HENHMETAFILE FileSendControl::RenderMetafile() {
    RECT frame = {0, 0, kExtentX, kExtentY};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    if (!dc) return nullptr;
    RECT bounds = {0, 0, kControlWidth, kControlHeight};
    PaintInto(dc, bounds);
    return CloseEnhMetaFile(dc);
}

//--- The control's window

bool FileSendControl::CreateControlWindow(HWND parent, const RECT& pos) {
    window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, Module(), this);
    return window_ != nullptr;
}

LRESULT CALLBACK FileSendControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto owner = static_cast<FileSendControl*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        owner->window_ = window;
    }
    auto control = reinterpret_cast<FileSendControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control) {
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (control->window_ == window) {
            control->window_ = nullptr;
            if (control->inPlaceActive_) control->OnHostGone();
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return control->OnMessage(message, wParam, lParam);
}

LRESULT FileSendControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && OnSetCursor()) return TRUE;
        break;
    case WM_LBUTTONDOWN:
        OnButtonDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEACTIVATE:
    case WM_SETFOCUS:
        ActivateInPlace(true, nullptr, nullptr);
        if (message == WM_MOUSEACTIVATE) return MA_ACTIVATE;
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void FileSendControl::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT client;
    GetClientRect(window_, &client);
    // Drawn off screen first: progress updates come often and must not flicker.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        RECT link = PaintInto(memory, client);
        {
            vantor::Lock hold(lock_);
            firstLink_ = link;
        }
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    EndPaint(window_, &ps);
}

bool FileSendControl::OnSetCursor() {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    int link;
    {
        vantor::Lock hold(lock_);
        link = LinkAt(firstLink_, state_.LinkCount(), point);
    }
    if (link < 0) return false;
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    return true;
}

void FileSendControl::OnButtonDown(POINT point) {
    {
        vantor::Lock hold(lock_);
        pressedLink_ = LinkAt(firstLink_, state_.LinkCount(), point);
    }
    if (pressedLink_ >= 0) SetCapture(window_);
}

void FileSendControl::OnButtonUp(POINT point) {
    int pressed = pressedLink_;
    pressedLink_ = -1;
    if (pressed < 0) return;
    ReleaseCapture();
    int over;
    {
        vantor::Lock hold(lock_);
        over = LinkAt(firstLink_, state_.LinkCount(), point);
    }
    if (over == pressed) RunClick(pressed);
}

// The host may close and release the control while the save dialog runs: a reference is
// held meanwhile, and a closed control fires nothing.
void FileSendControl::RunClick(int link) {
    AddRef();
    ClickOutcome outcome;
    std::wstring dateTime;
    {
        vantor::Lock hold(lock_);
        outcome = state_.Click(link);
    }
    std::wstring savePath;
    bool gone = false;
    if (outcome.askSavePath) {
        bool chosen = AskSavePath(&savePath);
        gone = HostLetGo();
        vantor::Lock hold(lock_);
        // The host may also have ended the offer meanwhile: then the path comes too late.
        if (chosen && !gone && state_.Accept()) {
            outcome.event = kRecvAcceptEvent;
            dateTime = state_.DateTime();
        }
    }
    RequestRedraw(kRedrawAll);
    if (outcome.event != kNoEvent && !gone && !closed_) {
        if (outcome.event == kRecvAcceptEvent) {
            VARIANT args[2];
            args[1].vt = VT_BSTR;
            args[1].bstrVal = SysAllocString(savePath.c_str());
            args[0].vt = VT_BSTR;
            args[0].bstrVal = SysAllocString(dateTime.c_str());
            DISPPARAMS params = {args, nullptr, 2, 0};
            events_.Fire(outcome.event, &params);
            VariantClear(&args[0]);
            VariantClear(&args[1]);
        } else {
            events_.Fire(outcome.event, nullptr);
        }
    }
    Release();
}

// The window the host gave us went away without a deactivation: the document is gone
// (a RichEdit releases its objects without closing them), so its site is let go too.
void FileSendControl::OnHostGone() {
    inPlaceActive_ = false;
    uiActive_ = false;
    closed_ = true;
    ReleaseSlot(document_);
    ReleaseSlot(frame_);
    ReleaseSlot(inPlaceSite_);
    ReleaseSlot(clientSite_);
}

// Nobody is left to hear an event: the control was closed, its document went, or only
// the control's own hold keeps it alive.
bool FileSendControl::HostLetGo() const { return closed_ || refs_ == 1; }

bool FileSendControl::AskSavePath(std::wstring* path) {
    std::wstring name, extension;
    {
        vantor::Lock hold(lock_);
        name = ProposedSaveName(state_.File());
    }
    extension = ExtensionOf(name);
    std::wstring filter = DialogFilter(SaveFilter(extension));
    std::wstring defaultExtension = extension.empty() ? std::wstring() : extension.substr(1);
    wchar_t chosen[MAX_PATH] = {};
    lstrcpynW(chosen, name.c_str(), MAX_PATH);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameW(&ofn)) return false;
    *path = chosen;
    return true;
}

}  // namespace filesend
