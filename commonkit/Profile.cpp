// Profile readers and the program folder.
#include "CommonKit.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "IniFile.h"
#include "ModulePath.h"
#include "Text.h"

namespace {

const wchar_t kNotSet[] = L"error";
const size_t kIntChars = 200;
const size_t kRgbChars = 30;

std::wstring ProfilePath(const wchar_t* file) {
    return file ? vantor::ini::ProgramFile(file) : std::wstring();
}

// Null stays null, so that a missing name is seen as missing after conversion too.
struct WideArg {
    explicit WideArg(const char* s) : isNull(s == nullptr), text(vantor::AnsiToWide(s)) {}
    const wchar_t* get() const { return isNull ? nullptr : text.c_str(); }
    bool isNull;
    std::wstring text;
};

// A value read through a buffer of `Chars` characters and parsed into *target; the
// target keeps its value when the key is not set.
template <size_t Chars, typename T, typename Parse>
int ReadParsed(LPCWSTR section, LPCWSTR key, T* target, LPCWSTR file, Parse parse) {
    if (!target) return 0;
    wchar_t text[Chars];
    if (!_GetProfileStringW(section, key, text, Chars, file)) return 0;
    *target = parse(text);
    return 1;
}

// The 8-bit form of a reader: names converted from the ANSI code page.
template <typename T>
int ReadNarrow(int(WINAPI* wide)(LPCWSTR, LPCWSTR, T*, LPCWSTR), LPCSTR section, LPCSTR key, T* target,
               LPCSTR file) {
    WideArg wideSection(section), wideKey(key), wideFile(file);
    return wide(wideSection.get(), wideKey.get(), target, wideFile.get());
}

}  // namespace

int WINAPI _GetProfileStringW(LPCWSTR section, LPCWSTR key, LPWSTR out, DWORD chars, LPCWSTR file) {
    if (!out || chars == 0) return 0;
    size_t copied = 0;
    std::wstring value = vantor::ini::ReadString(ProfilePath(file), section, key, kNotSet, chars, &copied);
    std::wmemcpy(out, value.c_str(), value.size() + 1);
    if (copied == 0) return 0;
    return value == kNotSet ? 0 : 1;
}

int WINAPI _GetProfileStringA(LPCSTR section, LPCSTR key, LPSTR out, DWORD chars, LPCSTR file) {
    if (!out || chars == 0) return 0;
    WideArg wideSection(section), wideKey(key), wideFile(file);
    size_t copied = 0;
    std::wstring value = vantor::ini::ReadString(ProfilePath(wideFile.get()), wideSection.get(), wideKey.get(),
                                                 kNotSet, chars, &copied);
    std::string ansi = vantor::WideToAnsi(value);
    size_t n = vantor::WholeCharsPrefix(ansi.data(), ansi.size(), chars - 1);
    std::memcpy(out, ansi.data(), n);
    out[n] = '\0';
    if (copied == 0 || n == 0) return 0;
    return std::strcmp(out, "error") == 0 ? 0 : 1;
}

int WINAPI _GetProfileIntW(LPCWSTR section, LPCWSTR key, int* value, LPCWSTR file) {
    return ReadParsed<kIntChars>(section, key, value, file,
                                 [](const wchar_t* text) { return static_cast<int>(vantor::ini::ParseLong(text)); });
}

int WINAPI _GetProfileIntA(LPCSTR section, LPCSTR key, int* value, LPCSTR file) {
    return ReadNarrow(_GetProfileIntW, section, key, value, file);
}

int WINAPI _GetProfileRgbW(LPCWSTR section, LPCWSTR key, COLORREF* colour, LPCWSTR file) {
    return ReadParsed<kRgbChars>(section, key, colour, file,
                                 [](const wchar_t* text) { return vantor::ini::ParsePieceColour(text); });
}

int WINAPI _GetProfileRgbA(LPCSTR section, LPCSTR key, COLORREF* colour, LPCSTR file) {
    return ReadNarrow(_GetProfileRgbW, section, key, colour, file);
}

int WINAPI _GetModuleDirW(LPWSTR out, DWORD chars) {
    std::wstring folder = vantor::ProgramDir();
    if (!out || folder.empty() || folder.size() + 1 > chars) return 0;
    std::wmemcpy(out, folder.c_str(), folder.size() + 1);
    return 1;
}

int WINAPI _GetModuleDirA(LPSTR out, DWORD chars) {
    std::string folder = vantor::WideToAnsi(vantor::ProgramDir());
    if (!out || folder.empty() || folder.size() + 1 > chars) return 0;
    std::memcpy(out, folder.c_str(), folder.size() + 1);
    return 1;
}
