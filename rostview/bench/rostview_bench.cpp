// The contact list's load of a 5,000-friend book, from TabPlug_Create until both roots are
// sorted and expanded, next to a bare insert of the same items into a plain tree control.
// Run from the staged program folder; prints milliseconds and the ratio.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchBook.h"
#include "ContactBookFixture.h"
#include "Handles.h"
#include "PumpingJoin.h"
#include "TabPlug.h"
#include "Text.h"

namespace {

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

// The book's items as the tree shows them: groups with their friends, depth first.
struct Item {
    int depth;
    std::wstring text;
};

struct Walk {
    testkit::ContactBookFixture* book;
    std::vector<Item> items;
    std::vector<std::pair<GroupHandle, int>> depths;
};

BOOL CALLBACK CollectFriend(FriendHandle entry, GroupHandle, UINT_PTR user) {
    auto* walk = reinterpret_cast<Walk*>(user);
    typedef BOOL(WINAPI * InfoFn)(RostBaseHandle, FriendHandle, FriendInfoW*);
    FriendInfoW info = {};
    walk->book->Proc<InfoFn>("RostBase_GetFriendInfoW")(walk->book->Store(), entry, &info);
    walk->items.push_back({-1, vantor::FieldText(info.nickname)});
    return TRUE;
}

BOOL CALLBACK CollectGroup(GroupHandle group, GroupHandle parent, UINT_PTR user) {
    auto* walk = reinterpret_cast<Walk*>(user);
    int depth = 0;
    for (auto& known : walk->depths) {
        if (known.first == parent) depth = known.second + 1;
    }
    walk->depths.push_back({group, depth});
    typedef BOOL(WINAPI * GroupFn)(RostBaseHandle, GroupHandle, GroupInfoW*);
    typedef BOOL(WINAPI * FriendsFn)(RostBaseHandle, GroupHandle, FriendEnumProc, UINT_PTR);
    GroupInfoW info = {};
    walk->book->Proc<GroupFn>("RostBase_GetGroupInfoW")(walk->book->Store(), group, &info);
    walk->items.push_back({depth, vantor::FieldText(info.name)});
    size_t first = walk->items.size();
    walk->book->Proc<FriendsFn>("RostBase_EnumGroupFriends")(walk->book->Store(), group, CollectFriend, user);
    for (size_t i = first; i < walk->items.size(); ++i) walk->items[i].depth = depth + 1;
    return TRUE;
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

bool RootsExpanded(HWND tree) {
    HTREEITEM root = TreeView_GetRoot(tree);
    if (!root) return false;
    for (HTREEITEM item = root; item; item = TreeView_GetNextSibling(tree, item)) {
        if (!(TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED)) return false;
    }
    return true;
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

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The thread of the tabs is an OLE thread in the container as well.
    HRESULT ole = OleInitialize(nullptr);
    testkit::ContactBookFixture book(L"rv_bench");
    if (!book.WriteBookText(testkit::BenchmarkBook()) || !book.Open(L"me", {9, 8, 14})) {
        std::printf("the contact book could not be opened\n");
        return 1;
    }
    vantor::UniqueModule rostView(vantor::LoadProgramLibrary(L"RostView.dll"));
    auto create = vantor::ProcAddress<PFN_TabPlug_Create>(rostView.get(), TABPLUG_CREATE_NAME);
    auto destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(rostView.get(), TABPLUG_DESTROY_NAME);
    auto move = vantor::ProcAddress<PFN_TabPlug_Move>(rostView.get(), TABPLUG_MOVE_NAME);
    auto show = vantor::ProcAddress<PFN_TabPlug_Show>(rostView.get(), TABPLUG_SHOW_NAME);
    auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(rostView.get(), TABPLUG_GETSAFEHWND_NAME);
    if (!create || !destroy || !move || !show || !window) {
        std::printf("RostView.dll not found\n");
        return 1;
    }

    typedef BOOL(WINAPI * EnumFn)(RostBaseHandle, DWORD, GroupEnumProc, UINT_PTR);
    Walk walk{&book, {}, {}};
    book.Proc<EnumFn>("RostBase_EnumGroup")(book.Store(), 3, CollectGroup, reinterpret_cast<UINT_PTR>(&walk));
    std::printf("contact book: %zu groups and friends\n", walk.items.size());

    HWND frame = MakeFrame();
    // The best of several rounds each, taken in turn: the machine is shared.
    const int rounds = 7;
    double ours = 1e9, bare = 1e9;
    for (int i = 0; i < rounds; ++i) {
        double t0 = Now();
        TabPlugHandle plug = create(frame, nullptr, book.Book(), 0);
        move(plug, 0, 0, 260, 600);
        show(plug, 1);
        HWND tree = GetDlgItem(window(plug), 1);
        vantor::PumpUntil([tree] { return RootsExpanded(tree); });
        ours = std::min(ours, Now() - t0);
        destroy(plug);
        Pump();
        bare = std::min(bare, BareInsert(frame, walk.items));
    }
    DestroyWindow(frame);
    if (SUCCEEDED(ole)) OleUninitialize();
    std::printf("bare insert into a plain tree control: %8.1f ms\n", bare);
    std::printf("RostView, created to sorted and expanded: %8.1f ms  (%.2fx the bare insert; goal 1.5x)\n", ours,
                ours / bare);
    return 0;
}
