#include "PaneDriver.h"

#include "ModulePath.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

namespace rvtest {

RostViewLibrary::RostViewLibrary() : module(vantor::LoadProgramLibrary(L"RostView.dll")) {
    create = vantor::ProcAddress<PFN_TabPlug_Create>(module, TABPLUG_CREATE_NAME);
    destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(module, TABPLUG_DESTROY_NAME);
    move = vantor::ProcAddress<PFN_TabPlug_Move>(module, TABPLUG_MOVE_NAME);
    show = vantor::ProcAddress<PFN_TabPlug_Show>(module, TABPLUG_SHOW_NAME);
    window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(module, TABPLUG_GETSAFEHWND_NAME);
    changeParent = vantor::ProcAddress<PFN_TabPlug_ChangeParent>(module, TABPLUG_CHANGEPARENT_NAME);
    switchSkin = vantor::ProcAddress<PFN_SwitchSkin>(module, TABPLUG_SWITCHSKIN_NAME);
}

RostViewLibrary::~RostViewLibrary() {
    if (module) FreeLibrary(module);
}

namespace {
LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(wnd, msg, wp, lp); }

const wchar_t* FrameClass() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = FrameProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"RostViewTestFrame";
        RegisterClassW(&wc);
        registered = true;
    }
    return L"RostViewTestFrame";
}
}  // namespace

PaneHost::PaneHost(RostViewLibrary& library, HostContext book, int width, int height) : library_(library) {
    frame_ = CreateWindowExW(0, FrameClass(), L"RostView", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, width,
                             height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    plug_ = library_.create(frame_, nullptr, book, 0);
    if (plug_) {
        library_.move(plug_, 0, 0, width, height);
        library_.show(plug_, 1);
    }
    SetForegroundWindow(frame_);
}

PaneHost::~PaneHost() {
    Destroy();
    if (frame_) DestroyWindow(frame_);
}

HWND PaneHost::Pane() const { return plug_ ? library_.window(plug_) : nullptr; }

bool PaneHost::WaitLoaded(DWORD ms) {
    return PumpUntil(
        [&] {
            HWND tree = FriendTree();
            HTREEITEM root = TreeView_GetRoot(tree);
            if (!root) return false;
            for (HTREEITEM item = root; item; item = TreeView_GetNextSibling(tree, item)) {
                if (!(TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED)) return false;
            }
            return true;
        },
        ms);
}

int PaneHost::Destroy() {
    if (!plug_) return 0;
    int result = library_.destroy(plug_);
    plug_ = nullptr;
    return result;
}

namespace {
std::string ItemText(HWND tree, HTREEITEM item, int* image) {
    wchar_t buffer[260] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT | TVIF_IMAGE;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 260;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    TVITEMW pictures = {};
    pictures.mask = TVIF_IMAGE | TVIF_HANDLE;
    pictures.hItem = item;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&pictures));
    if (image) *image = pictures.iImage;
    return vantor::EncodeText(tv.pszText ? tv.pszText : L"", CP_UTF8);
}
}  // namespace

std::string DumpTree(HWND tree, HTREEITEM parent) {
    std::string out;
    HTREEITEM item = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        if (!out.empty()) out += " ";
        int image = 0;
        std::string text = ItemText(tree, item, &image);
        out += text + "/" + std::to_string(image);
        if (TreeView_GetChild(tree, item)) out += "{" + DumpTree(tree, item) + "}";
    }
    return out;
}

HTREEITEM FindItem(HWND tree, const std::string& text, HTREEITEM parent) {
    HTREEITEM item = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        if (ItemText(tree, item, nullptr) == text) return item;
        if (HTREEITEM found = FindItem(tree, text, item)) return found;
    }
    return nullptr;
}

void MouseTo(HWND window, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(p.x) * 65536 + width / 2) / width);
    input.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(p.y) * 65536 + height / 2) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void MouseButton(bool down) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
}

bool SaveScreenshot(HWND window, const wchar_t* name, int extraWidth, int extraHeight) {
    RECT rc;
    GetWindowRect(window, &rc);
    RECT area = {rc.left, rc.top, rc.right + extraWidth, rc.bottom + extraHeight};
    testkit::Capture part = testkit::CaptureArea(area);
    std::wstring dir = testkit::ProgramDir() + L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    return testkit::SaveBitmapFile(part, dir + L"\\" + name);
}

namespace {
struct TipSearch {
    HWND owner;
    HWND found;
};
BOOL CALLBACK FindTip(HWND wnd, LPARAM lp) {
    auto* search = reinterpret_cast<TipSearch*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(wnd, cls, 64);
    HWND owner = GetWindow(wnd, GW_OWNER);
    if (_wcsicmp(cls, TOOLTIPS_CLASSW) == 0 && (owner == search->owner || owner == GetAncestor(search->owner, GA_ROOT))) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND PaneTooltip(HWND pane) {
    TipSearch search = {pane, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindTip, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace rvtest
