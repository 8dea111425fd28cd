#include "DropRules.h"

namespace rostview {

bool DropAllowed(Kind target, Kind dragged) {
    switch (target) {
    case Kind::TelephoneGroup:
        return dragged == Kind::TelephoneFriend;
    case Kind::NetworkGroup:
        return dragged == Kind::NetworkFriend || dragged == Kind::BlackUser;
    default:
        return false;
    }
}

DWORD EffectFromKeys(DWORD keys, DWORD allowed) {
    bool control = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
    if (control && shift) return DROPEFFECT_NONE;  // link
    if (control) return allowed & DROPEFFECT_COPY;
    if (shift) return allowed & DROPEFFECT_MOVE;
    if (allowed & DROPEFFECT_MOVE) return DROPEFFECT_MOVE;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    return DROPEFFECT_NONE;
}

namespace {
DWORD Move(bool yes) { return yes ? DROPEFFECT_MOVE : DROPEFFECT_NONE; }

DWORD FolderEffect(Kind dragged, Folder header) {
    if (header == Folder::FriendList) return Move(dragged == Kind::BlackUser);
    if (header == Folder::BlackList) return Move(dragged == Kind::NetworkFriend);
    return DROPEFFECT_NONE;
}
}  // namespace

DWORD DragOverEffect(Kind dragged, const DragPoint& point) {
    if (point.friendTreeShown && point.onItem && !point.itemIsOwnParent) {
        return Move(point.hasNode && DropAllowed(point.itemKind, dragged));
    }
    if (!point.friendTreeShown && point.blackTreeShown && point.insideBlackTree) {
        return Move(dragged == Kind::NetworkFriend);
    }
    return FolderEffect(dragged, point.header);
}

DropAction DecideDrop(Kind dragged, const DragPoint& point) {
    if (DragOverEffect(dragged, point) != DROPEFFECT_MOVE) return DropAction::None;
    switch (dragged) {
    case Kind::BlackUser:
        return DropAction::RequestFriend;
    case Kind::NetworkFriend:
        if (point.friendTreeShown) return point.onItem ? DropAction::Move : DropAction::Block;
        return DropAction::Block;
    case Kind::TelephoneFriend:
        return point.friendTreeShown && point.onItem ? DropAction::Move : DropAction::None;
    default:
        return DropAction::None;
    }
}

}  // namespace rostview
