#include "PlugConfig.h"

#include <cwctype>

#include "Text.h"

namespace plughost {

std::wstring ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    // GetPrivateProfileString answers size - 1 when the value was cut; grow until it fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD n = GetPrivateProfileStringW(section, key, L"", buffer.data(), static_cast<DWORD>(buffer.size()),
                                           file.c_str());
        if (n + 1 < buffer.size() || buffer.size() >= (1u << 20)) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 4);
    }
}

std::vector<PlugId> ParsePlugIds(const std::wstring& list) {
    std::vector<PlugId> ids;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(L',', start);
        std::wstring piece = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        size_t first = piece.find_first_not_of(L" \t");
        if (first != std::wstring::npos) ids.push_back(static_cast<PlugId>(wcstol(piece.c_str(), nullptr, 10)));
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return ids;
}

static bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

bool IsImmediateLoadStyle(const std::wstring& style) { return EqualsNoCase(style, L"immediately"); }

bool IsNoPlugModule(const std::wstring& module) { return module.empty() || EqualsNoCase(module, L"noplug"); }

TabResources ReadTabResources(const std::wstring& programFolder, PlugId id) {
    std::wstring dir = programFolder + L"\\Container\\" + std::to_wstring(id) + L"\\";
    std::wstring file = dir + L"plugres.cfg";
    std::string dirAnsi = vantor::WideToAnsi(dir);
    auto icon = [&](const wchar_t* key) {
        return dirAnsi + vantor::WideToAnsi(ReadIniValue(file, L"TabPlugRes", key));
    };
    TabResources res;
    res.tooltip = vantor::WideToAnsi(ReadIniValue(file, L"TabPlugRes", L"tooltip"));
    res.iconNormal = icon(L"IconNormal");
    res.iconHover = icon(L"IconHover");
    res.iconSelect = icon(L"IconSelect");
    res.iconDisable = icon(L"IconDisable");
    return res;
}

}  // namespace plughost
