// Use-counted loading of the dialog message hook library "HookRelay.dll" from the
// program folder: the first dialog to install loads it, the last to uninstall frees it.
#pragma once

#include <windows.h>

#include <string>

namespace vantor {
namespace imkit {

constexpr LONG kHookLibraryMissing = static_cast<LONG>(0x80004002);  // install without the library
constexpr LONG kHookNotInstalled = static_cast<LONG>(0x80004001);    // uninstall without the library

// One loader per library folder; the process-wide one below uses the program folder.
// Callers are dialogs on the user-interface thread: only the count is interlocked.
class DialogHookLoader {
public:
    explicit DialogHookLoader(std::wstring libraryPath);
    ~DialogHookLoader();
    DialogHookLoader(const DialogHookLoader&) = delete;
    DialogHookLoader& operator=(const DialogHookLoader&) = delete;

    // kHookLibraryMissing when the library cannot be loaded, else HookRelay_InstallHook's answer.
    LONG Install(HWND dialog);
    // kHookNotInstalled without a loaded library, else HookRelay_UninstallHook's answer.
    LONG Uninstall(HWND dialog);
    LONG Uses() const { return uses_; }

private:
    std::wstring path_;
    HMODULE library_ = nullptr;
    volatile LONG uses_ = 0;
};

LONG InstallDialogHook(HWND dialog);
LONG UninstallDialogHook(HWND dialog);

}  // namespace imkit
}  // namespace vantor
