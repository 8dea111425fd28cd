// PageHost's decisions that need no window: the mode a command line asks for, its
// caption and mutex, the window size and where the browser sits.
#pragma once

#include <windows.h>

#include <string>

namespace pagehost {

enum PageHostMode : int {
    kNoMode = 0,
    kClassroomMode = 1,
    kGameMode = 2,
};

// "game" or "cls", compared case-sensitively; anything else (or nothing) is no mode.
PageHostMode ModeFromArgument(const wchar_t* argument);

// The mode's window caption and the name of its one-instance mutex.
const wchar_t* Caption(PageHostMode mode);
const wchar_t* MutexName(PageHostMode mode);

// The configured size, each side clipped to the screen's; a missing value reads as 0.
SIZE WindowSize(int width, int height, SIZE screen);

// The browser sits 25 pixels below the client top and 5 from the other edges.
RECT BrowserRect(const RECT& client);

// "<program folder>resource\SplashMgr\<html>": the games page.
std::string GamesPagePath(const std::string& programDir, const std::string& html);

}  // namespace pagehost
