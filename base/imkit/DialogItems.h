// What the dialogs of the IM side do with their controls: read one's whole text, and draw
// the window's small icon where one stands. Header only.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

namespace vantor {
namespace imkit {

// Empty for no window.
inline std::wstring WindowText(HWND window) {
    int length = window ? GetWindowTextLengthW(window) : 0;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (window) GetWindowTextW(window, &text[0], length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

// The small icon of dialog drawn on dc (the dialog's) at the top left of place; nothing
// without an icon or a place.
inline void DrawSmallIconAt(HWND dialog, HDC dc, HWND place) {
    HICON icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
    if (!icon || !place) return;
    RECT r;
    GetWindowRect(place, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    DrawIconEx(dc, r.left, r.top, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

}  // namespace imkit
}  // namespace vantor
