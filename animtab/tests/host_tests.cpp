// The tab window and its movie host, with the movie control stand-in registered in the
// prefix. The host reads and writes the settings of its program folder, so the cases run
// in a copy of this program in a folder of their own ("HostChild", started by "MovieHost").
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PaneRig.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

#include "TabPlug.h"

namespace {

bool InChild() { return GetEnvironmentVariableW(L"ANIMTAB_HOST_CHILD", nullptr, 0) != 0; }

std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

struct TabPlugApi {
    HMODULE module = nullptr;
    PFN_TabPlug_Create create = nullptr;
    PFN_TabPlug_Destroy destroy = nullptr;
    PFN_TabPlug_Move move = nullptr;
    PFN_TabPlug_Show show = nullptr;
    PFN_TabPlug_DoCommand command = nullptr;
    PFN_TabPlug_GetSafeHwnd hwnd = nullptr;
    PFN_TabPlug_ChangeParent reparent = nullptr;

    bool Load() {
        module = LoadLibraryW((testkit::ProgramDir() + L"AnimTab.dll").c_str());
        create = Get<PFN_TabPlug_Create>(TABPLUG_CREATE_NAME);
        destroy = Get<PFN_TabPlug_Destroy>(TABPLUG_DESTROY_NAME);
        move = Get<PFN_TabPlug_Move>(TABPLUG_MOVE_NAME);
        show = Get<PFN_TabPlug_Show>(TABPLUG_SHOW_NAME);
        command = Get<PFN_TabPlug_DoCommand>(TABPLUG_DOCOMMAND_NAME);
        hwnd = Get<PFN_TabPlug_GetSafeHwnd>(TABPLUG_GETSAFEHWND_NAME);
        reparent = Get<PFN_TabPlug_ChangeParent>(TABPLUG_CHANGEPARENT_NAME);
        return create && destroy && move && show && command && hwnd && reparent;
    }
    template <typename Fn>
    Fn Get(const char* name) {
        return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    }
};

HWND Frame(int x) {
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, 0, 480,
                               280, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return wnd;
}

POINT ScreenPoint(HWND wnd, int x, int y) {
    POINT at = {x, y};
    ClientToScreen(wnd, &at);
    return at;
}

typedef HRESULT(STDAPICALLTYPE* RegistrationFn)();
HRESULT MovieControlRegistration(const char* name) {
    HMODULE server = LoadLibraryW(Env(L"ANIMTAB_MOVIECTL").c_str());
    auto fn = reinterpret_cast<RegistrationFn>(reinterpret_cast<void*>(GetProcAddress(server, name)));
    HRESULT hr = fn ? fn() : E_FAIL;
    return hr;
}

TEST(HostChild, MovieInThePane) {
    if (!InChild()) GTEST_SKIP() << "runs in its own folder";
    TabPlugApi api;
    ASSERT_TRUE(api.Load());
    HWND frame = Frame(0);
    TabPlugHandle plug = api.create(frame, nullptr, 0, 0);
    ASSERT_NE(nullptr, plug);
    EXPECT_EQ(nullptr, api.create(frame, nullptr, 0, 0)) << "one tab window at a time";
    HWND tab = api.hwnd(plug);
    ASSERT_NE(nullptr, tab);
    EXPECT_EQ(0, api.show(plug, 1)) << "created hidden";
    EXPECT_NE(0, api.move(plug, 0, 0, 480, 280));
    testkit::PumpFor(300);
    HWND host = FindWindowExW(tab, nullptr, L"MyOleControl", L"MyOleControlWindow");
    ASSERT_NE(nullptr, host);
    HWND control = GetWindow(host, GW_CHILD);
    ASSERT_NE(nullptr, control);
    RECT client;
    GetClientRect(host, &client);
    EXPECT_EQ(480, client.right);
    EXPECT_EQ(280, client.bottom);

    // The shape is the movie's; around it clicks reach the window beneath the host.
    POINT centre = ScreenPoint(host, 240, 140), corner = ScreenPoint(host, 20, 20);
    EXPECT_EQ(control, WindowFromPoint(centre));
    EXPECT_EQ(tab, WindowFromPoint(corner));
    EXPECT_EQ(HTCLIENT, SendMessageW(host, WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)));
    EXPECT_EQ(HTTRANSPARENT, SendMessageW(host, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)));

    // Real clicks: on the shape the control takes it, beside it the tab window does.
    for (POINT at : {centre, corner}) {
        SetCursorPos(at.x, at.y);
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_MOUSE;
        press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, press, sizeof(INPUT));
        testkit::PumpFor(200);
    }

    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(200);
    testkit::Capture shot = testkit::CaptureWindow(frame);
    EXPECT_EQ(RGB(255, 160, 0), shot.At(240, 140));
    EXPECT_EQ(RGB(24, 32, 64), shot.At(20, 240));
    std::wstring shots = Env(L"ANIMTAB_SHOTS");
    CreateDirectoryW(shots.c_str(), nullptr);
    EXPECT_TRUE(testkit::SaveBitmapFile(shot, shots + L"animtab-movie.bmp"));

    std::wstring other = testkit::ProgramDir() + L"other.txt";
    api.command(plug, 1, reinterpret_cast<INT_PTR>(other.c_str()));
    api.command(plug, 1, 0);
    api.command(plug, 2, reinterpret_cast<INT_PTR>(other.c_str()));

    // A command the movie sends on demand; without a command center it is refused.
    const wchar_t fired[] = L"Other,1|x";
    COPYDATASTRUCT data = {0, sizeof fired, const_cast<wchar_t*>(fired)};
    EXPECT_EQ(1, SendMessageW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));

    HWND second = Frame(500);
    EXPECT_EQ(1, api.reparent(plug, second));
    EXPECT_EQ(second, GetParent(tab));
    EXPECT_NE(0, api.show(plug, 0));
    EXPECT_EQ(0, api.show(plug, 0));
    EXPECT_EQ(1, api.destroy(plug));
    EXPECT_EQ(0, api.destroy(nullptr));
    EXPECT_FALSE(IsWindow(tab));

    // A second pane in the same library, then in a reloaded one.
    plug = api.create(frame, nullptr, 0, 0);
    ASSERT_NE(nullptr, plug);
    EXPECT_EQ(1, api.destroy(plug));
    FreeLibrary(api.module);
    ASSERT_TRUE(api.Load());
    plug = api.create(frame, nullptr, 0, 0);
    ASSERT_NE(nullptr, plug);
    testkit::PumpFor(100);
    EXPECT_EQ(1, api.destroy(plug));
    FreeLibrary(api.module);
    DestroyWindow(second);
    DestroyWindow(frame);
}

TEST(HostChild, UnregisteredControlLeavesAnEmptyPane) {
    if (!InChild()) GTEST_SKIP() << "runs in its own folder";
    ASSERT_EQ(S_OK, MovieControlRegistration("DllUnregisterServer"));
    TabPlugApi api;
    ASSERT_TRUE(api.Load());
    HWND frame = Frame(0);
    TabPlugHandle plug = api.create(frame, nullptr, 0, 0);
    EXPECT_EQ(S_OK, MovieControlRegistration("DllRegisterServer"));
    ASSERT_NE(nullptr, plug);
    HWND host = FindWindowExW(api.hwnd(plug), nullptr, L"MyOleControl", nullptr);
    EXPECT_NE(nullptr, host);
    EXPECT_EQ(nullptr, host ? GetWindow(host, GW_CHILD) : nullptr);
    api.command(plug, 1, 0);
    EXPECT_EQ(1, api.destroy(plug));
    FreeLibrary(api.module);
    DestroyWindow(frame);
}

std::vector<std::string> Lines(const std::wstring& path) { return testkit::SplitLines(testkit::ReadFileBytes(path)); }

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
    auto it = std::find(lines.begin() + std::min(from, lines.size()), lines.end(), line);
    return it == lines.end() ? std::string::npos : static_cast<size_t>(it - lines.begin());
}

std::string Dump(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

TEST(MovieHost, ActivatesPaintsHitTestsAndLetsGo) {
    if (InChild()) GTEST_SKIP();
    std::wstring dir = testkit::FreshDir(L"animtab-host");
    std::wstring exe = testkit::CopyThisExeTo(dir);
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(testkit::CopyFromProgramDir(dir, L"AnimTab.dll"));
    ASSERT_TRUE(testkit::CopyFromProgramDir(dir, L"CommonKit.dll"));
    CreateDirectoryW((dir + L"resource").c_str(), nullptr);
    CreateDirectoryW((dir + L"resource\\TabDeck").c_str(), nullptr);
    std::wstring settings = dir + L"resource\\TabDeck\\config.cfg";
    WritePrivateProfileStringW(L"ui_flash", L"display", L"ring", settings.c_str());
    WritePrivateProfileStringW(L"ui_flash", L"ring", L"ring.txt", settings.c_str());
    WritePrivateProfileStringW(L"ui_flash", L"ui_flash", L"quiet.txt", settings.c_str());
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"resource\\TabDeck\\ring.txt", "a ring\r\n"));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"other.txt", "another\r\n"));
    std::wstring trace = dir + L"moviectl.log";
    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=HostChild.*", dir,
                                     {{L"ANIMTAB_HOST_CHILD", L"1"},
                                      {L"MOVIECTL_TRACE", trace},
                                      {L"ANIMTAB_MOVIECTL", testkit::ProgramDir() + L"MovieCtl.dll"},
                                      {L"ANIMTAB_SHOTS", testkit::ProgramDir() + L"screenshots\\"}},
                                     60000);
    EXPECT_EQ(0u, code) << "the cases in the pane's own folder failed";
    std::vector<std::string> t = Lines(trace);
    std::string d = vantor::EncodeText(dir, CP_UTF8);
    // Set up before activation, the movie loaded and played after it, in this order.
    size_t at = 0;
    for (const std::string& want :
         {std::string("Created"), std::string("InitNew"), std::string("SetClientSite"), std::string("Get FlashVersion"),
          std::string("Advise"), std::string("Put Scale=showAll"), std::string("Put BackgroundColor=-1"),
          std::string("Put EmbedMovie=0"), std::string("DoVerb -1"), std::string("OnInPlaceActivateEx noRedraw=0"),
          std::string("GetWindowContext ok frame=1 doc=0 0,0,327,165"), std::string("InPlaceActive window=1"),
          std::string("Put EmbedMovie=1"), "LoadMovie 0 " + d + "resource\\TabDeck\\ring.txt", std::string("Play"),
          std::string("Click 240 140"),
          "LoadMovie 0 " + d + "other.txt", "LoadMovie 0 " + d + "resource\\TabDeck\\ring.txt",
          std::string("FSCommand Other,1|x -> -1"),
          std::string("Unadvise"), std::string("Close 1"), std::string("InPlaceDeactivate"), std::string("Deleted"),
          // the next pane plays what the last one's window left configured
          std::string("Created"), "LoadMovie 0 " + d + "resource\\TabDeck\\quiet.txt (missing)"}) {
        size_t found = IndexOf(t, want, at);
        EXPECT_NE(std::string::npos, found) << want << " after line " << at << "\n" << Dump(t);
        if (found != std::string::npos) at = found + 1;
    }
    EXPECT_EQ(std::string::npos, IndexOf(t, "LoadMovie 0 " + d + "other.txt", IndexOf(t, "LoadMovie 0 " + d + "other.txt") + 1))
        << "command 2 loads nothing";
    EXPECT_EQ(1, std::count_if(t.begin(), t.end(), [](const std::string& l) { return l.rfind("Click", 0) == 0; }))
        << "the click beside the shape went to the control\n" << Dump(t);
    wchar_t display[32];
    GetPrivateProfileStringW(L"ui_flash", L"display", L"", display, 32, settings.c_str());
    EXPECT_STREQ(L"ui_flash", display);
}

}  // namespace
