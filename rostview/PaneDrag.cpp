// Drag and drop inside the pane: starting a drag from either tree, the drag image, and
// the pane's side of the drop target.
#include "DebugOut.h"
#include "FolderBar.h"
#include "RostViewPane.h"

namespace rostview {

namespace {
const COLORREF kKeyColour = RGB(0, 255, 0);

// The formats probed at enter, in this order.
const Kind kProbeOrder[] = {Kind::TelephoneGroup, Kind::NetworkGroup, Kind::TelephoneFriend,
                            Kind::NetworkFriend,  Kind::BlackUser,    Kind::StrangerUser};

bool KindOfFormat(CLIPFORMAT format, Kind* kind) {
    for (Kind k : kProbeOrder) {
        if (KindFormat(k) == format) {
            *kind = k;
            return true;
        }
    }
    return false;
}
}  // namespace

void RostViewPane::RegisterDropTarget() {
    HRESULT started = OleInitialize(nullptr);
    oleStarted_ = SUCCEEDED(started);
    dropTarget_ = new NodeDropTarget(*this);
    CoLockObjectExternal(dropTarget_, TRUE, FALSE);
    // Without the registration the pane takes no drops; its drags still start.
    if (FAILED(RegisterDragDrop(window_, dropTarget_))) vantor::DebugLine(L"RegisterDragDrop failed\n");
}

void RostViewPane::RevokeDropTarget() {
    if (!dropTarget_) return;
    RevokeDragDrop(window_);
    CoLockObjectExternal(dropTarget_, FALSE, TRUE);
    dropTarget_->Release();
    dropTarget_ = nullptr;
    if (oleStarted_) OleUninitialize();
    oleStarted_ = false;
}

HIMAGELIST RostViewPane::MakeDragImage(HWND tree, HTREEITEM item) {
    if (TreeView_GetImageList(tree, TVSIL_NORMAL)) {
        // A list without a picture (some trees hand out an empty one) is no image.
        if (HIMAGELIST own = TreeView_CreateDragImage(tree, item)) {
            if (ImageList_GetImageCount(own) > 0) return own;
            ImageList_Destroy(own);
        }
    }
    wchar_t text[260] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 259;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    HDC screen = GetDC(tree);
    HDC dc = CreateCompatibleDC(screen);
    // The tree's font without smoothed edges: a smoothed edge would blend with the key
    // colour and leave a green fringe around the text.
    HFONT font = nullptr;
    LOGFONTW look = {};
    HGDIOBJ treeFont = reinterpret_cast<HGDIOBJ>(SendMessageW(tree, WM_GETFONT, 0, 0));
    if (treeFont && GetObjectW(treeFont, sizeof look, &look)) {
        look.lfQuality = NONANTIALIASED_QUALITY;
        font = CreateFontIndirectW(&look);
    }
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SIZE size = {};
    GetTextExtentPoint32W(dc, tv.pszText, lstrlenW(tv.pszText), &size);
    size.cx = size.cx > 0 ? size.cx : 1;
    size.cy = size.cy > 0 ? size.cy : 1;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all = {0, 0, size.cx, size.cy};
    HBRUSH key = CreateSolidBrush(kKeyColour);
    FillRect(dc, &all, key);
    DeleteObject(key);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TextOutW(dc, 0, 0, tv.pszText, lstrlenW(tv.pszText));
    SelectObject(dc, oldBitmap);
    if (oldFont) SelectObject(dc, oldFont);
    if (font) DeleteObject(font);
    DeleteDC(dc);
    ReleaseDC(tree, screen);
    HIMAGELIST list = ImageList_Create(size.cx, size.cy, ILC_COLOR24 | ILC_MASK, 1, 1);
    if (list && ImageList_AddMasked(list, bitmap, kKeyColour) < 0) {
        ImageList_Destroy(list);
        list = nullptr;
    }
    DeleteObject(bitmap);
    return list;
}

void RostViewPane::OnBeginDrag(HWND tree, HTREEITEM item) {
    TreeOps& ops = tree == friendTree_ ? friendOps_ : blackOps_;
    ContactNode* node = ops.Node(item);
    if (!node || dragData_) return;
    dragImage_ = MakeDragImage(tree, item);
    if (!dragImage_) return;
    dragKind_ = node->kind;
    auto* data = new NodeDataObject(item, KindFormat(node->kind));
    auto* source = new NodeDropSource();
    dragData_ = data;
    sink_.Line(L"begin do drag drop\n");
    // The tip of the item under the mouse would hide the drag image and speak of the
    // dragged item wherever it goes: no hot item, no tip text, no tip.
    ClearHotItem();
    if (tooltip_) {
        SendMessageW(tooltip_, TTM_POP, 0, 0);
        SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
    }
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, source, DROPEFFECT_MOVE, &effect);
    if (tooltip_) SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    dragData_ = nullptr;
    data->Release();
    source->Release();
    HWND shown = current_ >= 0 ? folders_[current_].child : nullptr;
    if (shown && (shown == friendTree_ || shown == blackTree_)) {
        ImageList_DragShowNolock(FALSE);
        TreeView_SelectDropTarget(shown, nullptr);
        TreeView_SelectItem(shown, TreeView_GetSelection(shown));
        ImageList_DragShowNolock(TRUE);
    }
    EndDragImage();
    ImageList_Destroy(dragImage_);
    dragImage_ = nullptr;
}

void RostViewPane::EndDragImage() {
    if (!dragImageShown_) return;
    ImageList_DragLeave(window_);
    ImageList_EndDrag();
    dragImageShown_ = false;
}

CLIPFORMAT RostViewPane::OnDragEnter(IDataObject* data, DWORD, LONG x, LONG y, DWORD) {
    // Only the pane's own drag: a payload from elsewhere would name items of no tree here.
    if (!data || data != dragData_) return 0;
    EndDragImage();
    if (dragImage_ && ImageList_BeginDrag(dragImage_, 0, GetSystemMetrics(SM_CXCURSOR) / 8,
                                          GetSystemMetrics(SM_CYCURSOR) / 8)) {
        POINT p = {x, y};
        ScreenToClient(window_, &p);
        dragImageShown_ = ImageList_DragEnter(window_, p.x, p.y) != FALSE;
        if (!dragImageShown_) ImageList_EndDrag();
    }
    for (Kind kind : kProbeOrder) {
        FORMATETC format = {KindFormat(kind), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        if (data->QueryGetData(&format) == S_OK) return format.cfFormat;
    }
    return 0;
}

DragPoint RostViewPane::PointFacts(HTREEITEM dragged, POINT screen, HTREEITEM* hit) {
    DragPoint facts;
    *hit = nullptr;
    HWND shown = current_ >= 0 ? folders_[current_].child : nullptr;
    facts.friendTreeShown = shown == friendTree_;
    facts.blackTreeShown = shown == blackTree_;
    if (facts.friendTreeShown) {
        TVHITTESTINFO test = {};
        test.pt = screen;
        ScreenToClient(friendTree_, &test.pt);
        *hit = TreeView_HitTest(friendTree_, &test);
        if (*hit) {
            facts.onItem = true;
            ContactNode* node = friendOps_.Node(*hit);
            facts.hasNode = node != nullptr;
            if (node) facts.itemKind = node->kind;
            facts.itemIsOwnParent = InTree(friendOps_, dragged) && friendOps_.Parent(dragged) == *hit;
        }
    } else if (facts.blackTreeShown) {
        TVHITTESTINFO test = {};
        test.pt = screen;
        ScreenToClient(blackTree_, &test.pt);
        *hit = TreeView_HitTest(blackTree_, &test);
        RECT r = {};
        GetWindowRect(blackTree_, &r);
        facts.insideBlackTree = PtInRect(&r, screen) != FALSE;
    }
    POINT client = screen;
    ScreenToClient(window_, &client);
    int header = current_ >= 0 ? HeaderAt(Client(), static_cast<int>(folders_.size()), current_, client) : -1;
    facts.header = header == 0 ? Folder::FriendList : header == 1 ? Folder::BlackList : Folder::None;
    return facts;
}

void RostViewPane::OnDragOver(HTREEITEM dragged, LONG x, LONG y, DWORD* effect) {
    *effect = DROPEFFECT_NONE;
    POINT screen = {x, y};
    HTREEITEM hit = nullptr;
    DragPoint facts = PointFacts(dragged, screen, &hit);
    HWND shown = facts.friendTreeShown ? friendTree_ : facts.blackTreeShown ? blackTree_ : nullptr;
    if (shown && hit && TreeView_GetDropHilight(shown) != hit) {
        // The tree repaints the highlighted rows before the image is shown again over
        // them; a later repaint would wipe the image out.
        ImageList_DragShowNolock(FALSE);
        TreeView_SelectDropTarget(shown, hit);
        UpdateWindow(shown);
        ImageList_DragShowNolock(TRUE);
    }
    bool known = InTree(friendOps_, dragged) || InTree(blackOps_, dragged);
    if (known) *effect = DragOverEffect(dragKind_, facts);
    if (dragImageShown_) {
        POINT client = screen;
        ScreenToClient(window_, &client);
        ImageList_DragMove(client.x, client.y);
    }
}

void RostViewPane::OnDragLeave() { EndDragImage(); }

void RostViewPane::OnDrop(HTREEITEM dragged, CLIPFORMAT format, LONG x, LONG y, DWORD* effect) {
    *effect = DROPEFFECT_NONE;
    EndDragImage();
    Kind kind;
    if (!KindOfFormat(format, &kind) || kind != dragKind_) return;
    TreeOps* ops = InTree(friendOps_, dragged) ? &friendOps_ : InTree(blackOps_, dragged) ? &blackOps_ : nullptr;
    ContactNode* node = ops ? ops->Node(dragged) : nullptr;
    if (!node || node->kind != kind) return;
    HTREEITEM hit = nullptr;
    DragPoint facts = PointFacts(dragged, POINT{x, y}, &hit);
    switch (DecideDrop(kind, facts)) {
    case DropAction::None:
        return;
    case DropAction::RequestFriend:
        sink_.Line(L"发起对黑名单用户的好友验证\n");
        PostMessageW(window_, UM_ROST_COMMAND, CMD_REQUEST_FRIEND, reinterpret_cast<LPARAM>(dragged));
        return;
    case DropAction::Block:
        PostMessageW(window_, UM_ROST_COMMAND, CMD_BLOCK_FRIEND, reinterpret_cast<LPARAM>(dragged));
        return;
    case DropAction::Move: {
        if (kind == Kind::TelephoneFriend) sink_.Line(L"移动电话好友到其它组\n");
        ContactNode* target = friendOps_.Node(hit);
        if (!target) return;
        auto* record = new MoveRecord{node->Friend(), ParentGroup(friendOps_, dragged), target->Group()};
        if (!PostMessageW(window_, UM_ROST_COMMAND, CMD_MOVE_FRIEND, reinterpret_cast<LPARAM>(record))) delete record;
        return;
    }
    }
}

}  // namespace rostview
