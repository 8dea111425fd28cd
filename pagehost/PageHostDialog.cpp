#include "PageHostDialog.h"

#include "CommonKit.h"
#include "DebugOut.h"
#include "GameLaunch.h"
#include "ModulePath.h"
#include "PageBridge.h"
#include "PageHostIds.h"
#include "Text.h"

namespace pagehost {
namespace {

const char kTileConfig[] = "resource\\tilepane\\config.cfg";
const UINT_PTR kGamesTimer = 0;
const wchar_t kLoading[] = L"正在载入，请稍后......";

HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

}  // namespace

PageHostDialog::PageHostDialog(PageHostMode mode)
    : CSkinFrame(true, SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE), mode_(mode) {}

PageHostDialog::~PageHostDialog() = default;

INT_PTR PageHostDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        PlaceBrowser();
        break;
    case WM_TIMER:
        if (mode_ == kGameMode && wParam == kGamesTimer) {
            PostMessageW(m_hWnd, WM_SIZE, 0, 0);
            KillTimer(m_hWnd, kGamesTimer);
            OpenGamesPage();
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (mode_ == kGameMode) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        break;
    default:
        break;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

bool PageHostDialog::OnInitDialog() {
    HICON icon = LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(IDI_PAGEHOST));
    if (icon) SetClassLongPtrW(m_hWnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    PlaceWindow();

    if (!browser_) {
        InitSdkSurfView(ProgramInstance());
        CSdkSurfView::Create(ProgramInstance(), &browser_, m_hWnd, 0, this);
    }
    SetWindowTextW(m_hWnd, Caption(mode_));
    if (mode_ == kGameMode) {
        SetTimer(m_hWnd, kGamesTimer, 1000, nullptr);
    } else {
        OpenClassroomPage();
        PostMessageW(m_hWnd, WM_SIZE, 0, 0);
    }
    CSkinFrame::OnInitDialog();
    return true;
}

void PageHostDialog::PlaceWindow() {
    int width = 0, height = 0;
    _GetProfileIntA("BlockConfig", "std_web_wid", &width, kTileConfig);
    _GetProfileIntA("BlockConfig", "std_web_hei", &height, kTileConfig);
    SIZE screen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SIZE size = WindowSize(width, height, screen);
    MoveWindow(m_hWnd, 0, 0, size.cx, size.cy, FALSE);
    CenterWindow(m_hWnd, nullptr);
}

void PageHostDialog::PlaceBrowser() {
    if (!browser_ || !browser_->m_hWnd) return;
    RECT client;
    GetClientRect(m_hWnd, &client);
    RECT r = BrowserRect(client);
    MoveWindow(browser_->m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void PageHostDialog::OpenClassroomPage() {
    WCHAR list[260] = {};
    if (!_GetProfileStringW(L"999", L"0", list, ARRAYSIZE(list), L"resource\\tilepane\\config.cfg")) list[0] = L'\0';
    std::wstring path = gamelaunch::ClassroomPath(gamelaunch::ReadClassroomDir(), gamelaunch::SecondItem(list));
    // No install folder or no page item: the window shows without a page.
    if (!path.empty() && browser_) browser_->Navigate(path.c_str());
}

void PageHostDialog::OpenGamesPage() {
    char html[50] = {};
    // No games page set: the window shows without a page.
    if (!_GetProfileStringA("LocalGame", "html", html, sizeof html, "resource\\SplashMgr\\config.cfg")) return;
    if (browser_) browser_->Navigate(GamesPagePath(vantor::WideToAnsi(vantor::ProgramDir()), html).c_str());
}

void PageHostDialog::OnPaint(HDC dc) {
    CSkinFrame::OnPaint(dc);
    if (mode_ != kGameMode) return;
    RECT client;
    GetClientRect(m_hWnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, kLoading, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void PageHostDialog::OnDestroy() {
    if (mode_ == kGameMode) ExitSdkSurfView(ProgramInstance());
    browser_ = nullptr;  // the browser goes with its window
    PostQuitMessage(0);
}

HRESULT PageHostDialog::OnBeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                          VARIANT_BOOL* cancel) {
    return pagebridge::FilterNavigation(url, cancel, this);
}

void PageHostDialog::OnDocumentComplete(IDispatch*, VARIANT*) {
    if (mode_ != kGameMode || !firstDocument_) return;
    firstDocument_ = false;
    PushGamesList();
}

// The page closed its window: the browser goes with it once this event returns.
void PageHostDialog::OnWindowClosing(VARIANT_BOOL, VARIANT_BOOL*) { browser_ = nullptr; }

void PageHostDialog::PushGamesList() {
    for (const gamelaunch::GameEntry& game : gamelaunch::ReadGames()) {
        gamelaunch::PageGame page = gamelaunch::ForPage(game);
        pagebridge::CallPageScript(browser_, "addGame", {page.name, page.text, page.path});
    }
}

void PageHostDialog::OnHandleWevCustomEventA(int id, const char* a1) {
    if (mode_ != kGameMode || id != 2 || !a1) return;
    if (!gamelaunch::IsRegisteredLaunch(a1)) {
        vantor::DebugLineA("PageHost: refused to start an unregistered program: %s", a1);
        return;
    }
    gamelaunch::WinExecLaunch(a1);
}

}  // namespace pagehost
