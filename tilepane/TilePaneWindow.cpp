// The pane window: creation, layout, painting, buttons, private messages and browser events.
#include "TilePaneWindow.h"

#include <commctrl.h>

#include "ClientCore.h"
#include "CommonKit.h"
#include "DebugOut.h"
#include "LoadBar.h"
#include "ModulePath.h"
#include "PageBridge.h"
#include "Text.h"
#include "TilePaneIds.h"
#include "WebAddress.h"
#include "outside/OrderHub.h"

namespace tilepane {
namespace {

// The property that links a dialog to its object (LinkedDialog).
const char kThisProperty[] = "this";
const char kTileConfig[] = "resource\\tilepane\\config.cfg";
const wchar_t kLoadFailed[] = L"网页加载失败，请检查网络设置，稍后重试！";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(vantor::ThisModule()); }

std::string ProgramDirA() { return vantor::WideToAnsi(vantor::ProgramDir()); }

std::string Profile(const char* section, const char* key, const char* file, DWORD chars = 260) {
    std::string value(chars, '\0');
    if (!_GetProfileStringA(section, key, &value[0], chars, file)) return std::string();
    value.resize(strlen(value.c_str()));
    return value;
}

int ProfileInt(const char* section, const char* key, const char* file) {
    int value = 0;
    _GetProfileIntA(section, key, &value, file);
    return value;
}

void MoveTo(HWND window, const RECT& r, bool repaint) {
    if (window) MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}

void AddStyle(HWND window, LONG_PTR style) {
    if (window) SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | style);
}

BOOL CALLBACK DestroyDeepest(HWND child, LPARAM) {
    EnumChildWindows(child, DestroyDeepest, 0);
    if (IsWindow(child)) DestroyWindow(child);
    return TRUE;
}

}  // namespace

TilePaneWindow::TilePaneWindow(HMODULE container, HostContext context, INT_PTR reserved)
    : context_(context), reserved_(reserved), container_(container) {
    RegisterSliderClass();
}

TilePaneWindow::~TilePaneWindow() {
    if (signUp_) FreeLibrary(signUp_);
    UnregisterSliderClass();
}

bool TilePaneWindow::CreateWindowIn(HWND parent) {
    return vantor::LinkedDialog<TilePaneWindow>::Create(Module(), IDD_TILEPANE, parent, this) != nullptr;
}

LRESULT CALLBACK TilePaneWindow::BrowserProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND pane = GetParent(window);
    auto* self = static_cast<TilePaneWindow*>(GetPropA(pane, kThisProperty));
    WNDPROC old = self ? self->browserOldProc_ : nullptr;
    if (message == WM_MOUSEWHEEL && pane) return SendMessageW(pane, message, wParam, lParam);
    return old ? CallWindowProcW(old, window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void TilePaneWindow::CreateBrowser() {
    if (!CSdkSurfView::Create(Module(), &browser_, window_, IDC_TILE_BROWSER, this)) {
        browser_ = nullptr;
        return;
    }
    AddStyle(browser_->m_hWnd, WS_CLIPSIBLINGS);
    AddStyle(GetDlgItem(window_, IDC_TILE_ERROR), WS_CLIPSIBLINGS);
    browser_->SetUIHandler(&uiHandler_);
    WNDPROC old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(browser_->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowserProc)));
    browserOldProc_ = old;
}

void TilePaneWindow::OnInit() {
    SetWindowTextW(window_, L"TilePane");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    InitSdkSurfView(Module());
    CreateBrowser();

    blocks_.Create(Module(), window_, container_, context_);

    tiles_[0].Attach(GetDlgItem(window_, IDC_TILE_INFO), false, "Info");
    tiles_[1].Attach(GetDlgItem(window_, IDC_TILE_HOME), false, "Info");
    tiles_[2].Attach(GetDlgItem(window_, IDC_TILE_RENEWAL), false, "Info");

    std::string dir = ProgramDirA();
    std::string skin = Profile("Global", "SkinName", "config\\uiprof.cfg", 64);
    std::string skinFile = "Skins\\" + skin + "\\TabDeck.skn";
    std::string logo = Profile("Resource", "log_sec", skinFile.c_str());
    if (!logo.empty()) logo_.Open((dir + "Skins\\" + skin + "\\" + logo).c_str());

    BarColours colours = blocks_.Colours();
    std::string barColour = Profile("LoadBar", "color", skinFile.c_str());
    if (!barColour.empty()) colours = ParseBarColours(barColour);

    std::string gray = Profile("pic", "gray", kTileConfig);
    if (!gray.empty()) gray_.Open((dir + "resource\\tilepane\\" + gray).c_str());

    loadBarModule_ = vantor::LoadProgramLibrary(L"LoadBar.dll");
    auto init = vantor::ProcAddress<InitLoadBarProc>(loadBarModule_, "InitLoadBar");
    if (init) {
        init();
        auto create = vantor::ProcAddress<CreateLoadBarProc>(loadBarModule_, "CreateLoadBar");
        if (create) loadBar_ = create(window_, 0, 0, 0, 0, colours.first, colours.last);
    }

    for (int id : {IDC_TILE_HOME, IDC_TILE_INFO, IDC_TILE_RENEWAL, IDC_TILE_BACK, IDC_TILE_FORWARD}) {
        AddStyle(GetDlgItem(window_, id), WS_CLIPSIBLINGS);
    }

    vertical_.Create(Module(), this, true);
    horizontal_.Create(Module(), this, false);

    monitor_.reset(new ProcessMonitor(window_, UM_TILE_MONITOR_DONE));
    RunCommand(6, -1);
}

HWND TilePaneWindow::InfoPaneWindow() const { return _TabPlug_GetSafeHwnd(container_, PLUG_INFO_PANE); }

void TilePaneWindow::Layout() {
    if (!logo_.IsOpen()) return;
    RECT client;
    GetClientRect(window_, &client);
    Margins m;
    m.left = ProfileInt("BlockConfig", "web_left", kTileConfig);
    m.right = ProfileInt("BlockConfig", "web_right", kTileConfig);
    m.top = ProfileInt("BlockConfig", "web_top", kTileConfig);
    m.bottom = ProfileInt("BlockConfig", "web_bottom", kTileConfig);
    web_ = WebRect(client, m);
    if (browser_) MoveTo(browser_->m_hWnd, web_, false);

    logoRect_ = LogoRect(web_, logo_.GetImageSize());
    MoveTo(blocks_.window(), BlockPaneRect(logoRect_, web_), true);
    MoveTo(loadBar_, LoadBarRect(web_), true);

    HWND info = InfoPaneWindow();
    RECT infoClient = {};
    if (info) GetClientRect(info, &infoClient);
    int x = InfoButtonX(client, infoClient.right, web_);
    HWND button = GetDlgItem(window_, IDC_TILE_INFO);
    RECT b;
    GetWindowRect(button, &b);
    int bw = b.right - b.left, bh = b.bottom - b.top;
    int y = web_.top - bh;
    SetWindowPos(button, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND forward = GetDlgItem(window_, IDC_TILE_FORWARD);
    GetWindowRect(forward, &b);
    int fw = b.right - b.left;
    SetWindowPos(forward, nullptr, x - 2 - fw, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND back = GetDlgItem(window_, IDC_TILE_BACK);
    GetWindowRect(back, &b);
    SetWindowPos(back, nullptr, x - 2 - fw - 1 - (b.right - b.left), y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    (void)bw;
    if (info) SetWindowPos(info, nullptr, x, web_.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    if (browser_) {
        SetWindowRgn(browser_->m_hWnd, nullptr, FALSE);
        if (browserRegion_) DeleteObject(browserRegion_);
        RECT round = BrowserRoundRect(web_);
        browserRegion_ = CreateRectRgn(0, 0, round.right, round.bottom);
        HRGN corners = CreateRoundRectRgn(round.left, round.top, round.right, round.bottom, 9, 9);
        CombineRgn(browserRegion_, browserRegion_, corners, RGN_AND);
        DeleteObject(corners);
        // The window takes a copy: the pane keeps its own for painting.
        HRGN given = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(given, browserRegion_, nullptr, RGN_COPY);
        if (!SetWindowRgn(browser_->m_hWnd, given, TRUE)) DeleteObject(given);
    }
    InvalidateRect(window_, nullptr, TRUE);
}

void TilePaneWindow::Paint(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    if (background_.IsOpen()) {
        SIZE image = background_.GetImageSize();
        if (image.cx < GetSystemMetrics(SM_CXSCREEN) || image.cy < GetSystemMetrics(SM_CYSCREEN)) {
            background_.Draw(dc, client);
        } else {
            int ox = (image.cx - client.right) / 2, oy = (image.cy - client.bottom) / 2;
            RECT whole = {-ox, -oy, image.cx - ox, image.cy - oy};
            background_.Draw(dc, whole);
        }
    } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (logo_.IsOpen()) logo_.Draw(dc, logoRect_, PICTKIT_DRAW_WHITE_TRANSPARENT);

    std::string dir = ProgramDirA() + "resource\\tilepane\\";
    auto picture = [&](const char* key, PictKit* pict) {
        std::string file = Profile("pic", key, kTileConfig);
        return !file.empty() && pict->Open((dir + file).c_str());
    };
    PictKit pict;
    if (picture("ele_v", &pict)) {
        RECT r = {web_.left + 9, web_.bottom, web_.right - 9, web_.bottom + pict.GetImageSize().cy};
        pict.Draw(dc, r);
    }
    if (picture("ele_h_l", &pict)) {
        RECT r = {web_.left - pict.GetImageSize().cx, web_.top, web_.left, web_.bottom - 9};
        pict.Draw(dc, r);
    }
    if (picture("ele_h_r", &pict)) {
        RECT r = {web_.right, web_.top, web_.right + pict.GetImageSize().cx, web_.bottom - 9};
        pict.Draw(dc, r);
    }
    for (const char* key : {"c_l", "c_r"}) {
        if (!picture(key, &pict)) continue;
        SIZE s = pict.GetImageSize();
        int cx = key[2] == 'l' ? web_.left : web_.right;
        RECT r = {cx - s.cx / 2, web_.bottom - s.cy / 2, cx - s.cx / 2 + s.cx, web_.bottom - s.cy / 2 + s.cy};
        pict.Draw(dc, r, PICTKIT_DRAW_WHITE_TRANSPARENT);
    }
    if (browserRegion_) {
        HRGN moved = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(moved, browserRegion_, nullptr, RGN_COPY);
        OffsetRgn(moved, web_.left, web_.top);
        FillRgn(dc, moved, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DeleteObject(moved);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xAB, 0xAB, 0xAB));
    HGDIOBJ old = SelectObject(dc, pen);
    POINT border[4] = {{web_.left - 1, web_.bottom - 9},
                       {web_.left - 1, web_.top - 1},
                       {web_.right, web_.top - 1},
                       {web_.right, web_.bottom - 9}};
    Polyline(dc, border, 4);
    MoveToEx(dc, web_.left + 9, web_.bottom, nullptr);
    LineTo(dc, web_.right - 9, web_.bottom);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void TilePaneWindow::ToggleInfoPane() {
    HWND info = InfoPaneWindow();
    bool visible = info && IsWindowVisible(info);
    _TabPlug_Show(container_, PLUG_INFO_PANE, visible ? 0 : 1);
    HWND button = GetDlgItem(window_, IDC_TILE_INFO);
    SetWindowTextW(button, visible ? L"打开个人信息" : L"关闭个人信息");
    tiles_[0].SetArrowDown(!visible);
    InvalidateRect(button, nullptr, TRUE);
}

void TilePaneWindow::UpdateInfoState() {
    HWND info = InfoPaneWindow();
    bool visible = info && IsWindowVisible(info);
    HWND button = GetDlgItem(window_, IDC_TILE_INFO);
    SetWindowTextW(button, visible ? L"关闭个人信息" : L"打开个人信息");
    tiles_[0].SetArrowDown(visible);
    InvalidateRect(button, nullptr, TRUE);
}

void TilePaneWindow::Home() {
    HMODULE hub = vantor::LoadProgramLibrary(L"OrderHub.dll");
    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(hub, "OrderHub_Action");
    if (action) {
        Navigate("about:blank");
        action(PLUG_HOME_PANE, 1, 0);
        action(PLUG_TABDECK, 3, 0);
    }
    if (hub) FreeLibrary(hub);
}

void TilePaneWindow::Renewal() {
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    auto remote = vantor::ProcAddress<decltype(&Cco_GetRemoteUrlA)>(core, "Cco_GetRemoteUrlA");
    RemoteUrlInfoA info = {};
    if (remote && remote(REMOTE_URL_PAY_FEE, &info) == 0) {
        vantor::OpenWebAddress(window_, vantor::FieldText(info.url));
        renewalRetries_.Reset();
    } else if (remote && renewalRetries_.Fail()) {
        PostMessageW(window_, WM_COMMAND, IDC_TILE_RENEWAL, 0);
    }
    if (core) FreeLibrary(core);
}

void TilePaneWindow::OnCommand(int id) {
    switch (id) {
    case IDC_TILE_INFO: ToggleInfoPane(); break;
    case IDC_TILE_HOME: Home(); break;
    case IDC_TILE_RENEWAL: Renewal(); break;
    case IDC_TILE_BACK: if (browser_) browser_->GoBack(); break;
    case IDC_TILE_FORWARD: if (browser_) browser_->GoForward(); break;
    default: break;
    }
}

void TilePaneWindow::ShrinkBrowser() {
    if (browser_) SetWindowPos(browser_->m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TilePaneWindow::ShowLoadBar(bool show) {
    if (!loadBar_) return;
    if (show) {
        SetWindowPos(loadBar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        ShowWindow(loadBar_, SW_HIDE);
    }
}

void TilePaneWindow::UpdateScrollRanges() {
    long cx = 0, cy = 0;
    if (!browser_ || !browser_->GetDocSize(&cx, &cy)) return;
    int v = ScrollRangeEnd(cy, web_.bottom - web_.top);
    if (v >= 0) vertical_.SetRange(v);
    ShowWindow(vertical_.window(), v >= 0 ? SW_SHOWNA : SW_HIDE);
    int h = ScrollRangeEnd(cx, web_.right - web_.left);
    if (h >= 0) horizontal_.SetRange(h);
    ShowWindow(horizontal_.window(), h >= 0 ? SW_SHOWNA : SW_HIDE);
}

int TilePaneWindow::OtherPosition(bool vertical) const {
    const TileScrollHost& other = vertical ? horizontal_ : vertical_;
    return other.window() ? other.Position() : 0;
}

void TilePaneWindow::Reload() {
    // Normally the page closed the old browser; one still there goes with its window.
    if (browser_) DestroyWindow(browser_->m_hWnd);
    browser_ = nullptr;
    browserOldProc_ = nullptr;
    CreateBrowser();
    Layout();
    if (!lastUrl_.empty()) Navigate(lastUrl_);
}

void TilePaneWindow::OnDestroy() {
    if (monitor_) monitor_->Stop();
    monitor_.reset();  // closes the handles of programs still running
    blocks_.Destroy();
    if (loadBarModule_ && loadBar_) {
        DestroyWindow(loadBar_);
        loadBar_ = nullptr;
        auto uninit = vantor::ProcAddress<UninitLoadBarProc>(loadBarModule_, "UninitLoadBar");
        if (uninit) uninit();
    }
    if (loadBarModule_) FreeLibrary(loadBarModule_);
    loadBarModule_ = nullptr;
    stepTo_ = nullptr;
    for (InfoTileButton& tile : tiles_) tile.Detach();
    EnumChildWindows(window_, DestroyDeepest, 0);
    browser_ = nullptr;
    ExitSdkSurfView(Module());
    if (browserRegion_) DeleteObject(browserRegion_);
    browserRegion_ = nullptr;
}

// The handler may free the pane (a close during a sign-up): nothing after it.
INT_PTR TilePaneWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        return TRUE;
    case WM_NCDESTROY:
        vantor::LinkedDialog<TilePaneWindow>::Unlink(window_);
        return FALSE;
    case WM_SIZE:
        Layout();
        return TRUE;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        Paint(dc);
        EndPaint(window_, &ps);
        return TRUE;
    }
    case WM_PRINTCLIENT:
        // The transparent block pane draws the pane's picture under itself.
        Paint(reinterpret_cast<HDC>(wParam));
        return TRUE;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        for (const InfoTileButton& tile : tiles_) {
            if (tile.window() == item->hwndItem) {
                tile.Draw(item);
                return TRUE;
            }
        }
        return FALSE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_TILE_ERROR) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        return FALSE;
    case WM_MOUSEWHEEL:
        PostMessageW(vertical_.window(), WM_VSCROLL,
                     static_cast<short>(HIWORD(wParam)) > 0 ? SB_PAGEUP : SB_PAGEDOWN, 0);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window_);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case UM_TILE_RUNCOMMAND:
        RunCommand(static_cast<int>(wParam), 0);
        return TRUE;
    case UM_TILE_INFOSTATE:
        UpdateInfoState();
        return TRUE;
    case UM_TILE_APPLY:
        OnApply(static_cast<int>(wParam));  // may free the pane
        return TRUE;
    case UM_TILE_MONITOR_DONE:
        if (monitor_) monitor_->OnDone();
        return TRUE;
    case UM_TILE_RELOAD:
        Reload();
        return TRUE;
    default:
        return FALSE;
    }
}

// --- browser events

HRESULT TilePaneWindow::OnBeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                          VARIANT_BOOL* cancel) {
    navigateError_ = false;
    return pagebridge::FilterNavigation(url, cancel, this);
}

void TilePaneWindow::OnDocumentComplete(IDispatch*, VARIANT* url) {
    if (clearHistoryPending_) {
        std::string text;
        pagebridge::VariantText(url, &text);
        if (text != "about:blank") clearHistoryPending_ = false;
        if (browser_) browser_->ClearTraveLog();
        EnableWindow(GetDlgItem(window_, IDC_TILE_BACK), FALSE);
        EnableWindow(GetDlgItem(window_, IDC_TILE_FORWARD), FALSE);
    }
    if (browser_) browser_->RemoveScrollBar();
    UpdateScrollRanges();
    if (gamesListPending_) {
        gamesListPending_ = false;
        PushGamesList();
    }
}

void TilePaneWindow::OnCommandStateChange(long command, VARIANT_BOOL enable) {
    if (!historyEnabled_) {
        EnableWindow(GetDlgItem(window_, IDC_TILE_BACK), FALSE);
        EnableWindow(GetDlgItem(window_, IDC_TILE_FORWARD), FALSE);
        return;
    }
    int id = command == SURFVIEW_COMMAND_FORWARD ? IDC_TILE_FORWARD
             : command == SURFVIEW_COMMAND_BACK  ? IDC_TILE_BACK
                                                 : 0;
    if (id) EnableWindow(GetDlgItem(window_, id), enable == VARIANT_TRUE);
}

void TilePaneWindow::OnProgressChange(long progressMax, long progress) {
    int p = ProgressPercent(progressMax, progress);
    if (p < 0 || !loadBarModule_) return;
    if (!stepTo_) stepTo_ = reinterpret_cast<void*>(GetProcAddress(loadBarModule_, "StepTo"));
    if (stepTo_ && loadBar_) reinterpret_cast<StepToProc>(stepTo_)(loadBar_, p);
}

void TilePaneWindow::OnNavigateComplete() {
    ShowLoadBar(false);
    if (navigateError_ || !browser_) return;
    HWND error = GetDlgItem(window_, IDC_TILE_ERROR);
    SetWindowPos(error, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    MoveTo(browser_->m_hWnd, web_, true);
    int w = web_.right - web_.left, h = web_.bottom - web_.top;
    SetWindowPos(vertical_.window(), nullptr, web_.right, web_.top, GetSystemMetrics(SM_CXVSCROLL), h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(horizontal_.window(), nullptr, web_.left, web_.bottom, w, GetSystemMetrics(SM_CYHSCROLL) + 1,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(vertical_.window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(horizontal_.window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(browser_->m_hWnd, horizontal_.window(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TilePaneWindow::OnNavigateError(IDispatch* frame, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL) {
    if (!browser_ || !browser_->IsObject(frame)) return;
    navigateError_ = true;
    ShrinkBrowser();
    HWND error = GetDlgItem(window_, IDC_TILE_ERROR);
    SetWindowTextW(error, kLoadFailed);
    MoveTo(error, web_, true);
    ShowWindow(error, SW_SHOWNA);
}

void TilePaneWindow::OnDownloadComplete() { UpdateScrollRanges(); }

void TilePaneWindow::OnWindowClosing(VARIANT_BOOL, VARIANT_BOOL*) {
    // The browser goes with its window once this event returns; a new one comes with the
    // reload. Its old window procedure stays until then for the messages of its end.
    browser_ = nullptr;
    PostMessageW(window_, UM_TILE_RELOAD, 0, 0);
}

}  // namespace tilepane
