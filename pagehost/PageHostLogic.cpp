#include "PageHostLogic.h"

#include <algorithm>
#include <cwchar>

namespace pagehost {

PageHostMode ModeFromArgument(const wchar_t* argument) {
    if (!argument) return kNoMode;
    if (wcscmp(argument, L"game") == 0) return kGameMode;
    if (wcscmp(argument, L"cls") == 0) return kClassroomMode;
    return kNoMode;
}

const wchar_t* Caption(PageHostMode mode) {
    return mode == kGameMode ? L"Vantor游戏" : L"Vantor课堂";
}

const wchar_t* MutexName(PageHostMode mode) {
    return mode == kGameMode ? L"vantor_game_mutex_name" : L"vantor_cls_mutex_name";
}

SIZE WindowSize(int width, int height, SIZE screen) {
    SIZE size;
    size.cx = std::min(std::max(width, 0), static_cast<int>(screen.cx));
    size.cy = std::min(std::max(height, 0), static_cast<int>(screen.cy));
    return size;
}

RECT BrowserRect(const RECT& client) {
    RECT r = client;
    r.top += 20;
    InflateRect(&r, -5, -5);
    return r;
}

std::string GamesPagePath(const std::string& programDir, const std::string& html) {
    return programDir + "resource\\SplashMgr\\" + html;
}

}  // namespace pagehost
