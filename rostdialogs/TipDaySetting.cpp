#include "TipDaySetting.h"

#include <windows.h>

#include "IniFile.h"

namespace rostdialogs {

const wchar_t kTipDayKey[] = L"SOFTWARE\\Vantor\\Tutorum";

namespace {

const wchar_t kTipDayValue[] = L"TipDay";
// Both names are read into 64-character buffers.
const size_t kNameBuffer = 64;

}  // namespace

bool TipDayWanted() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTipDayKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return true;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG read = RegQueryValueExW(key, kTipDayValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return !(read == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 1);
}

bool StoreTipDay(bool dontShow) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTipDayKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD value = dontShow ? 1 : 0;
    LONG written = RegSetValueExW(key, kTipDayValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return written == ERROR_SUCCESS;
}

std::wstring TipDayPage() {
    namespace ini = vantor::ini;
    std::wstring skin = ini::ReadString(ini::ProgramFile(L"config\\uiprof.cfg"), L"Global", L"SkinName", L"", kNameBuffer);
    std::wstring folder = ini::ProgramFile(L"Skins\\" + skin + L"\\");
    std::wstring page = ini::ReadString(folder + L"RostDialogs.skn", L"tipday", L"tipday", L"", kNameBuffer);
    if (page.empty() || folder.empty()) return std::wstring();
    return folder + page;
}

}  // namespace rostdialogs
