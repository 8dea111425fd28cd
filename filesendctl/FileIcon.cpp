#include "FileIcon.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "Module.h"

namespace filesend {

namespace {

bool ReadDefaultValue(const std::wstring& key, std::wstring* value) {
    DWORD bytes = 0;
    // REG_EXPAND_SZ values come back expanded as REG_SZ.
    const DWORD types = RRF_RT_REG_SZ;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, types, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
        return false;
    *value = text.data();
    return !value->empty();
}

}  // namespace

HICON SenderIcon(const std::wstring& path) {
    if (path.empty()) return nullptr;
    std::vector<wchar_t> buffer(path.begin(), path.end());
    buffer.resize(path.size() < MAX_PATH ? MAX_PATH : path.size() + 1, L'\0');
    WORD index = 0;
    return ExtractAssociatedIconW(Module(), buffer.data(), &index);
}

HICON ReceiverIcon(const std::wstring& extension) {
    if (extension.size() < 2) return nullptr;
    std::wstring type;
    if (!ReadDefaultValue(extension, &type)) return nullptr;
    std::wstring location;
    if (!ReadDefaultValue(type + L"\\DefaultIcon", &location)) return nullptr;
    int index = 0;
    size_t comma = location.find_last_of(L',');
    std::wstring file = location;
    if (comma != std::wstring::npos) {
        index = _wtoi(location.c_str() + comma + 1);
        file = location.substr(0, comma);
    }
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"') file = file.substr(1, file.size() - 2);
    HICON icon = nullptr;
    if (ExtractIconExW(file.c_str(), index, &icon, nullptr, 1) == 0) return nullptr;
    return icon;
}

}  // namespace filesend
