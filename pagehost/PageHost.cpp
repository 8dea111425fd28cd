// PageHost.exe: the stand-alone page window, started with "game" or "cls"; one instance
// per mode.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "Handles.h"
#include "PageHostDialog.h"
#include "PageHostIds.h"

namespace {

pagehost::PageHostMode ModeOfCommandLine() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return pagehost::kNoMode;
    pagehost::PageHostMode mode = count > 1 ? pagehost::ModeFromArgument(args[1]) : pagehost::kNoMode;
    LocalFree(args);
    return mode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    pagehost::PageHostMode mode = ModeOfCommandLine();
    if (mode == pagehost::kNoMode) return 0;

    // Held until the program ends.
    vantor::UniqueHandle mutex(CreateMutexW(nullptr, TRUE, pagehost::MutexName(mode)));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        HWND first = FindWindowW(nullptr, pagehost::Caption(mode));
        if (first) SetForegroundWindow(first);
        return 0;
    }

    auto dialog = std::make_unique<pagehost::PageHostDialog>(mode);
    if (!dialog->Create(instance, IDD_PAGEHOST, GetDesktopWindow())) return 0;
    ShowWindow(dialog->GetSafeHwnd(), SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    dialog.reset();
    return 0;
}
