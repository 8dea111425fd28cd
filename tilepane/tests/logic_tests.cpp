// The home tile pane's plain decisions, without a window.
#include <gtest/gtest.h>

#include "TileLogic.h"
#include "GameLaunch.h"
#include "Text.h"

using namespace tilepane;

TEST(TileGeometry, WebAreaLogoBlockPaneAndLoadBar) {
    RECT client = {0, 0, 500, 400};
    Margins m;
    m.left = m.right = 10;
    m.top = 25;
    m.bottom = 5;
    RECT web = WebRect(client, m);
    EXPECT_EQ(50, web.left);
    EXPECT_EQ(450, web.right);
    EXPECT_EQ(100, web.top);
    EXPECT_EQ(380, web.bottom);
    RECT logo = LogoRect(web, SIZE{120, 40});
    EXPECT_EQ(50, logo.left);
    EXPECT_EQ(170, logo.right);
    EXPECT_EQ(60, logo.top);
    EXPECT_EQ(100, logo.bottom);
    RECT block = BlockPaneRect(logo, web);
    EXPECT_EQ(170, block.left);
    EXPECT_EQ(450, block.right);
    EXPECT_EQ(40, block.top);
    EXPECT_EQ(80, block.bottom);
    RECT bar = LoadBarRect(web);
    EXPECT_EQ(50, bar.left);
    EXPECT_EQ(232, bar.top);
    EXPECT_EQ(400, bar.right - bar.left);
    EXPECT_EQ(16, bar.bottom - bar.top);
    EXPECT_EQ(500 - 100 - 25, InfoButtonX(client, 100, web));
    EXPECT_EQ(450, InfoButtonX(client, 0, web)) << "at most the web right edge";
    RECT round = BrowserRoundRect(web);
    EXPECT_EQ(-100, round.top);
    EXPECT_EQ(400, round.right);
    EXPECT_EQ(280, round.bottom);
}

TEST(TileGeometry, ArrowsPointRightOrDown) {
    RECT c = {0, 0, 100, 25};
    Arrow right = TileArrow(c, false);
    EXPECT_EQ(95, right.points[0].x);
    EXPECT_EQ(10, right.points[0].y);
    Arrow down = TileArrow(c, true);
    EXPECT_EQ(90, down.points[0].x);
    EXPECT_EQ(15, down.points[0].y);
    EXPECT_EQ(5, down.points[2].y);
}

TEST(TileProgress, GuardsAndSixtyFourBitProducts) {
    EXPECT_EQ(-1, ProgressPercent(0, 50));
    EXPECT_EQ(-1, ProgressPercent(200, 0));
    EXPECT_EQ(-1, ProgressPercent(200, -1));
    EXPECT_EQ(25, ProgressPercent(200, 50));
    EXPECT_EQ(50, ProgressPercent(2000000000, 1000000000)) << "progress x 100 passes 32 bits";
    EXPECT_EQ(-1, ProgressPercent(100, 150));
}

TEST(TileRetries, ThreeRetriesThenTheCountStartsAfresh) {
    RetryCount r;
    EXPECT_TRUE(r.Fail());
    EXPECT_TRUE(r.Fail());
    EXPECT_TRUE(r.Fail());
    EXPECT_FALSE(r.Fail());
    EXPECT_EQ(0, r.count());
    EXPECT_TRUE(r.Fail());
}

TEST(TileLinks, ColourKeysOrderAndRows) {
    EXPECT_STREQ("block_1", ColourKey(1000));
    EXPECT_STREQ("block_2", ColourKey(999));
    EXPECT_STREQ("block_7", ColourKey(1009));
    EXPECT_EQ(nullptr, ColourKey(1007));
    EXPECT_EQ(nullptr, ColourKey(1010));

    // Boards 1001 and 1004: 1004 first, 1001 after; 1010 leaves the layout.
    std::vector<int> ids = {1001, 1010, 1004, 1004};
    std::vector<size_t> order = DisplayOrder(ids);
    ASSERT_EQ(2u, order.size());
    EXPECT_EQ(2u, order[0]);
    EXPECT_EQ(0u, order[1]);

    RECT client = {0, 0, 400, 20};
    std::vector<SIZE> sizes(5, SIZE{100, 12});
    std::vector<POINT> at = BlockRows(client, sizes);
    EXPECT_EQ(50, at[0].x);
    EXPECT_EQ(4, at[0].y);
    EXPECT_EQ(155, at[1].x);
    EXPECT_EQ(260, at[2].x);
    EXPECT_EQ(50, at[3].x) << "the fourth link starts the second row";
    EXPECT_EQ(4 + 12 + 5, at[3].y);
    EXPECT_EQ(155, at[4].x);
}

TEST(TileLinks, BarColours) {
    BarColours none = LinkBarColours({});
    EXPECT_EQ(0xFF0000u, none.first);
    EXPECT_EQ(0x00FF00u, none.last);
    BarColours two = LinkBarColours({RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9)});
    EXPECT_EQ(RGB(1, 2, 3), two.first);
    EXPECT_EQ(RGB(7, 8, 9), two.last);
    BarColours parsed = ParseBarColours("10,20,30-40,50,60");
    EXPECT_EQ(RGB(10, 20, 30), parsed.first);
    EXPECT_EQ(RGB(40, 50, 60), parsed.last);
    BarColours partial = ParseBarColours("10,20");
    EXPECT_EQ(RGB(10, 20, 255), partial.first);
    EXPECT_EQ(RGB(0, 0, 255), partial.last);
}

TEST(TilePages, ColumnsServiceAddressesClassroomAndKinds) {
    BoardColumn c = SplitColumn(L"课堂,web\\index.htm");
    EXPECT_EQ(L"课堂", c.subject);
    EXPECT_EQ(L"web\\index.htm", c.item);
    EXPECT_EQ(L"", SplitColumn(L"only").item);
    for (int t : {5, 6, 17, 18, 22}) EXPECT_TRUE(UsesSubjectAddress(t)) << t;
    for (int t : {1, 9, 19, 21}) EXPECT_FALSE(UsesSubjectAddress(t)) << t;
    EXPECT_EQ(L"C:\\Mirn\\web\\index.htm", gamelaunch::ClassroomPath(L"C:\\Mirn", L"web\\index.htm"));
    EXPECT_EQ(L"C:\\Mirn\\web\\index.htm", gamelaunch::ClassroomPath(L"C:\\Mirn\\", L"web\\index.htm"));
    EXPECT_EQ(L"", gamelaunch::ClassroomPath(L"C:\\Mirn", L"")) << "no item opens nothing";
    EXPECT_EQ(L"web\\index.htm", gamelaunch::SecondItem(L"课堂,web\\index.htm,x"));
    EXPECT_EQ(L"", gamelaunch::SecondItem(L"课堂")) << "no second item";
    EXPECT_EQ(4, RemotePageKind(1));
    EXPECT_EQ(2, RemotePageKind(2));
    EXPECT_EQ(3, RemotePageKind(4));
    EXPECT_EQ(1, RemotePageKind(5));
    EXPECT_EQ(-1, RemotePageKind(9));
}

TEST(TileLinks, FaceInTheAnsiCodePage) {
    EXPECT_EQ("Arial", LinkFace("Arial"));
    EXPECT_EQ(vantor::WideToAnsi(L"宋体"), LinkFace(""));
    EXPECT_EQ(vantor::WideToAnsi(L"宋体"), LinkFace(nullptr));
    if (GetACP() == 936) {
        EXPECT_EQ("\xCB\xCE\xCC\xE5", LinkFace(""));
    }
}

TEST(TileScrolling, RequestsAndRanges) {
    int p = 0;
    ASSERT_TRUE(ScrollPosition(SB_PAGEDOWN, 0, 0, 300, &p));
    ASSERT_TRUE(ScrollPosition(SB_PAGEDOWN, 0, p, 300, &p));
    EXPECT_EQ(30, p);
    ScrollPosition(SB_LINEUP, 0, p, 300, &p);
    EXPECT_EQ(29, p);
    ScrollPosition(SB_BOTTOM, 0, p, 300, &p);
    EXPECT_EQ(300, p);
    ScrollPosition(SB_TOP, 0, p, 300, &p);
    EXPECT_EQ(0, p);
    ScrollPosition(SB_THUMBTRACK, 77, p, 300, &p);
    EXPECT_EQ(77, p);
    // The thumb comes as the unsigned high word of the request, unless the bar being dragged
    // has the whole position.
    ScrollPosition(SB_THUMBPOSITION, ThumbOf(MAKEWPARAM(SB_THUMBPOSITION, 40000), 0), p, 300, &p);
    EXPECT_EQ(40000, p);
    EXPECT_EQ(300000, ThumbOf(MAKEWPARAM(SB_THUMBTRACK, 300000 & 0xFFFF), 300000));
    EXPECT_FALSE(ScrollPosition(SB_ENDSCROLL, 0, 5, 300, &p));
    ScrollPosition(9, 0, 5, 300, &p);
    EXPECT_EQ(5, p);
    EXPECT_EQ(-1, ScrollRangeEnd(400, 400)) << "a document as tall as the area hides the bar";
    EXPECT_EQ(100, ScrollRangeEnd(500, 400));
}

TEST(TileSlider, BlocksAndRestartAndTinyBars) {
    EXPECT_TRUE(SliderBlocks(2, 98, 0, 5, 3).blocks.empty()) << "blocks under one pixel draw nothing";
    SliderFrame first = SliderBlocks(2, 98, 12, 1, 3);
    ASSERT_EQ(1u, first.blocks.size());
    EXPECT_EQ(2, first.blocks[0].left);
    EXPECT_EQ(14, first.blocks[0].right);
    SliderFrame later = SliderBlocks(2, 98, 12, 101, 3);  // leading edge 2 + 14 x 8, past the right
    ASSERT_EQ(1u, later.blocks.size());
    EXPECT_EQ(2 + 14 * 6, later.blocks[0].left);
    EXPECT_EQ(98, later.blocks[0].right);
    EXPECT_FALSE(later.restart);
    SliderFrame gone = SliderBlocks(2, 98, 12, 1000, 3);
    EXPECT_TRUE(gone.blocks.empty());
    EXPECT_TRUE(gone.restart);

    // Before the first tick nothing is drawn and nothing overflows; a tick far past the
    // bar only starts the train again.
    SliderFrame idle = SliderBlocks(2, 98, 12, 0, 3);
    EXPECT_TRUE(idle.blocks.empty());
    EXPECT_FALSE(idle.restart);
    SliderFrame beyond = SliderBlocks(2, 1000000, 12, 2147483647, 20);
    EXPECT_TRUE(beyond.blocks.empty());
    EXPECT_TRUE(beyond.restart);
}
