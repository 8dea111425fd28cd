#include "DeviceName.h"

#include <windows.h>

namespace vantor {

namespace {

bool SameAscii(const std::wstring& text, const wchar_t* upper) {
    return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), upper, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsDeviceName(const std::wstring& name) {
    // The device is named by the part before the first dot, trailing blanks left out.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"}) {
        if (SameAscii(stem, device)) return true;
    }
    if (stem.size() != 4) return false;
    std::wstring family = stem.substr(0, 3);
    wchar_t digit = stem[3];
    // Windows takes the superscript digits one to three as port numbers too.
    bool numbered = (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return numbered && (SameAscii(family, L"COM") || SameAscii(family, L"LPT"));
}

}  // namespace vantor
