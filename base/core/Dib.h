// 32-bit top-down device-independent bitmaps: the one pixel layout the client reads
// and writes directly (row 0 first, 0x00RRGGBB per pixel).
#pragma once

#include <windows.h>

namespace vantor {

inline BITMAPINFO TopDownDibInfo(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A new DIB section of that layout; *bits receives its pixels (null on failure).
inline HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = TopDownDibInfo(width, height);
    *bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace vantor
