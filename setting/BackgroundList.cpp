#include "BackgroundList.h"

#include <windows.h>

#include <map>

#include "Handles.h"

namespace setting {

namespace {
const wchar_t kBuiltIn[] = L"bkgnd";
const wchar_t kCustom[] = L"custbkgnd";

std::wstring WithoutExtension(const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring FolderOf(const std::wstring& settings) {
    size_t slash = settings.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : settings.substr(0, slash + 1);
}

// Longest [bkgnd] section read, in characters.
const size_t kMaxSectionChars = 1u << 20;
// Characters of a built-in name kept, as a 32-character buffer keeps them.
const size_t kNameChars = 31;

std::wstring Trimmed(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// A value as the profile reader gives one key's value: trimmed, a pair of enclosing
// quotes of one kind (single or double) taken off, cut to the characters kept.
std::wstring ValueText(const std::wstring& raw) {
    std::wstring value = Trimmed(raw);
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, kNameChars);
}

// The index a key names when it is written as a number is written ("0", "17"), else -1.
long long KeyIndex(const std::wstring& key) {
    if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == L'0')) return -1;
    long long index = 0;
    for (wchar_t c : key) {
        if (c < L'0' || c > L'9') return -1;
        index = index * 10 + (c - L'0');
    }
    return index;
}

// The section's "key=value" lines, read in one go.
std::vector<std::wstring> SectionLines(const std::wstring& file, const wchar_t* section) {
    std::vector<wchar_t> buffer(4096);
    DWORD n = 0;
    for (;;) {
        n = GetPrivateProfileSectionW(section, buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
        if (n + 2 < buffer.size() || buffer.size() >= kMaxSectionChars) break;
        buffer.resize(buffer.size() * 2);
    }
    std::vector<std::wstring> lines;
    for (size_t at = 0; at < n && buffer[at];) {
        std::wstring line(&buffer[at]);
        at += line.size() + 1;
        lines.push_back(line);
    }
    return lines;
}

// The built-in names by index: the section's numbered keys, the first of a repeated key
// holding. The list and the pictures it opens both read them here.
std::map<long long, std::wstring> BuiltInNames(const std::wstring& settings) {
    std::map<long long, std::wstring> names;
    for (const std::wstring& line : SectionLines(settings, kBuiltIn)) {
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        long long index = KeyIndex(Trimmed(line.substr(0, equals)));
        if (index >= 0) names.emplace(index, ValueText(line.substr(equals + 1)));
    }
    return names;
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
}  // namespace

bool IsListedLocalName(const std::wstring& name) {
    return name != L"." && name != L".." && lstrcmpiW(name.c_str(), L"Thumbs.db") != 0;
}

BackgroundList::BackgroundList(std::wstring settings, std::wstring localDir)
    : settings_(std::move(settings)), localDir_(std::move(localDir)) {}

std::wstring BackgroundList::Read(const wchar_t* section, const wchar_t* key, size_t chars) const {
    std::wstring value(chars, L'\0');
    DWORD n = GetPrivateProfileStringW(section, key, L"", &value[0], static_cast<DWORD>(chars), settings_.c_str());
    value.resize(n);
    return value;
}

void BackgroundList::Load() {
    entries_.clear();
    initial_ = -1;
    int count = static_cast<int>(GetPrivateProfileIntW(kBuiltIn, L"count", 0, settings_.c_str()));
    def_ = static_cast<int>(GetPrivateProfileIntW(kBuiltIn, L"def", 0, settings_.c_str()));
    // The numbered keys below count, in number order.
    for (const auto& [index, name] : BuiltInNames(settings_)) {
        if (index >= count) break;
        if (name.empty()) continue;
        if (index == def_) initial_ = static_cast<int>(entries_.size());
        entries_.push_back({false, static_cast<int>(index), WithoutExtension(name)});
    }
    WIN32_FIND_DATAW found;
    vantor::UniqueFind find(FindFirstFileW((localDir_ + L"*.*").c_str(), &found));
    if (!find) return;
    do {
        if (IsListedLocalName(found.cFileName)) entries_.push_back({true, 0, found.cFileName});
    } while (FindNextFileW(find.get(), &found));
}

std::wstring BackgroundList::BuiltInPath(int index) const {
    std::map<long long, std::wstring> names = BuiltInNames(settings_);
    auto found = names.find(index);
    return found == names.end() || found->second.empty() ? std::wstring() : FolderOf(settings_) + found->second;
}

std::wstring BackgroundList::InitialPreview() const {
    if (def_ >= 0) return BuiltInPath(def_);
    std::wstring name = Read(kCustom, L"name", 260);
    if (!name.empty() && GetFileAttributesW(LocalPath(name).c_str()) != INVALID_FILE_ATTRIBUTES) return LocalPath(name);
    return BuiltInPath(0);
}

int BackgroundList::AddLocalCopy(const std::wstring& source) {
    std::wstring name = FileNameOf(source);
    if (name.empty() || !CopyFileW(source.c_str(), LocalPath(name).c_str(), TRUE)) return -1;
    entries_.push_back({true, 0, name});
    return static_cast<int>(entries_.size()) - 1;
}

bool BackgroundList::ChoiceFor(int position, Choice* choice) const {
    if (position < 0 || position >= static_cast<int>(entries_.size())) return false;
    const Background& entry = entries_[static_cast<size_t>(position)];
    *choice = Choice();
    if (entry.local) {
        choice->command = 7;
        choice->name = entry.text;
    } else {
        choice->command = 4;
        choice->index = entry.index;
    }
    return true;
}

bool BackgroundList::Write(const Choice& choice) const {
    if (choice.command == 7) {
        return WritePrivateProfileStringW(kBuiltIn, L"def", L"-1", settings_.c_str()) &&
               WritePrivateProfileStringW(kCustom, L"name", choice.name.c_str(), settings_.c_str());
    }
    return WritePrivateProfileStringW(kBuiltIn, L"def", std::to_wstring(choice.index).c_str(), settings_.c_str()) != 0;
}

}  // namespace setting
