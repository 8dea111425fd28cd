#include "MoviePath.h"

#include <windows.h>

namespace animtab {

std::wstring MovieSettingsPath(const std::wstring& programDir) {
    return programDir + L"resource\\TabDeck\\config.cfg";
}

std::wstring ConfiguredMovie(const std::wstring& programDir) {
    std::wstring settings = MovieSettingsPath(programDir);
    wchar_t display[32];
    GetPrivateProfileStringW(L"ui_flash", L"display", L"error", display, 32, settings.c_str());
    wchar_t movie[64];
    GetPrivateProfileStringW(L"ui_flash", display, L"error", movie, 64, settings.c_str());
    std::wstring value = movie;
    if (value.find(L':') != std::wstring::npos) return value;
    return programDir + L"resource\\TabDeck\\" + value;
}

bool ResetDisplayedMovie(const std::wstring& programDir) {
    return WritePrivateProfileStringW(L"ui_flash", L"display", L"ui_flash", MovieSettingsPath(programDir).c_str()) !=
           FALSE;
}

}  // namespace animtab
