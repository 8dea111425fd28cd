// TabDeck stand-in: the tab window of the main window.
//
// A strip of tabs (icon and tool-tip per plug id, in as many rows as the width needs)
// above a page window that parents the plug-ins. Choosing a tab loads the plug-in through
// the container when needed, shows it over the page (a pane with a top-level window over
// the page's place on the screen) and hides the one shown before. The first tab is chosen
// once the container's start is over (a posted message), so that choosing it never changes
// which plug-ins the start creates.
//
// The compact style: the tab named by [compact] plug in "resource\TabDeck\config.cfg" is
// the compact view. Choosing it takes the personal-information pane into the compact
// view's window and has the view lay it out; TabDeck_ChangeStyle(0) gives the pane back to
// the page and returns to the tab chosen before.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "CommonKit.h"
#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"
#include "TabPlug.h"
#include "Text.h"
#include "outside/TabDeck.h"

namespace {

const wchar_t kDeckClass[] = L"VantorTabDeck";
const wchar_t kPageClass[] = L"VantorTabDeckPage";
const UINT kChooseFirstTab = WM_APP + 1;
const int kIconSize = 32;
const int kRowHeight = kIconSize + 14;
const wchar_t kDeckConfig[] = L"resource\\TabDeck\\config.cfg";

enum IconState { ICON_NORMAL, ICON_HOVER, ICON_SELECT, ICON_DISABLE, ICON_STATES };

struct Tab {
    PlugId id;
    std::string tooltip;
    int images[ICON_STATES];
    int shown;  // the image the strip shows now
};

struct Deck {
    HWND wnd = nullptr;
    HWND strip = nullptr;
    HWND page = nullptr;
    // The container that made the deck, by its file: the deck outlives it, and a handle kept
    // without a reference may come to name another module.
    std::wstring containerFile;
    HIMAGELIST images = nullptr;
    std::vector<Tab> tabs;
    int current = -1;   // index of the tab whose plug-in is shown
    int hover = -1;
    PlugId compactPlug = 0;  // the compact view's tab, 0 for none
    bool compact = false;
    int beforeCompact = -1;  // the tab to return to from the compact style
    bool firstChosen = false;
    COLORREF background = RGB(236, 242, 250);
    vantor::UniqueGdi<HBITMAP> picture;  // custom background, drawn stretched
};

HMODULE Self() { return vantor::ThisModule(); }

Deck* DeckOf(HWND wnd) { return reinterpret_cast<Deck*>(GetWindowLongPtrW(wnd, GWLP_USERDATA)); }

// A bitmap file scaled to the icon size, or null.
HBITMAP LoadIconBitmap(const std::string& path) {
    if (path.empty() || path.back() == '\\') return nullptr;
    vantor::UniqueGdi<HBITMAP> source(
        static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (!source) return nullptr;
    BITMAP info = {};
    GetObjectW(source.get(), sizeof(info), &info);
    HDC screen = GetDC(nullptr);
    HBITMAP scaled = CreateCompatibleBitmap(screen, kIconSize, kIconSize);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    {
        vantor::ScopedSelect a(from, source.get());
        vantor::ScopedSelect b(to, scaled);
        SetStretchBltMode(to, HALFTONE);
        StretchBlt(to, 0, 0, kIconSize, kIconSize, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
    return scaled;
}

// The container while it is loaded, with a reference for the length of one call into it.
vantor::UniqueModule HoldContainer(Deck* deck) { return vantor::HoldLoadedFile(deck->containerFile); }

// The container's export `name`, with the container held for the call.
template <typename Fn>
struct ContainerExport {
    ContainerExport(Deck* deck, const char* name)
        : held(HoldContainer(deck)), call(vantor::ProcAddress<Fn>(held.get(), name)) {}
    vantor::UniqueModule held;
    Fn call;
};

// The calls into a plug-in go through CommonKit's forwarders, so that the container holds
// the plug-in while each runs. The deck itself (plug id 0, which a configuration may also
// list as a tab) is no plug-in: calling its own exports would come back here without end.
vantor::UniqueModule PlugContainer(Deck* deck, PlugId id) {
    return id == PLUG_TABDECK ? vantor::UniqueModule() : HoldContainer(deck);
}

HWND PlugWindow(Deck* deck, PlugId id) {
    vantor::UniqueModule container = PlugContainer(deck, id);
    return container ? _TabPlug_GetSafeHwnd(container.get(), id) : nullptr;
}

// A pane's place: the page's client area. A pane of its own (a top-level window) is laid
// out and shaped for the size it was made with: it goes to the page's top-left corner on
// the screen and keeps that size.
void ShowPlug(Deck* deck, PlugId id, bool show) {
    vantor::UniqueModule container = PlugContainer(deck, id);
    if (!container) return;
    if (show) {
        RECT rc;
        GetClientRect(deck->page, &rc);
        HWND window = PlugWindow(deck, id);
        if (window && !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
            RECT own;
            GetWindowRect(window, &own);
            MapWindowPoints(deck->page, nullptr, reinterpret_cast<POINT*>(&rc), 2);
            rc.right = rc.left + (own.right - own.left);
            rc.bottom = rc.top + (own.bottom - own.top);
        }
        _TabPlug_Move(container.get(), id, rc.left, rc.top, rc.right, rc.bottom);
    }
    _TabPlug_Show(container.get(), id, show ? 1 : 0);
}

// Only the tabs whose picture changes are touched: every change of an item lays the strip
// out again.
void UpdateImages(Deck* deck) {
    for (size_t i = 0; i < deck->tabs.size(); ++i) {
        Tab& tab = deck->tabs[i];
        int state = static_cast<int>(i) == deck->current ? ICON_SELECT
                    : static_cast<int>(i) == deck->hover ? ICON_HOVER
                                                          : ICON_NORMAL;
        int image = tab.images[state] >= 0 ? tab.images[state] : tab.images[ICON_NORMAL];
        if (image == tab.shown) continue;
        tab.shown = image;
        TCITEMW item = {};
        item.mask = TCIF_IMAGE;
        item.iImage = image;
        SendMessageW(deck->strip, TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

void Choose(Deck* deck, int index);

// The compact view takes the information pane as its child and lays it out.
void EnterCompactStyle(Deck* deck, int index) {
    ContainerExport<PFN_Container_LoadPlug> load(deck, CONTAINER_LOADPLUG_NAME);
    if (!load.call || !load.call(deck->compactPlug) || !load.call(PLUG_INFO_PANE)) return;
    HWND viewWindow = PlugWindow(deck, deck->compactPlug);
    HWND infoWindow = PlugWindow(deck, PLUG_INFO_PANE);
    if (!viewWindow || !infoWindow) return;
    if (!deck->compact) {
        if (deck->current >= 0) ShowPlug(deck, deck->tabs[deck->current].id, false);
        deck->beforeCompact = deck->current;
    }
    deck->current = index;
    deck->compact = true;
    SetParent(infoWindow, viewWindow);
    ShowWindow(infoWindow, SW_SHOWNA);
    _TabPlug_Show(load.held.get(), deck->compactPlug, 1);
    _TabPlug_DoCommand(load.held.get(), deck->compactPlug, 1, 0);
    UpdateImages(deck);
}

// The information pane back on the page (hidden), the compact view hidden, the tab chosen
// before the compact style chosen again.
void LeaveCompactStyle(Deck* deck) {
    if (!deck->compact) return;
    deck->compact = false;
    if (HWND info = PlugWindow(deck, PLUG_INFO_PANE)) {
        ShowWindow(info, SW_HIDE);
        SetParent(info, deck->page);
    }
    if (vantor::UniqueModule container = PlugContainer(deck, deck->compactPlug)) {
        _TabPlug_Show(container.get(), deck->compactPlug, 0);
    }
    deck->current = -1;
    Choose(deck, deck->beforeCompact >= 0 ? deck->beforeCompact : 0);
}

void Choose(Deck* deck, int index) {
    if (index < 0 || index >= static_cast<int>(deck->tabs.size())) return;
    PlugId id = deck->tabs[index].id;
    if (SendMessageW(deck->strip, TCM_GETCURSEL, 0, 0) != index) SendMessageW(deck->strip, TCM_SETCURSEL, index, 0);
    if (deck->compactPlug && id == deck->compactPlug) {
        EnterCompactStyle(deck, index);
        return;
    }
    if (deck->compact) {
        deck->beforeCompact = index;
        LeaveCompactStyle(deck);
        return;
    }
    {
        ContainerExport<PFN_Container_LoadPlug> load(deck, CONTAINER_LOADPLUG_NAME);
        if (load.call) load.call(id);
    }
    if (deck->current >= 0 && deck->current != index) ShowPlug(deck, deck->tabs[deck->current].id, false);
    deck->current = index;
    ShowPlug(deck, id, true);
    UpdateImages(deck);
}

int TabOfPlug(Deck* deck, PlugId id) {
    for (size_t i = 0; i < deck->tabs.size(); ++i) {
        if (deck->tabs[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

// Every plug-in re-reads its skin, each through the form of SwitchSkin its library has:
// tab plug-ins take their handle, the container and the contact dialogs take nothing.
// SwitchSkin has no forwarder: the plug-in's module and handle come from the container's
// query, the deck itself (see above) left out.
void SwitchSkins(Deck* deck) {
    std::vector<PlugId> ids;
    for (const Tab& tab : deck->tabs) ids.push_back(tab.id);
    ids.push_back(PLUG_CHAT);
    ids.push_back(PLUG_PRESENCE);
    ContainerExport<PFN_Container_QueryModule> query(deck, CONTAINER_QUERYMODULE_NAME);
    for (PlugId id : ids) {
        HMODULE module = nullptr;
        TabPlugHandle plug = nullptr;
        if (!query.call || !query.call(id, &module, &plug) || !module || !plug || module == Self()) continue;
        if (auto skin = vantor::ProcAddress<PFN_SwitchSkin>(module, TABPLUG_SWITCHSKIN_NAME)) skin(plug);
    }
    if (auto skin = vantor::ProcAddress<PFN_SwitchSkinNoArgs>(query.held.get(), TABPLUG_SWITCHSKIN_NAME)) skin();
    HMODULE dialogs = nullptr;
    if (GetModuleHandleExW(0, L"RostDialogs.dll", &dialogs)) {
        if (auto skin = vantor::ProcAddress<PFN_SwitchSkinNoArgs>(dialogs, TABPLUG_SWITCHSKIN_NAME)) skin();
        FreeLibrary(dialogs);
    }
    InvalidateRect(deck->page, nullptr, TRUE);
}

const COLORREF kBuiltInBackgrounds[] = {RGB(236, 242, 250), RGB(232, 246, 232), RGB(250, 240, 230),
                                        RGB(240, 236, 250)};

void SetBuiltInBackground(Deck* deck, INT_PTR index) {
    if (index < 0 || index >= static_cast<INT_PTR>(sizeof(kBuiltInBackgrounds) / sizeof(kBuiltInBackgrounds[0]))) {
        return;
    }
    deck->picture.reset();
    deck->background = kBuiltInBackgrounds[index];
    SwitchSkins(deck);
}

// A picture by file name under "resource\TabDeck\local"; names that leave that folder
// are refused.
void SetCustomBackground(Deck* deck, const char* name) {
    if (!name || !*name) return;
    std::wstring file = vantor::AnsiToWide(name, MAX_PATH);
    if (file.find_first_of(L"\\/:") != std::wstring::npos || file == L"." || file == L"..") {
        vantor::DebugLine(L"TabDeck: background name refused: %ls\n", file.c_str());
        return;
    }
    std::wstring path = vantor::ProgramPath(L"resource\\TabDeck\\local\\" + file);
    HBITMAP picture = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!picture) return;
    deck->picture.reset(picture);
    SwitchSkins(deck);
}

// The strip as high as its rows of tabs at this width, the page below it.
void Layout(Deck* deck) {
    RECT rc;
    GetClientRect(deck->wnd, &rc);
    MoveWindow(deck->strip, 0, 0, rc.right, rc.bottom, FALSE);
    RECT rows = {0, 0, rc.right, rc.bottom};
    SendMessageW(deck->strip, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rows));
    int strip = rows.top > kRowHeight ? rows.top : kRowHeight;
    MoveWindow(deck->strip, 0, 0, rc.right, strip, TRUE);
    MoveWindow(deck->page, 0, strip, rc.right, rc.bottom > strip ? rc.bottom - strip : 0, TRUE);
    if (deck->current >= 0 && !deck->compact) ShowPlug(deck, deck->tabs[deck->current].id, true);
}

LRESULT CALLBACK StripProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    Deck* deck = reinterpret_cast<Deck*>(data);
    if (msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE) {
        int hover = -1;
        if (msg == WM_MOUSEMOVE) {
            TCHITTESTINFO hit = {};
            hit.pt.x = static_cast<short>(LOWORD(lParam));
            hit.pt.y = static_cast<short>(HIWORD(lParam));
            hover = static_cast<int>(SendMessageW(wnd, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, wnd, 0};
            TrackMouseEvent(&track);
        }
        if (hover != deck->hover) {
            deck->hover = hover;
            UpdateImages(deck);
        }
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK PageProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Deck* deck = DeckOf(GetParent(wnd));
    if (msg == WM_ERASEBKGND && deck) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT rc;
        GetClientRect(wnd, &rc);
        if (deck->picture) {
            BITMAP info = {};
            GetObjectW(deck->picture.get(), sizeof(info), &info);
            HDC mem = CreateCompatibleDC(dc);
            {
                vantor::ScopedSelect sel(mem, deck->picture.get());
                SetStretchBltMode(dc, HALFTONE);
                StretchBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
            }
            DeleteDC(mem);
        } else {
            vantor::UniqueGdi<HBRUSH> brush(CreateSolidBrush(deck->background));
            FillRect(dc, &rc, brush.get());
        }
        return 1;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK DeckProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Deck* deck = DeckOf(wnd);
    switch (msg) {
    case WM_SIZE:
        if (deck) Layout(deck);
        return 0;
    case WM_NOTIFY: {
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (!deck) break;
        if (hdr->hwndFrom == deck->strip && hdr->code == TCN_SELCHANGE) {
            Choose(deck, static_cast<int>(SendMessageW(deck->strip, TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        if (hdr->code == TTN_GETDISPINFOA) {
            NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
            size_t index = hdr->idFrom;
            info->lpszText = index < deck->tabs.size() ? const_cast<char*>(deck->tabs[index].tooltip.c_str())
                                                       : const_cast<char*>("");
            return 0;
        }
        if (hdr->code == TTN_GETDISPINFOW) {
            static std::wstring text;  // user-interface thread only
            NMTTDISPINFOW* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            size_t index = hdr->idFrom;
            text = index < deck->tabs.size() ? vantor::AnsiToWide(deck->tabs[index].tooltip) : std::wstring();
            info->lpszText = const_cast<wchar_t*>(text.c_str());
            return 0;
        }
        break;
    }
    case kChooseFirstTab:
        if (deck && deck->current < 0 && !deck->tabs.empty()) Choose(deck, 0);
        return 0;
    case WM_NCDESTROY:
        if (deck) {
            SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
            if (deck->images) ImageList_Destroy(deck->images);
            delete deck;
        }
        break;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

void RegisterClasses() {
    WNDCLASSW wc = {};
    wc.hInstance = Self();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpfnWndProc = DeckProc;
    wc.lpszClassName = kDeckClass;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&wc);
    wc.lpfnWndProc = PageProc;
    wc.lpszClassName = kPageClass;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hbrBackground = nullptr;
    RegisterClassW(&wc);
}

Deck* AsDeck(TabDeckHandle handle) {
    HWND wnd = static_cast<HWND>(handle);
    wchar_t name[32] = {};
    if (!IsWindow(wnd) || !GetClassNameW(wnd, name, 32) || wcscmp(name, kDeckClass) != 0) return nullptr;
    return DeckOf(wnd);
}

}  // namespace

extern "C" {

// The handle is the deck's window; it stays valid until the parent window goes.
TabDeckHandle WINAPI TabDeck_Create(HWND parent, HMODULE container, HostContext) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterClasses();
    RECT rc = {0, 0, 640, 480};
    if (parent) GetClientRect(parent, &rc);
    Deck* deck = new Deck;
    deck->containerFile = vantor::ModuleFile(container);
    HWND wnd = CreateWindowExW(0, kDeckClass, L"TabDeck", (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_VISIBLE |
                                   WS_CLIPCHILDREN, 0, 0, rc.right, rc.bottom, parent, nullptr, Self(), nullptr);
    if (!wnd) {
        delete deck;
        return nullptr;
    }
    deck->wnd = wnd;
    SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(deck));
    deck->strip = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_TOOLTIPS |
                                      TCS_FOCUSNEVER | TCS_MULTILINE, 0, 0, rc.right, kRowHeight, wnd, nullptr, Self(),
                                  nullptr);
    deck->page = CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, kRowHeight,
                                 rc.right, rc.bottom - kRowHeight, wnd, nullptr, Self(), nullptr);
    deck->compactPlug = static_cast<PlugId>(
        GetPrivateProfileIntW(L"compact", L"plug", 0, vantor::ProgramPath(kDeckConfig).c_str()));
    deck->images = ImageList_Create(kIconSize, kIconSize, ILC_COLOR24, 4, 4);
    SendMessageW(deck->strip, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(deck->images));
    SendMessageW(deck->strip, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SetWindowSubclass(deck->strip, StripProc, 1, reinterpret_cast<DWORD_PTR>(deck));
    Layout(deck);
    return wnd;
}

HWND WINAPI TabDeck_GetWnd(TabDeckHandle handle) {
    Deck* deck = AsDeck(handle);
    return deck ? deck->page : nullptr;
}

int WINAPI TabDeck_AddTabA(TabDeckHandle handle, PlugId id, const char* tooltip, const char* iconNormal,
                           const char* iconHover, const char* iconSelect, const char* iconDisable) {
    Deck* deck = AsDeck(handle);
    if (!deck) return 0;
    Tab tab;
    tab.id = id;
    tab.tooltip = tooltip ? tooltip : "";
    const char* icons[ICON_STATES] = {iconNormal, iconHover, iconSelect, iconDisable};
    for (int i = 0; i < ICON_STATES; ++i) {
        vantor::UniqueGdi<HBITMAP> bitmap(LoadIconBitmap(icons[i] ? icons[i] : ""));
        tab.images[i] = bitmap ? ImageList_Add(deck->images, bitmap.get(), nullptr) : -1;
    }
    std::wstring label = vantor::AnsiToWide(tab.tooltip);
    TCITEMW item = {};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = const_cast<wchar_t*>(label.c_str());
    item.iImage = tab.images[ICON_NORMAL];
    tab.shown = item.iImage;
    int index = static_cast<int>(deck->tabs.size());
    if (SendMessageW(deck->strip, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item)) < 0) return 0;
    deck->tabs.push_back(tab);
    Layout(deck);
    if (!deck->firstChosen) {
        deck->firstChosen = true;
        PostMessageW(deck->wnd, kChooseFirstTab, 0, 0);
    }
    return 1;
}

// Style 0 leaves the compact style; the deck's own window stays shown in both styles, so
// that a compact view closed by the user never leaves the host without its tabs.
int WINAPI TabDeck_ChangeStyle(TabDeckHandle handle, int style) {
    Deck* deck = AsDeck(handle);
    if (!deck) return 0;
    if (style == 0) {
        LeaveCompactStyle(deck);
    } else if (deck->compactPlug) {
        int index = TabOfPlug(deck, deck->compactPlug);
        if (index >= 0) Choose(deck, index);
    }
    ShowWindow(deck->wnd, SW_SHOW);
    return 1;
}

// As plug id 0 the deck answers the tab plug-in calls with its own handle.

void WINAPI TabPlug_DoCommand(TabPlugHandle handle, int command, INT_PTR parameter) {
    Deck* deck = AsDeck(handle);
    if (!deck) return;
    switch (command) {
    case TABDECK_CMD_OPEN_SERVICE: {
        // The first of the three texts names the service: choose its tab when it has one.
        const wchar_t* const* texts = reinterpret_cast<const wchar_t* const*>(parameter);
        if (texts && texts[0]) Choose(deck, TabOfPlug(deck, static_cast<PlugId>(wcstol(texts[0], nullptr, 10))));
        break;
    }
    case TABDECK_CMD_HOME:
        Choose(deck, 0);
        break;
    case TABDECK_CMD_BUILTIN_BACKGROUND:
        SetBuiltInBackground(deck, parameter);
        break;
    case TABDECK_CMD_CUSTOM_BACKGROUND:
        SetCustomBackground(deck, reinterpret_cast<const char*>(parameter));
        break;
    default:
        break;
    }
}

int WINAPI TabPlug_Move(TabPlugHandle handle, int left, int top, int right, int bottom) {
    Deck* deck = AsDeck(handle);
    return deck && MoveWindow(deck->wnd, left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle handle, int show) {
    Deck* deck = AsDeck(handle);
    if (!deck) return 0;
    ShowWindow(deck->wnd, show ? SW_SHOW : SW_HIDE);
    return 1;
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle handle) {
    Deck* deck = AsDeck(handle);
    return deck ? deck->wnd : nullptr;
}

int WINAPI SwitchSkin(TabPlugHandle handle) {
    Deck* deck = AsDeck(handle);
    if (!deck) return 0;
    SwitchSkins(deck);
    return 1;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    // Freed by its last user (not at process end): no class may keep pointing at this code.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        UnregisterClassW(kDeckClass, instance);
        UnregisterClassW(kPageClass, instance);
    }
    return TRUE;
}
