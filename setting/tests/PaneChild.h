// Pane suites that drive their pane by hand inside the pane rig: the test EXE copies
// itself into the rig's program folder and runs its child tests there, in a process
// whose program folder the pane reads and writes. The child signs in, loads the
// container with the rig's configuration and reaches the pane's window directly.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "PaneRig.h"
#include "Screenshot.h"
#include "TabPlug.h"

namespace panetest {

// True in the copy that runs inside a rig; child tests skip themselves elsewhere.
bool InChild();

// Runs the tests that `filter` names in a copy of this EXE inside the rig; the child's
// exit code (0 when its tests passed).
DWORD RunChild(testkit::PaneRig& rig, const std::string& filter, DWORD timeoutMs = 90000);

// The signed-in container of the child, loaded with "config\pruv2.cfg" of its folder.
class Container {
public:
    Container();
    ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // The plug-in's module and handle; false when the container has none.
    bool Query(PlugId id, HMODULE* module, TabPlugHandle* plug) const;
    HWND Window(PlugId id) const;
    template <typename Fn>
    Fn Export(PlugId id, const char* name) const {
        HMODULE module = nullptr;
        TabPlugHandle plug = nullptr;
        if (!Query(id, &module, &plug)) return nullptr;
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    TabPlugHandle Handle(PlugId id) const;
    HWND host() const { return host_; }

private:
    HMODULE core_ = nullptr;
    HMODULE container_ = nullptr;
    HWND host_ = nullptr;
};

// Lines of the rig's trace written so far.
std::vector<std::string> TraceLines();
bool TraceHas(const std::string& line);
// How many of them start with the prefix.
int TraceCount(const std::string& prefix);
// The platform stand-in's call log, one call a line.
std::vector<std::string> PlatformLog();

// A window's picture saved under "<staged program folder>\screenshots\<name>.bmp" (the
// parent's folder, so that the pictures stay with the build).
bool SaveShot(HWND window, const std::wstring& name);
bool SaveCapture(const testkit::Capture& picture, const std::wstring& name);

// Watches, from its creation on, for a message box of this process, presses its first
// button and keeps its text (empty when none showed up within the time).
class BoxAnswerer {
public:
    explicit BoxAnswerer(DWORD timeoutMs);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // Waits (pumping messages) for the watch to end.
    std::wstring Text();

private:
    static DWORD WINAPI Run(LPVOID param);
    DWORD timeoutMs_;
    HANDLE thread_ = nullptr;
    std::wstring text_;
};

}  // namespace panetest
