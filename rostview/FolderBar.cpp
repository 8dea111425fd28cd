#include "FolderBar.h"

namespace rostview {

RECT HeaderRect(const RECT& c, int count, int current, int index) {
    RECT r = {c.left + 1, 0, c.right - 1, 0};
    if (index <= current) {
        r.top = c.top + 2 + HEADER_PITCH * index;
    } else {
        // The last header ends one pixel above the bottom.
        r.top = c.bottom - 1 - HEADER_HEIGHT - HEADER_PITCH * (count - 1 - index);
    }
    r.bottom = r.top + HEADER_HEIGHT;
    return r;
}

RECT ChildArea(const RECT& c, int count, int current) {
    RECT area = {c.left + 1, HeaderRect(c, count, current, current).bottom, c.right - 1, c.bottom};
    if (current + 1 < count) area.bottom = HeaderRect(c, count, current, current + 1).top;
    if (area.bottom < area.top) area.bottom = area.top;
    return area;
}

int HeaderAt(const RECT& c, int count, int current, POINT point) {
    for (int i = 0; i <= current && i < count; ++i) {
        RECT r = HeaderRect(c, count, current, i);
        if (PtInRect(&r, point)) return i;
    }
    for (int i = count - 1; i > current; --i) {
        RECT r = HeaderRect(c, count, current, i);
        if (PtInRect(&r, point)) return i;
    }
    return -1;
}

ScrollPlan PlanScrollBars(int width, int height, int folders, int barWidth, int barHeight) {
    ScrollPlan plan;
    plan.minHeight = 20 * folders + 40;
    plan.width = width;
    plan.height = height;
    if (plan.height < plan.minHeight) {
        plan.vertical = true;
        plan.width -= barWidth;
    }
    if (plan.width < MIN_PANE_WIDTH) {
        plan.horizontal = true;
        plan.height -= barHeight;
        if (!plan.vertical && plan.height < plan.minHeight) {
            plan.vertical = true;
            plan.width -= barWidth;
        }
    }
    return plan;
}

int FolderToSelect(int pressed, int released, int current) {
    return pressed >= 0 && pressed == released && pressed != current ? pressed : -1;
}

}  // namespace rostview
