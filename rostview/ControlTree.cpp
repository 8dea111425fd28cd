#include "TreeOps.h"

namespace rostview {

HTREEITEM ControlTree::InsertAfter(HTREEITEM parent, HTREEITEM after, const std::string& text, int image,
                                   int selected, ContactNode* node) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? parent : TVI_ROOT;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selected;
    insert.item.lParam = reinterpret_cast<LPARAM>(node);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item && node) node->item = item;
    return item;
}

void ControlTree::Delete(HTREEITEM item) { SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)); }

std::string ControlTree::Text(HTREEITEM item) {
    char buffer[260] = {};
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = sizeof buffer;
    if (!SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return std::string();
    // The control may answer with its own buffer.
    return tv.pszText ? std::string(tv.pszText) : std::string();
}

void ControlTree::SetText(HTREEITEM item, const std::string& text) {
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = const_cast<char*>(text.c_str());
    SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
}

void ControlTree::SetImages(HTREEITEM item, int image, int selected) {
    TVITEMA tv = {};
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    tv.iImage = image;
    tv.iSelectedImage = selected;
    SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
}

ContactNode* ControlTree::Node(HTREEITEM item) {
    if (!item) return nullptr;
    TVITEMA tv = {};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
    return reinterpret_cast<ContactNode*>(tv.lParam);
}

HTREEITEM ControlTree::FirstChild(HTREEITEM parent) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT,
                                                    reinterpret_cast<LPARAM>(parent)));
}

HTREEITEM ControlTree::Next(HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM ControlTree::Parent(HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

void ControlTree::SortChildren(HTREEITEM parent, PFNTVCOMPARE compare, LPARAM context) {
    TVSORTCB sort = {};
    sort.hParent = parent;
    sort.lpfnCompare = compare;
    sort.lParam = context;
    SendMessageA(tree_, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
}

void ControlTree::Expand(HTREEITEM item) {
    SendMessageA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

void ControlTree::RepaintRow(HTREEITEM item) {
    RECT row = {};
    if (TreeView_GetItemRect(tree_, item, &row, FALSE)) InvalidateRect(tree_, &row, TRUE);
}

}  // namespace rostview
