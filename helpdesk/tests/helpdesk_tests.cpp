// The self-service pane in the container: its size, page and caption, and what closing it
// tells plug -13.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "DestroyedBrowsers.h"
#include "DialogDriver.h"
#include "HelpDeskLayout.h"
#include "PaneHost.h"
#include "ModulePath.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "VantorMessages.h"
#include "outside/SurfView.h"

namespace {

const PlugId kPane = 30;
const char kChild[] = "HelpDeskChild.Run";

using panetest::Joined;

std::string Script(const std::string& indexUrl) {
    return "[Customer]\r\naccount=hd01\r\n[Suite]\r\nid=HD\r\n[Services]\r\nlist=19\r\n[Service.19]\r\nname=x\r\n"
           "state=1\r\ncodes=0\r\n[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n[DIY]\r\nindexurl=" + indexUrl + "\r\n";
}

void SetCaption(testkit::PaneRig& rig, const char* caption) {
    WritePrivateProfileStringA("Dialog", "Caption", caption, vantor::WideToAnsi(rig.dir() + L"config\\uiprof.cfg").c_str());
}

TEST(HelpDeskLayout, TwoThirdsOfTheScreenAndTheDefaultCaption) {
    SIZE size = helpdesk::PaneSize(1024, 768);
    EXPECT_EQ(682, size.cx);
    EXPECT_EQ(512, size.cy);
    size = helpdesk::PaneSize(1280, 1024);
    EXPECT_EQ(853, size.cx);
    EXPECT_EQ(682, size.cy);
    EXPECT_EQ(L"Harlo客户端", helpdesk::PaneCaption(false, L"error"));
    EXPECT_EQ(L"自助", helpdesk::PaneCaption(true, L"自助"));
}

TEST(HelpDesk, ShowsTheIndexPageCentredAndReportsItsClose) {
    testkit::PaneRig rig(L"helpdesk");
    std::string base = testkit::PublishPages(L"helpdesk");
    ASSERT_FALSE(base.empty());
    rig.Platform(Script(base + "index.html"));
    rig.Pane(kPane, L"HelpDesk.dll");
    SetCaption(rig, testkit::Ansi("自助服务中心").c_str());

    std::string notes = panetest::RunChild(rig, kChild, "signin", L"helpdesk.bmp");
    int width = 0, height = 0, cx = 0, cy = 0, left = 0, top = 0, workLeft = 0, workTop = 0, workRight = 0,
        workBottom = 0;
    size_t at = notes.find("window ");
    ASSERT_NE(std::string::npos, at) << notes;
    ASSERT_EQ(10, sscanf(notes.c_str() + at, "window %d %d %d %d screen %d %d work %d %d %d %d", &left, &top, &width,
                         &height, &cx, &cy, &workLeft, &workTop, &workRight, &workBottom));
    EXPECT_EQ(2 * cx / 3, width);
    EXPECT_EQ(2 * cy / 3, height);
    EXPECT_LE(abs((left + width / 2) - (workLeft + workRight) / 2), 1) << notes;
    EXPECT_LE(abs((top + height / 2) - (workTop + workBottom) / 2), 1) << notes;
    EXPECT_NE(std::string::npos, notes.find("caption 自助服务中心\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after close window=1 visible=1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("shot 1\n")) << notes;

    std::string surf = Joined(rig.SurfTrace());
    EXPECT_NE(std::string::npos, surf.find("create 0 without callback")) << surf;
    EXPECT_NE(std::string::npos, surf.find("navigate " + base + "index.html")) << surf;
    EXPECT_NE(std::string::npos, surf.find("DocumentComplete")) << surf;
    EXPECT_EQ(std::string::npos, surf.find("NavigateError")) << surf;
    EXPECT_EQ(std::string::npos, surf.find("uihandler")) << surf;
    std::string trace = rig.Read(L"trace.log");
    EXPECT_NE(std::string::npos, trace.find("plug-13.dll Command 1827 code=0")) << trace;
}

TEST(HelpDesk, LoadsWithoutClientCoreAndShowsAnEmptyBrowser) {
    testkit::PaneRig rig(L"helpdesk-nocore");
    rig.Pane(kPane, L"HelpDesk.dll");
    SetCaption(rig, nullptr);
    DeleteFileW((rig.dir() + L"ClientCore.dll").c_str());
    std::string notes = panetest::RunChild(rig, kChild, "nosignin");
    EXPECT_NE(std::string::npos, notes.find("caption Harlo客户端\n")) << notes;
    std::string surf = Joined(rig.SurfTrace());
    EXPECT_NE(std::string::npos, surf.find("create 0 without callback")) << surf;
    EXPECT_EQ(std::string::npos, surf.find("navigate")) << surf;
}

TEST(HelpDesk, APageThatClosesItsWindowLeavesNoBrowserToMove) {
    testkit::PaneRig rig(L"helpdesk-close");
    std::string base = testkit::PublishPages(L"surfview");
    ASSERT_FALSE(base.empty());
    rig.Platform(Script(base + "close.html"));
    rig.Pane(kPane, L"HelpDesk.dll");
    // The browser the page closed stays behind as a window of no size, which a pane still
    // holding it would move.
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, L"1");
    std::string notes = panetest::RunChild(rig, kChild, "pageclose");
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, nullptr);
    EXPECT_NE(std::string::npos, notes.find("moved 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("destroyed browsers 1, moved 0\n")) << notes;
    std::string surf = Joined(rig.SurfTrace());
    EXPECT_NE(std::string::npos, surf.find("WindowClosing -> close")) << surf;
}

void PageCloseAndFinish(const panetest::Host& host) {
    HWND window = host.Window(kPane);
    auto show = vantor::ProcAddress<PFN_TabPlug_Show>(host.Module(kPane), TABPLUG_SHOW_NAME);
    auto move = vantor::ProcAddress<PFN_TabPlug_Move>(host.Module(kPane), TABPLUG_MOVE_NAME);
    if (!window || !show || !move) return panetest::Finish();
    show(host.Plug(kPane), 1);
    testkit::PumpUntilDone([&] { return !FindWindowExW(window, nullptr, L"SurfViewBrowser", nullptr); }, 5000);
    panetest::Note("moved " + std::to_string(move(host.Plug(kPane), 20, 20, 620, 470)));
    testkit::PumpFor(200);
    testkit::DestroyedBrowsers destroyed = testkit::CountDestroyedBrowsers(GetCurrentProcessId());
    panetest::Note("destroyed browsers " + std::to_string(destroyed.count) + ", moved " +
                   std::to_string(destroyed.moved));
    panetest::Finish();
}

TEST(HelpDeskChild, Run) {
    std::string mode = panetest::ChildMode();
    if (mode.empty()) GTEST_SKIP() << "runs inside the rig";
    {
        panetest::Host host(mode != "nosignin");
        if (mode == "pageclose") return PageCloseAndFinish(host);
        HWND window = host.Window(kPane);
        ASSERT_NE(nullptr, window);
        auto show = vantor::ProcAddress<PFN_TabPlug_Show>(host.Module(kPane), TABPLUG_SHOW_NAME);
        ASSERT_NE(nullptr, show);
        show(host.Plug(kPane), 1);
        testkit::PumpFor(600);
        RECT rect = {}, work = {};
        GetWindowRect(window, &rect);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        char line[200];
        snprintf(line, sizeof line, "window %ld %ld %ld %ld screen %d %d work %ld %ld %ld %ld", rect.left, rect.top,
                 rect.right - rect.left, rect.bottom - rect.top, GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), work.left, work.top, work.right, work.bottom);
        panetest::Note(line);
        wchar_t caption[128] = {};
        GetWindowTextW(window, caption, ARRAYSIZE(caption));
        panetest::Note("caption " + vantor::EncodeText(caption, CP_UTF8));
        panetest::Shoot(window);
        PostMessageW(window, WM_CLOSE, 0, 0);
        testkit::PumpFor(300);
        panetest::Note("after close window=" + std::to_string(IsWindow(window) ? 1 : 0) +
                       " visible=" + std::to_string(IsWindowVisible(window) ? 1 : 0));
    }
    panetest::Finish();
}

}  // namespace
