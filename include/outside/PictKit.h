// PictKit, the image-file library: opens a picture file, tells its size and draws it into a
// device context. Linked (import library "libPictKit.dll.a"); the class is exported whole.
//
// A PictKit object is embedded by value in other exported classes (the skinned dialog base
// among them), so its layout is one pointer and never changes: whatever a picture needs
// lives behind that pointer.
#pragma once

#include <windows.h>

#ifdef PICTKIT_BUILD
#define PICTKIT_API __declspec(dllexport)
#else
#define PICTKIT_API __declspec(dllimport)
#endif

// Draw flags. 0 draws the picture stretched to the destination rectangle.
enum : unsigned long {
    PICTKIT_DRAW_STRETCH = 0,
    // Pixels of pure white (255, 255, 255) are left out, for logos and corner pieces that
    // sit on another picture.
    PICTKIT_DRAW_WHITE_TRANSPARENT = 1,
};

class PICTKIT_API PictKit {
public:
    PictKit();
    ~PictKit();
    PictKit(const PictKit&) = delete;
    PictKit& operator=(const PictKit&) = delete;

    // Opens a picture file (BMP, and what the system's image codecs read: PNG, JPEG, GIF,
    // ICO), replacing any picture held before. 8-bit paths are in the ANSI code page.
    // True on success; on failure the object holds no picture.
    bool Open(const char* path);
    bool Open(const wchar_t* path);
    // Releases the picture.
    void Close();
    bool IsOpen() const;

    // Draws the picture into dest; see the draw flags. False when nothing is open or the
    // drawing failed.
    bool Draw(HDC dc, const RECT& dest, unsigned long flags = PICTKIT_DRAW_STRETCH) const;

    // Width and height in pixels; 0 x 0 when nothing is open.
    SIZE GetImageSize() const;

private:
    struct Picture;
    Picture* picture_;
};
