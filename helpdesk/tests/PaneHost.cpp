#include "PaneHost.h"

#include <gtest/gtest.h>

#include "ModulePath.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/SurfView.h"

namespace panetest {
namespace {

const wchar_t kModeVariable[] = L"PANE_TEST_CHILD";
const wchar_t kShotVariable[] = L"PANE_TEST_SHOT";

std::string g_notes;

std::wstring Variable(const wchar_t* name) {
    wchar_t value[512] = {};
    GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return value;
}


BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    wchar_t cls[32] = {}, text[256] = {};
    GetClassNameW(child, cls, ARRAYSIZE(cls));
    GetWindowTextW(child, text, ARRAYSIZE(text));
    if (lstrcmpiW(cls, L"Static") == 0 && text[0]) *reinterpret_cast<std::wstring*>(texts) += text;
    return TRUE;
}

}  // namespace

std::string Joined(const testkit::PaneRig::Lines& lines) {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string BoxText(HWND box) {
    wchar_t title[128] = {};
    GetWindowTextW(box, title, ARRAYSIZE(title));
    std::wstring texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    if (texts.empty()) return std::string();
    return vantor::EncodeText(std::wstring(title) + L": " + texts, CP_UTF8);
}

void Click(HWND browser, const std::wstring& url) {
    COPYDATASTRUCT click = {SURFVIEW_COPYDATA_CLICK, static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t)),
                            const_cast<wchar_t*>(url.c_str())};
    SendMessageW(browser, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&click));
}

HMODULE SignIn() {
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    auto alive = vantor::ProcAddress<int(WINAPI*)(int*)>(core, "Cco_IsAlive");
    auto login = vantor::ProcAddress<int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR, void*, void*)>(core, "Cco_LoginA");
    int connected = 0;
    EXPECT_TRUE(alive && alive(&connected) == 0);
    EXPECT_TRUE(login && login(0, 0, 0, nullptr, nullptr) == 0);
    return core;
}

std::string RunChild(testkit::PaneRig& rig, const char* childTest, const std::string& mode, const std::wstring& shot) {
    std::wstring exe = testkit::CopyThisExeTo(rig.dir());
    EXPECT_FALSE(exe.empty());
    std::wstring shotPath;
    if (!shot.empty()) {
        CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
        shotPath = testkit::ProgramDir() + L"screenshots\\" + shot;
    }
    DeleteFileW((rig.dir() + L"child.txt").c_str());
    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=" + vantor::AnsiToWide(childTest), rig.dir(),
                                     {{kModeVariable, vantor::AnsiToWide(mode)},
                                      {kShotVariable, shotPath},
                                      {L"SURFVIEW_TRACE", rig.dir() + L"surf.log"}},
                                     60000);
    EXPECT_EQ(0u, code) << "child " << mode;
    std::string notes = rig.Read(L"child.txt");
    EXPECT_NE(std::string::npos, notes.find("end\n")) << notes;
    return notes;
}

std::string ChildMode() { return vantor::WideToAnsi(Variable(kModeVariable)); }

std::wstring ShotPath() { return Variable(kShotVariable); }

void Note(const std::string& line) { g_notes += line + "\n"; }

void Shoot(HWND window) {
    std::wstring path = ShotPath();
    if (path.empty()) return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(200);
    Note(std::string("shot ") + (testkit::SaveBitmapFile(testkit::CaptureWindow(window), path) ? "1" : "0"));
}

void Finish() { testkit::WriteFileBytes(vantor::ProgramDir() + L"child.txt", g_notes + "end\n"); }

Host::Host(bool signIn) {
    if (signIn) core_ = SignIn();
    host_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    container_ = vantor::LoadProgramLibrary(L"PlugHost.dll");
    auto load = vantor::ProcAddress<PFN_Container_Load>(container_, CONTAINER_LOAD_NAME);
    EXPECT_NE(nullptr, load);
    if (load) load(1, host_);
    testkit::PumpFor(300);
}

Host::~Host() {
    auto unload = vantor::ProcAddress<PFN_Container_Unload>(container_, CONTAINER_UNLOAD_NAME);
    if (unload) unload();
    testkit::PumpFor(100);
    auto logoff = vantor::ProcAddress<int(WINAPI*)()>(core_, "Cco_Logoff");
    if (logoff) logoff();
    DestroyWindow(host_);
}

HMODULE Host::Module(PlugId id) const {
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container_, CONTAINER_QUERYMODULE_NAME);
    return query && query(id, &module, &plug) ? module : nullptr;
}

TabPlugHandle Host::Plug(PlugId id) const {
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container_, CONTAINER_QUERYMODULE_NAME);
    return query && query(id, &module, &plug) ? plug : nullptr;
}

HWND Host::Window(PlugId id) const {
    auto window = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(Module(id), TABPLUG_GETSAFEHWND_NAME);
    return window ? window(Plug(id)) : nullptr;
}

}  // namespace panetest
