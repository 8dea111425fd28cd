#include "WindowDriver.h"

#include <cstdlib>
#include <vector>

#include "TestSupport.h"

namespace skintest {

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

void MouseTo(POINT screen) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    // Aim at the middle of the pixel so either rounding of the normalised value lands on it.
    input.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(screen.x) * 65536 + width / 2) / width);
    input.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(screen.y) * 65536 + height / 2) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
}

void MouseButton(bool down) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(input));
}

void ClickAt(POINT screen) {
    MouseTo(screen);
    Sleep(30);
    MouseButton(true);
    Sleep(30);
    MouseButton(false);
}

POINT ScreenCentre(HWND window, const RECT& rect) {
    return ScreenPoint(window, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

POINT ScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

COLORREF ClientPixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

int DarkPixels(HWND window, const RECT& rect) {
    HDC dc = GetDC(window);
    int dark = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 130) ++dark;
        }
    ReleaseDC(window, dc);
    return dark;
}

bool InRegion(HWND window, int x, int y) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    bool inside = GetWindowRgn(window, region) != ERROR && PtInRegion(region, x, y);
    DeleteObject(region);
    return inside;
}

bool Near(COLORREF actual, int r, int g, int b, int tolerance) {
    return std::abs(GetRValue(actual) - r) <= tolerance && std::abs(GetGValue(actual) - g) <= tolerance &&
           std::abs(GetBValue(actual) - b) <= tolerance;
}

namespace {

std::string BitmapFile(int width, int height, const std::vector<BYTE>& bottomUpRows) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(bottomUpRows.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes.append(reinterpret_cast<const char*>(bottomUpRows.data()), bottomUpRows.size());
    return bytes;
}

}  // namespace

bool SaveClientBitmap(HWND window, const std::wstring& path) {
    RECT client = {};
    GetClientRect(window, &client);
    int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return false;
    int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * height);
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP shot = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    GetDIBits(memory, shot, 0, height, rows.data(), &info, DIB_RGB_COLORS);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return testkit::WriteFileBytes(path, BitmapFile(width, height, rows));
}

bool WriteSplitBitmap(const std::wstring& path, int width, int height, COLORREF left, COLORREF right) {
    int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE* p = &rows[static_cast<size_t>(y) * stride + x * 3];
            COLORREF colour = x < width / 2 ? left : right;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
    return testkit::WriteFileBytes(path, BitmapFile(width, height, rows));
}

}  // namespace skintest
