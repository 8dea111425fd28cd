#include "PlugConfig.h"

#include <algorithm>
#include <climits>

#include "DebugOut.h"
#include "IniFile.h"
#include "Text.h"

namespace plughost {

namespace {

const wchar_t kBlanks[] = L" \t";

std::wstring Trimmed(const std::wstring& text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// A whole decimal number: an optional sign and digits, nothing else.
bool ParseWholeId(const std::wstring& piece, PlugId* id) {
    std::wstring text = Trimmed(piece);
    size_t at = (!text.empty() && (text[0] == L'-' || text[0] == L'+')) ? 1 : 0;
    if (at == text.size() || text.size() - at > 10) return false;
    long long value = 0;
    for (size_t i = at; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = value * 10 + (text[i] - L'0');
    }
    if (text[0] == L'-') value = -value;
    if (value < INT_MIN || value > INT_MAX) return false;
    *id = static_cast<PlugId>(value);
    return true;
}

}  // namespace

std::wstring ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key, bool* cut) {
    // Lists of plug-ins can be long: the reader grows its buffer up to this limit.
    size_t copied = 0;
    std::wstring value = vantor::ini::ReadString(file, section, key, L"", kMaxIniValueChars + 1, &copied);
    if (cut) *cut = copied >= kMaxIniValueChars;
    return value;
}

IniSection::IniSection(const std::wstring& file, const wchar_t* section) {
    std::vector<wchar_t> buffer(1 << 16);
    DWORD n = 0;
    for (;;) {
        n = GetPrivateProfileSectionW(section, buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
        if (n < buffer.size() - 2 || buffer.size() >= (1u << 26)) break;
        buffer.resize(buffer.size() * 4);
    }
    for (const wchar_t* p = buffer.data(); p < buffer.data() + n && *p; p += wcslen(p) + 1) {
        std::wstring line = p;
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        entries_.emplace_back(Lower(Trimmed(line.substr(0, eq))), Trimmed(line.substr(eq + 1)));
    }
    order_.resize(entries_.size());
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    // Stable by key, so that the first of equal keys comes first.
    std::stable_sort(order_.begin(), order_.end(),
                     [this](size_t a, size_t b) { return entries_[a].first < entries_[b].first; });
}

std::wstring IniSection::Value(const std::wstring& key) const {
    std::wstring wanted = Lower(key);
    auto at = std::lower_bound(order_.begin(), order_.end(), wanted,
                               [this](size_t i, const std::wstring& k) { return entries_[i].first < k; });
    if (at == order_.end() || entries_[*at].first != wanted) return std::wstring();
    return entries_[*at].second;
}

std::vector<PlugId> ParsePlugIds(const std::wstring& list, bool cut) {
    std::vector<std::wstring> pieces = vantor::ini::Split(list, L",");
    // Cut in the middle of an id, the last piece would name another plug-in.
    if (cut && !pieces.empty() && !list.empty() && list.back() != L',') pieces.pop_back();
    std::vector<PlugId> ids;
    for (const std::wstring& piece : pieces) {
        PlugId id = 0;
        if (ParseWholeId(piece, &id)) {
            ids.push_back(id);
        } else if (piece.find_first_not_of(kBlanks) != std::wstring::npos) {
            vantor::DebugLine(L"PlugHost: \"%ls\" is no plug id; it is skipped\n", piece.c_str());
        }
    }
    return ids;
}

std::vector<PlugId> ReadPlugIds(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    bool cut = false;
    std::wstring list = ReadIniValue(file, section, key, &cut);
    if (cut) vantor::DebugLine(L"PlugHost: [%ls] %ls is longer than the reader takes; it is cut\n", section, key);
    return ParsePlugIds(list, cut);
}

bool IsPlainModuleName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name.find(L"..") == std::wstring::npos;
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
