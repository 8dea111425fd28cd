// SelfUpdate: the upgrade monitor. The host calls Upgrade_BeginMonitor once after sign-in
// (it installs an update staged by an earlier run, then checks the upgrade server at once
// and every 30 minutes) and Upgrade_StopMonitor before it unloads the library, both on
// the same thread, which must dispatch its messages.
#pragma once

#include <windows.h>

#ifdef SELFUPDATE_BUILD
#define SELFUPDATE_API
#else
#define SELFUPDATE_API __declspec(dllimport)
#endif

extern "C" {
// 1 when a monitor runs (also when one already ran); 0 when its window cannot be created.
SELFUPDATE_API int WINAPI Upgrade_BeginMonitor(void);
// 1 when no monitor runs or it was stopped; 0 when its window cannot be destroyed (for
// example from another thread): the monitor then stays. Also 0 when called from inside a
// check (a download dispatches the thread's messages): the monitor is stopped and goes
// once its check has returned; until a later call answers 1 the library must stay loaded.
// Upgrade_BeginMonitor meanwhile begins a new monitor.
SELFUPDATE_API int WINAPI Upgrade_StopMonitor(void);
}

// The monitor's message-only window and what it answers.
#define SELFUPDATE_WINDOW_CLASS L"SelfUpdateMonitorWindow"
#define SELFUPDATE_CHECK_MSG (WM_USER + 3700)   // 4724: run a check now and restart the timer
#define SELFUPDATE_TIMER_ID 101
