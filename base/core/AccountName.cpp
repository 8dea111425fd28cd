#include "AccountName.h"

#include <windows.h>

#include <cwchar>

namespace vantor {

namespace {

bool IsDeviceName(const std::wstring& name) {
    // The device is named by the part before the first dot, trailing spaces left out.
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    if (base.empty() || base.size() > 7) return false;
    wchar_t upper[8] = {};
    base.copy(upper, base.size());
    CharUpperBuffW(upper, static_cast<DWORD>(base.size()));
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (wcscmp(upper, device) == 0) return true;
    }
    if (base.size() != 4) return false;
    bool numbered = wcsncmp(upper, L"COM", 3) == 0 || wcsncmp(upper, L"LPT", 3) == 0;
    wchar_t digit = upper[3];
    // Windows takes the superscript digits one to three as port numbers too.
    return numbered && ((digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

}  // namespace

bool IsUsableAccountName(const std::wstring& name) {
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F || wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return !IsDeviceName(name);
}

}  // namespace vantor
