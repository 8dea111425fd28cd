#include "Screenshot.h"

#include <algorithm>
#include <cstring>

#include "Dib.h"
#include "WindowPixels.h"

namespace testkit {

namespace {

const size_t kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
static_assert(kHeaders == 54, "bitmap file headers");

// File and info headers for a picture of that size, at the front of the bytes.
void PutHeaders(std::string& bytes, int width, int height, WORD bits) {
    auto* file = reinterpret_cast<BITMAPFILEHEADER*>(&bytes[0]);
    auto* info = reinterpret_cast<BITMAPINFOHEADER*>(&bytes[sizeof(BITMAPFILEHEADER)]);
    file->bfType = 0x4D42;
    file->bfSize = static_cast<DWORD>(bytes.size());
    file->bfOffBits = kHeaders;
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = width;
    info->biHeight = height;
    info->biPlanes = 1;
    info->biBitCount = bits;
}

}  // namespace

std::string SolidBitmap(int width, int height, COLORREF colour) {
    size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    std::string bytes(kHeaders + stride * height, '\0');
    PutHeaders(bytes, width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char* p = &bytes[kHeaders + y * stride + x * 3];
            p[0] = static_cast<char>(GetBValue(colour));
            p[1] = static_cast<char>(GetGValue(colour));
            p[2] = static_cast<char>(GetRValue(colour));
        }
    }
    return bytes;
}

bool Capture::Holds(const RECT& area, COLORREF colour) const {
    for (int y = area.top < 0 ? 0 : area.top; y < area.bottom && y < height; ++y) {
        for (int x = area.left < 0 ? 0 : area.left; x < area.right && x < width; ++x) {
            if (At(x, y) == colour) return true;
        }
    }
    return false;
}

bool Capture::Holds(COLORREF colour) const {
    RECT all = {0, 0, width, height};
    return Holds(all, colour);
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), dc_(CreateCompatibleDC(nullptr)) {
    void* bits = nullptr;
    bitmap_ = vantor::CreateTopDownDib(dc_, width, height, &bits);
    bits_ = static_cast<const DWORD*>(bits);
    old_ = SelectObject(dc_, bitmap_);
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
}

Canvas::~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const {
    GdiFlush();
    DWORD p = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Canvas::Count(COLORREF colour, int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) n += At(x, y) == colour;
    return n;
}

namespace {

// A window shaped by a region (rounded corners, say) leaves the screen behind it showing
// through its rectangle: those pixels take the button-face colour instead.
void FillOutsideRegion(HWND wnd, Capture* picture) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    int kind = region ? GetWindowRgn(wnd, region) : ERROR;
    std::vector<char> inside;
    if (kind == SIMPLEREGION || kind == COMPLEXREGION) {
        DWORD size = GetRegionData(region, 0, nullptr);
        std::vector<char> bytes(size);
        auto* data = reinterpret_cast<RGNDATA*>(bytes.data());
        if (size && GetRegionData(region, size, data) == size) {
            inside.assign(picture->pixels.size(), 0);
            const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
            for (DWORD i = 0; i < data->rdh.nCount; ++i) {
                RECT r = rects[i];
                for (LONG y = std::max(0L, r.top); y < std::min<LONG>(picture->height, r.bottom); ++y)
                    for (LONG x = std::max(0L, r.left); x < std::min<LONG>(picture->width, r.right); ++x)
                        inside[static_cast<size_t>(y) * picture->width + x] = 1;
            }
        }
    }
    if (region) DeleteObject(region);
    if (inside.empty()) return;
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (size_t i = 0; i < inside.size(); ++i)
        if (!inside[i]) picture->pixels[i] = face;
}

}  // namespace

Capture CaptureWindow(HWND wnd) {
    Capture c;
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return c;
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    BITMAPINFO bi = vantor::TopDownDibInfo(width, height);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (mem && dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        CopyWindowPixels(wnd, mem);
        c.width = width;
        c.height = height;
        c.pixels.resize(static_cast<size_t>(width) * height);
        const DWORD* p = static_cast<const DWORD*>(bits);
        for (size_t i = 0; i < c.pixels.size(); ++i) {
            c.pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
        }
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    FillOutsideRegion(wnd, &c);
    return c;
}

std::string BitmapFileOf(const Capture& picture) {
    std::string bytes(kHeaders + picture.pixels.size() * 4, '\0');
    PutHeaders(bytes, picture.width, -picture.height, 32);
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        COLORREF c = picture.pixels[i];
        char* p = &bytes[kHeaders + i * 4];
        p[0] = static_cast<char>(GetBValue(c));
        p[1] = static_cast<char>(GetGValue(c));
        p[2] = static_cast<char>(GetRValue(c));
        p[3] = static_cast<char>(0xFF);  // opaque for viewers that read the fourth byte
    }
    return bytes;
}

bool ReadBitmapFile(const std::string& bytes, Capture* picture) {
    if (!picture || bytes.size() < kHeaders || bytes[0] != 'B' || bytes[1] != 'M') return false;
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    memcpy(&file, bytes.data(), sizeof(file));
    memcpy(&info, bytes.data() + sizeof(file), sizeof(info));
    if ((info.biBitCount != 24 && info.biBitCount != 32) || info.biCompression != BI_RGB || info.biWidth <= 0 ||
        info.biHeight == 0 || info.biWidth > 32768 || info.biHeight > 32768 || info.biHeight < -32768) {
        return false;
    }
    int width = info.biWidth;
    bool topDown = info.biHeight < 0;
    int height = topDown ? -info.biHeight : info.biHeight;
    size_t step = info.biBitCount / 8;
    size_t stride = (static_cast<size_t>(width) * step + 3) & ~static_cast<size_t>(3);
    if (file.bfOffBits > bytes.size() || bytes.size() - file.bfOffBits < stride * height) return false;
    Capture c;
    c.width = width;
    c.height = height;
    c.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        size_t row = file.bfOffBits + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(&bytes[row + x * step]);
            c.pixels[static_cast<size_t>(y) * width + x] = RGB(p[2], p[1], p[0]);
        }
    }
    *picture = std::move(c);
    return true;
}

bool SaveBitmapFile(const Capture& picture, const std::wstring& path) {
    std::string bytes = BitmapFileOf(picture);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(h);
    return ok;
}

void PumpFor(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    MSG msg;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

std::vector<WORD> DialogTemplate(short cx, short cy, const std::vector<DialogControl>& controls) {
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    auto text = [&](const wchar_t* s) {
        for (; s && *s; ++s) t.push_back(*s);
        t.push_back(0);
    };
    dword(WS_POPUP | WS_VISIBLE | DS_SETFONT);
    dword(0);
    t.push_back(static_cast<WORD>(controls.size()));
    for (short v : {short(0), short(0), cx, cy}) t.push_back(static_cast<WORD>(v));
    t.push_back(0);  // menu
    t.push_back(0);  // class
    t.push_back(0);  // title
    t.push_back(8);
    text(L"MS Shell Dlg");
    for (const DialogControl& c : controls) {
        if (t.size() % 2) t.push_back(0);  // each item starts on a DWORD boundary
        dword(WS_CHILD | WS_VISIBLE | c.style);
        dword(0);
        for (short v : {c.x, c.y, c.cx, c.cy}) t.push_back(static_cast<WORD>(v));
        t.push_back(c.id);
        t.push_back(0xFFFF);
        t.push_back(c.cls);
        text(c.text);
        t.push_back(0);  // no creation data
    }
    return t;
}

}  // namespace testkit
