// Drawing helpers (pixel checks in a memory bitmap) and window centring.
//
// The drawing helpers read their colours from the program folder and keep some pens for
// the life of the process, so their checks run in a copy of this test program started in
// a folder of its own, with a colour file written for it.
#include <gtest/gtest.h>

#include <string>

#include "CommonKit.h"
#include "Handles.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "VantorMessages.h"

namespace {

using testkit::Canvas;

const wchar_t kChildMarker[] = L"CK_DRAW_IN_OWN_FOLDER";
const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);
const COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

bool InOwnFolder() { return GetEnvironmentVariableW(kChildMarker, nullptr, 0) > 0; }

void WriteColours(const std::string& body) {
    std::wstring folder = testkit::ProgramDir() + L"resource\\stagebay\\";
    CreateDirectoryW((testkit::ProgramDir() + L"resource").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testkit::WriteFileBytes(folder + L"config.cfg", body));
}


}  // namespace

TEST(Drawing, RunsInAFolderWithItsOwnColourFile) {
    if (InOwnFolder()) GTEST_SKIP() << "already the copy";
    std::wstring dir = testkit::FreshDir(L"ck-draw");
    std::wstring copy = testkit::CopyThisExeTo(dir);
    ASSERT_FALSE(copy.empty());
    ASSERT_TRUE(testkit::CopyFromProgramDir(dir, L"CommonKit.dll"));
    DWORD code = testkit::RunProgram(copy, L"--gtest_filter=DrawingInOwnFolder.*", dir, {{kChildMarker, L"1"}});
    EXPECT_EQ(0u, code) << "the drawing checks failed (see their output above)";
    EXPECT_EQ("done", testkit::ReadFileBytes(dir + L"drawing-done.txt")) << "the drawing checks did not run";
}

TEST(DrawingInOwnFolder, LinesFramesAndArcsInTheFileColours) {
    if (!InOwnFolder()) GTEST_SKIP() << "runs only in its own folder";
    WriteColours("[rgb]\r\nline_1=255,0,0\r\nline_2=0,0,255\r\nframe_1=255,0,0\r\nframe_2=,0,,255,0\r\n"
                 "frame_3=0,0,255\r\n");
    wchar_t folder[MAX_PATH] = {};
    ASSERT_EQ(1, _GetModuleDirW(folder, MAX_PATH));
    EXPECT_EQ(testkit::ProgramDir(), folder);

    {
        Canvas canvas(200, 40);
        vantor::UniqueGdi<HPEN> own(CreatePen(PS_SOLID, 1, kGreen));
        SelectObject(canvas.dc(), own.get());
        EXPECT_TRUE(DrawLine(canvas.dc(), 0, 10, 100, 10));
        EXPECT_EQ(own.get(), GetCurrentObject(canvas.dc(), OBJ_PEN)) << "previous pen not restored";
        EXPECT_EQ(100, canvas.Count(kRed, 0, 10, 200, 11));
        EXPECT_EQ(100, canvas.Count(kBlue, 0, 9, 200, 10));
        EXPECT_EQ(kWhite, canvas.At(50, 11));
        EXPECT_EQ(kWhite, canvas.At(50, 8));

        Draw3Line(canvas.dc(), 0, 20, 100, 20, 1);
        EXPECT_EQ(kRed, canvas.At(50, 20));
        EXPECT_EQ(kGreen, canvas.At(50, 21));
        EXPECT_EQ(kBlue, canvas.At(50, 22));
        EXPECT_EQ(kWhite, canvas.At(50, 23));
        Draw3Line(canvas.dc(), 0, 30, 100, 30, 0);
        EXPECT_EQ(kBlue, canvas.At(50, 30)) << "unshifted lines: the last one shows";
        EXPECT_EQ(kWhite, canvas.At(50, 29));
        EXPECT_EQ(kWhite, canvas.At(50, 31));
        Draw3Line(canvas.dc(), 150, 5, 150, 35, -1);
        EXPECT_EQ(kRed, canvas.At(150, 20));
        EXPECT_EQ(kGreen, canvas.At(149, 20));
        EXPECT_EQ(kBlue, canvas.At(148, 20));
        EXPECT_EQ(kWhite, canvas.At(151, 20));
        EXPECT_EQ(own.get(), GetCurrentObject(canvas.dc(), OBJ_PEN));
    }

    {
        Canvas canvas(100, 100);
        Draw3Arc(canvas.dc(), 90, 180, 50, 50, 30, 1);
        // The upper-left quarter only (allowing for the 3-pixel pen around the end points).
        EXPECT_GT(canvas.Count(kGreen, 0, 0, 50, 50), 30);
        EXPECT_EQ(0, canvas.Count(kGreen, 53, 0, 100, 100));
        EXPECT_EQ(0, canvas.Count(kGreen, 0, 53, 100, 100));
        EXPECT_GT(canvas.Count(kGreen, 27, 27, 32, 32), 0) << "nothing at 135 degrees";
        EXPECT_EQ(0, canvas.Count(kRed, 0, 0, 100, 100) + canvas.Count(kBlue, 0, 0, 100, 100));
    }

    // Frame pens were made once; the line pens are read at every call.
    WriteColours("[rgb]\r\nline_1=0,255,0\r\nframe_1=0,0,0\r\nframe_2=0,0,0\r\nframe_3=0,0,0\r\n");
    {
        Canvas canvas(120, 20);
        Draw3Line(canvas.dc(), 0, 5, 100, 5, 1);
        EXPECT_EQ(kRed, canvas.At(50, 5));
        DrawLine(canvas.dc(), 0, 15, 100, 15);
        EXPECT_EQ(kGreen, canvas.At(50, 15));
        EXPECT_EQ(kBlack, canvas.At(50, 14)) << "a missing key is black";
    }
    DeleteFileW((testkit::ProgramDir() + L"resource\\stagebay\\config.cfg").c_str());
    {
        Canvas canvas(120, 20);
        DrawLine(canvas.dc(), 0, 15, 100, 15);
        EXPECT_EQ(kBlack, canvas.At(50, 15));
        EXPECT_EQ(kBlack, canvas.At(50, 14));
    }
    if (!HasFailure()) testkit::WriteFileBytes(testkit::ProgramDir() + L"drawing-done.txt", "done");
}

namespace {

// Windows of this class answer WM_QUERYCENTERWND with g_centreAnswer and count the asks.
HWND g_centreAnswer = nullptr;
int g_centreAsks = 0;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYCENTERWND) {
        ++g_centreAsks;
        return reinterpret_cast<LRESULT>(g_centreAnswer);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class CentreTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ProbeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CkCentreProbe";
        RegisterClassW(&wc);
        g_centreAnswer = nullptr;
        g_centreAsks = 0;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_, 0);
    }
    void TearDown() override {
        for (HWND w : windows_) DestroyWindow(w);
    }
    HWND Make(DWORD style, int x, int y, int width, int height, HWND parent = nullptr) {
        HWND w = CreateWindowExW(0, L"CkCentreProbe", L"", style, x, y, width, height, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(nullptr, w);
        windows_.insert(windows_.begin(), w);
        return w;
    }
    static RECT Where(HWND w, HWND relativeTo = nullptr) {
        RECT r = {};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, relativeTo, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    std::vector<HWND> windows_;
    RECT work_ = {};
};

}  // namespace

TEST_F(CentreTest, ChildWindowsCentreInTheirParentOrWhereItPoints) {
    HWND parent = Make(WS_POPUP | WS_VISIBLE, 40, 30, 400, 300);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 100, 50, parent);
    EXPECT_TRUE(CenterWindow(child, nullptr));
    EXPECT_EQ(1, g_centreAsks);
    RECT r = Where(child, parent);
    EXPECT_EQ(150, r.left);
    EXPECT_EQ(125, r.top);
    EXPECT_EQ(100, r.right - r.left);

    g_centreAnswer = Make(WS_CHILD | WS_VISIBLE, 200, 100, 100, 100, parent);
    EXPECT_TRUE(CenterWindow(child, nullptr));
    r = Where(child, parent);
    EXPECT_EQ(200, r.left);
    EXPECT_EQ(125, r.top);
}

TEST_F(CentreTest, TopLevelWindowsCentreOnOwnerOrWorkArea) {
    ASSERT_GE(work_.right - work_.left, 640);
    ASSERT_GE(work_.bottom - work_.top, 480);
    int ox = work_.left + 100, oy = work_.top + 100;
    HWND owner = Make(WS_POPUP | WS_VISIBLE, ox, oy, 200, 200);
    HWND window = Make(WS_POPUP, 0, 0, 100, 60, owner);
    HWND active = GetActiveWindow();

    EXPECT_TRUE(CenterWindow(window, nullptr));
    EXPECT_EQ(1, g_centreAsks);
    RECT r = Where(window);
    EXPECT_EQ(ox + 50, r.left);
    EXPECT_EQ(oy + 70, r.top);
    EXPECT_EQ(100, r.right - r.left);
    EXPECT_EQ(60, r.bottom - r.top);
    EXPECT_EQ(active, GetActiveWindow()) << "centring activated the window";

    // The owner names another window to centre on.
    g_centreAnswer = Make(WS_POPUP | WS_VISIBLE, ox + 200, oy + 100, 200, 100);
    EXPECT_TRUE(CenterWindow(window, nullptr));
    r = Where(window);
    EXPECT_EQ(ox + 250, r.left);
    EXPECT_EQ(oy + 120, r.top);

    // A window wider than the work area starts at its left edge.
    HWND wide = Make(WS_POPUP, 0, 0, work_.right - work_.left + 200, 50);
    EXPECT_TRUE(CenterWindow(wide, nullptr));
    r = Where(wide);
    EXPECT_EQ(work_.left, r.left);
    EXPECT_EQ((work_.top + work_.bottom) / 2 - 25, r.top);

    // A minimised owner, or a hidden window given to centre on, leaves the work area.
    g_centreAnswer = nullptr;
    ShowWindow(owner, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(owner));
    EXPECT_TRUE(CenterWindow(window, nullptr));
    r = Where(window);
    EXPECT_EQ((work_.left + work_.right) / 2 - 50, r.left);
    EXPECT_EQ((work_.top + work_.bottom) / 2 - 30, r.top);
    HWND hidden = Make(WS_POPUP, ox, oy, 50, 50);
    MoveWindow(window, 0, 0, 100, 60, FALSE);
    EXPECT_TRUE(CenterWindow(window, hidden));
    r = Where(window);
    EXPECT_EQ((work_.left + work_.right) / 2 - 50, r.left);

    EXPECT_FALSE(CenterWindow(nullptr, nullptr));
}
