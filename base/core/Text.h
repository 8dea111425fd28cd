// Text conversion between the ANSI code page and UTF-16, and fixed-width record fields.
#pragma once

#include <windows.h>
#include <string>

namespace vantor {

// Length of s, reading at most maxChars characters (the field may lack a terminator).
size_t BoundedLength(const char* s, size_t maxChars);
size_t BoundedLength(const wchar_t* s, size_t maxChars);

// Conversions in the system ANSI code page; a null input gives an empty text.
std::wstring AnsiToWide(const char* s, size_t maxChars = static_cast<size_t>(-1));
std::string WideToAnsi(const wchar_t* s, size_t maxChars = static_cast<size_t>(-1));
std::wstring AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& s);

// Conversions in an explicit code page (CP_UTF8, 936, ...).
std::wstring DecodeBytes(const char* bytes, size_t length, UINT codePage);
std::string EncodeText(const std::wstring& text, UINT codePage);

// Number of characters of s (at most maxChars) that fit in keep characters without
// splitting a double-byte character (ANSI) or a surrogate pair (UTF-16).
size_t WholeCharsPrefix(const char* s, size_t length, size_t keep);
size_t WholeCharsPrefix(const wchar_t* s, size_t length, size_t keep);

// Copies src into a field of `width` characters: at most width - 1 characters, never a
// split character, terminated. With zeroFill the rest of the field is zeroed too.
void CopyField(char* field, size_t width, const char* src, bool zeroFill = true);
void CopyField(wchar_t* field, size_t width, const wchar_t* src, bool zeroFill = true);
template <size_t N> void CopyField(char (&field)[N], const char* src) { CopyField(field, N, src); }
template <size_t N> void CopyField(wchar_t (&field)[N], const wchar_t* src) { CopyField(field, N, src); }

// Reads a field that may fill its whole width without a terminator.
template <size_t N> std::string FieldText(const char (&field)[N]) { return std::string(field, BoundedLength(field, N)); }
template <size_t N> std::wstring FieldText(const wchar_t (&field)[N]) { return std::wstring(field, BoundedLength(field, N)); }

// Conversions into a LocalAlloc buffer that the caller frees with LocalFree; null on
// a null input or when memory runs out.
wchar_t* AnsiToWideAlloc(const char* s);
char* WideToAnsiAlloc(const wchar_t* s);

}  // namespace vantor
