// Where the program and its modules live.
#pragma once

#include <windows.h>
#include <string>

#include "Handles.h"

namespace vantor {

// Folder of the running EXE (the program folder), with a trailing backslash.
std::wstring ProgramDir();
// Folder of the given module, with a trailing backslash.
std::wstring ModuleDir(HMODULE module);
// Full path of the given module's file, however deep its folder; empty for no module.
std::wstring ModuleFile(HMODULE module);
// Module that holds this code (the DLL or EXE it was linked into).
HMODULE ThisModule();
// ProgramDir() + relative.
std::wstring ProgramPath(const std::wstring& relative);
// Loads "<program folder>\<fileName>" with a full path.
HMODULE LoadProgramLibrary(const wchar_t* fileName);

// One more reference to a loaded module, held for the length of a call into it, so that
// the module cannot be freed under the call. Empty when it is no longer loaded (an address
// that now belongs to another module counts as not loaded).
UniqueModule HoldModule(HMODULE module);

// The module loaded from that file (a full path, or a bare file name for the module of that
// name the process has loaded), with one more reference for the holder; empty when none is
// loaded. A module kept across calls without a reference of its own is
// named by its file: its handle, once it is freed, may come to name another module loaded
// at the same address.
UniqueModule HoldLoadedFile(const std::wstring& path);

// Typed GetProcAddress: a null module or a missing export gives null.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace vantor
