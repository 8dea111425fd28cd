#include "TileMonitor.h"

#include <algorithm>

#include "DebugOut.h"
#include "PumpingJoin.h"

namespace tilepane {

ProcessMonitor::ProcessMonitor(HWND window, UINT doneMessage)
    : window_(window),
      doneMessage_(doneMessage),
      stop_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    InitializeCriticalSection(&lock_);
}

ProcessMonitor::~ProcessMonitor() {
    Stop();
    for (HANDLE h : programs_) CloseHandle(h);
    programs_.clear();
    if (stop_) CloseHandle(stop_);
    if (wake_) CloseHandle(wake_);
    DeleteCriticalSection(&lock_);
}

bool ProcessMonitor::Add(HANDLE process) {
    if (!process || !stop_ || !wake_) return false;
    EnterCriticalSection(&lock_);
    bool room = programs_.size() < kMaxPrograms;
    if (room) programs_.push_back(process);
    LeaveCriticalSection(&lock_);
    if (!room) return false;
    SetEvent(wake_);
    if (!waiter_) StartWaiter();
    return true;
}

void ProcessMonitor::StartWaiter() {
    waiter_ = CreateThread(nullptr, 0, WaiterMain, this, 0, nullptr);
    if (!waiter_) vantor::DebugLine(L"TilePane: 监视线程无法启动");
}

void ProcessMonitor::Join() {
    if (!waiter_) return;
    vantor::JoinPumping(waiter_);
    CloseHandle(waiter_);
    waiter_ = nullptr;
}

void ProcessMonitor::OnDone() {
    Join();
    if (Count() > 0) StartWaiter();
}

void ProcessMonitor::Stop() {
    if (!waiter_) return;
    SetEvent(stop_);
    Join();
    ResetEvent(stop_);
}

size_t ProcessMonitor::Count() const {
    EnterCriticalSection(&lock_);
    size_t n = programs_.size();
    LeaveCriticalSection(&lock_);
    return n;
}

DWORD WINAPI ProcessMonitor::WaiterMain(LPVOID self) {
    static_cast<ProcessMonitor*>(self)->Wait();
    return 0;
}

void ProcessMonitor::Wait() {
    for (;;) {
        std::vector<HANDLE> handles = {stop_, wake_};
        EnterCriticalSection(&lock_);
        handles.insert(handles.end(), programs_.begin(), programs_.end());
        bool empty = programs_.empty();
        LeaveCriticalSection(&lock_);
        if (empty) break;
        DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) return;  // stopped: no message
        if (r == WAIT_OBJECT_0 + 1) continue;
        if (r >= WAIT_OBJECT_0 + 2 && r < WAIT_OBJECT_0 + handles.size()) {
            HANDLE ended = handles[r - WAIT_OBJECT_0];
            EnterCriticalSection(&lock_);
            programs_.erase(std::remove(programs_.begin(), programs_.end(), ended), programs_.end());
            LeaveCriticalSection(&lock_);
            CloseHandle(ended);
            continue;
        }
        vantor::DebugLine(L"TilePane: 等待失败 %lu", GetLastError());
        return;
    }
    PostMessageW(window_, doneMessage_, 0, 0);
}

}  // namespace tilepane
