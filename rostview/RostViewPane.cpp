#include "RostViewPane.h"

#include <windowsx.h>

#include <algorithm>

#include "DebugOut.h"
#include "FolderBar.h"
#include "ModulePath.h"
#include "PumpingJoin.h"
#include "Sync.h"

namespace rostview {

namespace {
const wchar_t kThisProp[] = L"this";
const wchar_t kFriendFolder[] = L"好友列表";
const wchar_t kBlackFolder[] = L"黑名单";
}  // namespace

void DebuggerSink::Line(const wchar_t* text) { vantor::DebugLine(L"%s", text); }

// --- callbacks in progress

namespace {
vantor::CriticalSection g_panesLock;
std::vector<RostViewPane*> g_panes;
}  // namespace

CallbackEntry::CallbackEntry(UINT_PTR user) {
    auto* pane = reinterpret_cast<RostViewPane*>(user);
    vantor::Lock lock(g_panesLock);
    if (std::find(g_panes.begin(), g_panes.end(), pane) == g_panes.end()) return;
    ++pane->inside;
    pane_ = pane;
}

CallbackEntry::~CallbackEntry() {
    if (pane_) --pane_->inside;
}

void CallbackEntry::Admit(RostViewPane* pane) {
    vantor::Lock lock(g_panesLock);
    g_panes.push_back(pane);
}

void CallbackEntry::Withdraw(RostViewPane* pane) {
    vantor::Lock lock(g_panesLock);
    g_panes.erase(std::remove(g_panes.begin(), g_panes.end(), pane), g_panes.end());
}

// --- life

RostViewPane::RostViewPane()
    : model_(friendOps_, blackOps_, sink_, this), captionFont_(CreateCaptionFont()) {}

RostViewPane::~RostViewPane() {
    if (windowReady_) CloseHandle(windowReady_);
    skin_.FreePictures();
    if (captionFont_) DeleteObject(captionFont_);
}

bool RostViewPane::CreateWindowIn(HINSTANCE instance, HWND parent) {
    HWND wnd = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_ROSTVIEW), parent, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    return wnd != nullptr && window_ == wnd;
}

void RostViewPane::BeginLoad(HostContext book) {
    skinPreload_.Start(vantor::ProgramDir());
    book_ = book;
    windowReady_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!windowReady_) return;
    DWORD id = 0;
    loadThread_ = CreateThread(nullptr, 0, LoadThread, this, 0, &id);
}

void RostViewPane::Start(HMODULE self, HMODULE container, INT_PTR flags) {
    container_ = container;
    flags_ = flags;
    CallbackEntry::Admit(this);
    RegisterWithKeeper(book_, self, reinterpret_cast<UINT_PTR>(this));
    // Registered first: a change made after a contact is read always comes as a callback.
    if (windowReady_) SetEvent(windowReady_);
}

void RostViewPane::AbandonLoad() {
    stop_ = true;
    if (windowReady_) SetEvent(windowReady_);
    if (loadThread_) {
        // Without a window the thread sends nothing here: a plain wait does.
        WaitForSingleObject(loadThread_, INFINITE);
        CloseHandle(loadThread_);
        loadThread_ = nullptr;
    }
}

int RostViewPane::Destroy(HMODULE self) {
    stop_ = true;
    if (book_) UnregisterFromKeeper(book_, self);
    // A callback already running on another thread may still be on its way in.
    CallbackEntry::Withdraw(this);
    vantor::WaitZeroPumping(inside);
    if (loadThread_) {
        vantor::WaitPumping(loadThread_);
        CloseHandle(loadThread_);
        loadThread_ = nullptr;
    }
    // Groups the thread posted that the window has not taken yet.
    DropUndelivered();
    if (!window_ || !IsWindow(window_)) return 1;
    return DestroyWindow(window_) ? 1 : 0;
}

void RostViewPane::Deliver(UINT message, WPARAM wp, LPARAM lp) {
    if (window_) SendMessageW(window_, message, wp, lp);
}

int RostViewPane::SwitchSkin() {
    std::wstring name = CurrentSkinName(vantor::ProgramDir());
    if (name.empty()) return 0;
    LoadSkinNamed(name);
    return 1;
}

void RostViewPane::LoadSkinNamed(const std::wstring& name) {
    skin_.Reset();
    LoadSkin(vantor::ProgramDir() + L"Skins\\" + name + L"\\", &skin_);
}

// --- the dialog

INT_PTR CALLBACK RostViewPane::DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* pane = reinterpret_cast<RostViewPane*>(lp);
        SetPropW(wnd, kThisProp, pane);
        // Messages find the pane through the dialog's own user data, which needs no trip to
        // the window server.
        SetWindowLongPtrW(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pane));
        pane->window_ = wnd;
        if (!pane->Initialise()) {
            pane->DestroyChildren();
            RemovePropW(wnd, kThisProp);
            SetWindowLongPtrW(wnd, DWLP_USER, 0);
            pane->window_ = nullptr;
            DestroyWindow(wnd);
        }
        return FALSE;
    }
    auto* pane = reinterpret_cast<RostViewPane*>(GetWindowLongPtrW(wnd, DWLP_USER));
    if (!pane) return FALSE;
    if (msg == WM_DESTROY) {
        pane->DestroyChildren();
        RemovePropW(wnd, kThisProp);
        SetWindowLongPtrW(wnd, DWLP_USER, 0);
        pane->window_ = nullptr;
        return FALSE;
    }
    bool handled = false;
    INT_PTR result = pane->Handle(msg, wp, lp, &handled);
    if (!handled) return FALSE;
    SetWindowLongPtrW(wnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool RostViewPane::Initialise() {
    RegisterDropTarget();
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance,
                               nullptr);
    if (tooltip_) {
        UINT d = GetDoubleClickTime();
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(10 * d, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(d, 0));
        SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(d / 5, 0));
    }

    DWORD treeStyle = WS_CHILD | TVS_HASLINES | TVS_SHOWSELALWAYS | TVS_INFOTIP;
    friendTree_ = CreateWindowExW(0, WC_TREEVIEWW, kFriendFolder, treeStyle | TVS_EDITLABELS, 0, 0, 0, 0, window_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_FRIEND_TREE)), instance, nullptr);
    if (!friendTree_) return false;
    blackTree_ = CreateWindowExW(0, WC_TREEVIEWW, L"黑名单列表", treeStyle, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_BLACK_TREE)), instance, nullptr);
    if (!blackTree_) {
        DestroyWindow(friendTree_);
        friendTree_ = nullptr;
        return false;
    }
    friendOps_.Attach(friendTree_);
    blackOps_.Attach(blackTree_);
    for (HWND tree : {friendTree_, blackTree_}) {
        if (!tooltip_) break;
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        // Whole-window tools; the trees pass their mouse on themselves (see TreeProc).
        tool.uFlags = TTF_IDISHWND;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(tree);
        tool.hinst = instance;
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    folders_.resize(2);
    folders_[0].caption = kFriendFolder;
    folders_[0].SetChild(friendTree_);
    folders_[1].caption = kBlackFolder;
    folders_[1].SetChild(blackTree_);

    // As SwitchSkin does, with the pictures read while the window was being made; the
    // image lists read there too.
    if (skinPreload_.Take(&skin_) == SkinPreload::NOT_READ) SwitchSkin();
    if (skinPreload_.TakeImages(&images_) == SkinPreload::NOT_READ) images_ = LoadImageLists(vantor::ProgramDir());

    HDC dc = GetDC(window_);
    HGDIOBJ old = SelectObject(dc, captionFont_);
    for (const ContactFolder& folder : folders_) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, folder.caption.c_str(), static_cast<int>(folder.caption.size()), &size);
        widestCaption_ = std::max(widestCaption_, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(window_, dc);

    PostMessageW(window_, UM_ROST_SELECT_FOLDER, 0, 0);

    LOGFONTW font = {};
    HFONT treeFont = reinterpret_cast<HFONT>(SendMessageW(friendTree_, WM_GETFONT, 0, 0));
    if (treeFont) GetObjectW(treeFont, sizeof font, &font);
    font.lfWeight = FW_BOLD;
    groupFont_ = CreateFontIndirectW(&font);
    for (HWND tree : {friendTree_, blackTree_}) {
        if (images_.tree) SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images_.tree));
        SendMessageW(tree, TVM_SETITEMHEIGHT, 18, 0);
    }

    for (HWND tree : {friendTree_, blackTree_}) SetWindowLongPtrW(tree, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    friendTreeProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(friendTree_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FriendTreeProc)));
    blackTreeProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(blackTree_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BlackTreeProc)));
    return true;
}

void RostViewPane::DestroyChildren() {
    RevokeDropTarget();
    if (friendTree_ && friendTreeProc_) {
        SetWindowLongPtrW(friendTree_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(friendTreeProc_));
    }
    if (blackTree_ && blackTreeProc_) {
        SetWindowLongPtrW(blackTree_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(blackTreeProc_));
    }
    // The trees report every node as they go, while the pane can still free them.
    if (friendTree_) DestroyWindow(friendTree_);
    if (blackTree_) DestroyWindow(blackTree_);
    friendTree_ = blackTree_ = nullptr;
    friendOps_.Attach(nullptr);
    blackOps_.Attach(nullptr);
    if (tooltip_) DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    if (groupFont_) DeleteObject(groupFont_);
    groupFont_ = nullptr;
    DestroyImageLists(&images_);
}

INT_PTR RostViewPane::Handle(UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
    *handled = true;
    switch (msg) {
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        OnMouseMove(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the dialog class takes double clicks: a quick second press is a press too
        OnButtonDown(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) != window_) break;
        return OnSetCursor(reinterpret_cast<HWND>(wp));
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lp));
    case UM_ROST_SELECT_FOLDER:
        SelectFolder(static_cast<int>(lp));
        return 0;
    case UM_ROST_CONTACTS_LOADED:
        OnContactsLoaded();
        return 0;
    case UM_ROST_TREE_MOUSEMOVE:
        OnTreeMouseMove(*reinterpret_cast<const TreeMouse*>(lp));
        return 0;
    case UM_ROST_TREE_MOUSELEAVE:
        OnTreeMouseLeave(reinterpret_cast<HWND>(lp));
        return 0;
    case UM_ROST_TREE_LBUTTONDOWN:
        OnTreeButtonDown(*reinterpret_cast<const TreeMouse*>(lp));
        return 0;
    case UM_ROST_TREE_LBUTTONUP:
        OnTreeButtonUp(*reinterpret_cast<const TreeMouse*>(lp));
        return 0;
    case UM_ROST_TREE_SCROLLED:
        if (reinterpret_cast<HWND>(lp) == friendTree_) {
            model_.DropAllIcons();
            InvalidateRect(friendTree_, nullptr, TRUE);
        }
        return 0;
    case UM_ROST_COMMAND:
        OnCommand(static_cast<UINT>(wp), lp);
        return 0;
    case UM_ROST_FINISH_EDIT:
        FinishEdit();
        return 0;
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wp), lp);
        return 0;
    case UM_ROST_ADD_FRIEND: {
        LedgerBook book(book_);
        model_.Apply(book, Change::AddFriend, reinterpret_cast<void*>(wp), reinterpret_cast<void*>(lp));
        return 0;
    }
    case UM_ROST_GET_FRIEND_INFO: {
        LedgerBook book(book_);
        return book.FriendA(reinterpret_cast<FriendHandle>(wp), reinterpret_cast<FriendInfoA*>(lp));
    }
    case UM_ROST_ADD_GROUP: {
        LedgerBook book(book_);
        model_.Apply(book, Change::AddGroup, reinterpret_cast<void*>(wp), reinterpret_cast<void*>(lp));
        return 0;
    }
    case UM_ROST_MODIFY_FRIEND: {
        LedgerBook book(book_);
        model_.Apply(book, Change::ModifyFriend, reinterpret_cast<void*>(lp));
        return 0;
    }
    case UM_ROST_LOADED:
        OnLoaded();
        return 0;
    case UM_ROST_CHANGE:
        OnChange(static_cast<Change>(wp), *reinterpret_cast<const ChangeArgs*>(lp));
        return 0;
    case WM_COMMAND:
        return 0;
    }
    *handled = false;
    return 0;
}

// --- folder bar

RECT RostViewPane::Client() const {
    RECT c = {};
    GetClientRect(window_, &c);
    return c;
}

void RostViewPane::PlaceChild() {
    if (current_ < 0 || !folders_[current_].child) return;
    RECT area = ChildArea(Client(), static_cast<int>(folders_.size()), current_);
    MoveWindow(folders_[current_].child, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void RostViewPane::SelectFolder(int index) {
    if (index < 0 || index >= static_cast<int>(folders_.size())) return;
    if (current_ >= 0 && folders_[current_].child) ShowWindow(folders_[current_].child, SW_HIDE);
    current_ = index;
    InvalidateRect(window_, nullptr, TRUE);
    PlaceChild();
    if (folders_[current_].child) ShowWindow(folders_[current_].child, SW_SHOW);
}

void RostViewPane::OnSize() {
    if (sizing_) return;
    sizing_ = true;
    RECT c = Client();
    ScrollPlan plan = PlanScrollBars(c.right - c.left, c.bottom - c.top, static_cast<int>(folders_.size()),
                                     GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL));
    ShowScrollBar(window_, SB_VERT, plan.vertical);
    ShowScrollBar(window_, SB_HORZ, plan.horizontal);
    if (plan.horizontal) SetScrollRange(window_, SB_HORZ, plan.width, MIN_PANE_WIDTH, FALSE);
    if (plan.vertical) SetScrollRange(window_, SB_VERT, plan.height, plan.minHeight, FALSE);
    model_.DropAllIcons();
    PlaceChild();
    sizing_ = false;
}

void RostViewPane::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (current_ >= 0) {
        RECT c = Client();
        int width = c.right - c.left, height = c.bottom - c.top;
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max(width, 1), std::max(height, 1));
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        HBRUSH background = CreateSolidBrush(skin_.background);
        FillRect(memory, &c, background);
        DeleteObject(background);
        int count = static_cast<int>(folders_.size());
        for (int i = 0; i < count; ++i) {
            HeaderLook look;
            look.current = i == current_;
            look.hover = i == hover_;
            look.pressed = i == pressed_;
            PaintHeader(memory, HeaderRect(c, count, current_, i), skin_, captionFont_, folders_[i].caption.c_str(),
                        widestCaption_, look);
        }
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(memory);
        if (HWND child = folders_[current_].child) RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    EndPaint(window_, &ps);
}

void RostViewPane::RepaintHeader(int index) {
    if (index < 0 || current_ < 0) return;
    RECT r = HeaderRect(Client(), static_cast<int>(folders_.size()), current_, index);
    InvalidateRect(window_, &r, FALSE);
}

void RostViewPane::OnMouseMove(POINT point) {
    if (current_ < 0) return;
    int over = HeaderAt(Client(), static_cast<int>(folders_.size()), current_, point);
    if (over != hover_) {
        RepaintHeader(hover_);
        hover_ = over;
        RepaintHeader(hover_);
    }
    if (!tracking_) {
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window_, 0};
        tracking_ = TrackMouseEvent(&track) != FALSE;
    }
    if (tooltip_) {
        MSG msg = {window_, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y), static_cast<DWORD>(GetMessageTime()), {}};
        GetCursorPos(&msg.pt);
        SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
}

BOOL RostViewPane::OnSetCursor(HWND) {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    bool onHeader =
        current_ >= 0 && HeaderAt(Client(), static_cast<int>(folders_.size()), current_, point) >= 0;
    SetCursor(LoadCursor(nullptr, onHeader ? IDC_HAND : IDC_ARROW));
    return TRUE;
}

void RostViewPane::OnButtonDown(POINT point) {
    if (current_ < 0) return;
    int over = HeaderAt(Client(), static_cast<int>(folders_.size()), current_, point);
    if (over < 0) return;
    pressed_ = over;
    SetCapture(window_);
    RepaintHeader(pressed_);
}

void RostViewPane::OnButtonUp(POINT point) {
    if (GetCapture() == window_) ReleaseCapture();
    if (pressed_ < 0 || current_ < 0) return;
    int released = HeaderAt(Client(), static_cast<int>(folders_.size()), current_, point);
    int select = FolderToSelect(pressed_, released, current_);
    if (select >= 0) PostMessageW(window_, UM_ROST_SELECT_FOLDER, 0, select);
    RepaintHeader(pressed_);
    pressed_ = -1;
}

void RostViewPane::OnMouseLeave() {
    tracking_ = false;
    RepaintHeader(hover_);
    hover_ = -1;
    if (hotItem_) {
        ClearHotItem();
        InvalidateRect(friendTree_, nullptr, FALSE);
    }
}

}  // namespace rostview
