#include "DialogHook.h"

#include "ModulePath.h"

namespace vantor {
namespace imkit {

namespace {

typedef int(WINAPI* HookProc)(HWND);

DialogHookLoader& ProcessLoader() {
    static DialogHookLoader loader(ProgramPath(L"HookRelay.dll"));
    return loader;
}

}  // namespace

DialogHookLoader::DialogHookLoader(std::wstring libraryPath) : path_(std::move(libraryPath)) {}

DialogHookLoader::~DialogHookLoader() {
    // Dialogs still hooked when the module goes lose their keyboard help with it.
    if (library_) FreeLibrary(library_);
}

LONG DialogHookLoader::Install(HWND dialog) {
    if (!library_) {
        library_ = LoadLibraryW(path_.c_str());
        if (!library_) return kHookLibraryMissing;
    }
    InterlockedIncrement(&uses_);
    HookProc install = ProcAddress<HookProc>(library_, "HookRelay_InstallHook");
    return install ? install(dialog) : 0;
}

LONG DialogHookLoader::Uninstall(HWND dialog) {
    if (!library_) return kHookNotInstalled;
    LONG left = InterlockedDecrement(&uses_);
    HookProc uninstall = ProcAddress<HookProc>(library_, "HookRelay_UninstallHook");
    LONG result = uninstall ? uninstall(dialog) : 0;
    if (left <= 0) {
        // More uninstalls than installs must not drive the count below zero for the next dialog.
        uses_ = 0;
        FreeLibrary(library_);
        library_ = nullptr;
    }
    return result;
}

LONG InstallDialogHook(HWND dialog) { return ProcessLoader().Install(dialog); }
LONG UninstallDialogHook(HWND dialog) { return ProcessLoader().Uninstall(dialog); }

}  // namespace imkit
}  // namespace vantor
