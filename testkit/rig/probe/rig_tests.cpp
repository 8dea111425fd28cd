// Proves the Wine rig: the things every later test relies on.
#include <gtest/gtest.h>
#include <windows.h>
#include <msxml2.h>

#include "Handles.h"
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

// A picture of a window holds that window only, whatever another program shows over it on
// the shared screen: a copy of this program covers part of the window meanwhile.
const wchar_t kCoverVariable[] = L"RIG_TEST_COVER";
const RECT kPictured = {200, 200, 400, 350};
const RECT kCover = {250, 250, 350, 330};

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

HWND SolidWindow(const RECT& r, COLORREF colour, DWORD exStyle) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Solid;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RigSolid";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(exStyle, wc.lpszClassName, L"", WS_POPUP, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, colour);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}

std::wstring CoverEvent(const wchar_t* what, DWORD parent) {
    return std::wstring(L"VantorRigCover") + what + std::to_wstring(parent);
}

TEST(RigCover, CoversPartOfTheParentsWindow) {
    wchar_t parent[16] = {};
    if (!GetEnvironmentVariableW(kCoverVariable, parent, 16)) GTEST_SKIP() << "started by the picture test";
    DWORD id = wcstoul(parent, nullptr, 10);
    HWND cover = SolidWindow(kCover, RGB(0, 0, 255), WS_EX_TOPMOST);
    testkit::PumpFor(300);
    vantor::UniqueHandle up(CreateEventW(nullptr, TRUE, FALSE, CoverEvent(L"Up", id).c_str()));
    vantor::UniqueHandle down(CreateEventW(nullptr, TRUE, FALSE, CoverEvent(L"Down", id).c_str()));
    SetEvent(up.get());
    DWORD end = GetTickCount() + 10000;
    while (WaitForSingleObject(down.get(), 0) == WAIT_TIMEOUT && static_cast<LONG>(end - GetTickCount()) > 0) {
        testkit::PumpFor(50);
    }
    DestroyWindow(cover);
}

TEST(Rig, PicturesOfAWindowLeaveOutOtherProgramsWindowsOverIt) {
    if (GetEnvironmentVariableW(kCoverVariable, nullptr, 0)) GTEST_SKIP();
    const COLORREF red = RGB(255, 0, 0);
    HWND window = SolidWindow(kPictured, red, 0);
    ASSERT_NE(nullptr, window);
    DWORD id = GetCurrentProcessId();
    vantor::UniqueHandle up(CreateEventW(nullptr, TRUE, FALSE, CoverEvent(L"Up", id).c_str()));
    vantor::UniqueHandle down(CreateEventW(nullptr, TRUE, FALSE, CoverEvent(L"Down", id).c_str()));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=RigCover.*";
    SetEnvironmentVariableW(kCoverVariable, std::to_wstring(id).c_str());
    STARTUPINFOW start = {sizeof start};
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child);
    SetEnvironmentVariableW(kCoverVariable, nullptr);
    ASSERT_TRUE(started);
    vantor::UniqueHandle process(child.hProcess);
    CloseHandle(child.hThread);
    bool covered = WaitForSingleObject(up.get(), 30000) == WAIT_OBJECT_0;
    testkit::PumpFor(300);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    testkit::Capture picture = testkit::CaptureWindow(window);
    SetEvent(down.get());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 30000));
    DestroyWindow(window);
    ASSERT_TRUE(covered) << "the covering window did not come";
    ASSERT_EQ(kPictured.right - kPictured.left, picture.width);
    size_t others = 0;
    for (COLORREF pixel : picture.pixels) others += pixel != red;
    EXPECT_EQ(0u, others) << "pixels of another program's window in the picture";
}

}  // namespace
