// The tab container as the host holds it: PlugHost.dll from the program folder, loaded
// after the login into one of the host's windows and unloaded before the logoff.
#pragma once

#include <windows.h>

#include <string>

#include "TabPlug.h"

namespace hostdemo {

class ContainerHost {
public:
    ContainerHost() = default;
    ~ContainerHost() { Unload(); }
    ContainerHost(const ContainerHost&) = delete;
    ContainerHost& operator=(const ContainerHost&) = delete;

    // False (and nothing loaded) when "<folder>\PlugHost.dll" is missing or unusable.
    bool Load(const std::wstring& folder, HostContext context, HWND parent);
    bool Loaded() const { return module_ != nullptr; }
    // Whether the container came up with its tab manager.
    bool HasTabs() const;
    // Fits the tab manager's window to the given client area of the parent.
    void Fit(int width, int height) const;
    // Has the home tile pane (plug -11) open a column of a service board; false when the
    // pane is not loaded.
    bool OpenBoard(const wchar_t* board, const wchar_t* column) const;
    // Gives the personal-information pane (plug -8) the width the client gives it and lays
    // the home tile pane out again, which places its buttons left of that pane.
    void SetInfoPaneWidth(int width) const;
    // The window of one of the container's plug-ins, or null.
    HWND PlugWindow(PlugId id) const;
    // Hands a command to one of the container's plug-ins (PLUG_CHAT: the chat service);
    // false when the container holds no such plug-in.
    bool Command(PlugId plug, int command, INT_PTR parameter) const;
    void Unload();

private:
    HMODULE module_ = nullptr;
};

}  // namespace hostdemo
