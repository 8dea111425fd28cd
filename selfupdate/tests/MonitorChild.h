// Runs of the exports as the host makes them: each run is a child copy of the test program
// in a program folder of its own, signed in to ClientCore against a zumbase script and
// pumping its thread. The parent lays out the folder and the upgrade tree on nginx.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "SelfUpdate.h"
#include "UpdateFixture.h"

namespace sutest {

// --- in the parent

// A child's program folder at build 1.0.0.1, signed in to a suite of its own, whose
// upgrade tree is a branch on nginx.
struct ChildWorld {
    std::string suite;
    std::string branch;   // "update/<suite>/" below the nginx root
    std::wstring folder;

    ChildWorld(const wchar_t* name, const char* suiteName);
    // The description of build (for 1.0.0.2) and its list.
    void PublishList(const std::vector<ListedFile>& files, const std::string& build = "1.0.0.1") const;
    // A file of the branch on nginx, its address (prefix: "/slow", "/norange").
    std::string Serve(const std::string& name, const std::string& bytes, const char* prefix = "") const;
    std::string Url(const std::string& name, const char* prefix = "") const;
    std::wstring Staging(const char* build = "1.0.0.1") const;
    // A complete staging of 1.0.0.1 (for 1.0.0.2) written by hand, as a check leaves it:
    // each file (its dest, its bytes) and a list naming them with their digests.
    void StageByHand(const std::vector<std::pair<std::string, std::string>>& files) const;
};

// Copies this program and the libraries the monitor needs into folder and runs the child
// test `filter` there (exe: the path to start it by, the copy's own when empty). timing:
// "<timer period ms>,<retry pause ms>". The child's exit code.
DWORD RunChildCode(const std::wstring& folder, const char* mode, const char* filter, const wchar_t* timing,
                   const std::wstring& exe = L"");
// True when the child passed and reached its end.
bool RunChild(const std::wstring& folder, const char* mode, const char* filter, const wchar_t* timing);

// --- in the child

bool ChildMode(const char* mode);
std::wstring Here();   // the child's program folder, without a trailing backslash
void ChildDone();      // marks that the child reached its end

struct Exports {
    HMODULE module;
    decltype(&Upgrade_BeginMonitor) Begin;
    decltype(&Upgrade_StopMonitor) Stop;
    Exports();
};

// Signs in on a thread of its own, as the host does before it begins the monitor.
void SignIn();

// Dispatches this thread's messages until done() or the time limit.
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

int MonitorWindows();
std::wstring ChildStaging(const char* build);
bool Complete(const char* build);
std::wstring Build();

}  // namespace sutest
