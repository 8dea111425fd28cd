// The strip's grid as a table of panels, cell sizes and button counts.
#include <gtest/gtest.h>

#include "StripGrid.h"

namespace {

using buttonstrip::Grid;
using buttonstrip::LayOut;

TEST(StripGrid, CellsShrinkUntilEveryButtonHasOne) {
    struct Case {
        int width, height, wantW, wantH, count;
        int columns, rows, cellW, cellH, buttonW, buttonH;
    } cases[] = {
        {400, 300, 150, 150, 2, 2, 2, 200, 150, 140, 140},
        // 133 gives 3 × 2 = 6 cells, still too few; 100 gives 4 × 3.
        {400, 300, 150, 150, 7, 4, 3, 100, 100, 90, 90},
        {400, 300, 150, 150, 4, 2, 2, 200, 150, 140, 140},
        {400, 300, 150, 150, 0, 2, 2, 200, 150, 140, 140},
        {400, 300, 50, 80, 3, 8, 3, 50, 100, 40, 70},
        // Wanted cells larger than the panel shrink to it.
        {100, 60, 150, 150, 1, 1, 1, 100, 60, 50, 50},
        // A panel of nothing: one empty cell, empty buttons.
        {0, 0, 150, 150, 3, 1, 1, 0, 0, 0, 0},
        // Many buttons in a tiny panel: cells under ten pixels give empty buttons.
        {20, 20, 150, 150, 50, 10, 10, 2, 2, 0, 0},
        {5, 3, 150, 150, 1000, 5, 3, 1, 1, 0, 0},
        // The loop stops once one side reaches a single pixel.
        {3, 400, 150, 2, 10, 1, 400, 3, 1, 139, 0},
    };
    for (const Case& c : cases) {
        Grid grid = LayOut(c.width, c.height, c.wantW, c.wantH, c.count);
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " cells " << c.wantW << "x" << c.wantH
                                        << " count " << c.count);
        EXPECT_EQ(c.columns, grid.columns);
        EXPECT_EQ(c.rows, grid.rows);
        EXPECT_EQ(c.cellW, grid.cellWidth);
        EXPECT_EQ(c.cellH, grid.cellHeight);
        EXPECT_EQ(c.buttonW, grid.buttonWidth);
        EXPECT_EQ(c.buttonH, grid.buttonHeight);
    }
}

TEST(StripGrid, ButtonsAreCentredInTheirCellsRowByRow) {
    Grid grid = LayOut(400, 300, 150, 150, 7);
    RECT first = grid.ButtonRect(0);
    EXPECT_EQ(5, first.left);
    EXPECT_EQ(5, first.top);
    EXPECT_EQ(95, first.right);
    EXPECT_EQ(95, first.bottom);
    RECT fifth = grid.ButtonRect(4);
    EXPECT_EQ(5, fifth.left) << "the fifth button starts the second row";
    EXPECT_EQ(105, fifth.top);
    RECT last = grid.ButtonRect(11);
    EXPECT_EQ(305, last.left);
    EXPECT_EQ(205, last.top);

    Grid two = LayOut(400, 300, 150, 150, 2);
    RECT second = two.ButtonRect(1);
    EXPECT_EQ(230, second.left);
    EXPECT_EQ(5, second.top);
    EXPECT_EQ(370, second.right);
    EXPECT_EQ(145, second.bottom);

    Grid empty = LayOut(0, 0, 150, 150, 1);
    RECT nothing = empty.ButtonRect(0);
    EXPECT_TRUE(IsRectEmpty(&nothing));
    EXPECT_GE(nothing.left, 0);
}

}  // namespace
