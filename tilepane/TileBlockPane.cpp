// The block pane of service links and the info tiles.
#include "CommonKit.h"
#include "ModulePath.h"
#include "Text.h"
#include "TilePaneIds.h"
#include "TilePaneWindow.h"
#include "outside/RostLedger.h"

namespace tilepane {
namespace {

const char kTileConfig[] = "resource\\tilepane\\config.cfg";

COLORREF LinkColour(int id) {
    COLORREF colour = kDefaultLinkColour;
    const char* key = ColourKey(id);
    if (key) _GetProfileRgbA("color_rgb", key, &colour, kTileConfig);
    return colour;
}

bool ProfileTrue(const char* key) {
    char value[16] = {};
    return _GetProfileStringA("WizardBarFont", key, value, sizeof value, "config\\uiprof.cfg") &&
           lstrcmpiA(value, "true") == 0;
}

// The block pane is transparent and the tiles' corners are round, but the tile pane clips
// its children: what the tile pane draws under the window is drawn into the window's DC
// (for the block pane also when its links ask for the picture behind them).
void DrawParentUnder(HWND window, HDC dc) {
    HWND parent = GetParent(window);
    POINT at = {0, 0};
    MapWindowPoints(window, parent, &at, 1);
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, -at.x, -at.y, nullptr);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    RestoreDC(dc, saved);
}

// The tile pane's picture, then the links over it again.
void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    DrawParentUnder(window, dc);
    EndPaint(window, &ps);
    for (HWND link = GetWindow(window, GW_CHILD); link; link = GetWindow(link, GW_HWNDNEXT)) {
        RECT r, overlap;
        GetWindowRect(link, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        if (IntersectRect(&overlap, &r, &ps.rcPaint)) InvalidateRect(link, nullptr, FALSE);
    }
}

}  // namespace

// --- InfoTileButton

void InfoTileButton::Attach(HWND button, bool arrowDown, const char* section) {
    if (!button) return;
    button_ = button;
    arrowDown_ = arrowDown;
    section_ = section;
    SetWindowLongPtrW(button, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    oldProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
}

void InfoTileButton::Detach() {
    if (!button_) return;
    if (IsWindow(button_)) {
        SetWindowLongPtrW(button_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
        SetWindowLongPtrW(button_, GWLP_USERDATA, 0);
    }
    button_ = nullptr;
}

void InfoTileButton::SetArrowDown(bool down) { arrowDown_ = down; }

LRESULT CALLBACK InfoTileButton::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tile = reinterpret_cast<InfoTileButton*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!tile) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_SETCURSOR:
        // The hand for the tiles only: the "BUTTON" class keeps its arrow.
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
        return TRUE;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        if (!tile->tracking_) {
            TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, window, 1};
            tile->tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        tile->section_ = "BackHome";
        tile->hovering_ = true;
        InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_MOUSELEAVE:
        tile->section_ = "Info";
        tile->hovering_ = false;
        tile->tracking_ = false;
        InvalidateRect(window, nullptr, TRUE);
        break;
    default:
        break;
    }
    return CallWindowProcW(tile->oldProc_, window, message, wParam, lParam);
}

void InfoTileButton::Draw(const DRAWITEMSTRUCT* item) const {
    HDC dc = item->hDC;
    RECT c = item->rcItem;
    COLORREF fill = 0;
    if (!_GetProfileRgbA(section_.c_str(), "info_bk", &fill, kTileConfig)) return;
    // The rounded corners show the pane's picture.
    DrawParentUnder(item->hwndItem, dc);
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    RoundRect(dc, c.left, c.top, c.right + 1, c.bottom + 1, 6, 6);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);

    wchar_t text[20] = {};
    GetWindowTextW(item->hwndItem, text, ARRAYSIZE(text));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(item->hwndItem), WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT t = c;
    t.left += 3;
    t.bottom -= 5;
    DrawTextW(dc, text, -1, &t, DT_SINGLELINE | DT_VCENTER);
    if (oldFont) SelectObject(dc, oldFont);

    if (drawArrow_) {
        Arrow a = TileArrow(c, arrowDown_);
        HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        HGDIOBJ b = SelectObject(dc, white);
        HGDIOBJ p = SelectObject(dc, GetStockObject(WHITE_PEN));
        Polygon(dc, a.points, 3);
        SelectObject(dc, p);
        SelectObject(dc, b);
    }
    COLORREF line = 0;
    if (_GetProfileRgbA(section_.c_str(), "info_downline", &line, kTileConfig)) {
        RECT strip = {c.left, c.bottom - 5, c.right, c.bottom};
        HBRUSH s = CreateSolidBrush(line);
        FillRect(dc, &strip, s);
        DeleteObject(s);
    }
}

// --- TileBlockPane

bool TileBlockPane::Create(HINSTANCE module, HWND parent, HMODULE container, HostContext context) {
    container_ = container;
    context_ = context;
    window_ = vantor::LinkedDialog<TileBlockPane>::Create(module, IDD_TILEBLOCKS, parent, this);
    if (window_) ShowWindow(window_, SW_SHOWNA);
    return window_ != nullptr;
}

INT_PTR TileBlockPane::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        return TRUE;
    case WM_SIZE:
        Layout();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT:
        Paint(window_);
        return TRUE;
    case WM_PRINTCLIENT:
        DrawParentUnder(window_, reinterpret_cast<HDC>(wParam));
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_CLOSE:
        DestroyWindow(window_);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        vantor::LinkedDialog<TileBlockPane>::Unlink(window_);
        return TRUE;
    default:
        return FALSE;
    }
}

HWND TileBlockPane::MakeStatic(const std::wstring& text, int id) {
    return CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void TileBlockPane::AddLink(HWND stat, int id) {
    SetWindowLongPtrW(stat, GWLP_ID, id);
    CAnchorKit* link = new CAnchorKit;
    link->SubclassWnd(stat);
    COLORREF colour = LinkColour(id);
    link->SetTextColor(colour, shared_, colour);
    if (fontSize_) link->SetTextFont(fontSize_, bold_, underline_, face_);
    links_.push_back({link, colour, false});
}

void TileBlockPane::OnInit() {
    const char* ui = "config\\uiprof.cfg";
    _GetProfileIntA("WizardBarFont", "size", &fontSize_, ui);
    bold_ = ProfileTrue("bold");
    underline_ = ProfileTrue("underline");
    char face[64] = {};
    if (!_GetProfileStringA("WizardBarFont", "name", face, sizeof face, ui)) face[0] = '\0';
    lstrcpynA(face_, LinkFace(face).c_str(), 64);

    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto boards = vantor::ProcAddress<PFN_RostLedger_GetFriendServiceBoardsW>(ledger, "RostLedger_GetFriendServiceBoardsW");
    auto boardId = vantor::ProcAddress<PFN_RostLedger_GetServiceBoardIdW>(ledger, "RostLedger_GetServiceBoardIdW");
    if (current) account_ = current(context_);
    DWORD count = 0;
    if (boards && boards(context_, account_, nullptr, &count) && count) {
        std::vector<ServiceBoardInfoW> list(count);
        if (boards(context_, account_, list.data(), &count)) {
            for (DWORD i = 0; i < count && i < list.size(); ++i) {
                HWND stat = MakeStatic(vantor::FieldText(list[i].caption), 0);
                wchar_t id[SERVICE_BOARD_ID_CHARS] = {};
                if (!boardId || !boardId(&list[i], id)) continue;
                AddLink(stat, _wtoi(id));
                layout_.push_back(stat);
            }
        }
    }
    if (ledger) FreeLibrary(ledger);

    HKEY list = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantor\\", 0, KEY_READ, &list) == ERROR_SUCCESS) {
        bool games = false;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            LONG r = RegEnumKeyExA(list, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_MORE_DATA) continue;
            if (r != ERROR_SUCCESS) break;
            if (lstrcmpA(name, "Mirn") == 0) {
                HWND stat = MakeStatic(L"Vantor课堂", kClassroomBoard);
                AddLink(stat, kClassroomBoard);
                layout_.push_back(stat);
                continue;
            }
            if (games) continue;
            HKEY sub = nullptr;
            if (RegOpenKeyExA(list, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
            DWORD flag = 0, size = sizeof flag;
            if (RegQueryValueExA(sub, "Game", nullptr, nullptr, reinterpret_cast<BYTE*>(&flag), &size) ==
                    ERROR_SUCCESS && flag != 0) {
                HWND stat = MakeStatic(L"益智游戏", kGamesBoard);
                AddLink(stat, kGamesBoard);
                layout_.push_back(stat);
                games = true;
            }
            RegCloseKey(sub);
        }
        RegCloseKey(list);
    }

    std::vector<int> ids;
    for (HWND w : layout_) ids.push_back(GetDlgCtrlID(w));
    std::vector<HWND> ordered;
    HWND home = MakeStatic(L"首页", kHomeLink);
    AddLink(home, kHomeLink);
    ordered.push_back(home);
    for (size_t index : DisplayOrder(ids)) ordered.push_back(layout_[index]);
    HWND renewal = MakeStatic(L"网上续费", kRenewalLink);
    AddLink(renewal, kRenewalLink);
    ordered.push_back(renewal);
    layout_ = ordered;
    PostMessageW(window_, WM_SIZE, 0, 0);
}

BarColours TileBlockPane::Colours() const {
    std::vector<COLORREF> colours;
    for (HWND w : layout_) {
        for (const Link& l : links_) {
            if (l.link->GetSafeHwnd() == w) colours.push_back(l.colour);
        }
    }
    return LinkBarColours(colours);
}

void TileBlockPane::Layout() {
    RECT client;
    GetClientRect(window_, &client);
    std::vector<SIZE> sizes;
    for (HWND w : layout_) {
        RECT r;
        GetClientRect(w, &r);
        sizes.push_back({r.right, r.bottom});
    }
    std::vector<POINT> at = BlockRows(client, sizes);
    for (size_t i = 0; i < layout_.size(); ++i) {
        SetWindowPos(layout_[i], nullptr, at[i].x, at[i].y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TileBlockPane::OnCommand(int id) {
    if (id == kHomeLink || id == kRenewalLink) {
        PostMessageW(GetParent(window_), WM_COMMAND, id, 0);
        return;
    }
    for (HWND w : layout_) {
        if (GetDlgCtrlID(w) != id) continue;
        std::wstring board = std::to_wstring(id);
        BoardCommand command = {board.c_str(), L"0", nullptr};
        _TabPlug_DoCommand(container_, PLUG_BOARD_PANE, 3, reinterpret_cast<INT_PTR>(&command));
        return;
    }
}

void TileBlockPane::CheckBoard(const std::wstring& board) {
    for (Link& l : links_) {
        HWND w = l.link->GetSafeHwnd();
        l.checked = w && std::to_wstring(GetDlgCtrlID(w)) == board;
        l.link->SetChecked(l.checked);
    }
}

void TileBlockPane::OnDestroy() {
    for (Link& l : links_) {
        l.link->UnsubclassWnd();
        delete l.link;
    }
    links_.clear();
    layout_.clear();
}

void TileBlockPane::Destroy() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
}

}  // namespace tilepane
