// Reading INI (profile) files relative to the program folder, and the small parsers
// that go with their values: numbers, comma lists and colours.
//
// Text is UTF-16 throughout; modules with 8-bit interfaces convert at their edge.
#pragma once

#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {
namespace ini {

// Longest file path (in characters, without the terminator) that the readers open.
// Anything longer is treated as a missing file rather than cut to a different name.
constexpr size_t kMaxPathChars = MAX_PATH - 1;

// Joins the parts into one path; empty when the result would exceed maxChars.
std::wstring BoundedPath(std::initializer_list<std::wstring_view> parts, size_t maxChars = kMaxPathChars);

// "<program folder>" immediately followed by `relative` (no separator is inserted);
// empty when the path would be too long.
std::wstring ProgramFile(std::wstring_view relative);

// What GetPrivateProfileStringW leaves in a buffer of `bufferChars` characters:
// the value, or `fallback` when the key or the file is missing, cut to bufferChars - 1.
// An empty path reads as a missing file. `copied` receives the reader's count.
std::wstring ReadString(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                        const wchar_t* fallback, size_t bufferChars, size_t* copied = nullptr);

// GetPrivateProfileIntW: `fallback` when the key or the file is missing.
int ReadInt(const std::wstring& path, const wchar_t* section, const wchar_t* key, int fallback);

// A decimal number in the manner of atol: leading white space, an optional sign, then
// digits up to the first other character; no digits gives 0. Values beyond the 32-bit
// range stop at its ends.
long ParseLong(std::wstring_view text);

// The pieces of `text` between any of the `delimiters`, empty pieces skipped, as a
// strtok loop would give them, without strtok's shared state.
std::vector<std::wstring> Split(std::wstring_view text, std::wstring_view delimiters);

// A colour of comma-separated pieces "r,g,b" (empty pieces skipped, each piece read
// with ParseLong, missing pieces 0, further pieces ignored, each part cut to 8 bits).
COLORREF ParsePieceColour(std::wstring_view text);

// A colour written "%d,%d,%d" and read the way sscanf reads it: numbers are taken up to
// the first mismatch, and the parts not read keep `missing`. Each part is cut to 8 bits.
// Answers the count of numbers read.
int ScanColour(std::wstring_view text, COLORREF* colour, int missing = 0);

// A gradient written "%d,%d,%d-%d,%d,%d": start colour, then end colour. Missing parts
// of the start are 0, of the end 255. Answers the count of numbers read.
int ScanGradient(std::wstring_view text, COLORREF* start, COLORREF* end);

}  // namespace ini
}  // namespace vantor
