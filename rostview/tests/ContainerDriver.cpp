#include "ContainerDriver.h"

#include <atomic>
#include <thread>

#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"

namespace rvtest {

Container::Container(HostContext book) {
    frame = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 300, 460,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    module = LoadLibraryW((testkit::ProgramDir() + L"PlugHost.dll").c_str());
    auto load = vantor::ProcAddress<PFN_Container_Load>(module, CONTAINER_LOAD_NAME);
    if (!load) return;
    load(book, frame);
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module, CONTAINER_QUERYMODULE_NAME);
    HMODULE view = nullptr;
    TabPlugHandle plug = nullptr;
    if (!query || !query(-1, &view, &plug) || !plug) return;
    auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(view, TABPLUG_GETSAFEHWND_NAME);
    pane = window ? window(plug) : nullptr;
    if (pane) {
        // The tab manager's window stays behind, hidden: the pane alone fills the frame.
        for (HWND other = GetWindow(frame, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
            ShowWindow(other, SW_HIDE);
        }
        SetParent(pane, frame);
        MoveWindow(pane, 0, 0, 300, 460, TRUE);
        ShowWindow(pane, SW_SHOW);
    }
    SetForegroundWindow(frame);
}

Container::~Container() {
    if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(module, CONTAINER_UNLOAD_NAME)) unload();
    if (module) FreeLibrary(module);
    DestroyWindow(frame);
}

HTREEITEM Container::Item(int tree, const wchar_t* text) const { return FindItem(Tree(tree), U8(text)); }

void Container::Post(UINT id, HTREEITEM item) const {
    PostMessageW(pane, UM_ROST_COMMAND, id, reinterpret_cast<LPARAM>(item));
}

bool Container::ShowFolder(int index) const {
    PostMessageW(pane, UM_ROST_SELECT_FOLDER, 0, index);
    HWND tree = Tree(index == 0 ? 1 : 2);
    bool shown = PumpUntil([&] { return IsWindowVisible(tree) != FALSE; });
    Pump(200);
    return shown;
}

std::string U8(const wchar_t* text) { return vantor::EncodeText(text, CP_UTF8); }
std::string Gbk(const wchar_t* text) { return vantor::EncodeText(text, 936); }

POINT LabelCentre(HWND tree, HTREEITEM item) {
    RECT r = {};
    TreeView_GetItemRect(tree, item, &r, TRUE);
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tree, &p);
    return p;
}

POINT TopHeader(HWND pane) {
    RECT c = {};
    GetClientRect(pane, &c);
    POINT p = {c.right / 2, 12};
    ClientToScreen(pane, &p);
    return p;
}

POINT BottomHeader(HWND pane) {
    RECT c = {};
    GetClientRect(pane, &c);
    POINT p = {c.right / 2, c.bottom - 11};
    ClientToScreen(pane, &p);
    return p;
}

void MouseAt(POINT screen) { MouseTo(GetDesktopWindow(), screen.x, screen.y); }

void RightClick() {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, input, sizeof input[0]);
}

void Key(WORD vk) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = vk;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

void TypeText(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wScan = input[1].ki.wScan = c;
        input[0].ki.dwFlags = KEYEVENTF_UNICODE;
        input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof input[0]);
    }
}

HWND WaitMenu(int count) {
    for (int i = 0; i < 300; ++i) {
        int seen = 0;
        HWND last = nullptr;
        for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
             w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
            if (IsWindowVisible(w)) {
                ++seen;
                last = w;
            }
        }
        if (seen >= count) return last;
        Sleep(10);
    }
    return nullptr;
}

bool ChooseMenuEntry(int menuCount, const std::wstring& text) {
    HWND menu = WaitMenu(menuCount);
    if (!menu) return false;
    Sleep(150);
    HMENU popup = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        wchar_t entry[128] = {};
        GetMenuStringW(popup, i, entry, 128, MF_BYPOSITION);
        RECT r = {};
        if (text == entry && GetMenuItemRect(nullptr, popup, i, &r)) {
            MouseAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            Sleep(150);
            MouseButton(true);
            MouseButton(false);
            return true;
        }
    }
    for (int i = 0; i < menuCount; ++i) Key(VK_ESCAPE);
    return false;
}

HWND WaitWindow(const wchar_t* caption) {
    for (int i = 0; i < 300; ++i) {
        if (HWND w = FindWindowW(nullptr, caption)) return w;
        Sleep(10);
    }
    return nullptr;
}

void WhileHelping(const std::function<void()>& helper, const std::function<void()>& action, DWORD ms) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        struct Done {
            std::atomic<bool>& flag;
            ~Done() { flag = true; }
        } mark{done};
        helper();
    });
    action();
    PumpUntil([&] { return done.load(); }, ms);
    thread.join();
}

}  // namespace rvtest
