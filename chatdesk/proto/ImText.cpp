#include "ImText.h"

#include <cstdio>
#include <cstring>

namespace chatdesk {

namespace {

// Format codes by effect combination (bold 1, italic 2, underline 4, strike-out 8).
const char kCodeByEffects[16] = {
    '0', '1', '2', '5', '3', '6', '8', 'B', '4', '7', '9', 'E', 'A', 'D', 'C', 'F',
};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

int Digits(const char* p, size_t count) {
    int value = 0;
    for (size_t i = 0; i < count; ++i) value = value * 10 + (p[i] - '0');
    return value;
}

}  // namespace

std::string MakeImStamp(const ImDateTime& w) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%03d000", w.year % 10000, w.month % 100, w.day % 100,
                  w.hour % 100, w.minute % 100, w.second % 100, w.millisecond % 1000);
    return std::string(text, kImStampSize);
}

bool ReadImStamp(const char* stamp, ImDateTime* when) {
    for (size_t i = 0; i < 17; ++i) {
        if (!IsDigit(static_cast<uint8_t>(stamp[i]))) return false;
    }
    when->year = Digits(stamp, 4);
    when->month = Digits(stamp + 4, 2);
    when->day = Digits(stamp + 6, 2);
    when->hour = Digits(stamp + 8, 2);
    when->minute = Digits(stamp + 10, 2);
    when->second = Digits(stamp + 12, 2);
    when->millisecond = Digits(stamp + 14, 3);
    return true;
}

std::string MakeStatusPair(uint16_t status) {
    std::string digits = std::to_string(status);
    if (digits.size() == 1) return digits + "*";
    return digits.substr(0, 2);
}

int ReadStatusPair(const char* pair) {
    uint8_t first = static_cast<uint8_t>(pair[0]);
    return IsDigit(first) ? first - '0' : -1;
}

char FormatCodeFromEffects(uint32_t effects) {
    if (effects & ~0xFu) return '0';
    return kCodeByEffects[effects];
}

uint32_t EffectsFromFormatCode(char code) {
    for (uint32_t effects = 0; effects < 16; ++effects) {
        if (kCodeByEffects[effects] == code) return effects;
    }
    return 0;
}

std::string MakeColourField(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour & 0xFFFFFFu));
    return text;
}

uint32_t ReadColourDigits(const uint8_t* digits) {
    uint32_t value = 0;
    for (size_t i = 0; i < 6; ++i) {
        uint8_t c = digits[i];
        uint32_t v;
        if (IsDigit(c)) v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else break;
        value = value * 16 + v;
    }
    return value;
}

std::string MakeHeightField(long twips) {
    // A negative height has no meaning on the wire; it travels as no height.
    std::string digits = std::to_string(twips > 0 ? twips / 10 : 0);
    digits.resize(2, '\0');
    return digits;
}

long ReadHeightField(const uint8_t* field) {
    long value = 0;
    for (size_t i = 0; i < 2 && IsDigit(field[i]); ++i) value = value * 10 + (field[i] - '0');
    return value * 10;
}

std::string CrLfToMarks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "^>";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string MarksToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] == '>') {
            out += "\r\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string CutChatText(const std::string& text, LeadByteTest isLeadByte, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = 0;
    while (end < maxBytes) {
        size_t width = (isLeadByte && isLeadByte(static_cast<uint8_t>(text[end])) && end + 1 < text.size()) ? 2 : 1;
        if (end + width > maxBytes) break;
        end += width;
    }
    return text.substr(0, end);
}

bool IsAcceptableImId(const std::string& id) {
    if (id.empty() || id == "." || id == "..") return false;
    for (char ch : id) {
        uint8_t c = static_cast<uint8_t>(ch);
        if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|=[]", ch)) return false;
    }
    return true;
}

bool ReadImId(const uint8_t* field, size_t size, std::string* id) {
    const void* end = std::memchr(field, 0, size);
    if (!end) return false;
    std::string text(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(end) - field);
    if (!IsAcceptableImId(text)) return false;
    *id = text;
    return true;
}

std::string ReadTextField(const uint8_t* field, size_t size) {
    const void* end = std::memchr(field, 0, size);
    size_t length = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - field) : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace chatdesk
