// The monitor: one per process, a message-only window on the thread that began it. The
// window only dispatches; the steps live in UpdateCheck.cpp and StagedInstall.cpp.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "DebugOut.h"
#include "FileDigest.h"
#include "Handles.h"
#include "ModulePath.h"
#include "NetDownloader.h"
#include "SelfUpdate.h"
#include "Sync.h"
#include "Text.h"
#include "UpdateSteps.h"
#include "WebFetch.h"

namespace selfupdate {

namespace {

const DWORD kCheckPeriodMs = 30 * 60 * 1000;
const DWORD kRetryPauseMs = 1000;
const wchar_t kThisProperty[] = L"this";
// Set only by the tests: "<timer period ms>,<retry pause ms>".
const wchar_t kTestTimingVariable[] = L"SELFUPDATE_TEST_TIMING";

// How soon a check that waits for another check to leave the stack looks again.
const DWORD kCheckLaterMs = 1000;

typedef const char*(WINAPI* SuiteIdProc)(void);

struct Monitor {
    std::vector<FileEntry> files;   // the entries of the current check's list
    CNetHttp http;
    bool busy = false;
    HWND window = nullptr;

    vantor::UniqueHandle stopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool retiring = false;          // stopped while its check was on the stack
    DWORD periodMs = kCheckPeriodMs;
    DWORD retryPauseMs = kRetryPauseMs;
};

vantor::CriticalSection g_lock;
Monitor* g_monitor = nullptr;    // the running monitor
int g_retiring = 0;              // stopped monitors whose check is still on a stack
bool g_starting = false;
int g_checksRunning = 0;         // checks on a stack, of any monitor

std::wstring ProgramFolder() {
    std::wstring folder = vantor::ProgramDir();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

void ReadTestTiming(Monitor* monitor) {
    wchar_t value[64] = {};
    if (!GetEnvironmentVariableW(kTestTimingVariable, value, 64)) return;
    wchar_t* end = nullptr;
    unsigned long period = wcstoul(value, &end, 10);
    if (period > 0) monitor->periodMs = period;
    if (end && *end == L',') monitor->retryPauseMs = wcstoul(end + 1, nullptr, 10);
}

// The suite id of the signed-in account, from the ClientCore the host has loaded.
bool FindSuiteId(std::wstring* suiteId) {
    HMODULE core = GetModuleHandleW(L"ClientCore.dll");
    if (!core) {
        vantor::DebugLine(L"内核接口没有加载\n");
        return false;
    }
    SuiteIdProc suite = vantor::ProcAddress<SuiteIdProc>(core, "Cco_GetServiceSuiteId");
    if (!suite) return false;
    *suiteId = vantor::AnsiToWide(suite());
    return true;
}

// Digests through "<program folder>\Md5.dll".
DigestFunction Md5Digest(const std::wstring& programFolder) {
    std::wstring md5Library = programFolder + L"\\Md5.dll";
    return [md5Library](const std::wstring& path, std::string* hex) { return FileDigest(md5Library, path, hex); };
}

const wchar_t* OutcomeName(CheckOutcome outcome) {
    switch (outcome) {
    case CheckOutcome::Staged: return L"staged";
    case CheckOutcome::AlreadyStaged: return L"staged before, waits for the next start";
    case CheckOutcome::Failed: return L"failed";
    case CheckOutcome::Stopped: return L"stopped";
    case CheckOutcome::Busy: return L"another monitor works on this program folder";
    }
    return L"";
}

void RunMonitorCheck(Monitor* monitor) {
    monitor->busy = true;
    {
        vantor::Lock lock(g_lock);
        ++g_checksRunning;
    }
    CheckSettings settings;
    settings.programFolder = ProgramFolder();
    settings.baseUrl = ReadBaseUrl(settings.programFolder);
    settings.build = ReadBuild(settings.programFolder);
    settings.retryPauseMs = monitor->retryPauseMs;
    if (FindSuiteId(&settings.suiteId)) {
        NetDownloader downloader(monitor->http, monitor->stopEvent.get());
        CheckOutcome outcome = RunCheck(settings, downloader, Md5Digest(settings.programFolder), &monitor->files);
        vantor::DebugLine(L"SelfUpdate: check of build %ls ended: %ls\n", settings.build.c_str(),
                          OutcomeName(outcome));
    } else {
        vantor::DebugLine(L"SelfUpdate: no check: the account's service suite is not known\n");
    }
    {
        vantor::Lock lock(g_lock);
        --g_checksRunning;
    }
    monitor->busy = false;
}

// A check is not started inside another one (its transfer dispatches this thread's
// messages, and a monitor begun there would run its check on that stack): it runs a
// moment later.
bool CheckMustWait() {
    vantor::Lock lock(g_lock);
    return g_checksRunning > 0;
}

// A check, then the timer again: checks are a period apart from the end of the last one.
// False when the monitor was freed meanwhile.
bool CheckAndRearm(Monitor* monitor, HWND window) {
    if (CheckMustWait()) {
        SetTimer(window, SELFUPDATE_TIMER_ID, kCheckLaterMs, nullptr);
        return true;
    }
    RunMonitorCheck(monitor);
    if (monitor->retiring) {
        {
            vantor::Lock lock(g_lock);
            --g_retiring;
        }
        delete monitor;
        return false;
    }
    if (monitor->window) SetTimer(window, SELFUPDATE_TIMER_ID, monitor->periodMs, nullptr);
    return true;
}

void OnDestroy(Monitor* monitor, HWND window) {
    monitor->http.Break();
    SetEvent(monitor->stopEvent.get());
    KillTimer(window, SELFUPDATE_TIMER_ID);
    RemovePropW(window, kThisProperty);
    // No waiting here: a check still on this thread's stack sees the break, returns, and
    // the monitor is freed after it.
    vantor::DebugLine(L"\tSelfUpdate window WM_DESTROY OnDestroy message end\n");
}

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        Monitor* monitor = static_cast<Monitor*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        monitor->window = window;
        SetPropW(window, kThisProperty, monitor);
        if (!monitor->http.Open(1)) return -1;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Monitor* monitor = static_cast<Monitor*>(GetPropW(window, kThisProperty));
    if (monitor) {
        switch (message) {
        case SELFUPDATE_CHECK_MSG:
            // A check already running on this thread (its transfer dispatches messages)
            // is not started again.
            if (monitor->busy) return 0;
            if (!CheckAndRearm(monitor, window)) return 0;
            break;
        case WM_TIMER:
            if (wParam != SELFUPDATE_TIMER_ID || monitor->busy) break;
            KillTimer(window, SELFUPDATE_TIMER_ID);
            if (!CheckAndRearm(monitor, window)) return 0;
            break;
        case WM_DESTROY:
            OnDestroy(monitor, window);
            break;
        default:
            break;
        }
    }
    if (message == WM_NCDESTROY) {
        // The property is gone by now; the monitor still points at its window.
        vantor::Lock lock(g_lock);
        if (g_monitor && g_monitor->window == window) g_monitor->window = nullptr;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterMonitorClass(HINSTANCE instance) {
    WNDCLASSEXW existing = {sizeof existing};
    if (GetClassInfoExW(instance, SELFUPDATE_WINDOW_CLASS, &existing)) return true;
    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = &MonitorWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = SELFUPDATE_WINDOW_CLASS;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

}  // namespace selfupdate

using namespace selfupdate;

extern "C" int WINAPI Upgrade_BeginMonitor(void) {
    {
        vantor::Lock lock(g_lock);
        if (g_monitor || g_starting) return 1;
        g_starting = true;
    }
    Monitor* monitor = new (std::nothrow) Monitor;
    HINSTANCE instance = vantor::ThisModule();
    HWND window = nullptr;
    if (monitor && monitor->stopEvent && RegisterMonitorClass(instance)) {
        ReadTestTiming(monitor);
        window = CreateWindowExW(0, SELFUPDATE_WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                                 monitor);
    }
    if (!window) {
        delete monitor;
        vantor::Lock lock(g_lock);
        g_starting = false;
        return 0;
    }
    {
        vantor::Lock lock(g_lock);
        g_monitor = monitor;
        g_starting = false;
    }
    std::wstring programFolder = ProgramFolder();
    InstallStaged(programFolder, ReadBuild(programFolder), Md5Digest(programFolder));
    PostMessageW(window, SELFUPDATE_CHECK_MSG, 0, 0);
    return 1;
}

extern "C" int WINAPI Upgrade_StopMonitor(void) {
    Monitor* monitor = nullptr;
    HWND window = nullptr;
    {
        vantor::Lock lock(g_lock);
        monitor = g_monitor;
        if (!monitor) return g_retiring == 0 ? 1 : 0;
        window = monitor->window;
    }
    if (!window) return 0;
    BOOL destroyed = DestroyWindow(window);
    vantor::DebugLine(L"\tSelfUpdate StopMonitor completed\n");
    if (!destroyed) return 0;
    if (monitor->busy) {
        // Called from inside a check (its transfer dispatches this thread's messages): the
        // check, still below on this stack, and its download worker end only after this
        // returns, and the monitor goes with them. Until then this library must stay, so
        // the answer is 0 and a later call answers 1; a monitor begun meanwhile is a new one.
        monitor->retiring = true;
        vantor::Lock lock(g_lock);
        g_monitor = nullptr;
        ++g_retiring;
        return 0;
    }
    int retiring = 0;
    {
        vantor::Lock lock(g_lock);
        g_monitor = nullptr;
        retiring = g_retiring;
    }
    delete monitor;
    return retiring == 0 ? 1 : 0;
}
