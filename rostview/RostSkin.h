// The look of the folder bar: skin values and pictures, their loading from the skin files,
// and the painting of one folder header. Also the two image lists of the trees.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace rostview {

// Picture sets of a header: normal, hover, pressed.
enum PictureState { PICTURE_NORMAL = 0, PICTURE_HOVER = 1, PICTURE_PRESSED = 2 };

struct SkinValues {
    COLORREF background = RGB(255, 255, 255);
    COLORREF gradientLeft = RGB(192, 192, 192);
    COLORREF gradientRight = RGB(192, 192, 192);
    COLORREF currentText = RGB(0, 0, 0);
    COLORREF otherText = RGB(0, 0, 0);
    HBITMAP tagOpen = nullptr;
    HBITMAP tagClose = nullptr;
    int tagSize = 0;
    // Header pictures by state: middle, left cap, right cap. All nine or none.
    HBITMAP middle[3] = {};
    HBITMAP leftCap[3] = {};
    HBITMAP rightCap[3] = {};

    SkinValues() = default;
    ~SkinValues() { FreePictures(); }
    SkinValues(const SkinValues&) = delete;
    SkinValues& operator=(const SkinValues&) = delete;

    bool HasHeaderPictures() const { return middle[0] != nullptr; }
    bool HasTags() const { return tagOpen || tagClose; }
    void FreePictures();
    // Colours back to their defaults, pictures freed.
    void Reset();
};

// Loads the skin in skinFolder (ending in a backslash): "CommWnd.skn" [COLOR] and
// "RostView.skn" [FolderBar]. Missing files and keys keep the defaults; a header picture
// set that is incomplete from `bkn` on is dropped whole, tags included.
void LoadSkin(const std::wstring& skinFolder, SkinValues* skin);

// "<program folder>\config\uiprof.cfg" [Global] SkinName (empty when missing).
std::wstring CurrentSkinName(const std::wstring& programFolder);

// The tree images and the service icons, from "resource\RostLedgerProf.cfg"
// [UIResource] `baseimage` and `serviceimage`; a missing picture leaves its list empty.
struct ImageLists {
    HIMAGELIST tree = nullptr;
    HIMAGELIST service = nullptr;
};
ImageLists LoadImageLists(const std::wstring& programFolder);
void DestroyImageLists(ImageLists* lists);

// Gives `to` the values and pictures of `from` (the pictures `to` had are freed); `from`
// is left with no pictures.
void MoveSkin(SkinValues& from, SkinValues* to);

// The tree images and the current skin read on a thread of their own (the skin as
// switching to it reads it), while the window's thread makes the window.
class SkinPreload {
public:
    enum Result { NOT_READ, NO_SKIN_NAME, LOADED };

    SkinPreload() = default;
    ~SkinPreload();
    SkinPreload(const SkinPreload&) = delete;
    SkinPreload& operator=(const SkinPreload&) = delete;

    // Starts reading the image lists and the skin named in the program folder's
    // configuration.
    void Start(const std::wstring& programFolder);
    // Each waits for the reading. Take: LOADED: `to` has the skin; NO_SKIN_NAME: `to` is
    // untouched. TakeImages: LOADED: `to` owns the lists. Both: NOT_READ when nothing was
    // started or it was taken already.
    Result Take(SkinValues* to);
    Result TakeImages(ImageLists* to);

private:
    static DWORD WINAPI Run(void* self);
    bool Finish();

    std::wstring folder_;
    std::wstring name_;
    SkinValues values_;
    ImageLists images_;
    HANDLE thread_ = nullptr;
    bool read_ = false;  // finished, and the skin not taken yet
    bool imagesRead_ = false;
};

// How one header is to look.
struct HeaderLook {
    bool current = false;
    bool hover = false;
    bool pressed = false;
};

// Paints one header into dc (a memory DC): pictures or the gradient, the caption centred
// in a box as wide as the widest caption, and the tag right of it.
void PaintHeader(HDC dc, const RECT& r, const SkinValues& skin, HFONT captionFont, const wchar_t* caption,
                 int widestCaption, const HeaderLook& look);

// The caption font: 12 pixels, normal weight, "宋体".
HFONT CreateCaptionFont();


}  // namespace rostview
