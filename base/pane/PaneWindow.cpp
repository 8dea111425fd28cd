#include "PaneWindow.h"

namespace vantor {

int MovePaneWindow(HWND window, int left, int top, int right, int bottom) {
    return window ? MoveWindow(window, left, top, right - left, bottom - top, TRUE) : 0;
}

int ShowPaneWindow(HWND window, int show) {
    if (!window) return 0;
    ShowWindow(window, show ? SW_SHOW : SW_HIDE);
    return 1;
}

}  // namespace vantor
