// Skins that differ from the shipped one. The program folder is the EXE's folder, so each
// variant gets a fresh folder with copies of the modules and its own configuration, and this
// test EXE runs again from there with SKINFRAME_VARIANT naming the checks to make.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestDialogs.h"
#include "TestSupport.h"
#include "WindowDriver.h"

using namespace skintest;

namespace {

const wchar_t kVariantVariable[] = L"SKINFRAME_VARIANT";

std::wstring Variant() {
    wchar_t value[64] = {};
    GetEnvironmentVariableW(kVariantVariable, value, 64);
    return value;
}

// Runs this EXE from `dir` with only the variant tests; its exit code.
DWORD RunVariant(const std::wstring& dir, const wchar_t* variant) {
    return testkit::RunProgram(dir + testkit::ThisExeName(), L"--gtest_filter=SkinVariant.*", dir,
                               {{kVariantVariable, variant}});
}

// A program folder with the modules and a uiprof.cfg naming `skinName`.
std::wstring ProgramFolder(const wchar_t* name, const std::string& skinName) {
    std::wstring dir = testkit::FreshDir(name);
    for (const wchar_t* module : {L"SkinFrame.dll", L"PictKit.dll", L"SkinFrameTestDlgs.dll"})
        testkit::CopyFromProgramDir(dir, module);
    testkit::CopyThisExeTo(dir);
    CreateDirectoryW((dir + L"config").c_str(), nullptr);
    testkit::WriteFileBytes(dir + L"config\\uiprof.cfg", "[Global]\r\nSkinName=" + skinName + "\r\n");
    return dir;
}

TEST(SkinFrameVariants, SkinsFromOtherProgramFolders) {
    // Taller caption over a blue background, red-to-green caption colours, black frame and
    // corner masks that are entirely white.
    std::wstring tall = ProgramFolder(L"skin-tall", "Tall");
    std::wstring skin = tall + L"Skins\\Tall\\";
    CreateDirectoryW((tall + L"Skins").c_str(), nullptr);
    CreateDirectoryW(skin.c_str(), nullptr);
    testkit::WriteFileBytes(skin + L"CommWnd.skn",
                            "[Dialog]\r\nCaptionColor=255,0,0-0,255,0\r\ntitleheight=30\r\nsysmenu=sysmenu.bmp\r\n"
                            "bk=blue.bmp\r\nframeside=0,0,0\r\n");
    CopyFileW((testkit::ProgramDir() + L"Skins\\Default\\sysmenu.bmp").c_str(), (skin + L"sysmenu.bmp").c_str(), FALSE);
    WriteSolidBitmap(skin + L"blue.bmp", 8, 8, RGB(0, 0, 255));
    CreateDirectoryW((tall + L"resource").c_str(), nullptr);
    WriteSolidBitmap(tall + L"resource\\lcorner.bmp", 12, 10, RGB(255, 255, 255));
    WriteSolidBitmap(tall + L"resource\\rcorner.bmp", 12, 10, RGB(255, 255, 255));
    EXPECT_EQ(0u, RunVariant(tall, L"tall"));

    // A skin name whose folder does not exist, and no corner masks.
    EXPECT_EQ(0u, RunVariant(ProgramFolder(L"skin-absent", "Absent"), L"absent"));

    // No skin name.
    EXPECT_EQ(0u, RunVariant(ProgramFolder(L"skin-none", ""), L"none"));
}

// Checks made inside a variant folder; skipped in the normal run.
TEST(SkinVariant, Checks) {
    std::wstring variant = Variant();
    if (variant.empty()) GTEST_SKIP() << "runs only from a variant program folder";

    CTraceDialog dialog;
    ASSERT_TRUE(dialog.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    HWND window = dialog.GetSafeHwnd();
    Pump(400);
    RECT client = {};
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    RECT close = dialog.CloseBox();

    if (variant == L"tall") {
        EXPECT_EQ(30, dialog.CaptionRect().bottom);
        EXPECT_EQ(9, close.top);
        EXPECT_EQ(20, close.bottom);
        EXPECT_GT(DarkPixels(window, close), 0);
        // The gradient starts red over the blue background and ends in the background's own
        // blue, whatever the second colour of the skin says.
        EXPECT_TRUE(Near(ClientPixel(window, 4, 15), 80, 0, 175, 8));
        EXPECT_EQ(RGB(0, 0, 255), dialog.CaptionEnd());
        // Hovering a box repaints only the boxes; the band's end is not repainted then and
        // shows the frame, which must not become the gradient's end.
        MouseTo(ScreenCentre(window, close));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == SKINFRAME_HIT_CLOSE; }));
        Pump(300);
        EXPECT_EQ(RGB(0, 0, 255), dialog.CaptionEnd());
        COLORREF end = ClientPixel(window, w - 40, 28);
        EXPECT_LT(GetGValue(end), 20);
        EXPECT_GT(GetBValue(end), 200);
        EXPECT_TRUE(Near(ClientPixel(window, 1, h / 2), 0, 0, 0, 0));
        EXPECT_TRUE(Near(ClientPixel(window, w - 40, h - 30), 0, 0, 255, 0));
        // White masks cut both 12 x 10 corners whole.
        EXPECT_FALSE(InRegion(window, 11, h - 1));
        EXPECT_FALSE(InRegion(window, 11, h - 10));
        EXPECT_FALSE(InRegion(window, w - 12, h - 1));
        EXPECT_TRUE(InRegion(window, 12, h - 1));
        EXPECT_TRUE(InRegion(window, w - 13, h - 1));
        EXPECT_TRUE(InRegion(window, 0, h - 11));
    } else if (variant == L"absent") {
        EXPECT_EQ(1, dialog.Count(CTraceDialog::kCustomSkin));
        EXPECT_EQ(25, dialog.CaptionRect().bottom);
        EXPECT_EQ(7, close.top);
        EXPECT_EQ(18, close.bottom);
        EXPECT_EQ(0, DarkPixels(window, close));
        EXPECT_FALSE(InRegion(window, 11, h - 1));
        EXPECT_TRUE(InRegion(window, 12, h - 1));
    } else if (variant == L"none") {
        EXPECT_EQ(0, dialog.Count(CTraceDialog::kCustomSkin));
        EXPECT_TRUE(IsRectEmpty(&close));
        RECT caption = dialog.CaptionRect();
        EXPECT_TRUE(IsRectEmpty(&caption));
        RECT real = {};
        dialog.GetRealClientRect(&real);
        EXPECT_EQ(2, real.left);
        EXPECT_EQ(2, real.top);
        EXPECT_EQ(w - 2, real.right);
        EXPECT_EQ(h - 2, real.bottom);
        EXPECT_GT(dialog.Count(CTraceDialog::kDraw), 0);
        // The top strip is plain client area: no caption, no boxes, a click does nothing.
        MouseTo(ScreenPoint(window, w - 12, 12));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == HTCLIENT; }));
        ClickAt(ScreenPoint(window, w - 12, 12));
        Pump(300);
        EXPECT_TRUE(IsWindow(window));
    } else {
        ADD_FAILURE() << "unknown variant";
    }
    dialog.Destroy();
}

}  // namespace
