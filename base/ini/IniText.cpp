#include "IniFile.h"

#include <climits>

namespace vantor {
namespace ini {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads one "%d" at `pos` as sscanf does: white space skipped, an optional sign, at
// least one digit. Leaves `pos` after the number; false (and `pos` unchanged) when no
// number is there.
bool ScanInt(std::wstring_view text, size_t& pos, long& value) {
    size_t i = pos;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    long long magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (magnitude <= static_cast<long long>(LONG_MAX) + 1) magnitude = magnitude * 10 + (text[i] - L'0');
    }
    long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > LONG_MAX) signedValue = LONG_MAX;
    if (signedValue < LONG_MIN) signedValue = LONG_MIN;
    value = static_cast<long>(signedValue);
    pos = i;
    return true;
}

bool ScanLiteral(std::wstring_view text, size_t& pos, wchar_t literal) {
    if (pos < text.size() && text[pos] == literal) {
        ++pos;
        return true;
    }
    return false;
}

COLORREF MakeColour(long red, long green, long blue) {
    // Each part keeps its low 8 bits, as the colour macro does.
    return RGB(static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue));
}

// Reads up to three numbers "%d,%d,%d" into parts[0..2], starting at `pos`.
int ScanTriple(std::wstring_view text, size_t& pos, long parts[3]) {
    int read = 0;
    for (; read < 3; ++read) {
        if (read > 0 && !ScanLiteral(text, pos, L',')) break;
        if (!ScanInt(text, pos, parts[read])) break;
    }
    return read;
}

}  // namespace

long ParseLong(std::wstring_view text) {
    size_t pos = 0;
    long value = 0;
    return ScanInt(text, pos, value) ? value : 0;
}

std::vector<std::wstring> Split(std::wstring_view text, std::wstring_view delimiters) {
    std::vector<std::wstring> pieces;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(delimiters, pos);
        if (start == std::wstring_view::npos) break;
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::wstring_view::npos) end = text.size();
        pieces.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return pieces;
}

COLORREF ParsePieceColour(std::wstring_view text) {
    std::vector<std::wstring> pieces = Split(text, L",");
    long parts[3] = {0, 0, 0};
    for (size_t i = 0; i < 3 && i < pieces.size(); ++i) parts[i] = ParseLong(pieces[i]);
    return MakeColour(parts[0], parts[1], parts[2]);
}

int ScanColour(std::wstring_view text, COLORREF* colour, int missing) {
    long parts[3] = {missing, missing, missing};
    size_t pos = 0;
    int read = ScanTriple(text, pos, parts);
    if (colour) *colour = MakeColour(parts[0], parts[1], parts[2]);
    return read;
}

int ScanGradient(std::wstring_view text, COLORREF* start, COLORREF* end) {
    long first[3] = {0, 0, 0};
    long second[3] = {255, 255, 255};
    size_t pos = 0;
    int read = ScanTriple(text, pos, first);
    if (read == 3 && ScanLiteral(text, pos, L'-')) read += ScanTriple(text, pos, second);
    if (start) *start = MakeColour(first[0], first[1], first[2]);
    if (end) *end = MakeColour(second[0], second[1], second[2]);
    return read;
}

}  // namespace ini
}  // namespace vantor
