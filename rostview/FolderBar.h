// Geometry of the folder bar: where each folder header stands, which header is under the
// mouse and where the current folder's child window goes. Painting, hit testing and
// placement all use these, so what is drawn is what is clicked.
#pragma once

#include <windows.h>

namespace rostview {

enum { HEADER_HEIGHT = 20, HEADER_PITCH = 21, MIN_PANE_WIDTH = 100 };

// Header of folder `index` of `count`, with `current` the current folder, in client
// rectangle c: headers up to the current one at the top, the rest at the bottom.
RECT HeaderRect(const RECT& c, int count, int current, int index);

// The area the current folder's child window fills.
RECT ChildArea(const RECT& c, int count, int current);

// The folder whose header holds the point, or -1: the top headers first, then the
// bottom ones from the last back.
int HeaderAt(const RECT& c, int count, int current, POINT point);

// The scroll bars the pane shows for a client size, and the ranges it sets.
struct ScrollPlan {
    bool vertical = false;
    bool horizontal = false;
    int width = 0;       // client width once the bars are taken off
    int height = 0;
    int minHeight = 0;   // 20 per folder + 40
};
ScrollPlan PlanScrollBars(int width, int height, int folders, int barWidth, int barHeight);

// The header pressed and released selects a folder only when both are the same header
// and it is not the current one: the folder to select, or -1.
int FolderToSelect(int pressed, int released, int current);

}  // namespace rostview
