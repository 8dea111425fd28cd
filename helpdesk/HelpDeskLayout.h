// The self-service pane's size and caption, without a window.
#pragma once

#include <windows.h>

#include <string>

namespace helpdesk {

// Two thirds of the screen each way (integer division).
inline SIZE PaneSize(int screenWidth, int screenHeight) {
    SIZE size = {2 * screenWidth / 3, 2 * screenHeight / 3};
    return size;
}

// The configured caption, else the product's name.
inline std::wstring PaneCaption(bool configured, const std::wstring& caption) {
    return configured ? caption : std::wstring(L"Harlo客户端");
}

}  // namespace helpdesk
