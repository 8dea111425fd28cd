// Message pumping, synthetic mouse input and pixel reads for the dialog tests.
#pragma once

#include <windows.h>

#include <string>

namespace skintest {

// Runs the thread's messages for `ms` milliseconds.
void Pump(DWORD ms);

// Runs messages until `done()` holds or `ms` milliseconds have passed; the last answer.
template <typename Done>
bool PumpUntil(Done done, DWORD ms = 3000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > ms) return done();
        Pump(10);
    }
}

// Synthetic input through the system's input queue (real hit testing, real capture).
void MouseTo(POINT screen);
void MouseButton(bool down);
void ClickAt(POINT screen);

// Centre of a client rectangle of `window`, in screen coordinates.
POINT ScreenCentre(HWND window, const RECT& clientRect);
POINT ScreenPoint(HWND window, int clientX, int clientY);

// Pixel of the window's client area as shown.
COLORREF ClientPixel(HWND window, int x, int y);
// Pixels in a client rectangle darker than a glyph threshold.
int DarkPixels(HWND window, const RECT& rect);
// Whether window-relative (x, y) lies inside the window's region.
bool InRegion(HWND window, int x, int y);

bool Near(COLORREF actual, int r, int g, int b, int tolerance);

// Writes a BMP of the window's client area (for looking at it by eye).
bool SaveClientBitmap(HWND window, const std::wstring& path);
// Writes a 24-bit picture whose left half is `left` and right half `right`.
bool WriteSplitBitmap(const std::wstring& path, int width, int height, COLORREF left, COLORREF right);
inline bool WriteSolidBitmap(const std::wstring& path, int width, int height, COLORREF colour) {
    return WriteSplitBitmap(path, width, height, colour, colour);
}

}  // namespace skintest
