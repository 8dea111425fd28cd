// The loading bar loaded by file name and bound by export name, as the home pane does.
// Its drawing is read back from a memory surface (exact pixels) and from the screen (the
// real paint path); a picture of two bars goes to "screenshots\loadbar.bmp".
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "BarLook.h"
#include "Handles.h"
#include "LoadBar.h"
#include "ModulePath.h"
#include "Screenshot.h"
#include "TestSupport.h"

namespace {

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kWhite = RGB(255, 255, 255);
const int kWidth = 200;
const int kHeight = 30;

struct LoadBarLibrary {
    vantor::UniqueModule module{vantor::LoadProgramLibrary(L"LoadBar.dll")};
    InitLoadBarProc init = vantor::ProcAddress<InitLoadBarProc>(module.get(), "InitLoadBar");
    UninitLoadBarProc uninit = vantor::ProcAddress<UninitLoadBarProc>(module.get(), "UninitLoadBar");
    CreateLoadBarProc create = vantor::ProcAddress<CreateLoadBarProc>(module.get(), "CreateLoadBar");
    StepToProc stepTo = vantor::ProcAddress<StepToProc>(module.get(), "StepTo");
    bool Complete() const { return init && uninit && create && stepTo; }
};

bool Near(COLORREF actual, COLORREF expected, int tolerance) {
    return std::abs(GetRValue(actual) - GetRValue(expected)) <= tolerance &&
           std::abs(GetGValue(actual) - GetGValue(expected)) <= tolerance &&
           std::abs(GetBValue(actual) - GetBValue(expected)) <= tolerance;
}

// What the bar draws when asked to erase into a memory surface of its size.
testkit::Capture Drawn(HWND bar) {
    RECT client;
    GetClientRect(bar, &client);
    testkit::Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
    EXPECT_EQ(1, SendMessageW(bar, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0));
    testkit::Capture picture;
    picture.width = client.right;
    picture.height = client.bottom;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) picture.pixels.push_back(canvas.At(x, y));
    return picture;
}

// The caption alone, as it must appear on white: the bar's font, black, centred.
testkit::Capture CaptionOnWhite(const std::wstring& caption) {
    testkit::Canvas canvas(kWidth, kHeight);
    vantor::UniqueGdi<HFONT> font(CreateFontW(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                              VARIABLE_PITCH | FF_SWISS, nullptr));
    vantor::ScopedSelect select(canvas.dc(), font.get());
    SetBkMode(canvas.dc(), TRANSPARENT);
    RECT all = {0, 0, kWidth, kHeight};
    DrawTextW(canvas.dc(), caption.c_str(), -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    testkit::Capture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.pixels.push_back(canvas.At(x, y));
    return picture;
}

// Pixels darker than light grey: glyphs and their smoothed edges.
int DarkPixels(const testkit::Capture& picture) {
    int dark = 0;
    for (COLORREF c : picture.pixels) dark += (GetRValue(c) + GetGValue(c) + GetBValue(c)) < 600;
    return dark;
}

// One parent window for the whole suite: destroying a shown window costs seconds here.
class LoadBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 50, 50, 260, 120, nullptr, nullptr,
                                 nullptr, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(parent); }
    void SetUp() override {
        ASSERT_NE(nullptr, parent);
        ASSERT_TRUE(lib.Complete());
        ASSERT_NE(0, lib.init());
    }
    void TearDown() override {
        for (HWND child; (child = GetWindow(parent, GW_CHILD)) != nullptr;) DestroyWindow(child);
        lib.uninit();
    }
    HWND NewBar(int top, COLORREF start, COLORREF end) {
        return lib.create(parent, 10, top, 10 + kWidth, top + kHeight, start, end);
    }

    LoadBarLibrary lib;
    static HWND parent;
};
HWND LoadBarTest::parent = nullptr;

TEST(LoadBarLook, FilledWidthAndCaptionFollowThePercentage) {
    struct Case { int width, percentage, filled; } cases[] = {
        {200, 0, 0}, {200, 50, 100}, {200, 100, 200}, {199, 50, 99}, {200, 1, 2},
        {200, -5, 0}, {200, 150, 200}, {0, 50, 0}, {-10, 50, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.filled, loadbar::FilledWidth(c.width, c.percentage)) << c.width << " x " << c.percentage;
    EXPECT_EQ(testkit::Wide("正在载入％0"), loadbar::Caption(0));
    EXPECT_EQ(testkit::Wide("正在载入％40"), loadbar::Caption(40));
    EXPECT_EQ(testkit::Wide("正在载入％99"), loadbar::Caption(99));
    EXPECT_EQ(testkit::Wide("载入完成"), loadbar::Caption(100));
}

TEST_F(LoadBarTest, ClassIsGlobalUnderTheExecutableAndRegisteredOnce) {
    WNDCLASSEXW cls = {sizeof(cls)};
    ATOM atom = static_cast<ATOM>(GetClassInfoExW(GetModuleHandleW(nullptr), L"progress_wnd_cls", &cls));
    ASSERT_NE(0, atom);
    EXPECT_EQ(atom, lib.init()) << "a second call finds its own class";
    EXPECT_EQ(static_cast<UINT>(CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW), cls.style);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), cls.hbrBackground);
    EXPECT_EQ(nullptr, cls.hCursor);
}

TEST_F(LoadBarTest, NewBarIsHiddenAndShowsOnlyTheStartCaptionOnWhite) {
    HWND bar = NewBar(10, kRed, kBlue);
    ASSERT_NE(nullptr, bar);
    EXPECT_FALSE(IsWindowVisible(bar));
    EXPECT_EQ(parent, GetParent(bar));
    EXPECT_NE(nullptr, GetPropW(bar, L"msgcls"));
    RECT client;
    GetClientRect(bar, &client);
    EXPECT_EQ(kWidth, client.right);
    EXPECT_EQ(kHeight, client.bottom);

    testkit::Capture drawn = Drawn(bar);
    testkit::Capture expected = CaptionOnWhite(testkit::Wide("正在载入％0"));
    EXPECT_GT(DarkPixels(expected), 30) << "the caption's glyphs render";
    EXPECT_TRUE(drawn.pixels == expected.pixels) << "white with the caption, nothing else";
    EXPECT_FALSE(CaptionOnWhite(testkit::Wide("正在载入％1")).pixels == expected.pixels);
}

TEST_F(LoadBarTest, HalfStepFillsHalfTheWidthWithTheGradient) {
    HWND bar = NewBar(10, kRed, kBlue);
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(1, lib.stepTo(bar, 50));
    testkit::Capture drawn = Drawn(bar);
    // The top row lies above the caption.
    EXPECT_TRUE(Near(drawn.At(0, 1), kRed, 6)) << std::hex << drawn.At(0, 1);
    EXPECT_TRUE(Near(drawn.At(99, 1), kBlue, 6)) << "the end colour lies at x = 100: " << std::hex << drawn.At(99, 1);
    EXPECT_TRUE(Near(drawn.At(50, 1), RGB(128, 0, 128), 8)) << std::hex << drawn.At(50, 1);
    for (int x = 100; x < kWidth; ++x) ASSERT_EQ(kWhite, drawn.At(x, 1)) << x;
    for (int x = 1; x < 100; ++x) ASSERT_LE(GetRValue(drawn.At(x, kHeight - 2)), GetRValue(drawn.At(x - 1, kHeight - 2)));
    EXPECT_GT(DarkPixels(drawn), 30) << "caption over the bar";
}

TEST_F(LoadBarTest, FullStepFillsTheWidthAndSaysDone) {
    HWND bar = NewBar(10, kRed, kBlue);
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(1, lib.stepTo(bar, 100));
    testkit::Capture drawn = Drawn(bar);
    EXPECT_TRUE(Near(drawn.At(0, 1), kRed, 6));
    EXPECT_TRUE(Near(drawn.At(kWidth - 1, 1), kBlue, 6));

    // A white-to-white gradient leaves the caption alone to compare.
    HWND plain = NewBar(50, kWhite, kWhite);
    ASSERT_NE(nullptr, plain);
    lib.stepTo(plain, 100);
    EXPECT_TRUE(Drawn(plain).pixels == CaptionOnWhite(testkit::Wide("载入完成")).pixels);
}

TEST_F(LoadBarTest, UninitRefusesWhileABarLives) {
    HWND bar = NewBar(10, kRed, kBlue);
    ASSERT_NE(nullptr, bar);
    EXPECT_FALSE(lib.uninit());
    DestroyWindow(bar);
    EXPECT_TRUE(lib.uninit());
    EXPECT_EQ(nullptr, NewBar(10, kRed, kBlue)) << "no class, no bar";
    EXPECT_EQ(0, lib.stepTo(bar, 10)) << "a bar that is gone answers nothing";
    EXPECT_NE(0, lib.init());
}

TEST_F(LoadBarTest, ShownBarsPaintOnScreenAndArePictured) {
    HWND forty = NewBar(15, RGB(0, 0, 255), RGB(0, 255, 0));
    HWND full = NewBar(65, RGB(0, 0, 255), RGB(0, 255, 0));
    ASSERT_TRUE(forty && full);
    lib.stepTo(forty, 40);
    lib.stepTo(full, 100);
    ShowWindow(forty, SW_SHOW);
    ShowWindow(full, SW_SHOW);
    UpdateWindow(parent);
    testkit::PumpFor(300);

    testkit::Capture shot = testkit::CaptureWindow(parent);
    ASSERT_EQ(260, shot.width);
    EXPECT_TRUE(Near(shot.At(10 + 1, 16), RGB(0, 0, 255), 6));
    EXPECT_TRUE(Near(shot.At(10 + 78, 16), RGB(0, 255, 0), 8)) << "40 % of 200 pixels";
    EXPECT_EQ(kWhite, shot.At(10 + 81, 16));
    EXPECT_TRUE(Near(shot.At(10 + kWidth - 1, 66), RGB(0, 255, 0), 6));
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    EXPECT_TRUE(testkit::SaveBitmapFile(shot, testkit::ProgramDir() + L"screenshots\\loadbar.bmp"));
}

}  // namespace
