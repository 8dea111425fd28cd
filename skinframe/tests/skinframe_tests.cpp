// The skinned dialog base driven through dialogs derived in another module, with real
// (synthetic) mouse input under the test display.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "TestDialogs.h"
#include "TestSupport.h"
#include "WindowDriver.h"

using namespace skintest;

namespace {

bool HasThisProperty(HWND window) { return GetPropA(window, "this") != nullptr; }

bool IsRect(const RECT& rect, int l, int t, int r, int b) {
    return rect.left == l && rect.top == t && rect.right == r && rect.bottom == b;
}

bool Empty(const RECT& rect) { return IsRectEmpty(&rect) != FALSE; }

// Runs `script` on a second thread once the dialog's window is up, while the test thread
// runs the modal loop. Should the script fail to end the dialog, it is ended with 77 so a
// broken close never hangs the run.
template <typename Script>
int RunModal(CSkinFrame& dialog, UINT templateId, Script script) {
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        DWORD start = GetTickCount();
        while (!(dialog.GetSafeHwnd() && IsWindowVisible(dialog.GetSafeHwnd())) && GetTickCount() - start < 5000)
            Sleep(10);
        Sleep(300);
        HWND window = dialog.GetSafeHwnd();
        script(window);
        start = GetTickCount();
        while (!finished && GetTickCount() - start < 5000) Sleep(10);
        if (!finished) PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 77);
    });
    int result = dialog.DoModal(TestDialogsModule(), templateId, nullptr);
    finished = true;
    driver.join();
    return result;
}

TEST(SkinFrameModal, CloseBoxEndsWithTwoAndDerivedOperationsAreReached) {
    CTraceDialog dialog;
    EXPECT_TRUE(dialog.IsModal());
    std::atomic<LRESULT> ping{0};
    std::atomic<int> hoverHit{0};
    int result = RunModal(dialog, IDD_SKINNED, [&](HWND window) {
        ping = SendMessageW(window, WM_TRACE_PING, 0, 0);
        MouseTo(ScreenCentre(window, dialog.CloseBox()));
        Sleep(200);
        hoverHit = dialog.LastHit();
        MouseButton(true);
        Sleep(50);
        MouseButton(false);
    });
    EXPECT_EQ(2, result);
    EXPECT_EQ(kPingAnswer, ping.load());
    EXPECT_EQ(SKINFRAME_HIT_CLOSE, hoverHit.load());
    EXPECT_TRUE(dialog.IsModal());

    // Nothing before the initialisation message reaches a virtual operation (the template's
    // font message comes first); the skin is loaded inside it, then painting reaches OnDraw
    // and the owner-drawn button reaches OnDrawItem.
    EXPECT_EQ(0, dialog.FirstIndex(CTraceDialog::kMessage, WM_INITDIALOG));
    EXPECT_FALSE(dialog.SawMessage(WM_SETFONT));
    EXPECT_EQ(1, dialog.Count(CTraceDialog::kCustomSkin));
    EXPECT_GT(dialog.FirstIndex(CTraceDialog::kCustomSkin), dialog.FirstIndex(CTraceDialog::kMessage, WM_INITDIALOG));
    EXPECT_GT(dialog.Count(CTraceDialog::kDraw), 0);
    EXPECT_GT(dialog.Count(CTraceDialog::kDrawItem), 0);
    EXPECT_EQ(1, dialog.Count(CTraceDialog::kNcDestroy));
}

TEST(SkinFrameModal, PressReleasedOffTheCloseBoxKeepsTheDialogOpen) {
    CTraceDialog dialog;
    std::atomic<bool> openAfterRelease{false};
    int result = RunModal(dialog, IDD_SKINNED, [&](HWND window) {
        MouseTo(ScreenCentre(window, dialog.CloseBox()));
        Sleep(100);
        MouseButton(true);
        Sleep(50);
        MouseTo(ScreenPoint(window, 40, 70));
        Sleep(100);
        MouseButton(false);
        Sleep(400);
        openAfterRelease = IsWindow(window) && IsWindowVisible(window);
        PostMessageW(window, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(openAfterRelease.load());
    EXPECT_EQ(2, result);

    // The same run for a class whose CSkinFrame part is its second base.
    CDualDialog dual;
    result = RunModal(dual, IDD_SKINNED, [&](HWND window) {
        RECT client = {};
        GetClientRect(window, &client);
        ClickAt(ScreenPoint(window, client.right - 12, 12));
    });
    EXPECT_EQ(2, result);
    EXPECT_GT(dual.Calls(), 0);
    EXPECT_TRUE(dual.TagIntact());
}

TEST(SkinFrameCaption, HitCodesGlyphsAndCaptionButtonMask) {
    struct Case {
        unsigned long mask;
        bool closeGlyph, minimiseGlyph, minimises;
    } cases[] = {{3, true, true, true}, {1, true, false, false}, {0, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mask " << c.mask);
        CTraceDialog dialog(true, c.mask);
        ASSERT_TRUE(dialog.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
        EXPECT_FALSE(dialog.IsModal());
        HWND window = dialog.GetSafeHwnd();
        Pump(300);

        MouseTo(ScreenCentre(window, dialog.CloseBox()));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == SKINFRAME_HIT_CLOSE; }));
        MouseTo(ScreenCentre(window, dialog.MinimizeBox()));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == SKINFRAME_HIT_MINIMIZE; }));
        MouseTo(ScreenPoint(window, 60, 12));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == SKINFRAME_HIT_CAPTION; }));
        MouseTo(ScreenPoint(window, 60, 80));
        EXPECT_TRUE(PumpUntil([&] { return dialog.LastHit() == HTCLIENT; }));
        Pump(200);

        EXPECT_EQ(c.closeGlyph, DarkPixels(window, dialog.CloseBox()) > 0);
        EXPECT_EQ(c.minimiseGlyph, DarkPixels(window, dialog.MinimizeBox()) > 0);

        ClickAt(ScreenCentre(window, dialog.MinimizeBox()));
        EXPECT_EQ(c.minimises, PumpUntil([&] { return IsIconic(window) != FALSE; }, c.minimises ? 3000 : 500));
        EXPECT_TRUE(IsWindow(window));

        EXPECT_FALSE(dialog.Destroy());
        EXPECT_FALSE(IsWindow(window));
    }
}

TEST(SkinFrameCaption, CaptionDragMovesTheWindowAndReturns) {
    CTraceDialog dialog;
    ASSERT_TRUE(dialog.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    HWND window = dialog.GetSafeHwnd();
    Pump(300);
    RECT before = {};
    GetWindowRect(window, &before);
    POINT grip = ScreenPoint(window, 60, 12);
    // The press enters the system's move loop on this thread, so the pointer is driven from
    // another one.
    std::thread driver([grip] {
        MouseTo(grip);
        Sleep(150);
        MouseButton(true);
        Sleep(150);
        MouseTo(POINT{grip.x + 20, grip.y + 15});
        Sleep(100);
        MouseTo(POINT{grip.x + 40, grip.y + 30});
        Sleep(150);
        MouseButton(false);
    });
    Pump(1200);
    driver.join();
    Pump(200);
    // The system's move loop has ended: the dialog answers its own messages again.
    EXPECT_EQ(kPingAnswer, SendMessageW(window, WM_TRACE_PING, 0, 0));
    RECT after = {};
    GetWindowRect(window, &after);
    EXPECT_EQ(before.left + 40, after.left);
    EXPECT_EQ(before.top + 30, after.top);
    dialog.Destroy();
}

TEST(SkinFrameModeless, DestroyCloseAndSelfDeletingDialogs) {
    int runs = DerivedDestructorRuns();
    auto* selfDeleting = new CTraceDialog(true, 3, true);
    ASSERT_TRUE(selfDeleting->Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    HWND window = selfDeleting->GetSafeHwnd();
    EXPECT_EQ(static_cast<CSkinFrame*>(selfDeleting), GetPropA(window, "this"));
    EXPECT_FALSE(selfDeleting->Destroy());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(runs + 1, DerivedDestructorRuns());

    // The window's close message ends a modeless dialog through the skinned close.
    CTraceDialog closed;
    ASSERT_TRUE(closed.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    window = closed.GetSafeHwnd();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
    EXPECT_EQ(1, closed.Count(CTraceDialog::kNcDestroy));

    // Second base: the property holds the CSkinFrame part, not the start of the object.
    CDualDialog dual;
    ASSERT_TRUE(dual.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    window = dual.GetSafeHwnd();
    EXPECT_EQ(static_cast<CSkinFrame*>(&dual), GetPropA(window, "this"));
    EXPECT_NE(static_cast<void*>(&dual), GetPropA(window, "this"));
    EXPECT_EQ(kPingAnswer, SendMessageW(window, WM_TRACE_PING, 0, 0));
    EXPECT_TRUE(dual.TagIntact());
    dual.Destroy();
    EXPECT_FALSE(IsWindow(window));

    // Deleting through the base runs the derived destructor; deleting an object whose window
    // still exists unlinks the window instead of leaving it pointing at freed memory.
    runs = DerivedDestructorRuns();
    CSkinFrame* early = new CTraceDialog(true);
    ASSERT_TRUE(early->Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    window = early->GetSafeHwnd();
    delete early;
    EXPECT_EQ(runs + 1, DerivedDestructorRuns());
    EXPECT_FALSE(HasThisProperty(window));
    Pump(100);
    DestroyWindow(window);
}

TEST(SkinFrameShapes, DefaultSkinGeometryAndRegion) {
    CTraceDialog dialog;
    ASSERT_TRUE(dialog.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    HWND window = dialog.GetSafeHwnd();
    Pump(300);
    RECT client = {};
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;

    EXPECT_EQ(25, dialog.CaptionRect().bottom);
    RECT close = dialog.CloseBox(), minimise = dialog.MinimizeBox();
    EXPECT_TRUE(IsRect(close, w - 17, 7, w - 6, 18));
    EXPECT_TRUE(IsRect(minimise, w - 28, 7, w - 17, 18));
    RECT real = {};
    dialog.GetRealClientRect(&real);
    EXPECT_TRUE(IsRect(real, 2, 27, w - 2, h - 2));
    EXPECT_EQ(RGB(110, 136, 180), dialog.FrameColor());
    EXPECT_TRUE(Near(ClientPixel(window, 1, h / 2), 110, 136, 180, 0));

    // Rounded bottom corners from the shipped masks; everything else stays.
    EXPECT_FALSE(InRegion(window, w - 1, h - 1));
    EXPECT_FALSE(InRegion(window, 0, h - 10));
    EXPECT_TRUE(InRegion(window, 6, h - 10));
    EXPECT_TRUE(InRegion(window, 12, h - 1));
    EXPECT_TRUE(InRegion(window, w / 2, h - 1));
    EXPECT_TRUE(InRegion(window, 0, 0));
    EXPECT_TRUE(InRegion(window, w - 1, 0));

    std::wstring shots = testkit::FreshDir(L"skinframe-shots");
    SaveClientBitmap(window, shots + L"skinned.bmp");
    dialog.Destroy();

    // An unskinned top-level dialog keeps the system's look and its whole window, but for
    // the two rounded bottom corners.
    CTraceDialog plain(false);
    ASSERT_TRUE(plain.Create(TestDialogsModule(), IDD_SYSTEM, nullptr));
    window = plain.GetSafeHwnd();
    Pump(300);
    RECT frame = {};
    GetWindowRect(window, &frame);
    const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
    EXPECT_TRUE(InRegion(window, fw / 2, 1));
    EXPECT_TRUE(InRegion(window, fw - 1, fh / 2));
    EXPECT_TRUE(InRegion(window, fw / 2, fh - 1));
    EXPECT_FALSE(InRegion(window, 0, fh - 1));
    EXPECT_EQ(0, plain.Count(CTraceDialog::kCustomSkin));
    EXPECT_EQ(0, plain.Count(CTraceDialog::kDraw));
    EXPECT_TRUE(Empty(plain.CaptionRect()));
    SaveClientBitmap(window, shots + L"unskinned.bmp");
    plain.Destroy();
}

TEST(SkinFrameShapes, ChildDialogHasNoSkinOrRegionButTransparentStatics) {
    CTraceDialog parent;
    ASSERT_TRUE(parent.Create(TestDialogsModule(), IDD_SKINNED, nullptr));
    CTraceDialog child;
    ASSERT_TRUE(child.Create(TestDialogsModule(), IDD_CHILD, parent.GetSafeHwnd()));
    HWND window = child.GetSafeHwnd();
    Pump(200);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(ERROR, GetWindowRgn(window, region));
    DeleteObject(region);
    EXPECT_EQ(0, child.Count(CTraceDialog::kCustomSkin));
    EXPECT_TRUE(Empty(child.CaptionRect()));

    HDC dc = GetDC(window);
    HBRUSH label = reinterpret_cast<HBRUSH>(
        SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_LABEL))));
    EXPECT_EQ(GetStockObject(NULL_BRUSH), label);
    EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    HBRUSH edit = reinterpret_cast<HBRUSH>(
        SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_READONLY))));
    EXPECT_NE(nullptr, edit);
    EXPECT_NE(GetStockObject(NULL_BRUSH), edit);
    ReleaseDC(window, dc);
    parent.Destroy();
}

}  // namespace
