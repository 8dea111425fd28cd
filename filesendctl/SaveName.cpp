#include "SaveName.h"

#include "DeviceName.h"

namespace filesend {

namespace {

const wchar_t kNeutralName[] = L"接收的文件";

bool InvalidInName(wchar_t c) {
    return c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'/' || c == L'\\' ||
           c == L'|' || c == L'?' || c == L'*';
}

// Marks that reorder how a name is shown ("\u202Etxt.exe" shows as "exe.txt").
bool DirectionControl(wchar_t c) {
    return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::wstring WithoutDirectionControls(std::wstring name) {
    for (wchar_t& c : name)
        if (DirectionControl(c)) c = L'_';
    return name;
}

}  // namespace

std::wstring DisplayName(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    return WithoutDirectionControls(cut == std::wstring::npos ? path : path.substr(cut + 1));
}

std::wstring ProposedSaveName(const std::wstring& peerPath) {
    size_t cut = peerPath.find_last_of(L"\\/:");
    std::wstring name = cut == std::wstring::npos ? peerPath : peerPath.substr(cut + 1);
    for (wchar_t& c : name)
        if (InvalidInName(c) || DirectionControl(c)) c = L'_';
    // Windows drops trailing dots and spaces, so ". ." would name the folder itself.
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    if (name.empty()) return kNeutralName;
    if (vantor::IsDeviceName(name)) return L"_" + name;
    return name;
}

std::wstring ExtensionOf(const std::wstring& name) {
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

std::wstring SaveFilter(const std::wstring& extension) {
    return extension + L"文件|*" + extension + L"||";
}

std::wstring DialogFilter(const std::wstring& filter) {
    std::wstring out = filter;
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    return out;
}

}  // namespace filesend
