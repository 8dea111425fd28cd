// Proves the Wine rig: the things every later test relies on.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>
#include <windows.h>
#include <msxml2.h>

#include "Handles.h"
#include "ImFake.h"
#include "ModulePath.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

const CLSID kDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID kIXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

TEST(Rig, AnsiCodePageIs936) {
    EXPECT_EQ(936u, GetACP());
    // A Chinese text survives the round trip through the ANSI code page.
    std::wstring text = testkit::Wide("电话好友");
    EXPECT_EQ(8u, testkit::Ansi("电话好友").size());
    EXPECT_EQ(4u, text.size());
}

// Posts to a fake from several threads at once, each thread's posts starting and ending
// while the others' are in flight (as a test that polls one fake while it programs
// another): every one is answered.
TEST(Rig, LoopbackPostsFromSeveralThreadsAtOnceAreAllAnswered) {
    const testkit::ImFake& fake = testkit::ImFake::Get();
    ASSERT_TRUE(fake.loaded) << "the im_fake fixture did not run";
    std::atomic<int> unanswered{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&fake, &unanswered, t] {
            for (int i = 0; i < 60; ++i) {
                std::string reply;
                if (testkit::LoopbackPost(fake.http, "/_ctl/sessions", "", &reply) != 200) ++unanswered;
                Sleep((i + t) % 4 * 5);
            }
        });
    }
    for (std::thread& poster : posters) poster.join();
    EXPECT_EQ(0, unanswered.load());
}

TEST(Rig, LoadsDllByFileNameAndCallsExports) {
    vantor::UniqueModule probe(vantor::LoadProgramLibrary(L"RigProbe.dll"));
    ASSERT_TRUE(probe) << "RigProbe.dll not found beside the test EXE";
    typedef int(WINAPI * AddFn)(int, int);
    typedef int(WINAPI * VersionFn)();
    auto add = vantor::ProcAddress<AddFn>(probe.get(), "Probe_Add");
    ASSERT_NE(nullptr, add);
    EXPECT_EQ(5, add(2, 3));
    auto version = reinterpret_cast<VersionFn>(reinterpret_cast<void*>(GetProcAddress(probe.get(), MAKEINTRESOURCEA(2))));
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(7, version());
    EXPECT_EQ(nullptr, GetProcAddress(probe.get(), "Probe_Version")) << "NONAME export reachable by name";
    EXPECT_EQ(nullptr, GetProcAddress(probe.get(), "Probe_Missing"));
}

TEST(Rig, CreatesMsxml30DocumentAndQueriesIt) {
    vantor::ScopedCom com;
    vantor::ComPtr<IXMLDOMDocument2> doc;
    ASSERT_EQ(S_OK, CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2, doc.put_void()));
    doc->put_async(VARIANT_FALSE);
    VARIANT_BOOL ok = VARIANT_FALSE;
    vantor::UniqueBstr xml(L"<AddressList><FriendList><Group id=\"10\"/><Group id=\"11\"/></FriendList></AddressList>");
    ASSERT_EQ(S_OK, doc->loadXML(xml.get(), &ok));
    ASSERT_EQ(VARIANT_TRUE, ok);
    vantor::ComPtr<IXMLDOMNodeList> nodes;
    vantor::UniqueBstr query(L"/AddressList/FriendList/Group");
    ASSERT_EQ(S_OK, doc->selectNodes(query.get(), nodes.put()));
    long count = 0;
    nodes->get_length(&count);
    EXPECT_EQ(2, count);
}

TEST(Rig, ReadsIniValuesInBothForms) {
    std::wstring dir = testkit::FreshDir(L"rig-ini");
    std::wstring ini = dir + L"sample.cfg";
    ASSERT_TRUE(WritePrivateProfileStringW(L"Global", L"SkinName", testkit::Wide("默认").c_str(), ini.c_str()));
    wchar_t wide[64] = {};
    GetPrivateProfileStringW(L"Global", L"SkinName", L"error", wide, 64, ini.c_str());
    EXPECT_EQ(testkit::Wide("默认"), wide);
    char ansi[64] = {};
    std::string iniA = vantor::WideToAnsi(ini);
    GetPrivateProfileStringA("Global", "SkinName", "error", ansi, 64, iniA.c_str());
    EXPECT_EQ(testkit::Ansi("默认"), ansi);
    GetPrivateProfileStringA("Global", "Missing", "error", ansi, 64, iniA.c_str());
    EXPECT_STREQ("error", ansi);
}

TEST(Rig, CreatesAWindowOnTheDisplay) {
    HWND window = CreateWindowExW(0, L"STATIC", L"rig", WS_POPUP | WS_VISIBLE, 10, 10, 120, 80,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    RECT rc = {};
    GetClientRect(window, &rc);
    EXPECT_EQ(120, rc.right);
    HDC dc = GetDC(window);
    EXPECT_NE(nullptr, dc);
    ReleaseDC(window, dc);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
}

// Pictures hold one program's windows only, whatever other programs show over them on
// the shared screen: a copy of this program started beside the test shows a window of its
// own over the pictured one.
const wchar_t kHelperVariable[] = L"RIG_TEST_HELPER";
const RECT kPictured = {200, 200, 400, 350};
const RECT kCover = {250, 250, 350, 330};
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kGreen = RGB(0, 255, 0);

LRESULT CALLBACK Solid(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT all;
        GetClientRect(window, &all);
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA)));
        FillRect(reinterpret_cast<HDC>(wParam), &all, brush);
        DeleteObject(brush);
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND SolidWindow(const RECT& r, COLORREF colour, DWORD exStyle, HWND owner = nullptr) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Solid;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RigSolid";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(exStyle, wc.lpszClassName, L"", WS_POPUP, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, owner, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, colour);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return window;
}

std::wstring HelperEvent(const wchar_t* what, DWORD parent) {
    return std::wstring(L"VantorRigHelper") + what + std::to_wstring(parent);
}

// The helper shows a blue window over part of the pictured rectangle, always on top.
TEST(RigHelper, ShowsAWindowUntilTold) {
    wchar_t value[32] = {};
    if (!GetEnvironmentVariableW(kHelperVariable, value, 32)) GTEST_SKIP() << "started by the picture tests";
    DWORD id = wcstoul(value, nullptr, 10);
    HWND shown = SolidWindow(kCover, kBlue, WS_EX_TOPMOST);
    testkit::PumpFor(300);
    vantor::UniqueHandle up(CreateEventW(nullptr, TRUE, FALSE, HelperEvent(L"Up", id).c_str()));
    vantor::UniqueHandle down(CreateEventW(nullptr, TRUE, FALSE, HelperEvent(L"Down", id).c_str()));
    SetEvent(up.get());
    DWORD end = GetTickCount() + 20000;
    while (WaitForSingleObject(down.get(), 0) == WAIT_TIMEOUT && static_cast<LONG>(end - GetTickCount()) > 0) {
        testkit::PumpFor(50);
    }
    DestroyWindow(shown);
}

// Runs the helper while it lives.
class Helper {
public:
    Helper() : id_(GetCurrentProcessId()) {
        up_.reset(CreateEventW(nullptr, TRUE, FALSE, HelperEvent(L"Up", id_).c_str()));
        down_.reset(CreateEventW(nullptr, TRUE, FALSE, HelperEvent(L"Down", id_).c_str()));
        wchar_t exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=RigHelper.*";
        SetEnvironmentVariableW(kHelperVariable, std::to_wstring(id_).c_str());
        STARTUPINFOW start = {sizeof start};
        PROCESS_INFORMATION child = {};
        started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child);
        SetEnvironmentVariableW(kHelperVariable, nullptr);
        if (!started_) return;
        process_.reset(child.hProcess);
        CloseHandle(child.hThread);
        up = WaitForSingleObject(up_.get(), 30000) == WAIT_OBJECT_0;
        testkit::PumpFor(300);
    }
    ~Helper() {
        SetEvent(down_.get());
        if (process_) WaitForSingleObject(process_.get(), 30000);
    }
    bool up = false;

private:
    DWORD id_;
    vantor::UniqueHandle up_, down_, process_;
    BOOL started_ = FALSE;
};

size_t Pixels(const testkit::Capture& picture, COLORREF colour) {
    return static_cast<size_t>(std::count(picture.pixels.begin(), picture.pixels.end(), colour));
}

TEST(Rig, PicturesOfAWindowLeaveOutOtherProgramsWindowsOverIt) {
    if (GetEnvironmentVariableW(kHelperVariable, nullptr, 0)) GTEST_SKIP();
    HWND window = SolidWindow(kPictured, kRed, 0);
    ASSERT_NE(nullptr, window);
    testkit::Capture picture;
    {
        Helper cover;
        ASSERT_TRUE(cover.up) << "the covering window did not come";
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        picture = testkit::CaptureWindow(window);
    }
    DestroyWindow(window);
    ASSERT_EQ(kPictured.right - kPictured.left, picture.width);
    EXPECT_EQ(picture.pixels.size(), Pixels(picture, kRed)) << "pixels of another program's window in the picture";
}

TEST(Rig, PicturesOfAnAreaHoldThisProgramsPopUpsAndNothingOfOthers) {
    if (GetEnvironmentVariableW(kHelperVariable, nullptr, 0)) GTEST_SKIP();
    HWND window = SolidWindow(kPictured, kRed, 0);
    ASSERT_NE(nullptr, window);
    // A pop-up of the window reaching past its right edge, as a tool tip does.
    const RECT tip = {380, 210, 440, 230};
    HWND popup = SolidWindow(tip, kGreen, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, window);
    testkit::Capture picture;
    {
        Helper cover;
        ASSERT_TRUE(cover.up) << "the covering window did not come";
        RECT area = {kPictured.left, kPictured.top, kPictured.right + 60, kPictured.bottom};
        picture = testkit::CaptureArea(area);
    }
    DestroyWindow(popup);
    DestroyWindow(window);
    ASSERT_EQ(kPictured.right - kPictured.left + 60, picture.width);
    EXPECT_EQ(0u, Pixels(picture, kBlue)) << "pixels of another program's window in the picture";
    EXPECT_EQ(static_cast<size_t>((tip.right - tip.left) * (tip.bottom - tip.top)), Pixels(picture, kGreen));
    // The window less the pop-up's part over it.
    EXPECT_EQ(size_t{200 * 150 - 20 * 20}, Pixels(picture, kRed));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), picture.At(picture.width - 1, picture.height - 1)) << "no window there";
}

}  // namespace
