#include "PaneChild.h"

#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/zumbase.h"

namespace panetest {

namespace {
const wchar_t kChildVariable[] = L"PANE_CHILD_SHOTS";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n && n < MAX_PATH ? value : L"";
}

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
}  // namespace

bool InChild() { return !Variable(kChildVariable).empty(); }

DWORD RunChild(testkit::PaneRig& rig, const std::string& filter, DWORD timeoutMs) {
    std::wstring exe = testkit::CopyThisExeTo(rig.dir());
    if (exe.empty()) return testkit::kProgramDidNotStart;
    std::wstring shots = testkit::ProgramDir() + L"screenshots\\";
    CreateDirectoryW(shots.c_str(), nullptr);
    return testkit::RunProgram(exe, L"--gtest_filter=" + vantor::AnsiToWide(filter), rig.dir(),
                               {{kChildVariable, shots}}, timeoutMs);
}

Container::Container() {
    host_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    std::wstring folder = testkit::ProgramDir();
    core_ = LoadLibraryW((folder + L"ClientCore.dll").c_str());
    auto alive = Proc<int(WINAPI*)(int*)>(core_, "Cco_IsAlive");
    auto login = Proc<int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR, void*, void*)>(core_, "Cco_LoginA");
    int connected = 0;
    if (alive) alive(&connected);
    if (login) login(0, 0, 0, nullptr, nullptr);
    container_ = LoadLibraryW((folder + L"PlugHost.dll").c_str());
    auto load = Proc<PFN_Container_Load>(container_, CONTAINER_LOAD_NAME);
    if (load) load(1, host_);
}

Container::~Container() {
    auto unload = Proc<PFN_Container_Unload>(container_, CONTAINER_UNLOAD_NAME);
    if (unload) unload();
    auto logoff = Proc<int(WINAPI*)()>(core_, "Cco_Logoff");
    if (logoff) logoff();
    if (container_) FreeLibrary(container_);
    if (core_) FreeLibrary(core_);
    DestroyWindow(host_);
}

bool Container::Query(PlugId id, HMODULE* module, TabPlugHandle* plug) const {
    auto query = Proc<PFN_Container_QueryModule>(container_, CONTAINER_QUERYMODULE_NAME);
    return query && query(id, module, plug) && *module && *plug;
}

TabPlugHandle Container::Handle(PlugId id) const {
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    return Query(id, &module, &plug) ? plug : nullptr;
}

HWND Container::Window(PlugId id) const {
    auto hwnd = Export<PFN_TabPlug_GetSafeHwnd>(id, TABPLUG_GETSAFEHWND_NAME);
    return hwnd ? hwnd(Handle(id)) : nullptr;
}

std::vector<std::string> TraceLines() {
    return testkit::SplitLines(testkit::ReadFileBytes(testkit::ProgramDir() + L"trace.log"));
}

bool TraceHas(const std::string& line) {
    for (const std::string& l : TraceLines()) {
        if (l == line) return true;
    }
    return false;
}

int TraceCount(const std::string& prefix) {
    int n = 0;
    for (const std::string& line : TraceLines()) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

std::vector<std::string> PlatformLog() {
    auto getLog = Proc<int(__cdecl*)(char*, int)>(GetModuleHandleW(L"zumbase.dll"), "ZumStub_GetLog");
    if (!getLog) return {};
    std::string text(1 << 20, '\0');
    getLog(&text[0], static_cast<int>(text.size()));
    text.resize(strlen(text.c_str()));
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return testkit::SplitLines(crlf);
}

bool SaveCapture(const testkit::Capture& picture, const std::wstring& name) {
    std::wstring folder = Variable(kChildVariable);
    if (folder.empty()) folder = testkit::ProgramDir() + L"screenshots\\";
    return testkit::SaveBitmapFile(picture, folder + name + L".bmp");
}

bool SaveShot(HWND window, const std::wstring& name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(200);
    return SaveCapture(testkit::CaptureWindow(window), name);
}

namespace {
struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t cls[32] = L"";
    GetClassNameW(window, cls, 32);
    if (process == search->process && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window) &&
        GetDlgItem(window, 0xFFFF)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BoxAnswerer::BoxAnswerer(DWORD timeoutMs) : timeoutMs_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

BoxAnswerer::~BoxAnswerer() { Text(); }

DWORD WINAPI BoxAnswerer::Run(LPVOID param) {
    BoxAnswerer* self = static_cast<BoxAnswerer*>(param);
    for (DWORD waited = 0; waited < self->timeoutMs_; waited += 50) {
        BoxSearch search = {GetCurrentProcessId(), nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            wchar_t text[512] = L"";
            GetDlgItemTextW(search.found, 0xFFFF, text, 512);
            self->text_ = text;
            PostMessageW(search.found, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 0;
}

std::wstring BoxAnswerer::Text() {
    if (thread_) {
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return text_;
}

}  // namespace panetest
