// Pictures of test windows: what the screen shows of a window, bitmap files written and
// read back, single-colour pictures to draw with, and small dialogs built in memory.
// Needs nothing from GoogleTest, so helper programs started by tests can use it too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testkit {

// A 24-bit bitmap file of one colour.
std::string SolidBitmap(int width, int height, COLORREF colour);

// Pixels, top row first.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Whether the colour appears inside the rectangle (clipped to the picture).
    bool Holds(const RECT& area, COLORREF colour) const;
    bool Holds(COLORREF colour) const;
};

// A memory drawing surface of one colour, for reading drawn pixels back.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    COLORREF At(int x, int y) const;
    // How many pixels of the rectangle have that colour.
    int Count(COLORREF colour, int left, int top, int right, int bottom) const;

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    const DWORD* bits_ = nullptr;
};

// What the window shows over its whole rectangle (frame included), as CopyWindowPixels
// reads it (WindowPixels.h): for a window of this process, none of what other programs
// show over it. Outside a window region, the button-face colour.
Capture CaptureWindow(HWND wnd);

// A 32-bit top-down bitmap file of the pixels.
std::string BitmapFileOf(const Capture& picture);
// Reads a 24- or 32-bit bitmap file in either row order; false for anything else.
bool ReadBitmapFile(const std::string& bytes, Capture* picture);
// Writes the pixels as a bitmap file.
bool SaveBitmapFile(const Capture& picture, const std::wstring& path);

// Runs the calling thread's messages for about that many milliseconds.
void PumpFor(DWORD ms);

// One control of an in-memory dialog template. cls is the predefined class atom:
// 0x0080 button, 0x0081 edit, 0x0082 static.
struct DialogControl {
    WORD id;
    WORD cls;
    DWORD style;  // WS_CHILD | WS_VISIBLE are added
    short x, y, cx, cy;
    const wchar_t* text;
};
// A visible pop-up dialog of that size (dialog units) in 8-point "MS Shell Dlg", for
// CreateDialogIndirect*.
std::vector<WORD> DialogTemplate(short cx, short cy, const std::vector<DialogControl>& controls);

}  // namespace testkit
