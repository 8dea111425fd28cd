// Picture files held as one 32-bit top-down DIB section with premultiplied alpha, so every
// format draws the same way. BMP files go through the window manager's own loader (no COM
// needed); other formats through the imaging codecs.
#include "outside/PictKit.h"

#include <wincodec.h>

#include <string>
#include <vector>

#include "Dib.h"
#include "Handles.h"
#include "Text.h"

namespace {

// Declared by the SDK headers but not defined in every import library.
const CLSID kWicImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const IID kIWicImagingFactory = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
const GUID kPixelFormat32bppPBGRA = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

// Larger pictures are refused rather than risking an allocation that cannot succeed.
const int kMaxSide = 16384;


struct PictureData {
    vantor::UniqueGdi<HBITMAP> bitmap;
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
};

bool LoadBitmapFile(const wchar_t* path, PictureData& out);
bool LoadWithCodecs(const wchar_t* path, PictureData& out);

}  // namespace

struct PictKit::Picture : PictureData {};

PictKit::PictKit() : picture_(nullptr) {}

PictKit::~PictKit() { Close(); }

bool PictKit::Open(const char* path) {
    if (!path) {
        Close();
        return false;
    }
    return Open(vantor::AnsiToWide(path).c_str());
}

bool PictKit::Open(const wchar_t* path) {
    Close();
    if (!path || !*path) return false;
    Picture* picture = new Picture;
    if (!LoadBitmapFile(path, *picture) && !LoadWithCodecs(path, *picture)) {
        delete picture;
        return false;
    }
    picture_ = picture;
    return true;
}

void PictKit::Close() {
    delete picture_;
    picture_ = nullptr;
}

bool PictKit::IsOpen() const { return picture_ != nullptr; }

SIZE PictKit::GetImageSize() const {
    SIZE size = {0, 0};
    if (picture_) {
        size.cx = picture_->width;
        size.cy = picture_->height;
    }
    return size;
}

namespace {

// The colour key is compared on whole pixels, alpha byte included, so the picture is first
// flattened onto white in a plain 24-bit copy.
bool DrawWhiteTransparent(HDC dc, const RECT& dest, HDC picture, const PictureData& data) {
    HDC flat = CreateCompatibleDC(dc);
    if (!flat) return false;
    void* bits = nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = data.width;
    info.bmiHeader.biHeight = -data.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    vantor::UniqueGdi<HBITMAP> copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool drawn = false;
    if (copy) {
        vantor::ScopedSelect select(flat, copy.get());
        RECT all = {0, 0, data.width, data.height};
        FillRect(flat, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (data.hasAlpha) {
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(flat, 0, 0, data.width, data.height, picture, 0, 0, data.width, data.height, blend);
        } else {
            BitBlt(flat, 0, 0, data.width, data.height, picture, 0, 0, SRCCOPY);
        }
        drawn = TransparentBlt(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, flat, 0, 0,
                               data.width, data.height, RGB(255, 255, 255)) != FALSE;
    }
    DeleteDC(flat);
    return drawn;
}

}  // namespace

bool PictKit::Draw(HDC dc, const RECT& dest, unsigned long flags) const {
    if (!picture_ || !dc) return false;
    int width = dest.right - dest.left;
    int height = dest.bottom - dest.top;
    if (width <= 0 || height <= 0) return true;

    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return false;
    bool drawn;
    {
        vantor::ScopedSelect select(memory, picture_->bitmap.get());
        if (flags & PICTKIT_DRAW_WHITE_TRANSPARENT) {
            drawn = DrawWhiteTransparent(dc, dest, memory, *picture_);
        } else if (picture_->hasAlpha) {
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            drawn = AlphaBlend(dc, dest.left, dest.top, width, height, memory, 0, 0, picture_->width,
                               picture_->height, blend) != FALSE;
        } else {
            int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
            drawn = StretchBlt(dc, dest.left, dest.top, width, height, memory, 0, 0, picture_->width,
                               picture_->height, SRCCOPY) != FALSE;
            if (oldMode) SetStretchBltMode(dc, oldMode);
        }
    }
    DeleteDC(memory);
    return drawn;
}

namespace {

bool LoadBitmapFile(const wchar_t* path, PictureData& out) {
    vantor::UniqueGdi<HBITMAP> loaded(static_cast<HBITMAP>(
        LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!loaded) return false;
    BITMAP info = {};
    if (!GetObjectW(loaded.get(), sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight == 0) return false;
    // The window manager's loader hands back 32-bit files (top row first, as the test
    // pictures are written) without their pixels under some systems: the codecs read them.
    if (info.bmBitsPixel == 32) return false;
    int width = info.bmWidth;
    int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    if (width > kMaxSide || height > kMaxSide) return false;

    void* bits = nullptr;
    vantor::UniqueGdi<HBITMAP> canvas(vantor::CreateTopDownDib(nullptr, width, height, &bits));
    if (!canvas || !bits) return false;
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    bool copied = false;
    if (from && to) {
        vantor::ScopedSelect selectFrom(from, loaded.get());
        vantor::ScopedSelect selectTo(to, canvas.get());
        copied = BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY) != FALSE;
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    if (!copied) return false;
    GdiFlush();
    // Bitmap files carry no usable alpha: every pixel is opaque.
    auto* pixel = static_cast<BYTE*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) pixel[i * 4 + 3] = 255;

    out.bitmap = std::move(canvas);
    out.width = width;
    out.height = height;
    out.hasAlpha = false;
    return true;
}

bool LoadWithCodecs(const wchar_t* path, PictureData& out) {
    vantor::ScopedCom com(COINIT_APARTMENTTHREADED);
    if (!com.Usable()) return false;
    vantor::ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(kWicImagingFactory, nullptr, CLSCTX_INPROC_SERVER, kIWicImagingFactory,
                                factory.put_void())))
        return false;
    vantor::ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.put())))
        return false;
    vantor::ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
    vantor::ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put()))) return false;
    if (FAILED(converter->Initialize(frame.get(), kPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > static_cast<UINT>(kMaxSide) || height > static_cast<UINT>(kMaxSide))
        return false;

    void* bits = nullptr;
    vantor::UniqueGdi<HBITMAP> canvas(vantor::CreateTopDownDib(nullptr, static_cast<int>(width), static_cast<int>(height), &bits));
    if (!canvas || !bits) return false;
    UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) return false;

    bool hasAlpha = false;
    const BYTE* pixel = static_cast<const BYTE*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n && !hasAlpha; ++i)
        hasAlpha = pixel[i * 4 + 3] != 255;

    out.bitmap = std::move(canvas);
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.hasAlpha = hasAlpha;
    return true;
}

}  // namespace
