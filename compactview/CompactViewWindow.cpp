#include "CompactViewWindow.h"

#include "CommonKit.h"
#include "CompactViewIds.h"
#include "ContactRecords.h"
#include "Handles.h"
#include "ModulePath.h"
#include "PaneWindow.h"
#include "TabPlug.h"
#include "Text.h"
#include "outside/RostLedger.h"
#include "outside/TabDeck.h"

namespace compactview {

namespace {
const wchar_t kConfig[] = L"resource\\compactview\\config.cfg";

// Empty for no name: a picture that is not set opens nothing.
std::wstring PicturePath(const std::wstring& name) {
    return name.empty() ? std::wstring() : vantor::ProgramPath(L"resource\\compactview\\" + name);
}

// One brush for every window of the module, made at first use and kept.
HBRUSH DialogBrush() {
    static HBRUSH brush = CreateSolidBrush(RGB(226, 232, 240));
    return brush;
}
}  // namespace

std::wstring PictureName(const wchar_t* key, size_t chars) {
    std::wstring name(chars, L'\0');
    if (!_GetProfileStringW(L"pic", key, &name[0], static_cast<DWORD>(chars), kConfig)) return std::wstring();
    name.resize(wcslen(name.c_str()));
    return name;
}

std::string AccountId(HostContext context) {
    vantor::UniqueModule ledger(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    FriendInfoA record = {};
    FriendHandle account = current ? current(context) : nullptr;
    if (account && info) info(context, account, &record);
    return vantor::FieldText(record.id);
}

CompactViewWindow::CompactViewWindow(HMODULE container, HostContext context, INT_PTR reserved)
    : container_(container), context_(context), reserved_(reserved) {}

CompactViewWindow::~CompactViewWindow() = default;

bool CompactViewWindow::Create(HINSTANCE module, HWND owner) {
    return vantor::LinkedDialog<CompactViewWindow>::Create(module, IDD_COMPACTVIEW, owner, this) != nullptr;
}

INT_PTR CompactViewWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextW(window_, L"精简界面窗口");
        CenterWindow(window_, nullptr);
        BringWindowToTop(window_);
        titlePicture_.Open(PicturePath(PictureName(L"title", 260)).c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SWITCH) SwitchToFullStyle();
        if (LOWORD(wParam) == IDC_CLOSE) ShowWindow(window_, SW_HIDE);
        return TRUE;
    case WM_CLOSE:
        ShowWindow(window_, SW_HIDE);
        return TRUE;
    case WM_SIZE:
        // The compact view never fills the screen: maximising means going back to the
        // full tab window.
        if (wParam == SIZE_MAXIMIZED) {
            SwitchToFullStyle();
        } else {
            LayOutPane();
        }
        return TRUE;
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT client;
        GetClientRect(window_, &client);
        FillRect(dc, &client, DialogBrush());
        DrawTitle(dc);
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID != IDC_SWITCH && item->CtlID != IDC_CLOSE) return FALSE;
        DrawButton(item);
        return TRUE;
    }
    case WM_CTLCOLORBTN:
        return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(DialogBrush());
    case WM_LBUTTONDOWN:
        // Any free point of the client area drags the window.
        SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        return TRUE;
    case WM_DESTROY:
        vantor::LinkedDialog<CompactViewWindow>::Unlink(window_);
        delete this;
        return TRUE;
    }
    return FALSE;
}

void CompactViewWindow::LayOutPane() {
    HWND pane = _TabPlug_GetSafeHwnd(container_, PLUG_INFO_PANE);
    if (!pane || GetParent(pane) != window_) return;
    RECT client;
    GetClientRect(window_, &client);
    CompactLayout l = LayOut(client, GetSystemMetrics(SM_CYSIZE));
    title_ = l.title;
    MoveWindow(pane, l.pane.left, l.pane.top, l.pane.right - l.pane.left, l.pane.bottom - l.pane.top, TRUE);
    MoveWindow(GetDlgItem(window_, IDC_CLOSE), l.close.left, l.close.top, l.close.right - l.close.left,
               l.close.bottom - l.close.top, TRUE);
    MoveWindow(GetDlgItem(window_, IDC_SWITCH), l.toggle.left, l.toggle.top, l.toggle.right - l.toggle.left,
               l.toggle.bottom - l.toggle.top, TRUE);
}

void CompactViewWindow::SwitchToFullStyle() {
    HMODULE deck = nullptr;
    TabPlugHandle handle = nullptr;
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container_, CONTAINER_QUERYMODULE_NAME);
    if (!query || !query(PLUG_TABDECK, &deck, &handle) || !deck) return;
    auto change = vantor::ProcAddress<PFN_TabDeck_ChangeStyle>(deck, "TabDeck_ChangeStyle");
    if (change) change(handle, 0);
}

void CompactViewWindow::DrawTitle(HDC dc) {
    if (titlePicture_.IsOpen() && !IsRectEmpty(&title_)) titlePicture_.Draw(dc, title_, 0);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(92, 92, 92));
    RECT text;
    GetClientRect(window_, &text);
    text.left += 7;
    text.bottom = text.top + GetSystemMetrics(SM_CYSIZE);
    std::string id = AccountId(context_);
    if (id.empty()) return;
    vantor::ScopedSelect font(dc, reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)));
    DrawTextA(dc, id.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

void CompactViewWindow::DrawButton(const DRAWITEMSTRUCT* item) {
    const int width = item->rcItem.right - item->rcItem.left;
    const int height = item->rcItem.bottom - item->rcItem.top;
    if (width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(item->hDC);
    vantor::UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(item->hDC, width, height));
    {
        vantor::ScopedSelect select(memory, bitmap.get());
        PictKit picture;
        if (picture.Open(PicturePath(PictureName(item->CtlID == IDC_SWITCH ? L"switch_pic" : L"close", 20)).c_str())) {
            RECT all = {0, 0, width, height};
            picture.Draw(memory, all, 0);
        }
        TransparentBlt(item->hDC, item->rcItem.left, item->rcItem.top, width, height, memory, 0, 0, width, height,
                       RGB(255, 255, 255));
    }
    DeleteDC(memory);
}

}  // namespace compactview
