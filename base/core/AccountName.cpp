#include "AccountName.h"

#include <cwchar>

#include "DeviceName.h"

namespace vantor {

bool IsUsableAccountName(const std::wstring& name) {
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F || wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return !IsDeviceName(name);
}

}  // namespace vantor
