#include "PaneKit.h"

#include "ContactRecords.h"
#include "ModulePath.h"
#include "PaneWindow.h"
#include "Text.h"
#include "outside/RostLedger.h"

namespace panekit {
namespace {

const wchar_t kPaneClass[] = L"VantorStandInPane";
const int kBandHeight = 36;
const int kMargin = 14;

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// A face that holds Chinese characters, whichever the machine has.
HFONT ChineseFont(HDC dc, int height, int weight) {
    const wchar_t* face = L"";
    for (const wchar_t* candidate : {L"SimSun", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"NSimSun"}) {
        LOGFONTW lf = {};
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, candidate, LF_FACESIZE);
        bool found = false;
        EnumFontFamiliesExW(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            face = candidate;
            break;
        }
    }
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void RegisterPaneClass() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window once its object is linked
    wc.hInstance = vantor::ThisModule();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = kPaneClass;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    RegisterClassW(&wc);
}

}  // namespace

bool Pane::Create(HWND parent, HMODULE container, HostContext context) {
    container_ = container;
    context_ = context;
    RegisterPaneClass();
    DWORD style = (parent ? WS_CHILD : WS_POPUP | WS_CAPTION) | WS_CLIPCHILDREN;
    wnd_ = CreateWindowExW(0, kPaneClass, L"", style, 0, 0, 200, 200, parent, nullptr, vantor::ThisModule(), nullptr);
    if (!wnd_) return false;
    SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc));
    return true;
}

void Pane::Destroy() {
    if (wnd_ && IsWindow(wnd_)) {
        SetWindowLongPtrW(wnd_, GWLP_USERDATA, 0);
        DestroyWindow(wnd_);
    }
    wnd_ = nullptr;
}

void Pane::SetText(const std::wstring& title, const std::vector<std::wstring>& lines) {
    title_ = title;
    lines_ = lines;
    SetWindowTextW(wnd_, title.c_str());
    InvalidateRect(wnd_, nullptr, TRUE);
}

LRESULT CALLBACK Pane::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Pane* pane = reinterpret_cast<Pane*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!pane) return DefWindowProcW(wnd, msg, wParam, lParam);
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        pane->Paint(dc);
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        ShowWindow(wnd, SW_HIDE);
        return 0;
    default:
        if (pane->OnMessage(msg, wParam, lParam)) return 0;
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

void Pane::Paint(HDC dc) {
    RECT client;
    GetClientRect(wnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    RECT band = {0, 0, client.right, kBandHeight};
    HBRUSH brush = CreateSolidBrush(band_);
    FillRect(dc, &band, brush);
    DeleteObject(brush);
    HFONT titleFont = ChineseFont(dc, 16, FW_BOLD);
    HFONT textFont = ChineseFont(dc, 14, FW_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, titleFont);
    SetTextColor(dc, RGB(255, 255, 255));
    band.left = kMargin;
    DrawTextW(dc, title_.c_str(), -1, &band, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, textFont);
    SetTextColor(dc, RGB(40, 40, 40));
    RECT line = {kMargin, kBandHeight + 10, client.right - kMargin, client.bottom};
    for (const std::wstring& text : lines_) {
        RECT measured = line;
        DrawTextW(dc, text.c_str(), -1, &measured, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        DrawTextW(dc, text.c_str(), -1, &line, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        line.top = measured.bottom + 6;
        if (line.top >= line.bottom) break;
    }
    SelectObject(dc, old);
    DeleteObject(titleFont);
    DeleteObject(textFont);
}

std::vector<std::wstring> AccountLines(HostContext context) {
    std::vector<std::wstring> lines;
    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoW>(ledger, "RostLedger_GetFriendInfoW");
    FriendHandle account = current ? current(context) : 0;
    FriendInfoW record = {};
    if (account && info && info(context, account, &record)) {
        auto add = [&lines](const wchar_t* label, const std::wstring& value) {
            if (!value.empty()) lines.push_back(label + value);
        };
        add(L"帐号：", vantor::FieldText(record.id));
        add(L"昵称：", vantor::FieldText(record.nickname));
        add(L"姓名：", vantor::FieldText(record.name));
        std::wstring place = vantor::FieldText(record.province) + vantor::FieldText(record.city);
        add(L"地区：", place);
        add(L"手机：", vantor::FieldText(record.mobile));
        add(L"电子邮件：", vantor::FieldText(record.email));
    } else {
        lines.push_back(L"没有登录的帐号");
    }
    if (ledger) FreeLibrary(ledger);
    return lines;
}

namespace {

bool QueryPlug(HMODULE container, PlugId id, HMODULE* module, TabPlugHandle* plug) {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container, CONTAINER_QUERYMODULE_NAME);
    *module = nullptr;
    *plug = nullptr;
    return query && query(id, module, plug) && *module && *plug;
}

}  // namespace

void CommandPlug(HMODULE container, PlugId id, int command, INT_PTR parameter) {
    HMODULE module;
    TabPlugHandle plug;
    if (!QueryPlug(container, id, &module, &plug)) return;
    if (auto run = vantor::ProcAddress<PFN_TabPlug_DoCommand>(module, TABPLUG_DOCOMMAND_NAME)) run(plug, command, parameter);
}

HWND PlugWindow(HMODULE container, PlugId id) {
    HMODULE module;
    TabPlugHandle plug;
    if (!QueryPlug(container, id, &module, &plug)) return nullptr;
    auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(module, TABPLUG_GETSAFEHWND_NAME);
    return window ? window(plug) : nullptr;
}

void UnregisterPaneClass(HINSTANCE module) { UnregisterClassW(kPaneClass, module); }

Pane* AsPane(TabPlugHandle handle) { return static_cast<Pane*>(handle); }

int DestroyPane(TabPlugHandle handle) {
    Pane* pane = AsPane(handle);
    if (!pane) return 0;
    pane->Destroy();
    delete pane;
    return 1;
}

int MovePane(TabPlugHandle handle, int left, int top, int right, int bottom) {
    Pane* pane = AsPane(handle);
    return pane ? vantor::MovePaneWindow(pane->wnd(), left, top, right, bottom) : 0;
}

int ShowPane(TabPlugHandle handle, int show) {
    Pane* pane = AsPane(handle);
    return pane ? vantor::ShowPaneWindow(pane->wnd(), show) : 0;
}

void CommandPane(TabPlugHandle handle, int command, INT_PTR parameter) {
    if (Pane* pane = AsPane(handle)) pane->OnCommand(command, parameter);
}

HWND PaneWindow(TabPlugHandle handle) {
    Pane* pane = AsPane(handle);
    return pane ? pane->wnd() : nullptr;
}

}  // namespace panekit
