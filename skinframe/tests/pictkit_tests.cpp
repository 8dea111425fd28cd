// The image-file stand-in: open, size and the two ways of drawing.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestSupport.h"
#include "Screenshot.h"
#include "Text.h"
#include "WindowDriver.h"
#include "outside/PictKit.h"

namespace {

using testkit::Canvas;

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kGreen = RGB(0, 255, 0);

TEST(PictKitStandIn, OpensSizesAndDraws) {
    std::wstring dir = testkit::FreshDir(L"pictkit");
    ASSERT_TRUE(skintest::WriteSplitBitmap(dir + L"split.bmp", 4, 2, kRed, kWhite));
    testkit::WriteFileBytes(dir + L"notes.bmp", "not a picture at all");

    PictKit picture;
    EXPECT_FALSE(picture.IsOpen());
    EXPECT_EQ(0, picture.GetImageSize().cx);
    ASSERT_TRUE(picture.Open((dir + L"split.bmp").c_str()));
    EXPECT_TRUE(picture.IsOpen());
    EXPECT_EQ(4, picture.GetImageSize().cx);
    EXPECT_EQ(2, picture.GetImageSize().cy);

    // Stretched to twice the size.
    Canvas canvas(8, 4, kGreen);
    RECT dest = {0, 0, 8, 4};
    EXPECT_TRUE(picture.Draw(canvas.dc(), dest, PICTKIT_DRAW_STRETCH));
    EXPECT_EQ(kRed, canvas.At(1, 1));
    EXPECT_EQ(kRed, canvas.At(3, 3));
    EXPECT_EQ(kWhite, canvas.At(6, 2));

    // White left out.
    Canvas keyed(8, 4, kGreen);
    EXPECT_TRUE(picture.Draw(keyed.dc(), dest, PICTKIT_DRAW_WHITE_TRANSPARENT));
    EXPECT_EQ(kRed, keyed.At(1, 1));
    EXPECT_EQ(kGreen, keyed.At(6, 2));

    // A failed open leaves nothing open; broken and missing files fail cleanly.
    EXPECT_FALSE(picture.Open((dir + L"notes.bmp").c_str()));
    EXPECT_FALSE(picture.IsOpen());
    EXPECT_FALSE(picture.Draw(canvas.dc(), dest));
    EXPECT_FALSE(picture.Open((dir + L"missing.bmp").c_str()));
    EXPECT_FALSE(picture.Open(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(picture.Open(L""));

    // 8-bit paths are in the ANSI code page.
    std::wstring chinese = dir + testkit::Wide("皮肤") + L"\\";
    CreateDirectoryW(chinese.c_str(), nullptr);
    ASSERT_TRUE(skintest::WriteSolidBitmap(chinese + L"bk.bmp", 3, 3, kRed));
    std::string ansiPath = vantor::WideToAnsi(chinese + L"bk.bmp");
    EXPECT_TRUE(picture.Open(ansiPath.c_str()));
    EXPECT_EQ(3, picture.GetImageSize().cy);
}

// The kind of bitmap file the test kit's own pictures are: 32 bits, top row first.
TEST(PictKitStandIn, OpensThirtyTwoBitTopDownBitmaps) {
    std::wstring dir = testkit::FreshDir(L"pictkit-32");
    testkit::Capture pixels;
    pixels.width = 4;
    pixels.height = 2;
    pixels.pixels = {kRed, kRed, kWhite, kWhite, kGreen, kGreen, kRed, kRed};
    ASSERT_TRUE(testkit::SaveBitmapFile(pixels, dir + L"top-down.bmp"));
    PictKit picture;
    ASSERT_TRUE(picture.Open((dir + L"top-down.bmp").c_str()));
    EXPECT_EQ(4, picture.GetImageSize().cx);
    EXPECT_EQ(2, picture.GetImageSize().cy);
    Canvas canvas(4, 2, RGB(0, 0, 255));
    RECT dest = {0, 0, 4, 2};
    EXPECT_TRUE(picture.Draw(canvas.dc(), dest));
    EXPECT_EQ(kRed, canvas.At(0, 0));
    EXPECT_EQ(kWhite, canvas.At(3, 0));
    EXPECT_EQ(kGreen, canvas.At(0, 1));
    EXPECT_EQ(kRed, canvas.At(3, 1));
}

// A 2 x 2 PNG: red, blue / white, fully transparent.
const unsigned char kTinyPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02,
    0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x72, 0xb6, 0x0d, 0x24, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44, 0x41,
    0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x42, 0xff, 0x81, 0x08, 0x44, 0x30, 0x30, 0x00, 0x00, 0x50, 0xc1, 0x08,
    0xf8, 0x15, 0xb5, 0x43, 0x85, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

TEST(PictKitStandIn, OtherFormatsThroughTheCodecsKeepTheirTransparency) {
    std::wstring dir = testkit::FreshDir(L"pictkit-png");
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"tiny.png", std::string(reinterpret_cast<const char*>(kTinyPng), sizeof kTinyPng)));
    PictKit picture;
    ASSERT_TRUE(picture.Open((dir + L"tiny.png").c_str()));
    EXPECT_EQ(2, picture.GetImageSize().cx);
    Canvas canvas(4, 4, kGreen);
    RECT dest = {0, 0, 4, 4};
    EXPECT_TRUE(picture.Draw(canvas.dc(), dest));
    EXPECT_EQ(kRed, canvas.At(0, 0));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(3, 0));
    EXPECT_EQ(kWhite, canvas.At(0, 3));
    EXPECT_EQ(kGreen, canvas.At(3, 3));
    // White left out as well: only the red and blue pixels land.
    Canvas keyed(4, 4, kGreen);
    EXPECT_TRUE(picture.Draw(keyed.dc(), dest, PICTKIT_DRAW_WHITE_TRANSPARENT));
    EXPECT_EQ(kGreen, keyed.At(0, 3));
    EXPECT_EQ(kRed, keyed.At(0, 0));
}

}  // namespace
