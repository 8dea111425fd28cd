// The compact view: its layout as geometry, and the window in the rig with the shipped
// pictures, where the information pane (plug -8) becomes its child and its switch reaches
// the recording tab manager.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "CompactLayout.h"
#include "PaneChild.h"
#include "Screenshot.h"
#include "TestSupport.h"

namespace {

const int kCompactPlug = 53;
// The top row of the shipped title strip and the arrow of the shipped switch picture.
const COLORREF kTitleColour = RGB(190, 214, 240);
const COLORREF kSwitchColour = RGB(40, 100, 170);
const COLORREF kTextColour = RGB(92, 92, 92);

TEST(CompactLayout, StripButtonsAndPane) {
    RECT client = {0, 0, 258, 530};
    compactview::CompactLayout l = compactview::LayOut(client, 18);
    EXPECT_EQ((RECT{0, 0, 258, 18}).bottom, l.title.bottom);
    EXPECT_EQ(258, l.title.right);
    EXPECT_EQ(18, l.pane.top);
    EXPECT_EQ(530, l.pane.bottom);
    EXPECT_EQ(0, l.pane.left);
    EXPECT_EQ(242, l.close.left);
    EXPECT_EQ(256, l.close.right);
    EXPECT_EQ(2, l.close.top);
    EXPECT_EQ(16, l.close.bottom);
    EXPECT_EQ(228, l.toggle.left) << "touching the close button";
    EXPECT_EQ(242, l.toggle.right);
}

RECT ChildRect(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT Strip(HWND view) {
    RECT client;
    GetClientRect(view, &client);
    client.bottom = GetSystemMetrics(SM_CYSIZE);
    // The capture covers the whole window; the view has no frame.
    return client;
}

TEST(CompactViewChild, LaysOutTheInformationPaneAndSwitchesBack) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    panetest::Container container;
    HWND view = container.Window(kCompactPlug);
    ASSERT_TRUE(view);
    wchar_t title[32] = L"";
    GetWindowTextW(view, title, 32);
    EXPECT_STREQ(L"精简界面窗口", title);
    auto command = container.Export<PFN_TabPlug_DoCommand>(kCompactPlug, TABPLUG_DOCOMMAND_NAME);
    ASSERT_TRUE(command);
    SetWindowPos(view, HWND_TOPMOST, 100, 60, 258, 420, SWP_SHOWWINDOW);
    testkit::PumpFor(100);

    // Before plug -8 is its child nothing moves and no title picture is drawn.
    HWND info = container.Window(PLUG_INFO_PANE);
    ASSERT_TRUE(info);
    HWND toggle = GetDlgItem(view, 1001);
    RECT before = ChildRect(view, toggle);
    command(container.Handle(kCompactPlug), 1, 0);
    RECT after = ChildRect(view, toggle);
    EXPECT_TRUE(EqualRect(&before, &after));
    RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    testkit::PumpFor(100);
    EXPECT_FALSE(testkit::CaptureWindow(view).Holds(kTitleColour));

    // As the tab manager places it: a child of the view, shown.
    SetParent(info, view);
    ShowWindow(info, SW_SHOWNA);
    command(container.Handle(kCompactPlug), 1, 0);
    const int h = GetSystemMetrics(SM_CYSIZE);
    RECT client, pane;
    GetClientRect(view, &client);
    pane = ChildRect(view, info);
    EXPECT_EQ(h, pane.top);
    EXPECT_EQ(client.bottom, pane.bottom);
    EXPECT_EQ(client.right, pane.right);
    RECT close = ChildRect(view, GetDlgItem(view, 1002));
    EXPECT_EQ(client.right - 2, close.right);
    EXPECT_EQ(close.left, ChildRect(view, toggle).right);

    EXPECT_TRUE(panetest::SaveShot(view, L"compactview"));
    testkit::Capture shot = testkit::CaptureWindow(view);
    RECT strip = Strip(view);
    EXPECT_TRUE(shot.Holds(strip, kTitleColour));
    EXPECT_TRUE(shot.Holds(strip, kTextColour)) << "the account id";
    // The 25-character picture name is read as its first 19 characters.
    EXPECT_TRUE(shot.Holds(ChildRect(view, toggle), kSwitchColour));

    EXPECT_EQ(0, panetest::TraceCount("TabDeck.dll ChangeStyle 0"));
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), reinterpret_cast<LPARAM>(toggle));
    EXPECT_EQ(1, panetest::TraceCount("TabDeck.dll ChangeStyle 0"));
    RECT unmoved = ChildRect(view, info);
    SendMessageW(view, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(1000, 1000));
    EXPECT_EQ(2, panetest::TraceCount("TabDeck.dll ChangeStyle 0")) << "maximising switches back";
    RECT still = ChildRect(view, info);
    EXPECT_TRUE(EqualRect(&unmoved, &still)) << "and lays nothing out";

    // Without an account the strip has no text.
    auto logoff = reinterpret_cast<int(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ClientCore.dll"), "Cco_Logoff")));
    ASSERT_TRUE(logoff);
    logoff();
    RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    testkit::PumpFor(100);
    shot = testkit::CaptureWindow(view);
    EXPECT_TRUE(shot.Holds(strip, kTitleColour));
    EXPECT_FALSE(shot.Holds(strip, kTextColour));

    SendMessageW(view, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(view));
    EXPECT_TRUE(IsWindow(view));
    ShowWindow(info, SW_HIDE);
    SetParent(info, container.Window(PLUG_TABDECK));
}

TEST(CompactView, InTheRig) {
    testkit::PaneRig rig(L"compactview-rig");
    rig.Pane(kCompactPlug, L"CompactView.dll");
    rig.Platform("[Customer]\r\naccount=vm0042\r\nnickname=lili\r\n[Suite]\r\nid=RIG\r\n[Services]\r\nlist=19\r\n"
                 "[Service.19]\r\nname=after-sale\r\nstate=1\r\nlocator=http://127.0.0.1/service/19\r\n"
                 "[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n");
    // The information pane the user sees in place of the recording plug.
    EXPECT_TRUE(rig.Copy(L"InfoPane.dll", L"plug-8.dll"));
    // The shipped pictures; the switch picture under a 19-character name, given as 25.
    std::string switchPicture = rig.Read(L"resource\\compactview\\switch.bmp");
    ASSERT_FALSE(switchPicture.empty());
    rig.Write(L"resource\\compactview\\switchpicture01.bmp", switchPicture);
    rig.Write(L"resource\\compactview\\config.cfg",
              "[pic]\r\ntitle=title.bmp\r\nswitch_pic=switchpicture01.bmpXXXXXX\r\nclose=close.bmp\r\n");
    EXPECT_EQ(0u, panetest::RunChild(rig, "CompactViewChild.*"));
}

}  // namespace
