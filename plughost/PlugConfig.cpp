#include "PlugConfig.h"


#include "IniFile.h"
#include "Text.h"

namespace plughost {

std::wstring ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    // Lists of plug-ins can be long: the reader grows its buffer up to this limit.
    return vantor::ini::ReadString(file, section, key, L"", 1u << 20);
}

std::vector<PlugId> ParsePlugIds(const std::wstring& list) {
    std::vector<PlugId> ids;
    for (const std::wstring& piece : vantor::ini::Split(list, L",")) {
        // A blank piece names no plug-in (it would otherwise become id 0, the tab manager).
        if (piece.find_first_not_of(L" \t") != std::wstring::npos)
            ids.push_back(static_cast<PlugId>(wcstol(piece.c_str(), nullptr, 10)));
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
