// The emoticon picker: its picture, drawn off screen and on screen, and the mouse and
// focus handling driven by messages sent to its window.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "EmoticonPicker.h"
#include "Emoticons.h"
#include "Screenshot.h"
#include "TestSupport.h"

using namespace vantor::imkit;

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kGrey = RGB(0x80, 0x80, 0x80);

struct Choice {
    WPARAM index;
    LPARAM icon;
};
std::vector<Choice> g_choices;

LRESULT CALLBACK OwnerProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_EMOTICON_CHOSEN) {
        g_choices.push_back({wParam, lParam});
        return 0;
    }
    return DefWindowProcW(wnd, message, wParam, lParam);
}

HWND MakeOwner(int x, int y) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
        wc.lpszClassName = L"ImkitPickerOwner";
        return RegisterClassW(&wc);
    }();
    if (!atom) return nullptr;
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST, L"ImkitPickerOwner", L"聊天窗口", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               x, y, 360, 140, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return wnd;
}

POINT CellCentre(int index) {
    RECT r = PickerCellRect(index);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }

// The real pointer goes there too: a leave notice would otherwise end the hover at once.
void MoveTo(HWND picker, POINT client) {
    POINT screen = client;
    ClientToScreen(picker, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(picker, WM_MOUSEMOVE, 0, At(client));
}

void Click(HWND picker, POINT down, POINT up) {
    MoveTo(picker, down);
    SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, At(down));
    MoveTo(picker, up);
    SendMessageW(picker, WM_LBUTTONUP, 0, At(up));
}

HWND ShowPicker(HWND owner) {
    HWND picker = OpenEmoticonPicker(owner);
    if (!picker) return nullptr;
    SetWindowPos(picker, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(picker);
    return picker;
}

class Picker : public ::testing::Test {
protected:
    void SetUp() override {
        g_choices.clear();
        owner_ = MakeOwner(40, 40);
        ASSERT_NE(nullptr, owner_);
    }
    void TearDown() override {
        DestroyEmoticonPicker();
        DestroyWindow(owner_);
        testkit::PumpFor(50);
    }
    HWND owner_ = nullptr;
};

}  // namespace

TEST(PickerGrid, CellsAndLines) {
    EXPECT_EQ(0, PickerCellAt({1, 1}));
    EXPECT_EQ(0, PickerCellAt({30, 30}));
    EXPECT_EQ(-1, PickerCellAt({31, 10})) << "grid line";
    EXPECT_EQ(1, PickerCellAt({32, 10}));
    EXPECT_EQ(-1, PickerCellAt({0, 10})) << "border";
    EXPECT_EQ(29, PickerCellAt({309, 92}));
    EXPECT_EQ(-1, PickerCellAt({310, 92}));
    EXPECT_EQ(-1, PickerCellAt({-5, 10}));
    EXPECT_EQ(10, PickerCellAt({1, 32}));
    RECT r = PickerCellRect(13);
    EXPECT_EQ(94, r.left);
    EXPECT_EQ(32, r.top);
    EXPECT_EQ(124, r.right);
    EXPECT_EQ(62, r.bottom);
    EXPECT_TRUE(IsRectEmpty(&(r = PickerCellRect(30))));
}

TEST(PickerGrid, PaintsBorderLinesFacesAndHoverFrame) {
    testkit::Canvas canvas(kPickerWidth, kPickerHeight, RGB(1, 2, 3));
    RECT client{0, 0, kPickerWidth, kPickerHeight};
    PaintPicker(canvas.dc(), client, 12, EmoticonIcon);
    EXPECT_EQ(kBlack, canvas.At(0, 0));
    EXPECT_EQ(kBlack, canvas.At(310, 93));
    EXPECT_EQ(kBlack, canvas.At(150, 93));
    for (int x : {31, 62, 93, 124, 155, 186, 217, 248, 279}) EXPECT_EQ(kGrey, canvas.At(x, 15)) << x;
    EXPECT_EQ(kGrey, canvas.At(200, 31));
    EXPECT_EQ(kGrey, canvas.At(200, 62));
    EXPECT_EQ(kWhite, canvas.At(2, 2)) << "face corners are transparent over white";
    EXPECT_EQ(0, canvas.Count(RGB(1, 2, 3), 0, 0, kPickerWidth, kPickerHeight)) << "every pixel drawn";
    // Cell 12 (row 1, column 2) is framed two pixels wide, the others are not.
    EXPECT_EQ(kBlack, canvas.At(63, 32));
    EXPECT_EQ(kBlack, canvas.At(64, 33));
    EXPECT_EQ(kBlack, canvas.At(92, 61));
    EXPECT_EQ(kBlack, canvas.At(91, 60));
    EXPECT_NE(kBlack, canvas.At(65, 34));
    EXPECT_EQ(kWhite, canvas.At(95, 33));
    // Faces fill the middle of their cells.
    EXPECT_GT(900 - canvas.Count(kWhite, 1, 1, 31, 31), 300);
}

TEST_F(Picker, MadeOnceSizedAndReparented) {
    HWND picker = OpenEmoticonPicker(owner_);
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ(picker, EmoticonPickerWindow());
    EXPECT_EQ(owner_, GetParent(picker));
    EXPECT_TRUE(GetWindowLongW(picker, GWL_STYLE) & WS_CHILD);
    RECT r;
    GetWindowRect(picker, &r);
    EXPECT_EQ(kPickerWidth, r.right - r.left);
    EXPECT_EQ(kPickerHeight, r.bottom - r.top);

    HWND second = MakeOwner(420, 40);
    EXPECT_EQ(picker, OpenEmoticonPicker(second)) << "one picker per process";
    EXPECT_EQ(second, GetParent(picker));
    // A chat window going away hands the picker back before it is destroyed with it.
    ParkEmoticonPicker(owner_, nullptr);
    EXPECT_EQ(second, GetParent(picker)) << "only its holder parks it";
    ParkEmoticonPicker(second, owner_);
    EXPECT_EQ(owner_, GetParent(picker));
    EXPECT_FALSE(IsWindowVisible(picker));
    DestroyWindow(second);
    EXPECT_TRUE(IsWindow(picker));

    // Destroyed with a parent that did not park it: the next open makes a new one.
    HWND third = MakeOwner(420, 40);
    OpenEmoticonPicker(third);
    DestroyWindow(third);
    EXPECT_EQ(nullptr, EmoticonPickerWindow());
    HWND again = OpenEmoticonPicker(owner_);
    ASSERT_NE(nullptr, again);
    EXPECT_TRUE(IsWindow(again));
}

TEST_F(Picker, HoverFrameOnScreenAndPicture) {
    HWND picker = ShowPicker(owner_);
    ASSERT_NE(nullptr, picker);
    MoveTo(picker, CellCentre(13));
    UpdateWindow(picker);
    testkit::PumpFor(200);
    testkit::Capture shot = testkit::CaptureWindow(picker);
    ASSERT_EQ(kPickerWidth, shot.width);
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::SaveBitmapFile(shot, testkit::ProgramDir() + L"screenshots\\emoticon-picker.bmp");

    EXPECT_EQ(kBlack, shot.At(94, 32));
    EXPECT_EQ(kBlack, shot.At(95, 33));
    EXPECT_EQ(kBlack, shot.At(123, 61));
    EXPECT_NE(kBlack, shot.At(96, 34));
    EXPECT_EQ(kWhite, shot.At(125, 32)) << "the next cell has no frame";
    EXPECT_EQ(kGrey, shot.At(124, 10));
    for (int i = 0; i < kEmoticonCount; ++i) {
        RECT cell = PickerCellRect(i);
        InflateRect(&cell, -4, -4);
        EXPECT_TRUE(shot.Holds(cell, RGB(60, 40, 20)) || shot.Holds(cell, kBlack)) << "face " << i << " shows";
    }

    // Moving on repaints the old cell without its frame.
    MoveTo(picker, CellCentre(14));
    UpdateWindow(picker);
    testkit::PumpFor(100);
    shot = testkit::CaptureWindow(picker);
    EXPECT_NE(kBlack, shot.At(94, 32));
    EXPECT_EQ(kBlack, shot.At(125, 32));
    // Leaving clears the hover.
    SendMessageW(picker, WM_MOUSELEAVE, 0, 0);
    UpdateWindow(picker);
    testkit::PumpFor(100);
    shot = testkit::CaptureWindow(picker);
    EXPECT_NE(kBlack, shot.At(125, 32));
}

TEST_F(Picker, ReleaseOnThePressedCellChoosesIt) {
    HWND picker = ShowPicker(owner_);
    ASSERT_NE(nullptr, picker);
    Click(picker, CellCentre(17), CellCentre(17));
    ASSERT_EQ(1u, g_choices.size());
    EXPECT_EQ(17u, g_choices[0].index);
    EXPECT_EQ(reinterpret_cast<LPARAM>(EmoticonIcon(17)), g_choices[0].icon);
    EXPECT_NE(0, g_choices[0].icon);
    EXPECT_FALSE(IsWindowVisible(picker));
    EXPECT_EQ(nullptr, GetCapture());

    // The owner was forgotten with the choice: a stray release tells nobody.
    ShowWindow(picker, SW_SHOW);
    Click(picker, CellCentre(3), CellCentre(3));
    EXPECT_EQ(1u, g_choices.size());
}

TEST_F(Picker, ReleaseElsewhereChoosesNothing) {
    HWND picker = ShowPicker(owner_);
    ASSERT_NE(nullptr, picker);
    Click(picker, CellCentre(2), CellCentre(5));
    EXPECT_TRUE(g_choices.empty());
    EXPECT_FALSE(IsWindowVisible(picker));
    EXPECT_EQ(nullptr, GetCapture());

    ShowPicker(owner_);
    Click(picker, CellCentre(2), POINT{400, 60});
    EXPECT_TRUE(g_choices.empty()) << "released outside the grid";
    EXPECT_FALSE(IsWindowVisible(picker));

    ShowPicker(owner_);
    Click(picker, POINT{31, 10}, CellCentre(1));
    EXPECT_TRUE(g_choices.empty()) << "pressed on a grid line";
    EXPECT_FALSE(IsWindowVisible(picker));
}

TEST_F(Picker, HiddenOnDeactivationAndLossOfFocus) {
    HWND picker = ShowPicker(owner_);
    ASSERT_NE(nullptr, picker);
    SendMessageW(picker, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(IsWindowVisible(picker));

    ShowPicker(owner_);
    SendMessageW(picker, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(IsWindowVisible(picker)) << "activation keeps it";

    SetForegroundWindow(owner_);
    SetFocus(picker);
    testkit::PumpFor(50);
    ASSERT_EQ(picker, GetFocus());
    SetFocus(owner_);
    EXPECT_FALSE(IsWindowVisible(picker));
}
