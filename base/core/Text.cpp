#include "Text.h"

#include <algorithm>
#include <cwchar>
#include <cstring>

namespace vantor {

namespace {

template <typename Char>
size_t BoundedLengthOf(const Char* s, size_t maxChars) {
    if (!s) return 0;
    size_t n = 0;
    while (n < maxChars && s[n]) ++n;
    return n;
}

}  // namespace

size_t BoundedLength(const char* s, size_t maxChars) { return BoundedLengthOf(s, maxChars); }
size_t BoundedLength(const wchar_t* s, size_t maxChars) { return BoundedLengthOf(s, maxChars); }

std::wstring DecodeBytes(const char* bytes, size_t length, UINT codePage) {
    if (!bytes || length == 0) return std::wstring();
    int needed = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), &out[0], needed);
    return out;
}

std::string EncodeText(const std::wstring& text, UINT codePage) {
    if (text.empty()) return std::string();
    int needed = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], needed,
                        nullptr, nullptr);
    return out;
}

std::wstring AnsiToWide(const char* s, size_t maxChars) {
    return DecodeBytes(s, BoundedLength(s, maxChars), CP_ACP);
}

std::string WideToAnsi(const wchar_t* s, size_t maxChars) {
    return EncodeText(std::wstring(s ? s : L"", BoundedLength(s, maxChars)), CP_ACP);
}

std::wstring AnsiToWide(const std::string& s) { return DecodeBytes(s.data(), s.size(), CP_ACP); }
std::string WideToAnsi(const std::wstring& s) { return EncodeText(s, CP_ACP); }

size_t WholeCharsPrefix(const char* s, size_t length, size_t keep) {
    if (length <= keep) return length;
    // Walk whole characters so that a trail byte is never mistaken for a lead byte.
    size_t i = 0;
    while (i < keep) {
        size_t step = (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < length) ? 2 : 1;
        if (i + step > keep) break;
        i += step;
    }
    return i;
}

size_t WholeCharsPrefix(const wchar_t* s, size_t length, size_t keep) {
    if (length <= keep) return length;
    if (keep > 0 && IS_HIGH_SURROGATE(s[keep - 1]) && IS_LOW_SURROGATE(s[keep])) return keep - 1;
    return keep;
}

namespace {

template <typename Char>
void CopyFieldOf(Char* field, size_t width, const Char* src, bool zeroFill) {
    if (!field || width == 0) return;
    size_t length = BoundedLength(src, width);
    size_t n = WholeCharsPrefix(src, length, width - 1);
    if (n) std::copy(src, src + n, field);
    if (zeroFill) std::fill(field + n, field + width, Char());
    else field[n] = Char();
}

}  // namespace

void CopyField(char* field, size_t width, const char* src, bool zeroFill) { CopyFieldOf(field, width, src, zeroFill); }

void CopyField(wchar_t* field, size_t width, const wchar_t* src, bool zeroFill) {
    CopyFieldOf(field, width, src, zeroFill);
}

wchar_t* AnsiToWideAlloc(const char* s) {
    if (!s) return nullptr;
    std::wstring w = AnsiToWide(s);
    auto* out = static_cast<wchar_t*>(LocalAlloc(LPTR, (w.size() + 1) * sizeof(wchar_t)));
    if (out) std::wmemcpy(out, w.c_str(), w.size() + 1);
    return out;
}

char* WideToAnsiAlloc(const wchar_t* s) {
    if (!s) return nullptr;
    std::string a = WideToAnsi(s);
    auto* out = static_cast<char*>(LocalAlloc(LPTR, a.size() + 1));
    if (out) std::memcpy(out, a.c_str(), a.size() + 1);
    return out;
}

}  // namespace vantor
