// What a bar shows for a percentage: how far the gradient reaches and the caption.
#pragma once

#include <string>

namespace loadbar {

// Pixels from the left edge that the gradient covers in a client area `width` wide.
// Percentages outside 0..100 fill nothing or the whole width.
int FilledWidth(int width, int percentage);

// "正在载入％<n>" (the full-width percent sign before the number), "载入完成" at 100.
std::wstring Caption(int percentage);

}  // namespace loadbar
