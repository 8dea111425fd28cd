#include "StripGrid.h"

#include <algorithm>

namespace buttonstrip {

namespace {

// Space left around a button inside its cell, both directions together.
const int kCellMargin = 10;

}  // namespace

RECT Grid::ButtonRect(int index) const {
    int column = index % columns;
    int row = index / columns;
    RECT rect;
    rect.left = column * cellWidth + (cellWidth - buttonWidth) / 2;
    rect.top = row * cellHeight + (cellHeight - buttonHeight) / 2;
    rect.right = rect.left + buttonWidth;
    rect.bottom = rect.top + buttonHeight;
    return rect;
}

Grid LayOut(int width, int height, int wantWidth, int wantHeight, int count) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    int w = std::max(wantWidth, 1);
    int h = std::max(wantHeight, 1);
    int columns = width / w;
    int rows = height / h;
    while (static_cast<long long>(rows) * columns < count && w > 1 && h > 1) {
        --w;
        --h;
        columns = width / w;
        rows = height / h;
    }
    Grid grid;
    grid.columns = std::max(columns, 1);
    grid.rows = std::max(rows, 1);
    grid.cellWidth = width / grid.columns;
    grid.cellHeight = height / grid.rows;
    grid.buttonWidth = std::max(w - kCellMargin, 0);
    grid.buttonHeight = std::max(h - kCellMargin, 0);
    return grid;
}

}  // namespace buttonstrip
