#include "RostSkin.h"

#include "IniFile.h"

namespace rostview {

namespace ini = vantor::ini;

void SkinValues::FreePictures() {
    for (HBITMAP* picture : {&tagOpen, &tagClose}) {
        if (*picture) DeleteObject(*picture);
        *picture = nullptr;
    }
    for (int i = 0; i < 3; ++i) {
        for (HBITMAP* picture : {&middle[i], &leftCap[i], &rightCap[i]}) {
            if (*picture) DeleteObject(*picture);
            *picture = nullptr;
        }
    }
    tagSize = 0;
}

void SkinValues::Reset() {
    FreePictures();
    background = RGB(255, 255, 255);
    gradientLeft = gradientRight = RGB(192, 192, 192);
    currentText = otherText = RGB(0, 0, 0);
}

namespace {

const size_t kValueChars = 260;

std::wstring Read(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    return ini::ReadString(file, section, key, L"", kValueChars);
}

void ReadColour(const std::wstring& file, const wchar_t* section, const wchar_t* key, COLORREF* colour) {
    std::wstring text = Read(file, section, key);
    if (!text.empty()) ini::ScanColour(text, colour);
}

HBITMAP LoadPicture(const std::wstring& folder, const std::wstring& name) {
    if (name.empty()) return nullptr;
    std::wstring path = ini::BoundedPath({folder, name});
    if (path.empty()) return nullptr;
    return static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}

SIZE PictureSize(HBITMAP picture) {
    BITMAP info = {};
    if (!picture || !GetObjectW(picture, sizeof info, &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

}  // namespace

void LoadSkin(const std::wstring& skinFolder, SkinValues* skin) {
    std::wstring common = ini::BoundedPath({skinFolder, L"CommWnd.skn"});
    ReadColour(common, L"COLOR", L"bkgnd", &skin->background);

    std::wstring own = ini::BoundedPath({skinFolder, L"RostView.skn"});
    const wchar_t* bar = L"FolderBar";
    ReadColour(own, bar, L"bkgndl", &skin->gradientLeft);
    ReadColour(own, bar, L"bkgndr", &skin->gradientRight);
    ReadColour(own, bar, L"selFontColor", &skin->currentText);
    ReadColour(own, bar, L"norFontColor", &skin->otherText);

    skin->tagOpen = LoadPicture(skinFolder, Read(own, bar, L"tagOpen"));
    skin->tagClose = LoadPicture(skinFolder, Read(own, bar, L"tagClose"));
    if (skin->tagOpen) skin->tagSize = PictureSize(skin->tagOpen).cx;

    struct Slot {
        const wchar_t* key;
        HBITMAP* picture;
    };
    const Slot slots[] = {
        {L"bkn", &skin->middle[0]},   {L"bkh", &skin->middle[1]},   {L"bkd", &skin->middle[2]},
        {L"lcn", &skin->leftCap[0]},  {L"lch", &skin->leftCap[1]},  {L"lcd", &skin->leftCap[2]},
        {L"rcn", &skin->rightCap[0]}, {L"rch", &skin->rightCap[1]}, {L"rcd", &skin->rightCap[2]},
    };
    for (size_t i = 0; i < sizeof slots / sizeof slots[0]; ++i) {
        HBITMAP picture = LoadPicture(skinFolder, Read(own, bar, slots[i].key));
        if (!picture) {
            // Without the first picture the headers take the gradient and keep the tags;
            // a set that breaks off later is not used at all.
            if (i > 0) skin->FreePictures();
            return;
        }
        *slots[i].picture = picture;
    }
}

std::wstring CurrentSkinName(const std::wstring& programFolder) {
    return ini::ReadString(ini::BoundedPath({programFolder, L"config\\uiprof.cfg"}), L"Global", L"SkinName", L"", 64);
}

void MoveSkin(SkinValues& from, SkinValues* to) {
    if (&from == to) return;
    to->FreePictures();
    to->background = from.background;
    to->gradientLeft = from.gradientLeft;
    to->gradientRight = from.gradientRight;
    to->currentText = from.currentText;
    to->otherText = from.otherText;
    to->tagSize = from.tagSize;
    to->tagOpen = from.tagOpen;
    to->tagClose = from.tagClose;
    from.tagOpen = from.tagClose = nullptr;
    for (int i = 0; i < 3; ++i) {
        to->middle[i] = from.middle[i];
        to->leftCap[i] = from.leftCap[i];
        to->rightCap[i] = from.rightCap[i];
        from.middle[i] = from.leftCap[i] = from.rightCap[i] = nullptr;
    }
    from.tagSize = 0;
}

SkinPreload::~SkinPreload() {
    Finish();
    if (imagesRead_) DestroyImageLists(&images_);
}

bool SkinPreload::Finish() {
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
        read_ = imagesRead_ = true;
    }
    return read_ || imagesRead_;
}

void SkinPreload::Start(const std::wstring& programFolder) {
    if (thread_) return;
    folder_ = programFolder;
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &id);
}

DWORD WINAPI SkinPreload::Run(void* self) {
    auto* preload = static_cast<SkinPreload*>(self);
    preload->images_ = LoadImageLists(preload->folder_);
    preload->name_ = CurrentSkinName(preload->folder_);
    if (!preload->name_.empty()) LoadSkin(preload->folder_ + L"Skins\\" + preload->name_ + L"\\", &preload->values_);
    return 0;
}

SkinPreload::Result SkinPreload::Take(SkinValues* to) {
    Finish();
    if (!read_) return NOT_READ;
    read_ = false;
    if (name_.empty()) return NO_SKIN_NAME;
    MoveSkin(values_, to);
    return LOADED;
}

SkinPreload::Result SkinPreload::TakeImages(ImageLists* to) {
    Finish();
    if (!imagesRead_) return NOT_READ;
    imagesRead_ = false;
    *to = images_;
    images_ = ImageLists();
    return LOADED;
}

namespace {

void DrawPicture(HDC dc, HDC source, HBITMAP picture, int x, int y, int width, int height) {
    SIZE size = PictureSize(picture);
    if (size.cx <= 0 || size.cy <= 0 || width <= 0 || height <= 0) return;
    HGDIOBJ old = SelectObject(source, picture);
    if (width == size.cx && height == size.cy) {
        BitBlt(dc, x, y, width, height, source, 0, 0, SRCCOPY);
    } else {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x, y, width, height, source, 0, 0, size.cx, size.cy, SRCCOPY);
    }
    SelectObject(source, old);
}

void Gradient(HDC dc, const RECT& r, COLORREF left, COLORREF right) {
    TRIVERTEX v[2] = {};
    v[0].x = r.left;
    v[0].y = r.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(left) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(left) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(left) << 8);
    v[1].x = r.right;
    v[1].y = r.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(right) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(right) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(right) << 8);
    GRADIENT_RECT rect = {0, 1};
    GradientFill(dc, v, 2, &rect, 1, GRADIENT_FILL_RECT_H);
}

}  // namespace

void PaintHeader(HDC dc, const RECT& r, const SkinValues& skin, HFONT captionFont, const wchar_t* caption,
                 int widestCaption, const HeaderLook& look) {
    SetBkMode(dc, TRANSPARENT);
    HDC source = CreateCompatibleDC(dc);
    if (skin.HasHeaderPictures()) {
        int state = look.hover ? (look.pressed ? PICTURE_PRESSED : PICTURE_HOVER) : PICTURE_NORMAL;
        SIZE left = PictureSize(skin.leftCap[state]);
        SIZE right = PictureSize(skin.rightCap[state]);
        DrawPicture(dc, source, skin.leftCap[state], r.left, r.top, left.cx, left.cy);
        DrawPicture(dc, source, skin.rightCap[state], r.right - right.cx, r.top, right.cx, right.cy);
        DrawPicture(dc, source, skin.middle[state], r.left + left.cx, r.top, r.right - r.left - left.cx - right.cx,
                    r.bottom - r.top);
    } else {
        Gradient(dc, r, skin.gradientLeft, skin.gradientRight);
    }

    SetTextColor(dc, look.current ? skin.currentText : skin.otherText);
    int space = r.right - r.left - skin.tagSize * 3 / 2;
    RECT box = {r.left + (space - widestCaption) / 2, r.top, 0, r.bottom};
    box.right = box.left + widestCaption;
    HGDIOBJ oldFont = captionFont ? SelectObject(dc, captionFont) : nullptr;
    DrawTextW(dc, caption, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (oldFont) SelectObject(dc, oldFont);

    HBITMAP tag = look.current ? skin.tagOpen : skin.tagClose;
    if (skin.HasTags() && tag && skin.tagSize > 0) {
        SIZE size = PictureSize(tag);
        int x = box.right + skin.tagSize / 2;
        int y = r.top + (r.bottom - r.top - skin.tagSize) / 2;
        HGDIOBJ old = SelectObject(source, tag);
        TransparentBlt(dc, x, y, skin.tagSize, skin.tagSize, source, 0, 0, size.cx, size.cy, RGB(0, 0, 0));
        SelectObject(source, old);
    }
    DeleteDC(source);
}

HFONT CreateCaptionFont() {
    return CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"宋体");
}

ImageLists LoadImageLists(const std::wstring& programFolder) {
    ImageLists lists;
    std::wstring profile = ini::BoundedPath({programFolder, L"resource\\RostLedgerProf.cfg"});
    lists.tree = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 8);
    lists.service = ImageList_Create(16, 16, ILC_COLOR32, 20, 3);
    HBITMAP strip = LoadPicture(programFolder, Read(profile, L"UIResource", L"baseimage"));
    if (strip && lists.tree) ImageList_AddMasked(lists.tree, strip, RGB(255, 255, 255));
    if (strip) DeleteObject(strip);
    strip = LoadPicture(programFolder, Read(profile, L"UIResource", L"serviceimage"));
    if (strip && lists.service) ImageList_Add(lists.service, strip, nullptr);
    if (strip) DeleteObject(strip);
    return lists;
}

void DestroyImageLists(ImageLists* lists) {
    if (lists->tree) ImageList_Destroy(lists->tree);
    if (lists->service) ImageList_Destroy(lists->service);
    lists->tree = lists->service = nullptr;
}

}  // namespace rostview
