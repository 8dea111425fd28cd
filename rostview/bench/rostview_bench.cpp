// The contact list's load of a contact book, from TabPlug_Create until both roots are
// sorted and expanded and the window has painted, next to two references in the same
// run: the least code that makes the same window (the pane's dialog template, both trees
// with their styles, the tool tip, the image lists, the registered drop target) and
// inserts, expands and paints the same items; and a bare insert into a plain tree control.
// Run from the staged program folder; prints milliseconds, ratios, goals and the time per
// friend at 1,000, 5,000 and 20,000 friends. The last line is for scripts.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchBook.h"
#include "PumpingJoin.h"
#include "ContactBookFixture.h"
#include "Handles.h"
#include "RostSkin.h"
#include "TabPlug.h"

namespace {

const int kDialogTemplate = 102;  // the pane's template in RostView.dll
const int kFriendTreeId = 1;
const int kBlackTreeId = 2;
const double kGoal = 1.25;

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void PaintNow(HWND wnd) {
    RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
}

// The friend tree's items as RostView shows them, depth first.
struct Item {
    int depth;
    std::wstring text;
    int image;
    int selectedImage;
    int children;
    bool expanded;
};

struct Shown {
    std::vector<Item> items;
    RECT treeArea = {};  // the friend tree's place in the pane
};

void Collect(HWND tree, HTREEITEM first, int depth, std::vector<Item>* out) {
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t text[260] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_CHILDREN;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 260;
        tv.stateMask = TVIS_EXPANDED;
        TreeView_GetItem(tree, &tv);
        out->push_back({depth, text, tv.iImage, tv.iSelectedImage, tv.cChildren, (tv.state & TVIS_EXPANDED) != 0});
        Collect(tree, TreeView_GetChild(tree, item), depth + 1, out);
    }
}

bool RootsExpanded(HWND tree) {
    HTREEITEM root = TreeView_GetRoot(tree);
    if (!root) return false;
    for (HTREEITEM item = root; item; item = TreeView_GetNextSibling(tree, item)) {
        if (!(TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED)) return false;
    }
    return true;
}

struct Plug {
    PFN_TabPlug_Create create;
    PFN_TabPlug_Destroy destroy;
    PFN_TabPlug_Move move;
    PFN_TabPlug_Show show;
    PFN_TabPlug_GetSafeHwnd window;
};

double TimeRostView(const Plug& plug, HWND frame, HostContext book, Shown* shown) {
    double t0 = Now();
    TabPlugHandle pane = plug.create(frame, nullptr, book, 0);
    plug.move(pane, 0, 0, 260, 600);
    plug.show(pane, 1);
    HWND tree = GetDlgItem(plug.window(pane), kFriendTreeId);
    vantor::PumpUntil([&] { return RootsExpanded(tree); });
    PaintNow(plug.window(pane));
    double spent = Now() - t0;
    if (shown) {
        shown->items.clear();
        Collect(tree, TreeView_GetRoot(tree), 0, &shown->items);
        GetWindowRect(tree, &shown->treeArea);
        MapWindowPoints(nullptr, plug.window(pane), reinterpret_cast<POINT*>(&shown->treeArea), 2);
    }
    plug.destroy(pane);
    Pump();
    return spent;
}

// A drop target that takes nothing: what the registration costs, not what drops do.
class RefusingDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDropTarget) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

double SameWindowReference(HWND frame, HMODULE rostView, const Shown& shown) {
    static RefusingDropTarget dropTarget;
    double t0 = Now();
    HWND dialog = CreateDialogParamW(rostView, MAKEINTRESOURCEW(kDialogTemplate), frame, PlainDialogProc, 0);
    RegisterDragDrop(dialog, &dropTarget);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                   instance, nullptr);
    DWORD style = WS_CHILD | TVS_HASLINES | TVS_SHOWSELALWAYS | TVS_INFOTIP;
    HWND friends = CreateWindowExW(0, WC_TREEVIEWW, L"好友列表", style | TVS_EDITLABELS, 0, 0, 0, 0, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFriendTreeId)), instance, nullptr);
    HWND blacks = CreateWindowExW(0, WC_TREEVIEWW, L"黑名单列表", style, 0, 0, 0, 0, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBlackTreeId)), instance, nullptr);
    rostview::ImageLists images = rostview::LoadImageLists(vantor::ProgramDir());
    for (HWND tree : {friends, blacks}) {
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND;
        tool.hwnd = dialog;
        tool.uId = reinterpret_cast<UINT_PTR>(tree);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images.tree));
        SendMessageW(tree, TVM_SETITEMHEIGHT, 18, 0);
    }
    MoveWindow(dialog, 0, 0, 260, 600, TRUE);
    const RECT& area = shown.treeArea;
    MoveWindow(friends, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    ShowWindow(dialog, SW_SHOW);
    ShowWindow(friends, SW_SHOW);

    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> expand;
    for (size_t i = 0; i < shown.items.size(); ++i) {
        const Item& item = shown.items[i];
        parents.resize(static_cast<size_t>(item.depth));
        TVINSERTSTRUCTW insert = {};
        insert.hParent = item.depth ? parents[item.depth - 1] : TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
        insert.item.pszText = const_cast<wchar_t*>(item.text.c_str());
        insert.item.iImage = item.image;
        insert.item.iSelectedImage = item.selectedImage;
        insert.item.cChildren = item.children;
        insert.item.lParam = static_cast<LPARAM>(i);
        HTREEITEM made = reinterpret_cast<HTREEITEM>(
            SendMessageW(friends, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        parents.push_back(made);
        if (item.expanded) expand.push_back(made);
    }
    for (HTREEITEM item : expand) TreeView_Expand(friends, item, TVE_EXPAND);
    PaintNow(dialog);
    double spent = Now() - t0;
    RevokeDragDrop(dialog);
    DestroyWindow(dialog);
    rostview::DestroyImageLists(&images);
    Pump();
    return spent;
}

double BareInsert(HWND frame, const std::vector<Item>& items) {
    double t0 = Now();
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASLINES, 0, 0, 260, 600, frame,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> roots;
    for (const Item& item : items) {
        parents.resize(static_cast<size_t>(item.depth));
        TVINSERTSTRUCTW insert = {};
        insert.hParent = item.depth ? parents[item.depth - 1] : TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<wchar_t*>(item.text.c_str());
        HTREEITEM made = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        parents.push_back(made);
        if (!item.depth) roots.push_back(made);
    }
    for (HTREEITEM root : roots) TreeView_Expand(tree, root, TVE_EXPAND);
    Pump();
    double spent = Now() - t0;
    DestroyWindow(tree);
    return spent;
}

LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(wnd, msg, wp, lp); }

HWND MakeFrame() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RostViewBench";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"RostViewBench", L"bench", WS_POPUP | WS_VISIBLE, 0, 0, 260, 600, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

struct Figures {
    double ours = 1e9, same = 1e9, bare = 1e9;
    size_t items = 0;
};

// The best of several rounds each, taken in turn: the machine is shared.
bool Measure(testkit::ContactBookFixture& book, const Plug& plug, HMODULE rostView, HWND frame, int friends,
             int rounds, Figures* out) {
    if (!book.WriteBookText(testkit::BenchmarkBook(friends)) || !book.Open(L"me", {9, 8, 14})) return false;
    Shown shown;
    for (int i = 0; i < rounds; ++i) {
        out->ours = std::min(out->ours, TimeRostView(plug, frame, book.Book(), i == 0 ? &shown : nullptr));
        out->same = std::min(out->same, SameWindowReference(frame, rostView, shown));
        out->bare = std::min(out->bare, BareInsert(frame, shown.items));
    }
    out->items = shown.items.size();
    book.Close();
    return true;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // The thread of the tabs is an OLE thread in the container as well.
    HRESULT ole = OleInitialize(nullptr);
    testkit::ContactBookFixture book(L"rv_bench");
    vantor::UniqueModule rostView(vantor::LoadProgramLibrary(L"RostView.dll"));
    Plug plug = {vantor::ProcAddress<PFN_TabPlug_Create>(rostView.get(), TABPLUG_CREATE_NAME),
                 vantor::ProcAddress<PFN_TabPlug_Destroy>(rostView.get(), TABPLUG_DESTROY_NAME),
                 vantor::ProcAddress<PFN_TabPlug_Move>(rostView.get(), TABPLUG_MOVE_NAME),
                 vantor::ProcAddress<PFN_TabPlug_Show>(rostView.get(), TABPLUG_SHOW_NAME),
                 vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(rostView.get(), TABPLUG_GETSAFEHWND_NAME)};
    if (!plug.create || !plug.destroy || !plug.move || !plug.show || !plug.window) {
        std::printf("RostView.dll not found\n");
        return 1;
    }
    HWND frame = MakeFrame();
    const int sizes[] = {1000, 5000, 20000};
    Figures figures[3];
    for (int s = 0; s < 3; ++s) {
        if (!Measure(book, plug, rostView.get(), frame, sizes[s], sizes[s] == 5000 ? 7 : 3, &figures[s])) {
            std::printf("the contact book could not be opened\n");
            return 1;
        }
    }
    DestroyWindow(frame);
    if (SUCCEEDED(ole)) OleUninitialize();

    std::printf("time per friend (microseconds): friends, RostView, same-window reference, bare insert\n");
    for (int s = 0; s < 3; ++s) {
        std::printf("  %6d  %7.2f  %7.2f  %7.2f   (%.2fx the same-window reference)\n", sizes[s],
                    1000.0 * figures[s].ours / sizes[s], 1000.0 * figures[s].same / sizes[s],
                    1000.0 * figures[s].bare / sizes[s], figures[s].ours / figures[s].same);
    }
    const Figures& main = figures[1];
    std::printf("contact book: 5000 friends, %zu groups and friends shown\n", main.items);
    std::printf("bare insert into a plain tree control:        %8.1f ms\n", main.bare);
    std::printf("same window, items inserted, expanded, painted: %8.1f ms\n", main.same);
    std::printf("RostView, created to sorted, expanded, painted: %8.1f ms  (%.2fx the same-window reference; goal %.2fx)\n",
                main.ours, main.ours / main.same, kGoal);
    std::printf("rostview bench: %.2f of the same-window reference, %.2f of the bare insert\n", main.ours / main.same,
                main.ours / main.bare);
    return 0;
}
