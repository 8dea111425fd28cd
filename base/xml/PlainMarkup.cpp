#include "PlainMarkup.h"

#include <windows.h>

#include <vector>

#include "MarkupBounds.h"

namespace vantor {
namespace xml {

namespace {

// Limits well inside the parser's own, so that it never refuses what passes here.
const size_t kMaxDepth = 200;
const size_t kMaxNameLength = 1000;
const size_t kMaxValueLength = 1000000;

bool Space(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool NameStart(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_'; }
bool NameChar(wchar_t c) { return NameStart(c) || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-'; }

// A character XML 1.0 allows.
bool CharAllowed(unsigned point) {
    return point == 0x9 || point == 0xA || point == 0xD || (point >= 0x20 && point <= 0xD7FF) ||
           (point >= 0xE000 && point <= 0xFFFD) || (point >= 0x10000 && point <= 0x10FFFF);
}

class Checker {
public:
    explicit Checker(const std::wstring& text) : s_(text) {}

    bool Document(bool* rootHoldsElements) {
        SkipSpace();
        if (!Element(0)) return false;
        SkipSpace();
        if (rootHoldsElements) *rootHoldsElements = rootHoldsElements_;
        return i_ == s_.size();
    }

private:
    void SkipSpace() {
        while (i_ < s_.size() && Space(s_[i_])) ++i_;
    }

    // A plain name: ASCII, no colon, and not one of the reserved "xml" names.
    bool Name(size_t* begin, size_t* length) {
        *begin = i_;
        if (i_ >= s_.size() || !NameStart(s_[i_])) return false;
        while (i_ < s_.size() && NameChar(s_[i_])) ++i_;
        *length = i_ - *begin;
        bool reserved = *length >= 3 && (s_[*begin] | 0x20) == L'x' && (s_[*begin + 1] | 0x20) == L'm' &&
                        (s_[*begin + 2] | 0x20) == L'l';
        return *length <= kMaxNameLength && !reserved;
    }

    bool Reference() {
        // s_[i_] is '&'.
        size_t semi = s_.find(L';', i_);
        if (semi == std::wstring::npos || semi - i_ > 12) return false;
        std::wstring ref = s_.substr(i_ + 1, semi - i_ - 1);
        i_ = semi + 1;
        if (ref == L"amp" || ref == L"lt" || ref == L"gt" || ref == L"quot" || ref == L"apos") return true;
        if (ref.size() < 2 || ref[0] != L'#') return false;
        bool hex = ref[1] == L'x';
        size_t from = hex ? 2 : 1;
        if (from >= ref.size()) return false;
        unsigned point = 0;
        for (size_t k = from; k < ref.size(); ++k) {
            wchar_t c = ref[k];
            unsigned digit = (c >= L'0' && c <= L'9')                    ? c - L'0'
                             : hex && (c | 0x20) >= L'a' && (c | 0x20) <= L'f' ? (c | 0x20) - L'a' + 10
                                                                              : 100;
            if (digit >= (hex ? 16u : 10u) || point > 0x10FFFF) return false;
            point = point * (hex ? 16 : 10) + digit;
        }
        return CharAllowed(point);
    }

    bool Value() {
        if (i_ >= s_.size() || (s_[i_] != L'"' && s_[i_] != L'\'')) return false;
        wchar_t quote = s_[i_++];
        size_t start = i_;
        while (i_ < s_.size() && s_[i_] != quote) {
            wchar_t c = s_[i_];
            if (c == L'<') return false;
            if (c == L'&') {
                if (!Reference()) return false;
                continue;
            }
            if (IS_HIGH_SURROGATE(c)) {
                if (i_ + 1 >= s_.size() || !IS_LOW_SURROGATE(s_[i_ + 1])) return false;
                i_ += 2;
                continue;
            }
            if (!CharAllowed(c)) return false;
            ++i_;
        }
        if (i_ >= s_.size() || i_ - start > kMaxValueLength) return false;
        ++i_;
        return true;
    }

    // A start tag, its content and its end tag, from s_[i_] ('<' expected).
    bool Element(size_t depth) {
        if (depth > kMaxDepth || i_ >= s_.size() || s_[i_] != L'<') return false;
        ++i_;
        size_t name, nameLength;
        if (!Name(&name, &nameLength)) return false;
        std::vector<std::pair<size_t, size_t>> attributes;
        for (;;) {
            bool spaced = i_ < s_.size() && Space(s_[i_]);
            SkipSpace();
            if (i_ >= s_.size()) return false;
            if (s_[i_] == L'/' || s_[i_] == L'>') break;
            size_t at, length;
            if (!spaced || !Name(&at, &length)) return false;
            for (const auto& seen : attributes) {
                if (seen.second == length && s_.compare(seen.first, length, s_, at, length) == 0) return false;
            }
            if (attributes.size() >= kMaxAttributesPerElement) return false;
            attributes.emplace_back(at, length);
            SkipSpace();
            if (i_ >= s_.size() || s_[i_] != L'=') return false;
            ++i_;
            SkipSpace();
            if (!Value()) return false;
        }
        if (s_[i_] == L'/') {
            ++i_;
            if (i_ >= s_.size() || s_[i_] != L'>') return false;
            ++i_;
            return true;
        }
        ++i_;
        for (;;) {
            SkipSpace();
            if (i_ + 1 >= s_.size() || s_[i_] != L'<') return false;
            if (s_[i_ + 1] == L'/') break;
            if (depth == 0) rootHoldsElements_ = true;
            if (!Element(depth + 1)) return false;
        }
        i_ += 2;
        if (s_.compare(i_, nameLength, s_, name, nameLength) != 0) return false;
        i_ += nameLength;
        if (i_ < s_.size() && NameChar(s_[i_])) return false;
        SkipSpace();
        if (i_ >= s_.size() || s_[i_] != L'>') return false;
        ++i_;
        return true;
    }

    const std::wstring& s_;
    size_t i_ = 0;
    bool rootHoldsElements_ = false;
};

}  // namespace

bool IsPlainWellFormed(const std::wstring& text, bool* rootHoldsElements) {
    if (rootHoldsElements) *rootHoldsElements = false;
    return Checker(text).Document(rootHoldsElements);
}

}  // namespace xml
}  // namespace vantor
