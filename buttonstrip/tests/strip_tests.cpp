// The strip loaded by file name, on a host window under the test display: its panel, the
// grid its buttons take, clicks reaching the host, pictures on the buttons' faces and the
// cursor. Pictures of the strip go to "screenshots\buttonstrip*.bmp".
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ButtonStrip.h"
#include "Handles.h"
#include "ModulePath.h"
#include "Screenshot.h"
#include "TestSupport.h"

namespace {

const COLORREF kHostBack = RGB(250, 240, 200);
const wchar_t kHostClass[] = L"StripTestHost";

struct StripLibrary {
    vantor::UniqueModule module{vantor::LoadProgramLibrary(L"ButtonStrip.dll")};
    ButtonStripCreateProc create = vantor::ProcAddress<ButtonStripCreateProc>(module.get(), "Create");
    ButtonStripDestroyProc destroy = vantor::ProcAddress<ButtonStripDestroyProc>(module.get(), "Destroy");
    ButtonStripMoveProc move = vantor::ProcAddress<ButtonStripMoveProc>(module.get(), "Move");
    ButtonStripAddButtonProc add = vantor::ProcAddress<ButtonStripAddButtonProc>(module.get(), "AddButton");
    ButtonStripResizeButtonProc resize =
        vantor::ProcAddress<ButtonStripResizeButtonProc>(module.get(), "ResizeButton");
    bool Complete() const { return create && destroy && move && add && resize; }
};

std::vector<WPARAM> g_commands;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            g_commands.push_back(wParam);
            return 0;
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(window, &client);
            vantor::UniqueGdi<HBRUSH> brush(CreateSolidBrush(kHostBack));
            FillRect(reinterpret_cast<HDC>(wParam), &client, brush.get());
            return 1;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A picture of rings around the centre, so stretching and placement show by eye.
bool WriteRings(const std::wstring& path, COLORREF inner, COLORREF outer) {
    const int side = 64;
    std::string bytes = testkit::SolidBitmap(side, side, outer);
    size_t stride = side * 3;
    size_t pixels = bytes.size() - stride * side;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int dx = x - side / 2, dy = y - side / 2;
            if ((dx * dx + dy * dy) / 120 % 2) continue;
            char* p = &bytes[pixels + y * stride + x * 3];
            p[0] = static_cast<char>(GetBValue(inner));
            p[1] = static_cast<char>(GetGValue(inner));
            p[2] = static_cast<char>(GetRValue(inner));
        }
    return testkit::WriteFileBytes(path, bytes);
}

RECT RectInPanel(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool IsRect(const RECT& rect, int left, int top, int right, int bottom) {
    return rect.left == left && rect.top == top && rect.right == right && rect.bottom == bottom;
}

std::vector<HWND> Buttons(HWND panel) {
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        buttons.push_back(child);
    return buttons;
}

HWND NewHost() {
    return CreateWindowExW(0, kHostClass, L"strip host", WS_POPUP | WS_VISIBLE, 40, 40, 420, 320, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// One host window for the suite: destroying a shown window costs seconds here.
class StripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSEXW cls = {sizeof(cls)};
        cls.lpfnWndProc = HostProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        cls.lpszClassName = kHostClass;
        RegisterClassExW(&cls);
        host = NewHost();
    }
    static void TearDownTestSuite() { DestroyWindow(host); }
    void SetUp() override {
        ASSERT_TRUE(lib.Complete());
        g_commands.clear();
        dir = testkit::FreshDir(L"buttonstrip");
        const COLORREF colours[][2] = {{RGB(220, 40, 40), RGB(255, 200, 200)}, {RGB(40, 160, 40), RGB(200, 255, 200)},
                                       {RGB(40, 40, 220), RGB(200, 200, 255)}, {RGB(200, 120, 0), RGB(255, 230, 150)}};
        for (int i = 0; i < 4; ++i) {
            pictures.push_back(dir + L"picture" + std::to_wstring(i) + L".bmp");
            ASSERT_TRUE(WriteRings(pictures.back(), colours[i][0], colours[i][1]));
        }
        ASSERT_NE(nullptr, host);
        SetForegroundWindow(host);
        strip = lib.create(host, 10, 10, 410, 310);
        ASSERT_NE(nullptr, strip);
        panel = FindWindowExW(host, nullptr, L"#32770", nullptr);
        ASSERT_NE(nullptr, panel);
    }
    void TearDown() override {
        if (strip) lib.destroy(strip);
        for (HWND child; (child = GetWindow(host, GW_CHILD)) != nullptr;) DestroyWindow(child);
    }
    void AddButtons(int count, int firstId = 1001) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(lib.add(strip, pictures[i % pictures.size()].c_str(), firstId + i));
        testkit::PumpFor(150);
    }
    static void Save(const wchar_t* name) {
        UpdateWindow(host);
        testkit::PumpFor(200);
        CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
        EXPECT_TRUE(testkit::SaveBitmapFile(testkit::CaptureWindow(host),
                                            testkit::ProgramDir() + L"screenshots\\" + name));
    }

    StripLibrary lib;
    std::wstring dir;
    std::vector<std::wstring> pictures;
    static HWND host;
    HWND panel = nullptr;
    HBUTTONSTRIP strip = nullptr;
};
HWND StripTest::host = nullptr;

TEST_F(StripTest, PanelIsAVisibleChildDialogLinkedToTheStrip) {
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(static_cast<void*>(strip), GetPropW(panel, L"this"));
    EXPECT_TRUE(IsRect(RectInPanel(panel), 10, 10, 410, 310));
    AddButtons(1);
    std::vector<HWND> buttons = Buttons(panel);
    ASSERT_EQ(1u, buttons.size());
    wchar_t cls[32] = {};
    GetClassNameW(buttons[0], cls, 32);
    EXPECT_STREQ(L"Button", cls);
    EXPECT_EQ(BS_OWNERDRAW, GetWindowLongW(buttons[0], GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ(1001, GetDlgCtrlID(buttons[0]));
    EXPECT_NE(nullptr, GetPropW(buttons[0], L"gdiiamge"));
}

TEST_F(StripTest, ButtonsTakeTheGridAndRefusedSizesChangeNothing) {
    AddButtons(2);
    std::vector<HWND> buttons = Buttons(panel);
    ASSERT_EQ(2u, buttons.size());
    EXPECT_TRUE(IsRect(RectInPanel(buttons[0]), 30, 5, 170, 145));
    EXPECT_TRUE(IsRect(RectInPanel(buttons[1]), 230, 5, 370, 145));

    AddButtons(5, 1003);
    buttons = Buttons(panel);
    ASSERT_EQ(7u, buttons.size());
    EXPECT_TRUE(IsRect(RectInPanel(buttons[0]), 5, 5, 95, 95));
    EXPECT_TRUE(IsRect(RectInPanel(buttons[3]), 305, 5, 395, 95));
    EXPECT_TRUE(IsRect(RectInPanel(buttons[4]), 5, 105, 95, 195));
    EXPECT_TRUE(IsRect(RectInPanel(buttons[6]), 205, 105, 295, 195));
    Save(L"buttonstrip.bmp");

    EXPECT_FALSE(lib.resize(strip, 0, 0));
    EXPECT_FALSE(lib.resize(strip, 40, -1));
    EXPECT_FALSE(lib.resize(nullptr, 40, 40));
    testkit::PumpFor(100);
    EXPECT_TRUE(IsRect(RectInPanel(buttons[6]), 205, 105, 295, 195));

    EXPECT_TRUE(lib.resize(strip, 50, 60));
    testkit::PumpFor(100);
    EXPECT_TRUE(IsRect(RectInPanel(buttons[0]), 5, 5, 45, 55)) << "8 columns of 50, 5 rows of 60";
    EXPECT_TRUE(IsRect(RectInPanel(buttons[6]), 305, 5, 345, 55));
    Save(L"buttonstrip-small-cells.bmp");

    // Move lays out again in place; the rectangle is not applied.
    SetWindowPos(panel, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(lib.move(strip, 0, 0, 50, 50));
    EXPECT_TRUE(IsRect(RectInPanel(panel), 10, 10, 210, 110));
    // Cells of 50 x 60 give 4 x 1 there; shrunk to 40 x 50 they give 5 x 2.
    EXPECT_TRUE(IsRect(RectInPanel(buttons[5]), 5, 55, 35, 95));
    EXPECT_FALSE(lib.move(nullptr, 0, 0, 1, 1));
}

TEST_F(StripTest, ChildrenBeyondTheGridKeepTheirPlace) {
    SetWindowPos(panel, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
    AddButtons(3);
    std::vector<HWND> buttons = Buttons(panel);
    ASSERT_EQ(3u, buttons.size());
    RECT first = RectInPanel(buttons[0]);
    EXPECT_TRUE(IsRectEmpty(&first));
    SetWindowPos(buttons[2], nullptr, 7, 8, 20, 20, SWP_NOZORDER);
    EXPECT_TRUE(lib.move(strip, 0, 0, 0, 0));
    EXPECT_TRUE(IsRect(RectInPanel(buttons[2]), 7, 8, 27, 28)) << "a 0 x 0 panel has one cell";
}

TEST_F(StripTest, ClickReachesTheHostWithTheButtonsId) {
    AddButtons(2);
    HWND second = Buttons(panel)[1];
    RECT rect;
    GetWindowRect(second, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    testkit::PumpFor(50);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    testkit::PumpFor(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    testkit::PumpFor(200);
    ASSERT_EQ(1u, g_commands.size());
    EXPECT_EQ(MAKEWPARAM(1002, BN_CLICKED), g_commands[0]);

    // Other notifications stay inside the panel.
    SendMessageW(panel, WM_COMMAND, MAKEWPARAM(1002, BN_SETFOCUS), reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(1u, g_commands.size());
}

TEST_F(StripTest, PicturesCoverTheFaceAndAMissingOneLeavesItBare) {
    ASSERT_TRUE(lib.add(strip, pictures[0].c_str(), 1001));
    ASSERT_TRUE(lib.add(strip, (dir + L"missing.bmp").c_str(), 1002));
    testkit::PumpFor(150);
    UpdateWindow(host);
    testkit::PumpFor(150);
    std::vector<HWND> buttons = Buttons(panel);
    testkit::Capture shot = testkit::CaptureWindow(host);
    auto inHost = [&](HWND button) {
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    RECT withPicture = inHost(buttons[0]);
    RECT bare = inHost(buttons[1]);
    EXPECT_TRUE(shot.Holds(withPicture, RGB(220, 40, 40)));
    EXPECT_TRUE(shot.Holds(withPicture, RGB(255, 200, 200)));
    EXPECT_EQ(RGB(220, 40, 40), shot.At((withPicture.left + withPicture.right) / 2, (withPicture.top + withPicture.bottom) / 2));
    // The bare button shows one plain face colour: nothing is drawn over it.
    COLORREF face = shot.At(bare.left + 1, bare.top + 1);
    EXPECT_NE(RGB(220, 40, 40), face);
    for (int y = bare.top; y < bare.bottom; y += 7)
        for (int x = bare.left; x < bare.right; x += 7) ASSERT_EQ(face, shot.At(x, y)) << x << "," << y;
    // Between the buttons the host's background shows: the panel does not erase.
    EXPECT_EQ(kHostBack, shot.At(10 + 200, 10 + 2));
    Save(L"buttonstrip-missing-picture.bmp");
}

TEST_F(StripTest, OnlyStripButtonsShowTheHand) {
    HWND plain = CreateWindowExW(0, L"BUTTON", L"plain", WS_CHILD | WS_VISIBLE, 0, 0, 60, 20, host, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, plain);
    AddButtons(1);
    HWND button = Buttons(panel)[0];
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(arrow), GetClassLongPtrW(plain, GCLP_HCURSOR));

    SetCursor(arrow);
    SendMessageW(button, WM_SETCURSOR, reinterpret_cast<WPARAM>(button), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(hand, GetCursor());
    SendMessageW(plain, WM_SETCURSOR, reinterpret_cast<WPARAM>(plain), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(arrow, GetCursor());
}

TEST_F(StripTest, DestroyFreesOnceAndSurvivesAPanelGoneWithItsParent) {
    AddButtons(2);
    std::vector<HWND> buttons = Buttons(panel);
    EXPECT_TRUE(lib.destroy(strip));
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_FALSE(IsWindow(buttons[0]));
    EXPECT_FALSE(lib.destroy(strip)) << "a strip already freed";
    EXPECT_FALSE(lib.add(strip, pictures[0].c_str(), 1));
    EXPECT_FALSE(lib.destroy(nullptr));

    HWND other = NewHost();
    strip = lib.create(other, 0, 0, 100, 100);
    ASSERT_NE(nullptr, strip);
    DestroyWindow(other);
    EXPECT_FALSE(lib.move(strip, 0, 0, 1, 1)) << "no panel left";
    EXPECT_TRUE(lib.destroy(strip));
    strip = nullptr;
    EXPECT_EQ(nullptr, lib.create(nullptr, 0, 0, 10, 10)) << "a child panel needs a parent";
}

}  // namespace
