#include "Config.h"

#include <windows.h>

#include "CoreState.h"
#include "IniFile.h"
#include "Text.h"

namespace clientcore {

std::string ReadConfigA(const wchar_t* file, const wchar_t* section, const wchar_t* key,
                        const char* fallback, size_t chars) {
    // Read through the wide reader so a program folder outside the ANSI code page still
    // works; the value is 8-bit text like every configuration value the platform sees.
    std::wstring path = ProgramFolder() + L"\\config\\" + file;
    const wchar_t kMissing[] = L"\x01missing\x01";
    std::wstring wide = vantor::ini::ReadString(path, section, key, kMissing, chars);
    if (wide == kMissing) return fallback ? fallback : "";
    std::string value = vantor::WideToAnsi(wide);
    size_t keep = vantor::WholeCharsPrefix(value.c_str(), value.size(), chars - 1);
    value.resize(keep);
    return value;
}

std::string ReadCommonUrl(const wchar_t* key) {
    return ReadConfigA(L"commprof.cfg", L"CommonUrl", key, "", 260);
}

std::string ReadClientType() {
    return ReadConfigA(L"commprof.cfg", L"ClientType", L"cClientType", "HQ730", 64);
}

std::string ReadProductVersion() {
    return ReadConfigA(L"version.cfg", L"Product", L"version", "", 64);
}

}  // namespace clientcore
