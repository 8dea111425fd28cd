// The after-sale pane in the container, signed in against a platform script, its pages on
// nginx: the page it chooses, the apply with its failures and success, what closing tells
// plug -13, and the keyboard hook.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "ContactRecords.h"
#include "DestroyedBrowsers.h"
#include "DialogDriver.h"
#include "ModulePath.h"
#include "PaneHost.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TestPages.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/SurfView.h"
#include "outside/zumbase.h"

namespace {

const PlugId kPane = 31;
const char kChild[] = "AfterCareChild.Run";

using panetest::Count;
using panetest::Joined;

// Service 19 held but not registered (status 0), with the user's codes ready for when it is.
std::string Script() {
    return "[Customer]\r\naccount=ac01\r\n[Suite]\r\nid=AC\r\n[Services]\r\nlist=19\r\n[Service.19]\r\nname=after\r\n"
           "state=0\r\ncodes=2\r\ncode0=user01\r\ncode1=pw01\r\n[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n"
           "[Subscribe]\r\n19=-5\r\n[Errors]\r\nZum_SubscribeService=X\r\n";
}

void Configure(testkit::PaneRig& rig, const std::string& serviceUrl) {
    rig.Platform(Script());
    rig.Pane(kPane, L"AfterCare.dll");
    std::string dir = vantor::WideToAnsi(rig.dir());
    WritePrivateProfileStringA("CommonUrl", "ServiceUrl", serviceUrl.c_str(), (dir + "config\\commprof.cfg").c_str());
    WritePrivateProfileStringA("Dialog", "Caption", testkit::Ansi("售后服务").c_str(), (dir + "config\\uiprof.cfg").c_str());
}

TEST(AfterCare, AppliesFromTheApplicationPageAndMovesToTheUsagePage) {
    testkit::PaneRig rig(L"aftercare");
    std::string base = testkit::PublishPages(L"aftercare");
    ASSERT_FALSE(base.empty());
    Configure(rig, base);
    std::string notes = panetest::RunChild(rig, kChild, "apply", L"aftercare.bmp");

    EXPECT_NE(std::string::npos, notes.find("visible=1 topmost=1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("shot 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("box 售后服务: 请先填写表格\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("box 售后服务: 售后服务注册失败——X！\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("box 售后服务: 售后服务注册失败！\n")) << notes;
    EXPECT_EQ(3u, Count(notes, "Zum_SubscribeService(19,info:name=Li&phone=5550123&machine=X1)")) << notes;
    EXPECT_NE(std::string::npos, notes.find("status after apply 1\n")) << notes;

    std::string surf = Joined(rig.SurfTrace());
    EXPECT_NE(std::string::npos, surf.find("uihandler set")) << surf;
    EXPECT_NE(std::string::npos, surf.find("navigate " + base + "19/apply/index.html")) << surf;
    EXPECT_EQ(std::string::npos, surf.find("NavigateError")) << surf;
    EXPECT_NE(std::string::npos, surf.find("script JS_SetAfterServiceInfo(\"\") -> true")) << surf;
    EXPECT_NE(std::string::npos, surf.find("navigate " + base + "19/using/index.html")) << surf;
    EXPECT_NE(std::string::npos, surf.find("script JS_SetAfterServiceInfo(\"user01\",\"pw01\") -> true")) << surf;
    EXPECT_NE(std::string::npos, surf.find("key 9")) << surf;

    // What plug -13 and the information pane were told.
    std::string trace = rig.Read(L"trace.log");
    EXPECT_NE(std::string::npos, trace.find("plug-13.dll Message 3024 w=0 l=1")) << trace;
    EXPECT_NE(std::string::npos, trace.find("plug-8.dll DoCommand 1")) << trace;
}

TEST(AfterCare, WithoutAServicePageItStaysHiddenAndUnhooked) {
    testkit::PaneRig rig(L"aftercare-nourl");
    Configure(rig, "");
    std::string notes = panetest::RunChild(rig, kChild, "nourl");
    EXPECT_NE(std::string::npos, notes.find("visible=0")) << notes;
    std::string surf = Joined(rig.SurfTrace());
    EXPECT_EQ(std::string::npos, surf.find("navigate")) << surf;
    EXPECT_EQ(std::string::npos, surf.find("key 9")) << surf;
    std::string trace = rig.Read(L"trace.log");
    EXPECT_NE(std::string::npos, trace.find("plug-13.dll Message 3024 w=0 l=0")) << trace;
}

TEST(AfterCare, APageThatClosesItsWindowLeavesNoBrowserToUse) {
    testkit::PaneRig rig(L"aftercare-close");
    std::string base = testkit::PublishPages(L"aftercareclose");
    ASSERT_FALSE(base.empty());
    Configure(rig, base);
    // The closed browser stays behind as a window of no size, which a pane still holding it
    // would move.
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, L"1");
    std::string notes = panetest::RunChild(rig, kChild, "pageclose");
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, nullptr);
    EXPECT_NE(std::string::npos, notes.find("browser gone\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("destroyed browsers 1, moved 0\n")) << notes;
    EXPECT_EQ(1u, Count(notes, "Zum_SubscribeService(19,info:name=Li&phone=5550123&machine=X1)")) << notes;
    EXPECT_NE(std::string::npos, notes.find("box 售后服务: 售后服务注册失败——X！\n")) << notes;
    std::string surf = Joined(rig.SurfTrace());
    EXPECT_NE(std::string::npos, surf.find("WindowClosing -> close")) << surf;
    EXPECT_EQ(1u, Count(surf, "navigate ")) << "nothing is opened after the page went\n" << surf;
}

// --- the child side

HWND g_pane = nullptr;
std::mutex g_boxesLock;
std::string g_boxes;

BOOL CALLBACK AnswerBox(HWND window, LPARAM) {
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    // The pane's boxes: owned by the window with the pane's caption (a page may ask for a box
    // before the pane's window is known here).
    wchar_t owner[32] = {};
    GetWindowTextW(GetWindow(window, GW_OWNER), owner, ARRAYSIZE(owner));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (lstrcmpW(cls, L"#32770") != 0 || lstrcmpW(owner, testkit::Wide("售后服务").c_str()) != 0 ||
        process != GetCurrentProcessId() || !IsWindowVisible(window)) {
        return TRUE;
    }
    std::string text = panetest::BoxText(window);
    if (text.empty()) return TRUE;  // still being made
    {
        std::lock_guard<std::mutex> lock(g_boxesLock);
        g_boxes += "box " + text + "\n";
    }
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 50 && IsWindow(window); ++i) Sleep(20);
    return TRUE;
}

void WatchBoxes(std::atomic<bool>* stop) {
    while (!*stop) {
        EnumWindows(AnswerBox, 0);
        Sleep(30);
    }
}

void Click(HWND browser, const std::wstring& url) {
    panetest::Click(browser, url);
    testkit::PumpFor(500);
}

void SetScript(const char* section, const char* key, const char* value) {
    auto set = vantor::ProcAddress<decltype(&ZumStub_Set)>(GetModuleHandleW(L"zumbase.dll"), "ZumStub_Set");
    ASSERT_NE(nullptr, set);
    set(section, key, value);
}

std::string PlatformLog() {
    auto log = vantor::ProcAddress<decltype(&ZumStub_GetLog)>(GetModuleHandleW(L"zumbase.dll"), "ZumStub_GetLog");
    if (!log) return std::string();
    std::string text(static_cast<size_t>(log(nullptr, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(log(&text[0], static_cast<int>(text.size()))));
    return text;
}

void Apply(HWND browser) { Click(browser, L"event:<element%20id=%222%22%20a1=%22go%22/>"); }

TEST(AfterCareChild, Run) {
    std::string mode = panetest::ChildMode();
    if (mode.empty()) GTEST_SKIP() << "runs inside the rig";
    std::atomic<bool> stop(false);
    std::thread boxes(WatchBoxes, &stop);
    if (mode == "pageclose") {
        panetest::Host host(true);
        g_pane = host.Window(kPane);
        ASSERT_NE(nullptr, g_pane);
        bool gone = testkit::PumpUntilDone([] { return !FindWindowExW(g_pane, nullptr, L"SurfViewBrowser", nullptr); }, 5000);
        if (gone) panetest::Note("browser gone");
        testkit::PumpFor(300);  // the apply's answer
        // A move, a key for the page and the pane's end, each without the browser.
        auto move = vantor::ProcAddress<PFN_TabPlug_Move>(host.Module(kPane), TABPLUG_MOVE_NAME);
        if (move) move(host.Plug(kPane), 40, 40, 640, 520);
        PostMessageW(g_pane, WM_KEYDOWN, VK_TAB, 0);
        testkit::PumpFor(300);
        testkit::DestroyedBrowsers destroyed = testkit::CountDestroyedBrowsers(GetCurrentProcessId());
        panetest::Note("destroyed browsers " + std::to_string(destroyed.count) + ", moved " +
                       std::to_string(destroyed.moved));
        panetest::Note(PlatformLog());
        stop = true;
        boxes.join();
        panetest::Note(g_boxes);
        return panetest::Finish();
    }
    {
        panetest::Host host(true);
        g_pane = host.Window(kPane);
        ASSERT_NE(nullptr, g_pane);
        testkit::PumpFor(500);
        bool topmost = (GetWindowLongW(g_pane, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        panetest::Note("visible=" + std::to_string(IsWindowVisible(g_pane) ? 1 : 0) +
                       " topmost=" + std::to_string(topmost ? 1 : 0));
        HWND browser = FindWindowExW(g_pane, nullptr, L"SurfViewBrowser", nullptr);
        ASSERT_NE(nullptr, browser);
        if (mode == "apply") {
            panetest::Shoot(g_pane);
            Click(browser, L"event:<element%20id=%221%22%20a1=%22" + testkit::Wide("请先填写表格") + L"%22/>");
            Apply(browser);  // refused with "X"
            SetScript("Stub", "null_error", "1");
            Apply(browser);  // refused without a message
            SetScript("Stub", "null_error", nullptr);
            SetScript("Subscribe", "19", nullptr);
            Apply(browser);  // accepted
            testkit::PumpFor(500);
            Apply(browser);  // registered now: ignored
            ServicePolicyInfoA policy = {};
            auto ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
            auto current = vantor::ProcAddress<FriendHandle(WINAPI*)(HostContext)>(ledger, "RostLedger_GetCurrentAccount");
            auto query = vantor::ProcAddress<BOOL(WINAPI*)(HostContext, FriendHandle, DWORD, ServicePolicyInfoA*)>(
                ledger, "RostLedger_QueryFriendServicePolicyA");
            if (current && query && query(1, current(1), 19, &policy)) {
                panetest::Note("status after apply " + std::to_string(policy.flags[4]));
            }
        }
        // Tab in the page goes to the browser before the dialog.
        PostMessageW(browser, WM_KEYDOWN, VK_TAB, 0);
        testkit::PumpFor(200);
        // The caption's close button, then a close from the host.
        PostMessageW(g_pane, WM_SYSCOMMAND, SC_CLOSE, 2);
        PostMessageW(g_pane, WM_CLOSE, 0, 0);
        testkit::PumpFor(300);
        panetest::Note("after close window=" + std::to_string(IsWindow(g_pane) ? 1 : 0));
        panetest::Note(PlatformLog());
    }
    stop = true;
    boxes.join();
    panetest::Note(g_boxes);
    panetest::Finish();
}

}  // namespace
