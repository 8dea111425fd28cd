#include "WindowPicture.h"

#include "WindowPixels.h"

namespace hostdemo {

bool SaveWindowPicture(HWND wnd, const std::wstring& path, bool repaint) {
    if (repaint) RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT rc;
    GetWindowRect(wnd, &rc);
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    int stride = (width * 3 + 3) & ~3;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride) * height;

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (mem && dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        copied = testkit::CopyWindowPixels(wnd, mem);
        SelectObject(mem, old);
    }
    bool varied = false;
    if (copied && bits) {
        // A picture of one colour only means nothing was captured.
        const BYTE* p = static_cast<const BYTE*>(bits);
        for (int y = 0; y < height && !varied; ++y) {
            const BYTE* row = p + static_cast<size_t>(y) * stride;
            for (int x = 0; x < width * 3 && !varied; ++x) varied = row[x] != p[x % 3];
        }
    }
    bool saved = false;
    if (varied) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            saved = WriteFile(h, &file, sizeof file, &written, nullptr) && written == sizeof file &&
                    WriteFile(h, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                    written == sizeof info.bmiHeader &&
                    WriteFile(h, bits, info.bmiHeader.biSizeImage, &written, nullptr) &&
                    written == info.bmiHeader.biSizeImage;
            CloseHandle(h);
            if (!saved) DeleteFileW(path.c_str());
        }
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return saved;
}

}  // namespace hostdemo
