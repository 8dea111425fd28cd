// The dialog skin: reading the common skin file, flicker-free painting of caption, glyphs,
// text and frame, and the window region with rounded bottom corners.
#include <cwchar>
#include <string>
#include <vector>

#include "DebugOut.h"
#include "Dib.h"
#include "Handles.h"
#include "ModulePath.h"
#include "SkinFrame.h"

namespace {

const int kDefaultCaptionHeight = 25;
const int kGlyphWidth = 11;
const int kGlyphHeight = 8;
const int kCornerWidth = 12;
const int kCornerHeight = 10;
const int kCornerRadius = 10;
const COLORREF kWhite = RGB(255, 255, 255);

// Values of the skin file are read up to 259 characters; the skin name up to 63.
const DWORD kValueChars = 260;
const DWORD kSkinNameChars = 64;

// Reads a value; false when the key is missing. `value` holds kValueChars characters.
bool ReadSkinValue(const std::wstring& file, const wchar_t* section, const wchar_t* key, wchar_t* value) {
    // A default no file can hold tells a missing key from an empty one.
    static const wchar_t kMissing[] = L"\x01\x02";
    GetPrivateProfileStringW(section, key, kMissing, value, kValueChars, file.c_str());
    return wcscmp(value, kMissing) != 0;
}

// A picture path inside the skin folder; empty when there is no usable name or the whole
// path would not fit the system's path limit (treated as a missing picture).
std::wstring PicturePath(const std::wstring& skinDir, const wchar_t* name) {
    if (!name || !*name) return std::wstring();
    std::wstring path = skinDir + name;
    return path.size() < MAX_PATH ? path : std::wstring();
}

BYTE Channel(int value) { return static_cast<BYTE>(value); }

COLOR16 Channel16(BYTE value) { return static_cast<COLOR16>(value << 8); }

// Adds to `region` the non-white pixels of a mask picture placed at (left, top): one
// rectangle per run of such pixels in a row. Only the 12 x 10 corner is ever taken, so an
// oversized mask cannot widen the window.
void AddMaskRegion(HRGN region, const std::wstring& path, int left, int top) {
    if (path.size() >= MAX_PATH) return;
    vantor::UniqueGdi<HBITMAP> mask(static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!mask) return;
    BITMAP info = {};
    if (!GetObjectW(mask.get(), sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight == 0) return;
    int width = info.bmWidth;
    int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;

    BITMAPINFO request = vantor::TopDownDibInfo(width, height);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, mask.get(), 0, height, pixels.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows <= 0) return;

    int useWidth = width < kCornerWidth ? width : kCornerWidth;
    int useHeight = height < kCornerHeight ? height : kCornerHeight;
    for (int y = 0; y < useHeight; ++y) {
        const DWORD* row = &pixels[static_cast<size_t>(y) * width];
        int x = 0;
        while (x < useWidth) {
            if ((row[x] & 0x00FFFFFF) == 0x00FFFFFF) {
                ++x;
                continue;
            }
            int start = x;
            while (x < useWidth && (row[x] & 0x00FFFFFF) != 0x00FFFFFF) ++x;
            vantor::UniqueGdi<HRGN> run(CreateRectRgn(left + start, top + y, left + x, top + y + 1));
            if (run) CombineRgn(region, region, run.get(), RGN_OR);
        }
    }
}

}  // namespace

void CSkinFrame::LoadSkinResource() {
    if (!m_skinned) return;
    std::wstring program = vantor::ProgramDir();
    wchar_t skinName[kSkinNameChars] = {};
    GetPrivateProfileStringW(L"Global", L"SkinName", L"", skinName, kSkinNameChars,
                             (program + L"config\\uiprof.cfg").c_str());
    if (!skinName[0]) return;
    std::wstring skinDir = program + L"Skins\\" + skinName + L"\\";
    std::wstring skinFile = skinDir + L"CommWnd.skn";
    wchar_t value[kValueChars];

    if (ReadSkinValue(skinFile, L"Dialog", L"CaptionColor", value)) {
        int r1 = 0, g1 = 0, b1 = 0, r2 = 255, g2 = 255, b2 = 255;
        swscanf(value, L"%d,%d,%d-%d,%d,%d", &r1, &g1, &b1, &r2, &g2, &b2);
        m_captionStart = RGB(Channel(r1), Channel(g1), Channel(b1));
        m_captionEnd = RGB(Channel(r2), Channel(g2), Channel(b2));
    }

    RECT client = {};
    GetClientRect(m_hWnd, &client);
    int height = static_cast<int>(GetPrivateProfileIntW(L"Dialog", L"titleheight", kDefaultCaptionHeight, skinFile.c_str()));
    // A negative or oversized height from a broken skin file would invert or overrun the band.
    if (height < 0) height = 0;
    if (height > client.bottom - client.top) height = client.bottom - client.top;
    m_captionRect = client;
    m_captionRect.bottom = client.top + height;
    m_closeBox.left = client.right - 17;
    m_closeBox.right = client.right - 6;
    m_closeBox.top = client.top + (height - kGlyphWidth) / 2;
    m_closeBox.bottom = m_closeBox.top + kGlyphWidth;
    m_minimizeBox = m_closeBox;
    OffsetRect(&m_minimizeBox, -kGlyphWidth, 0);

    if (m_glyphStrip) {
        DeleteObject(m_glyphStrip);
        m_glyphStrip = nullptr;
    }
    if (ReadSkinValue(skinFile, L"Dialog", L"sysmenu", value)) {
        std::wstring path = PicturePath(skinDir, value);
        if (!path.empty())
            m_glyphStrip = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    }
    if (ReadSkinValue(skinFile, L"Dialog", L"bk", value)) {
        std::wstring path = PicturePath(skinDir, value);
        if (!path.empty()) m_background.Open(path.c_str());
    }
    if (ReadSkinValue(skinFile, L"Dialog", L"bkf", value)) {
        std::wstring path = PicturePath(skinDir, value);
        if (!path.empty()) m_overlay.Open(path.c_str());
    }
    if (ReadSkinValue(skinFile, L"Dialog", L"frameside", value)) {
        int r = 0, g = 0, b = 0;
        swscanf(value, L"%d,%d,%d", &r, &g, &b);
        m_frameColor = RGB(Channel(r), Channel(g), Channel(b));
    }
    LoadCustomSkin();
}

void CSkinFrame::UnloadSkinResource() {
    if (m_glyphStrip) {
        DeleteObject(m_glyphStrip);
        m_glyphStrip = nullptr;
    }
    UnloadCustomSkin();
}

void CSkinFrame::MakeRgnEffect() {
    SetWindowRgn(m_hWnd, nullptr, FALSE);
    // A window region is in window coordinates: the region follows the window rectangle, so
    // a dialog that keeps a system caption and border loses only its two bottom corners.
    RECT window = {};
    GetWindowRect(m_hWnd, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int bandTop = height > kCornerHeight ? height - kCornerHeight : 0;

    vantor::UniqueGdi<HRGN> region(CreateRectRgn(0, 0, width, bandTop));
    if (!region) return;
    if (width > 2 * kCornerWidth) {
        vantor::UniqueGdi<HRGN> band(CreateRectRgn(kCornerWidth, bandTop, width - kCornerWidth, height));
        if (band) CombineRgn(region.get(), region.get(), band.get(), RGN_OR);
    }
    std::wstring program = vantor::ProgramDir();
    AddMaskRegion(region.get(), program + L"resource\\lcorner.bmp", 0, bandTop);
    AddMaskRegion(region.get(), program + L"resource\\rcorner.bmp", width - kCornerWidth, bandTop);
    // The window owns the region once it is set.
    if (SetWindowRgn(m_hWnd, region.get(), FALSE)) region.release();
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CSkinFrame::OnEraseBkgnd(HDC dc) {
    if (!m_background.IsOpen()) return false;
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    m_background.Draw(dc, client, PICTKIT_DRAW_STRETCH);
    if (m_overlay.IsOpen()) {
        SIZE size = m_overlay.GetImageSize();
        RECT place = {client.left, client.top, client.left + size.cx, client.top + size.cy};
        m_overlay.Draw(dc, place, PICTKIT_DRAW_STRETCH);
    }
    return true;
}

void CSkinFrame::OnPaint(HDC dc) {
    if (!m_skinned) return;
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) {
        vantor::DebugLine(L"CreateCompatibleDC返回为空，某个地方有资源泄露了！\n");
        return;
    }
    HBITMAP picture = CreateCompatibleBitmap(dc, width, height);
    if (!picture) {
        vantor::DebugLine(L"CreateCompatibleBitmap failed: %d\n", static_cast<int>(GetLastError()));
        DeleteDC(memory);
        DrawCaptionBar(dc);
        OnDraw(dc);
        return;
    }
    {
        vantor::ScopedSelect select(memory, picture);
        // Start from what the erase left on the window, so that caption and frame are drawn
        // over the skin's background and everything reaches the screen in one transfer.
        BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
        if (!IsRectEmpty(&m_captionRect)) {
            // The gradient always runs into the background's own colour at the band's end.
            // That pixel is only fresh background when this paint erased it: a partial
            // repaint (the boxes on hover) would read the frame drawn there last time.
            int endX = m_captionRect.right - 1, endY = m_captionRect.bottom - 1;
            if (PtVisible(dc, endX, endY)) {
                COLORREF end = GetPixel(memory, endX, endY);
                if (end != CLR_INVALID) m_captionEnd = end;
            }
            RECT title = m_captionRect;
            OffsetRect(&title, -title.left, -title.top);
            DrawTitleBar(memory, title);
        }
        DrawCaptionBar(memory);
        DrawWndFrame(memory);
        OnDraw(memory);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    }
    DeleteObject(picture);
    DeleteDC(memory);
}

void CSkinFrame::DrawTitleBar(HDC dc, const RECT& rect) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) {
        vantor::DebugLine(L"发生了资源泄露\n");
        return;
    }
    HBITMAP band = CreateCompatibleBitmap(dc, width, height);
    if (!band) {
        vantor::DebugLine(L"SkinFrame DrawTitleBar CreateCompatibleBitmap失败了，资源泄露！\n");
        DeleteDC(memory);
        return;
    }
    {
        vantor::ScopedSelect select(memory, band);
        RECT local = {0, 0, width, height};
        FillRect(memory, &local, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        TRIVERTEX ends[2] = {};
        ends[0].x = 0;
        ends[0].y = 0;
        ends[0].Red = Channel16(GetRValue(m_captionStart));
        ends[0].Green = Channel16(GetGValue(m_captionStart));
        ends[0].Blue = Channel16(GetBValue(m_captionStart));
        ends[1].x = width;
        ends[1].y = height;
        ends[1].Red = Channel16(GetRValue(m_captionEnd));
        ends[1].Green = Channel16(GetGValue(m_captionEnd));
        ends[1].Blue = Channel16(GetBValue(m_captionEnd));
        GRADIENT_RECT span = {0, 1};
        GradientFill(memory, ends, 2, &span, 1, GRADIENT_FILL_RECT_H);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 80, 0};
        AlphaBlend(dc, rect.left, rect.top, width, height, memory, 0, 0, width, height, blend);
    }
    DeleteObject(band);
    DeleteDC(memory);
}

void CSkinFrame::DrawCaptionBar(HDC dc) {
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) {
        vantor::DebugLine(L"SkinFrame DrawCaptionBar CreateCompatibleDC发生失败，资源泄露了！\n");
        return;
    }
    if (m_glyphStrip) {
        vantor::ScopedSelect select(memory, m_glyphStrip);
        if ((m_captionButtons & SKINFRAME_BUTTON_CLOSE) && !IsRectEmpty(&m_closeBox))
            TransparentBlt(dc, m_closeBox.left, m_closeBox.top + 2, m_closeBox.right - m_closeBox.left, kGlyphHeight,
                           memory, kGlyphWidth, 0, kGlyphWidth, kGlyphHeight, kWhite);
        if ((m_captionButtons & SKINFRAME_BUTTON_MINIMIZE) && !IsRectEmpty(&m_minimizeBox))
            TransparentBlt(dc, m_minimizeBox.left, m_minimizeBox.top + 2, m_minimizeBox.right - m_minimizeBox.left,
                           kGlyphHeight, memory, 0, 0, kGlyphWidth, kGlyphHeight, kWhite);
    }
    DeleteDC(memory);

    RECT textRect = {m_captionRect.left + 10, m_captionRect.top, m_captionRect.right, m_captionRect.bottom};
    if (IsRectEmpty(&textRect)) return;
    wchar_t text[kValueChars] = {};
    GetWindowTextW(m_hWnd, text, kValueChars);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    vantor::ScopedSelect selectFont(dc, font);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SetBkMode(dc, oldMode);
}

void CSkinFrame::DrawWndFrame(HDC dc) {
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    const int l = client.left, t = client.top, r = client.right, b = client.bottom;
    const int d = 2 * kCornerRadius;
    vantor::UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, 2, m_frameColor));
    if (!pen) return;
    vantor::ScopedSelect selectPen(dc, pen.get());
    int oldDirection = SetArcDirection(dc, AD_CLOCKWISE);
    POINT previous;
    MoveToEx(dc, l, t + 1, &previous);
    LineTo(dc, r - 1, t + 1);
    LineTo(dc, r - 1, b - kCornerRadius);
    // Bottom-right quarter: centre (r - 11, b - 11), from its right point to its bottom point.
    Arc(dc, r - 1 - d, b - 1 - d, r - 1, b - 1, r - 1, b - 11, r - 11, b - 1);
    MoveToEx(dc, r - kCornerRadius, b - 1, nullptr);
    LineTo(dc, l + kCornerRadius, b - 1);
    // Bottom-left quarter: centre (l + 10, b - 11), from its bottom point to its left point.
    Arc(dc, l, b - 1 - d, l + d, b - 1, l + 10, b - 1, l, b - 11);
    MoveToEx(dc, l + 1, b - kCornerRadius, nullptr);
    LineTo(dc, l + 1, t);
    MoveToEx(dc, previous.x, previous.y, nullptr);
    if (oldDirection) SetArcDirection(dc, oldDirection);
}
