// The contact list's load of a contact book, from TabPlug_Create until both roots are
// sorted and expanded and the window has painted, next to two references in the same
// run: the least code that makes the same window (the pane's dialog template with its
// skinned folder headers painted through one memory bitmap, both trees with their styles,
// subclasses and item height, the tool tip with its delays, the image lists, the group
// font, the registered and locked drop target) and inserts, expands and paints the same
// items with group rows in the group font; and a bare insert into a plain tree control.
// Neither reference reads the contact book: that, and everything else the pane does to
// get there, is what the ratio weighs.
//
// Each size is measured after one unmeasured round of each side (first-use costs), then
// in rounds that run the three sides back to back in turn; a ratio is the median of the
// rounds' own ratios, so a slow spell of the shared machine weighs on both sides alike.
// Wine's drawing here runs in one of two states, a fast one and one where every window
// made and painted costs tens of milliseconds more; it may change during a run. Before
// and after each round a small tree is made, painted and destroyed: the time it takes
// tells the state. The ratios are given for the rounds of each state apart, a round
// whose state changed counting for neither, and the goal is weighed in each state met.
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
#include "BenchTiming.h"
#include "ContactBookFixture.h"
#include "FolderBar.h"
#include "Handles.h"
#include "PumpingJoin.h"
#include "RostSkin.h"
#include "TabPlug.h"

namespace {

const int kDialogTemplate = 102;  // the pane's template in RostView.dll
const int kFriendTreeId = 1;
const int kBlackTreeId = 2;
const int kPaneWidth = 260;
const int kPaneHeight = 600;
const double kGoal = 1.25;
// The drawing probe takes about 10 ms when Wine draws fast and 45 ms or more when it
// draws slowly.
const double kSlowDrawingMs = 30;

void PaintNow(HWND wnd) {
    RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    testkit::PumpPending();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The friend tree's items as RostView shows them, depth first.
struct Item {
    int depth;
    std::wstring text;
    int image;
    int selectedImage;
    bool expanded;
    bool group;  // group rows carry the group images (0 to 3)
};

void Collect(HWND tree, HTREEITEM first, int depth, std::vector<Item>* out) {
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t text[260] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 260;
        tv.stateMask = TVIS_EXPANDED;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        out->push_back({depth, text, tv.iImage, tv.iSelectedImage, (tv.state & TVIS_EXPANDED) != 0, tv.iImage <= 3});
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

double TimeRostView(const Plug& plug, HWND frame, HostContext book, std::vector<Item>* shown) {
    double t0 = testkit::NowMs();
    TabPlugHandle pane = plug.create(frame, nullptr, book, 0);
    plug.move(pane, 0, 0, kPaneWidth, kPaneHeight);
    plug.show(pane, 1);
    HWND tree = GetDlgItem(plug.window(pane), kFriendTreeId);
    vantor::PumpUntil([&] { return RootsExpanded(tree); });
    PaintNow(plug.window(pane));
    double spent = testkit::NowMs() - t0;
    if (shown) {
        shown->clear();
        Collect(tree, TreeView_GetRoot(tree), 0, shown);
    }
    plug.destroy(pane);
    testkit::PumpPending();
    return spent;
}

// --- the same-window reference

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

// The plain window: two folder headers painted as the skin says, the friend tree below
// the first, group rows in the group font. Reached through the dialog's user data; each
// tree keeps its own window procedure in its user data.
struct PlainPane {
    HWND dialog = nullptr;
    HWND friends = nullptr;
    HWND blacks = nullptr;
    HWND tooltip = nullptr;
    rostview::ImageLists images;
    rostview::SkinValues skin;
    HFONT captionFont = nullptr;
    HFONT groupFont = nullptr;
    int widestCaption = 0;
};

const wchar_t* const kCaptions[] = {L"好友列表", L"黑名单"};

void PaintPlainPane(PlainPane* pane) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(pane->dialog, &ps);
    RECT c = {};
    GetClientRect(pane->dialog, &c);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(c.right, 1), std::max<LONG>(c.bottom, 1));
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH background = CreateSolidBrush(pane->skin.background);
    FillRect(memory, &c, background);
    DeleteObject(background);
    for (int i = 0; i < 2; ++i) {
        rostview::HeaderLook look;
        look.current = i == 0;
        rostview::PaintHeader(memory, rostview::HeaderRect(c, 2, 0, i), pane->skin, pane->captionFont, kCaptions[i],
                              pane->widestCaption, look);
    }
    BitBlt(dc, 0, 0, c.right, c.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    RedrawWindow(pane->friends, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EndPaint(pane->dialog, &ps);
}

INT_PTR CALLBACK PlainDialogProc(HWND wnd, UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(wnd, DWLP_USER, lp);
        return FALSE;
    }
    auto* pane = reinterpret_cast<PlainPane*>(GetWindowLongPtrW(wnd, DWLP_USER));
    if (!pane) return FALSE;
    switch (msg) {
    case WM_ERASEBKGND:
        SetWindowLongPtrW(wnd, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT:
        PaintPlainPane(pane);
        return TRUE;
    case WM_NOTIFY: {
        auto* draw = reinterpret_cast<NMTVCUSTOMDRAW*>(lp);
        if (draw->nmcd.hdr.hwndFrom != pane->friends || draw->nmcd.hdr.code != NM_CUSTOMDRAW) return FALSE;
        LRESULT result = CDRF_DODEFAULT;
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) result = CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw->nmcd.lItemlParam) {
            SelectObject(draw->nmcd.hdc, pane->groupFont);
            SendMessageW(pane->friends, CCM_SETVERSION, 5, 0);
            result = CDRF_NEWFONT;
        }
        SetWindowLongPtrW(wnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
    return FALSE;
}

LRESULT CALLBACK PassOn(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    return CallWindowProcW(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(wnd, GWLP_USERDATA)), wnd, msg, wp, lp);
}

void MakePlainPane(HWND frame, HMODULE rostView, IDropTarget* dropTarget, PlainPane* pane) {
    pane->dialog = CreateDialogParamW(rostView, MAKEINTRESOURCEW(kDialogTemplate), frame, PlainDialogProc,
                                      reinterpret_cast<LPARAM>(pane));
    CoLockObjectExternal(dropTarget, TRUE, FALSE);
    RegisterDragDrop(pane->dialog, dropTarget);
    std::wstring folder = vantor::ProgramDir();
    pane->images = rostview::LoadImageLists(folder);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    pane->tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, pane->dialog, nullptr,
                                    instance, nullptr);
    UINT d = GetDoubleClickTime();
    SendMessageW(pane->tooltip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(10 * d, 0));
    SendMessageW(pane->tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(d, 0));
    SendMessageW(pane->tooltip, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(d / 5, 0));
    DWORD style = WS_CHILD | TVS_HASLINES | TVS_SHOWSELALWAYS | TVS_INFOTIP;
    pane->friends = CreateWindowExW(0, WC_TREEVIEWW, L"好友列表", style | TVS_EDITLABELS, 0, 0, 0, 0, pane->dialog,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFriendTreeId)), instance, nullptr);
    pane->blacks = CreateWindowExW(0, WC_TREEVIEWW, L"黑名单列表", style, 0, 0, 0, 0, pane->dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBlackTreeId)), instance, nullptr);
    for (HWND tree : {pane->friends, pane->blacks}) {
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND;
        tool.hwnd = pane->dialog;
        tool.uId = reinterpret_cast<UINT_PTR>(tree);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(pane->tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    rostview::LoadSkin(folder + L"Skins\\" + rostview::CurrentSkinName(folder) + L"\\", &pane->skin);
    pane->captionFont = rostview::CreateCaptionFont();
    HDC dc = GetDC(pane->dialog);
    HGDIOBJ old = SelectObject(dc, pane->captionFont);
    for (const wchar_t* caption : kCaptions) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &size);
        pane->widestCaption = std::max(pane->widestCaption, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(pane->dialog, dc);
    LOGFONTW font = {};
    HFONT treeFont = reinterpret_cast<HFONT>(SendMessageW(pane->friends, WM_GETFONT, 0, 0));
    if (treeFont) GetObjectW(treeFont, sizeof font, &font);
    font.lfWeight = FW_BOLD;
    pane->groupFont = CreateFontIndirectW(&font);
    for (HWND tree : {pane->friends, pane->blacks}) {
        SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(pane->images.tree));
        SendMessageW(tree, TVM_SETITEMHEIGHT, 18, 0);
    }
    for (HWND tree : {pane->friends, pane->blacks}) {
        SetWindowLongPtrW(tree, GWLP_USERDATA, GetWindowLongPtrW(tree, GWLP_WNDPROC));
        SetWindowLongPtrW(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PassOn));
    }
}

void DestroyPlainPane(PlainPane* pane, IDropTarget* dropTarget) {
    RevokeDragDrop(pane->dialog);
    CoLockObjectExternal(dropTarget, FALSE, TRUE);
    for (HWND tree : {pane->friends, pane->blacks}) {
        SetWindowLongPtrW(tree, GWLP_WNDPROC, GetWindowLongPtrW(tree, GWLP_USERDATA));
    }
    DestroyWindow(pane->dialog);
    rostview::DestroyImageLists(&pane->images);
    DeleteObject(pane->captionFont);
    DeleteObject(pane->groupFont);
}

double SameWindowReference(HWND frame, HMODULE rostView, const std::vector<Item>& items) {
    static RefusingDropTarget dropTarget;
    PlainPane pane;
    double t0 = testkit::NowMs();
    MakePlainPane(frame, rostView, &dropTarget, &pane);
    MoveWindow(pane.dialog, 0, 0, kPaneWidth, kPaneHeight, TRUE);
    RECT client = {};
    GetClientRect(pane.dialog, &client);
    RECT area = rostview::ChildArea(client, 2, 0);
    MoveWindow(pane.friends, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    ShowWindow(pane.dialog, SW_SHOW);
    ShowWindow(pane.friends, SW_SHOW);

    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> expand;
    for (const Item& item : items) {
        parents.resize(static_cast<size_t>(item.depth));
        TVINSERTSTRUCTW insert = {};
        insert.hParent = item.depth ? parents[item.depth - 1] : TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<wchar_t*>(item.text.c_str());
        insert.item.iImage = item.image;
        insert.item.iSelectedImage = item.selectedImage;
        insert.item.lParam = item.group ? 1 : 0;
        HTREEITEM made = reinterpret_cast<HTREEITEM>(
            SendMessageW(pane.friends, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        parents.push_back(made);
        if (item.expanded) expand.push_back(made);
    }
    for (HTREEITEM item : expand) TreeView_Expand(pane.friends, item, TVE_EXPAND);
    PaintNow(pane.dialog);
    double spent = testkit::NowMs() - t0;
    DestroyPlainPane(&pane, &dropTarget);
    testkit::PumpPending();
    return spent;
}

// --- the drawing state

// A tree of a screenful of items made, painted and destroyed: milliseconds.
double DrawingProbe(HWND frame) {
    double t0 = testkit::NowMs();
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASLINES, 0, 0, kPaneWidth,
                                kPaneHeight, frame, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int i = 0; i < 40; ++i) {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(L"好友");
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
    }
    PaintNow(tree);
    DestroyWindow(tree);
    testkit::PumpPending();
    return testkit::NowMs() - t0;
}

// --- the bare insert

double BareInsert(HWND frame, const std::vector<Item>& items) {
    double t0 = testkit::NowMs();
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASLINES, 0, 0, kPaneWidth,
                                kPaneHeight, frame, nullptr, GetModuleHandleW(nullptr), nullptr);
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
    testkit::PumpPending();
    double spent = testkit::NowMs() - t0;
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
    return CreateWindowExW(0, L"RostViewBench", L"bench", WS_POPUP | WS_VISIBLE, 0, 0, kPaneWidth, kPaneHeight,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

// Medians of one size: milliseconds of each side, and the rounds' ratios.
struct Figures {
    double ours = 0, same = 0, bare = 0;
    double ofSame = 0, ofBare = 0;
    size_t items = 0;
    // The rounds of each drawing state: how many, the medians of their ratios to the
    // same-window reference, and of ours and the reference in milliseconds.
    struct State {
        int rounds = 0;
        double ofSame = 0, ours = 0, same = 0;
    } fast, slow;
    int changed = 0;  // rounds during which the state changed
    // The ratio the goal is weighed by: that of the slower state met (of all rounds when
    // no round kept its state).
    double Weighed() const {
        if (!fast.rounds && !slow.rounds) return ofSame;
        return std::max(fast.rounds ? fast.ofSame : 0.0, slow.rounds ? slow.ofSame : 0.0);
    }
};

// "fast", "slow" or "both" (and how many rounds each) for the rounds of one size.
std::string StatesMet(const Figures& f) {
    std::string met = !f.slow.rounds ? (f.fast.rounds ? "fast" : "none kept")
                      : !f.fast.rounds ? "slow"
                                       : "both (" + std::to_string(f.fast.rounds) + " fast, " +
                                             std::to_string(f.slow.rounds) + " slow)";
    if (f.changed) met += ", " + std::to_string(f.changed) + " changed during the round";
    return met;
}

// The ratio of each state met, for the summary.
std::string StateRatios(const Figures& f) {
    std::string out;
    char line[64];
    for (const auto* state : {&f.fast, &f.slow}) {
        if (!state->rounds) continue;
        std::snprintf(line, sizeof line, "%s%s %.2f", out.empty() ? "" : ", ", state == &f.fast ? "fast" : "slow",
                      state->ofSame);
        out += line;
    }
    return out.empty() ? "no state kept through a round" : out;
}

bool Measure(testkit::ContactBookFixture& book, const Plug& plug, HMODULE rostView, HWND frame, int friends,
             int rounds, Figures* out) {
    if (!book.WriteBookText(testkit::BenchmarkBook(friends)) || !book.Open(L"me", {9, 8, 14})) return false;
    std::vector<Item> shown;
    TimeRostView(plug, frame, book.Book(), &shown);
    SameWindowReference(frame, rostView, shown);
    BareInsert(frame, shown);
    std::vector<double> ours, same, bare, ofSame, ofBare;
    std::vector<double> stateOurs[2], stateSame[2], stateOfSame[2];  // [0] fast, [1] slow
    for (int i = 0; i < rounds; ++i) {
        int slow = DrawingProbe(frame) > kSlowDrawingMs ? 1 : 0;
        double round[3] = {};
        // Each side goes first in turn: what the one before leaves behind falls on all.
        for (int k = 0; k < 3; ++k) {
            switch ((i + k) % 3) {
            case 0:
                round[0] = TimeRostView(plug, frame, book.Book(), nullptr);
                break;
            case 1:
                round[1] = SameWindowReference(frame, rostView, shown);
                break;
            case 2:
                round[2] = BareInsert(frame, shown);
                break;
            }
        }
        ours.push_back(round[0]);
        same.push_back(round[1]);
        bare.push_back(round[2]);
        ofSame.push_back(round[0] / round[1]);
        ofBare.push_back(round[0] / round[2]);
        if ((DrawingProbe(frame) > kSlowDrawingMs ? 1 : 0) != slow) {
            ++out->changed;
            continue;
        }
        stateOurs[slow].push_back(round[0]);
        stateSame[slow].push_back(round[1]);
        stateOfSame[slow].push_back(round[0] / round[1]);
    }
    for (int k = 0; k < 2; ++k) {
        Figures::State& state = k ? out->slow : out->fast;
        state.rounds = static_cast<int>(stateOfSame[k].size());
        state.ofSame = Median(stateOfSame[k]);
        state.ours = Median(stateOurs[k]);
        state.same = Median(stateSame[k]);
    }
    out->ours = Median(ours);
    out->same = Median(same);
    out->bare = Median(bare);
    out->ofSame = Median(ofSame);
    out->ofBare = Median(ofBare);
    out->items = shown.size();
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
    const int rounds[] = {15, 15, 7};
    Figures figures[3];
    for (int s = 0; s < 3; ++s) {
        if (!Measure(book, plug, rostView.get(), frame, sizes[s], rounds[s], &figures[s])) {
            std::printf("the contact book could not be opened\n");
            return 1;
        }
    }
    DestroyWindow(frame);
    if (SUCCEEDED(ole)) OleUninitialize();

    std::printf("medians; time per friend (microseconds): friends, RostView, same-window reference, bare insert\n");
    for (int s = 0; s < 3; ++s) {
        std::printf("  %6d  %7.2f  %7.2f  %7.2f   (%.2fx the same-window reference, %d rounds; drawing %s)\n", sizes[s],
                    1000.0 * figures[s].ours / sizes[s], 1000.0 * figures[s].same / sizes[s],
                    1000.0 * figures[s].bare / sizes[s], figures[s].ofSame, rounds[s], StatesMet(figures[s]).c_str());
    }
    std::printf("by drawing state: friends, state, rounds, RostView ms, same-window reference ms, ratio\n");
    for (int s = 0; s < 3; ++s) {
        for (const auto* state : {&figures[s].fast, &figures[s].slow}) {
            if (!state->rounds) continue;
            std::printf("  %6d  %s  %2d  %8.1f  %8.1f  %.2fx\n", sizes[s], state == &figures[s].fast ? "fast" : "slow",
                        state->rounds, state->ours, state->same, state->ofSame);
        }
    }
    const Figures& main = figures[1];
    std::printf("contact book: 5000 friends, %zu groups and friends shown; Wine's drawing: %s\n", main.items,
                StatesMet(main).c_str());
    std::printf("bare insert into a plain tree control:          %8.1f ms\n", main.bare);
    std::printf("same window, items inserted, expanded, painted: %8.1f ms\n", main.same);
    std::printf("RostView, created to sorted, expanded, painted: %8.1f ms  (%.2fx the same-window reference over all rounds)\n",
                main.ours, main.ofSame);
    for (const auto* state : {&main.fast, &main.slow}) {
        if (!state->rounds) continue;
        std::printf("  drawing %s: %8.1f ms against %.1f ms, %.3fx the same-window reference; goal %.2fx %s\n",
                    state == &main.fast ? "fast" : "slow", state->ours, state->same, state->ofSame, kGoal,
                    state->ofSame <= kGoal ? "met" : "missed");
    }
    std::printf("rostview bench: %.2f of the same-window reference (%s), %.2f of the bare insert; drawing %s\n",
                main.Weighed(), StateRatios(main).c_str(), main.ofBare, StatesMet(main).c_str());
    return 0;
}
