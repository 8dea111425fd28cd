// The pane's trees: their subclassed mouse reports, notices, custom draw with the service
// icons, hover and clicks on icons, tool-tip texts, the load thread and the changes.
#include <windowsx.h>

#include "PumpingJoin.h"
#include "RostViewPane.h"
#include "ServiceIcons.h"
#include "Text.h"

namespace rostview {

namespace {
// Window properties live in the window server: a lookup per tree message would cost a
// round trip each, so the trees carry their pane in their user data.
RostViewPane* PaneOf(HWND tree) { return reinterpret_cast<RostViewPane*>(GetWindowLongPtrW(tree, GWLP_USERDATA)); }

RECT ItemRect(HWND tree, HTREEITEM item, bool textOnly, bool* ok) {
    RECT r = {};
    *ok = TreeView_GetItemRect(tree, item, &r, textOnly) != FALSE;
    return r;
}
}  // namespace

// --- subclassed trees

LRESULT CALLBACK RostViewPane::FriendTreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    RostViewPane* pane = PaneOf(wnd);
    if (!pane) return DefWindowProcW(wnd, msg, wp, lp);
    return pane->TreeProc(wnd, msg, wp, lp, true);
}

LRESULT CALLBACK RostViewPane::BlackTreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    RostViewPane* pane = PaneOf(wnd);
    if (!pane) return DefWindowProcW(wnd, msg, wp, lp);
    return pane->TreeProc(wnd, msg, wp, lp, false);
}

LRESULT RostViewPane::TreeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, bool friendTree) {
    WNDPROC original = friendTree ? friendTreeProc_ : blackTreeProc_;
    bool& leaveAsked = friendTree ? friendLeaveAsked_ : blackLeaveAsked_;
    TreeMouse mouse = {wnd, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!leaveAsked) {
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, wnd, 0};
            leaveAsked = TrackMouseEvent(&track) != FALSE;
        }
        SendMessageW(window_, UM_ROST_TREE_MOUSEMOVE, 0, reinterpret_cast<LPARAM>(&mouse));
        break;
    case WM_MOUSELEAVE:
        if (leaveAsked) {
            leaveAsked = false;
            SendMessageW(window_, UM_ROST_TREE_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(wnd));
        }
        break;
    case WM_LBUTTONDOWN:
        if (friendTree) SendMessageW(window_, UM_ROST_TREE_LBUTTONDOWN, 0, reinterpret_cast<LPARAM>(&mouse));
        break;
    case WM_LBUTTONUP:
        if (friendTree) SendMessageW(window_, UM_ROST_TREE_LBUTTONUP, 0, reinterpret_cast<LPARAM>(&mouse));
        break;
    case WM_HSCROLL:
        if (friendTree) SendMessageW(window_, UM_ROST_TREE_SCROLLED, 0, reinterpret_cast<LPARAM>(wnd));
        break;
    }
    if (tooltip_ && ((msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK && msg != WM_MOUSEWHEEL) || msg == WM_MOUSELEAVE)) {
        // The tool tip sees the tree's mouse from here rather than through a subclass of
        // its own (that would look the tree up in the window server on every message),
        // after the pane's handlers, which may have told it the hover changed.
        MSG relay = {wnd, msg, wp, lp, static_cast<DWORD>(GetMessageTime()), {}};
        GetCursorPos(&relay.pt);
        SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
    }
    return CallWindowProcW(original, wnd, msg, wp, lp);
}

// --- notices

LRESULT RostViewPane::OnNotify(NMHDR* header) {
    if (header->hwndFrom == tooltip_ && (header->code == TTN_GETDISPINFOA || header->code == TTN_GETDISPINFOW)) {
        OnTipText(header);
        return 0;
    }
    if (header->hwndFrom != friendTree_ && header->hwndFrom != blackTree_) return 0;
    switch (header->code) {
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW:
        if (reinterpret_cast<NMTREEVIEWW*>(header)->itemOld.hItem == temporaryItem_) temporaryItem_ = nullptr;
        model_.NodeDeleted(reinterpret_cast<ContactNode*>(reinterpret_cast<NMTREEVIEWW*>(header)->itemOld.lParam));
        return 0;
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW: {
        auto* view = reinterpret_cast<NMTREEVIEWW*>(header);
        if (header->hwndFrom == friendTree_) model_.ItemExpanded(view->itemNew.hItem, view->action & TVE_EXPAND);
        return 0;
    }
    case NM_CLICK:
        OnTreeClick(header->hwndFrom);
        return 0;
    case TVN_BEGINLABELEDITA:
    case TVN_BEGINLABELEDITW:
        return OnBeginLabelEdit(reinterpret_cast<NMTVDISPINFOW*>(header)->item.hItem);
    case TVN_ENDLABELEDITA: {
        auto* info = reinterpret_cast<NMTVDISPINFOA*>(header);
        OnEndLabelEdit(info->item.hItem, info->item.pszText);
        return FALSE;
    }
    case TVN_ENDLABELEDITW: {
        auto* info = reinterpret_cast<NMTVDISPINFOW*>(header);
        std::string text = info->item.pszText ? vantor::WideToAnsi(info->item.pszText) : std::string();
        OnEndLabelEdit(info->item.hItem, info->item.pszText ? text.c_str() : nullptr);
        return FALSE;
    }
    case TVN_BEGINDRAGA:
    case TVN_BEGINDRAGW:
        OnBeginDrag(header->hwndFrom, reinterpret_cast<NMTREEVIEWW*>(header)->itemNew.hItem);
        return 0;
    case NM_CUSTOMDRAW:
        if (header->hwndFrom == friendTree_) return OnCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW*>(header));
        return CDRF_DODEFAULT;
    }
    return 0;
}

LRESULT RostViewPane::OnCustomDraw(NMTVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        auto* node = reinterpret_cast<ContactNode*>(draw->nmcd.lItemlParam);
        if (node && IsGroup(node->kind) && groupFont_) {
            SelectObject(draw->nmcd.hdc, groupFont_);
            // Version 5 behaviour: a font chosen during custom draw is honoured.
            SendMessageW(friendTree_, CCM_SETVERSION, 5, 0);
            return CDRF_NEWFONT;
        }
        return CDRF_NOTIFYPOSTPAINT;
    }
    case CDDS_ITEMPOSTPAINT:
        DrawIcons(draw->nmcd.hdc, draw->nmcd.rc, reinterpret_cast<HTREEITEM>(draw->nmcd.dwItemSpec),
                  reinterpret_cast<ContactNode*>(draw->nmcd.lItemlParam));
        return CDRF_DODEFAULT;
    }
    return CDRF_DODEFAULT;
}

void RostViewPane::DrawIcons(HDC dc, const RECT& row, HTREEITEM item, ContactNode* node) {
    if (!node || IsGroup(node->kind)) return;
    bool ok = false;
    RECT text = ItemRect(friendTree_, item, true, &ok);
    if (!ok || row.right - text.right < ICON_SIZE) return;
    if (!node->icons) {
        LedgerBook book(book_);
        FriendInfoA info = {};
        book.FriendA(node->Friend(), &info);
        std::vector<BYTE> list = BuildIconList(row.right - text.right, OfferFor(book, node->Friend(), info));
        if (list.empty()) return;
        node->icons = new std::vector<BYTE>(std::move(list));
    }
    const std::vector<BYTE>& list = *node->icons;
    for (int i = 0; i < list[0] && i + 1 < static_cast<int>(list.size()); ++i) {
        RECT slot = IconSlot(row, i);
        bool hot = item == hotItem_ && i == hotIcon_;
        if (images_.service) {
            ImageList_Draw(images_.service, IconImage(list[1 + i], hot), dc, slot.left, slot.top, ILD_NORMAL);
        }
    }
}

void RostViewPane::OnTipText(NMHDR* header) {
    HWND tree = reinterpret_cast<HWND>(header->idFrom);
    bool wide = header->code == TTN_GETDISPINFOW;
    tipA_.clear();
    tipW_.clear();
    ContactNode* node = hotItem_ && hotTree_ == tree ? (tree == friendTree_ ? friendOps_ : blackOps_).Node(hotItem_)
                                                     : nullptr;
    if (node) {
        LedgerBook book(book_);
        if (IsGroup(node->kind)) {
            if (wide) {
                GroupInfoW info = {};
                book.GroupW(node->Group(), &info);
                tipW_ = GroupTip(info);
            } else {
                GroupInfoA info = {};
                book.GroupA(node->Group(), &info);
                tipA_ = GroupTip(info);
            }
        } else {
            int code = -1;
            if (tree == friendTree_ && hotIcon_ >= 0 && hotIcon_ < HOT_IMAGE && node->icons &&
                hotIcon_ < (*node->icons)[0]) {
                code = (*node->icons)[1 + hotIcon_];
            }
            if (wide) {
                FriendInfoW info = {};
                book.FriendW(node->Friend(), &info);
                tipW_ = FriendTip(info, code);
            } else {
                FriendInfoA info = {};
                book.FriendA(node->Friend(), &info);
                tipA_ = FriendTip(info, code);
            }
        }
    }
    if (wide) {
        reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = const_cast<wchar_t*>(tipW_.c_str());
    } else {
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = const_cast<char*>(tipA_.c_str());
    }
}

// --- hover and clicks

void RostViewPane::ClearHotItem() {
    hotItem_ = nullptr;
    hotTree_ = nullptr;
    hotIcon_ = HOT_NONE;
    SetRectEmpty(&hotRect_);
}

void RostViewPane::OnTreeMouseMove(const TreeMouse& mouse) {
    MSG relay = {window_, WM_MOUSEMOVE, mouse.keys, MAKELPARAM(mouse.x, mouse.y),
                 static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relay.pt);
    TVHITTESTINFO hit = {};
    hit.pt = POINT{mouse.x, mouse.y};
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(mouse.tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    bool changed = false;
    if (item != hotItem_ || (item && mouse.tree != hotTree_)) {
        if (hotIcon_ != HOT_NONE && hotTree_) InvalidateRect(hotTree_, &hotRect_, FALSE);
        SetRectEmpty(&hotRect_);
        hotIcon_ = HOT_NONE;
        hotItem_ = item;
        hotTree_ = item ? mouse.tree : nullptr;
        changed = true;
    }
    if (!hotItem_) return;
    bool relayNow = changed;
    if (hit.flags & TVHT_ONITEMICON) {
        relayNow = relayNow || hotIcon_ != HOT_IMAGE;
        hotIcon_ = HOT_IMAGE;
    } else if (hit.flags & TVHT_ONITEMLABEL) {
        relayNow = relayNow || hotIcon_ != HOT_LABEL;
        hotIcon_ = HOT_LABEL;
    } else {
        relayNow = LookUpIcon(mouse.tree, hotItem_, hit.pt) || relayNow;
    }
    if (relayNow && tooltip_) SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
}

bool RostViewPane::LookUpIcon(HWND tree, HTREEITEM item, POINT point) {
    bool ok = false;
    RECT text = ItemRect(tree, item, true, &ok);
    if (!ok) return false;
    RECT row = ItemRect(tree, item, false, &ok);
    if (row.right - text.right < ICON_SIZE) {
        hotIcon_ = HOT_NONE;
        SetRectEmpty(&hotRect_);
        return true;
    }
    ContactNode* node = (tree == friendTree_ ? friendOps_ : blackOps_).Node(item);
    if (!node) return false;
    if (IsGroup(node->kind)) {
        hotIcon_ = HOT_NONE;
        SetRectEmpty(&hotRect_);
        return false;
    }
    if (!node->icons) return false;
    int index = SlotAt(row, text, point, (*node->icons)[0]);
    if (index == hotIcon_) return false;
    RECT slot = index >= 0 ? IconSlot(row, index) : RECT{};
    if (!EqualRect(&slot, &hotRect_)) {
        InvalidateRect(tree, &hotRect_, FALSE);
        InvalidateRect(tree, &slot, FALSE);
    }
    hotIcon_ = index;
    hotRect_ = slot;
    return true;
}

void RostViewPane::OnTreeButtonDown(const TreeMouse& mouse) {
    if (!hotItem_ || hotIcon_ == HOT_NONE) return;
    pressedIcon_ = hotIcon_;
    pressedItem_ = hotItem_;
    if (hotIcon_ >= 0 && hotIcon_ < HOT_IMAGE) SetCapture(mouse.tree);
}

void RostViewPane::OnTreeButtonUp(const TreeMouse& mouse) {
    if (!hotItem_ || pressedIcon_ == HOT_NONE) return;
    if (GetCapture() == mouse.tree) ReleaseCapture();
    int pressed = pressedIcon_;
    HTREEITEM item = pressedItem_;
    pressedIcon_ = HOT_NONE;
    pressedItem_ = nullptr;
    if (item != hotItem_ || pressed < 0 || pressed >= HOT_IMAGE) return;
    bool ok = false;
    RECT text = ItemRect(mouse.tree, item, true, &ok);
    if (!ok) return;
    RECT row = ItemRect(mouse.tree, item, false, &ok);
    if (SlotAt(row, text, POINT{mouse.x, mouse.y}, -1) != pressed) return;
    // The list may have been dropped or rebuilt shorter since the press.
    ContactNode* node = friendOps_.Node(item);
    if (!node || !node->icons || pressed >= (*node->icons)[0]) return;
    FriendInfoA info = {};
    LedgerBook(book_).FriendA(node->Friend(), &info);
    int command = IconCommand((*node->icons)[1 + pressed], info);
    if (command) PostMessageW(window_, UM_ROST_COMMAND, command, reinterpret_cast<LPARAM>(item));
}

void RostViewPane::OnTreeMouseLeave(HWND tree) {
    if (hotItem_ && hotTree_ == tree) {
        (tree == friendTree_ ? friendOps_ : blackOps_).RepaintRow(hotItem_);
        ClearHotItem();
    }
}

void RostViewPane::NodeGone(ContactNode* node) {
    if (!node->item) return;
    if (node->item == hotItem_) ClearHotItem();
    if (node->item == pressedItem_) {
        pressedItem_ = nullptr;
        pressedIcon_ = HOT_NONE;
    }
    if (node->item == menuItem_) menuItem_ = nullptr;
}

void RostViewPane::IconsDropped(ContactNode* node) {
    if (node->item && node->item == hotItem_ && hotIcon_ != HOT_NONE) {
        hotIcon_ = HOT_NONE;
        if (hotTree_) InvalidateRect(hotTree_, &hotRect_, FALSE);
    }
}

// --- the load

bool LoadQueue::Add(HWND window, Delivery delivery) {
    bool post = false;
    {
        vantor::Lock lock(lock_);
        waiting_.push_back(std::move(delivery));
        post = !posted_;
        posted_ = true;
    }
    if (!post || PostMessageW(window, UM_ROST_LOADED, 0, 0)) return true;
    vantor::Lock lock(lock_);
    posted_ = false;
    return false;
}

std::vector<LoadQueue::Delivery> LoadQueue::Take() {
    std::vector<Delivery> taken;
    vantor::Lock lock(lock_);
    taken.swap(waiting_);
    posted_ = false;
    return taken;
}

namespace {
// Hands each group to the window through the pane's queue: the load thread reads on while
// the window inserts.
class QueueDelivery : public LoadDelivery {
public:
    QueueDelivery(HWND window, LoadQueue& queue, const std::atomic<bool>& stop, const std::atomic<bool>& failed)
        : window_(window), queue_(queue), stop_(stop), failed_(failed) {}

    bool DeliverGroup(std::unique_ptr<GroupBatch> batch) override {
        LoadQueue::Delivery delivery;
        delivery.group = std::move(batch);
        return !stop_ && queue_.Add(window_, std::move(delivery)) && !failed_;
    }
    void DeliverBlackList(std::unique_ptr<std::vector<LoadedFriend>> users) override {
        LoadQueue::Delivery delivery;
        delivery.black = std::move(users);
        if (!stop_) queue_.Add(window_, std::move(delivery));
    }
    // Posted behind the message that tells of the last deliveries, so it comes after them.
    void Finished() override {
        if (!stop_) PostMessageW(window_, UM_ROST_CONTACTS_LOADED, 0, 0);
    }

private:
    HWND window_;
    LoadQueue& queue_;
    const std::atomic<bool>& stop_;
    const std::atomic<bool>& failed_;
};
}  // namespace

void RostViewPane::OnLoaded() {
    std::vector<LoadQueue::Delivery> deliveries = loadQueue_.Take();
    if (stop_ || deliveries.empty()) return;
    LedgerBook book(book_);
    for (LoadQueue::Delivery& delivery : deliveries) {
        if (delivery.group) {
            if (!model_.DeliverGroup(*delivery.group, book)) loadFailed_ = true;
        } else if (delivery.black) {
            model_.DeliverBlackList(*delivery.black, book);
        }
    }
}

void RostViewPane::DropUndelivered() {
    if (window_) {
        MSG msg;
        while (PeekMessageW(&msg, window_, UM_ROST_LOADED, UM_ROST_LOADED, PM_REMOVE)) {
        }
    }
    loadQueue_.Take();
}

DWORD WINAPI RostViewPane::LoadThread(void* parameter) {
    auto* pane = static_cast<RostViewPane*>(parameter);
    // Reading while the window is made would slow the making more than it saves: both
    // take the loader's lock many times over (the book's library per read, the window
    // its resources and classes).
    if (WaitForSingleObject(pane->windowReady_, INFINITE) != WAIT_OBJECT_0 || pane->stop_ || !pane->window_) return 0;
    LedgerBook book(pane->book_);
    QueueDelivery delivery(pane->window_, pane->loadQueue_, pane->stop_, pane->loadFailed_);
    return static_cast<DWORD>(
        LoadContacts(book, book.Loaded(), delivery, pane->stop_, pane->sink_, pane->model_.Reads()));
}

void RostViewPane::OnContactsLoaded() {
    // Whatever the load delivered before it ended is in before the end.
    OnLoaded();
    if (loadThread_) {
        if (vantor::WaitPumping(loadThread_)) {
            CloseHandle(loadThread_);
        }
        loadThread_ = nullptr;
    }
    // A new group being named sits where it was put, not in the load's order.
    if (temporaryItem_) model_.Disturbed();
    LedgerBook book(book_);
    model_.LoadFinished(book);
}

void RostViewPane::OnChange(Change change, const ChangeArgs& args) {
    LedgerBook book(book_);
    model_.Apply(book, change, args.first, args.second, args.third);
}

}  // namespace rostview
