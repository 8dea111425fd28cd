#include "SaveName.h"

#include <cwctype>

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

bool DeviceDigit(wchar_t c) { return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3; }

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (superscript 1-3 too) name
// devices whatever extension follows.
bool IsDeviceName(const std::wstring& name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" || stem == L"CONIN$" ||
        stem == L"CONOUT$")
        return true;
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0))
        return DeviceDigit(stem[3]);
    return false;
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
    if (IsDeviceName(name)) return L"_" + name;
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
