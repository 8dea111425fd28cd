// PageHost's plain decisions: modes, window size, browser place, games page.
#include <gtest/gtest.h>

#include "PageHostLogic.h"

using namespace pagehost;

TEST(PageHostLogic, OnlyTheExactModeWordsStartAWindow) {
    EXPECT_EQ(kGameMode, ModeFromArgument(L"game"));
    EXPECT_EQ(kClassroomMode, ModeFromArgument(L"cls"));
    for (const wchar_t* other : {L"Game", L"GAME", L"CLS", L"game ", L"", L"games"}) {
        EXPECT_EQ(kNoMode, ModeFromArgument(other));
    }
    EXPECT_EQ(kNoMode, ModeFromArgument(nullptr));
    EXPECT_STREQ(L"Vantor游戏", Caption(kGameMode));
    EXPECT_STREQ(L"Vantor课堂", Caption(kClassroomMode));
    EXPECT_STRNE(MutexName(kGameMode), MutexName(kClassroomMode)) << "the two modes run beside each other";
}

TEST(PageHostLogic, WindowSizeIsClippedToTheScreenAndTheBrowserSitsBelowTheCaption) {
    SIZE screen = {1024, 768};
    SIZE fits = WindowSize(800, 600, screen);
    EXPECT_EQ(800, fits.cx);
    EXPECT_EQ(600, fits.cy);
    SIZE big = WindowSize(3000, 2000, screen);
    EXPECT_EQ(1024, big.cx);
    EXPECT_EQ(768, big.cy);
    SIZE missing = WindowSize(0, -5, screen);
    EXPECT_EQ(0, missing.cx);
    EXPECT_EQ(0, missing.cy);

    RECT browser = BrowserRect(RECT{0, 0, 640, 480});
    EXPECT_EQ(5, browser.left);
    EXPECT_EQ(25, browser.top);
    EXPECT_EQ(635, browser.right);
    EXPECT_EQ(475, browser.bottom);
    EXPECT_EQ("C:\\p\\resource\\SplashMgr\\games.html", GamesPagePath("C:\\p\\", "games.html"));
}
