// Monitored programs of the home tile pane: the process handles of programs started with
// monitoring, and a waiter thread that tells a window once every one of them has ended.
//
// The user-interface thread adds handles and joins the waiter; the waiter waits on the
// stop event, the wake event and the handles, and drops each ended one. The list is
// guarded; a handle added while the waiter runs wakes it, so the new handle is waited on
// at once. A wait takes at most 64 handles: with the two events that leaves room for 62
// programs, and further ones are started without monitoring.
#pragma once

#include <windows.h>

#include <vector>

namespace tilepane {

class ProcessMonitor {
public:
    static constexpr size_t kMaxPrograms = MAXIMUM_WAIT_OBJECTS - 2;

    // The waiter posts `doneMessage` (no parameters) to `window` when the last program ends.
    ProcessMonitor(HWND window, UINT doneMessage);
    ~ProcessMonitor();  // Stop(), then the handles still held are closed
    ProcessMonitor(const ProcessMonitor&) = delete;
    ProcessMonitor& operator=(const ProcessMonitor&) = delete;

    void SetWindow(HWND window) { window_ = window; }

    // Takes over a process handle and starts the waiter unless one runs. False (the handle
    // stays the caller's) when the list is full.
    bool Add(HANDLE process);
    // After the done message: joins the ended waiter and starts a new one when programs
    // were added meanwhile.
    void OnDone();
    // Signals the stop event and joins the waiter (it posts nothing then).
    void Stop();

    size_t Count() const;
    bool Running() const { return waiter_ != nullptr; }

private:
    static DWORD WINAPI WaiterMain(LPVOID self);
    void Wait();
    void StartWaiter();
    void Join();

    HWND window_;
    UINT doneMessage_;
    HANDLE stop_;
    HANDLE wake_;
    HANDLE waiter_ = nullptr;
    mutable CRITICAL_SECTION lock_;
    std::vector<HANDLE> programs_;
};

}  // namespace tilepane
