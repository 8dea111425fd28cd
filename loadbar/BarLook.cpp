#include "BarLook.h"

namespace loadbar {

int FilledWidth(int width, int percentage) {
    if (width <= 0 || percentage <= 0) return 0;
    if (percentage >= 100) return width;
    return width * percentage / 100;
}

std::wstring Caption(int percentage) {
    if (percentage == 100) return L"载入完成";
    return L"正在载入％" + std::to_wstring(percentage);
}

}  // namespace loadbar
