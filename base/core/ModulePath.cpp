#include "ModulePath.h"

#include <vector>

namespace vantor {

std::wstring ModuleFile(HMODULE module) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size() || path.size() >= 32768) return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

std::wstring ModuleDir(HMODULE module) {
    std::wstring full = ModuleFile(module);
    size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

std::wstring ProgramDir() { return ModuleDir(nullptr); }

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ProgramPath(const std::wstring& relative) { return ProgramDir() + relative; }

HMODULE LoadProgramLibrary(const wchar_t* fileName) {
    return LoadLibraryW(ProgramPath(fileName).c_str());
}

UniqueModule HoldModule(HMODULE module) {
    HMODULE held = nullptr;
    if (!module || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(module), &held)) {
        return UniqueModule();
    }
    UniqueModule hold(held);
    if (held != module) return UniqueModule();
    return hold;
}

UniqueModule HoldLoadedFile(const std::wstring& path) {
    HMODULE held = nullptr;
    if (path.empty() || !GetModuleHandleExW(0, path.c_str(), &held)) return UniqueModule();
    return UniqueModule(held);
}

}  // namespace vantor
