// The whole text of a window or a dialog's control. Header only.
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

}  // namespace imkit
}  // namespace vantor
