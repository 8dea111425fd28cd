#include "CompactLayout.h"

namespace compactview {

CompactLayout LayOut(const RECT& client, int h) {
    CompactLayout l;
    l.title = client;
    l.title.bottom = client.top + h;
    l.pane = {client.left, client.top + h, client.right, client.bottom};
    l.close = {client.right - h, client.top, client.right, client.top + h};
    InflateRect(&l.close, -2, -2);
    l.toggle = l.close;
    OffsetRect(&l.toggle, -(l.close.right - l.close.left), 0);
    return l;
}

}  // namespace compactview
