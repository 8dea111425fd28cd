// Where the buttons of a strip go: an even grid over the panel, shrinking the wanted cell
// size until every button has a cell.
#pragma once

#include <windows.h>

namespace buttonstrip {

struct Grid {
    int columns = 1;
    int rows = 1;
    int cellWidth = 0;   // the actual cells: the panel divided evenly
    int cellHeight = 0;
    int buttonWidth = 0;  // the button centred in each cell, never negative
    int buttonHeight = 0;

    int Cells() const { return columns * rows; }
    // Rectangle of the button in cell `index` (row after row, left to right), in panel
    // client coordinates; index must be below Cells().
    RECT ButtonRect(int index) const;
};

// Grid for `count` buttons in a panel client area of width × height, for cells of the
// wanted size wantWidth × wantHeight (both at least 1).
Grid LayOut(int width, int height, int wantWidth, int wantHeight, int count);

}  // namespace buttonstrip
