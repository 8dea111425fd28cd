// The decisions of a drag inside the pane: which kind may drop onto which, the effect the
// keys choose, the effect over a point and what a drop does.
#pragma once

#include <windows.h>

#include "ContactNode.h"

namespace rostview {

bool DropAllowed(Kind target, Kind dragged);

// Control copies, Shift moves, both link (never granted); a key choice the source does
// not allow gives none. Without keys: move, else copy, when allowed.
DWORD EffectFromKeys(DWORD keys, DWORD allowed);

enum class Folder { None, FriendList, BlackList };

// What lies under the point of a drag.
struct DragPoint {
    bool friendTreeShown = false;
    bool blackTreeShown = false;
    bool onItem = false;           // an item of the shown tree is hit
    bool hasNode = false;          // ... and it carries a node
    Kind itemKind = Kind::TelephoneGroup;
    bool itemIsOwnParent = false;  // the dragged node's own group
    bool insideBlackTree = false;
    Folder header = Folder::None;  // the folder header under the point
};

DWORD DragOverEffect(Kind dragged, const DragPoint& point);

enum class DropAction { None, RequestFriend, Move, Block };

// What a drop does; the rule of the drag is checked once more, so a drop that would show
// no effect does nothing.
DropAction DecideDrop(Kind dragged, const DragPoint& point);

}  // namespace rostview
