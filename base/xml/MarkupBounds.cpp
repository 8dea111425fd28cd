#include "MarkupBounds.h"

namespace vantor {
namespace xml {

namespace {

bool StartsAt(const std::wstring& text, size_t at, const wchar_t* what) {
    return text.compare(at, std::char_traits<wchar_t>::length(what), what) == 0;
}

// The end of what opened at `at` and closes with `close`: the position behind it, or
// npos.
size_t Behind(const std::wstring& text, size_t at, const wchar_t* close) {
    size_t found = text.find(close, at);
    return found == std::wstring::npos ? found : found + std::char_traits<wchar_t>::length(close);
}

// The declaration from `at` ("<!DOCTYPE"): quoted texts, and in the internal subset
// comments, processing instructions and the declarations' own quoted texts, may hold
// ">" and "]".
size_t DoctypeEnd(const std::wstring& text, size_t at, bool* hasSubset) {
    bool inSubset = false;
    size_t i = at + 9;
    while (i < text.size()) {
        wchar_t c = text[i];
        if (c == L'"' || c == L'\'') {
            size_t close = text.find(c, i + 1);
            if (close == std::wstring::npos) return close;
            i = close + 1;
        } else if (inSubset && StartsAt(text, i, L"<!--")) {
            if ((i = Behind(text, i + 4, L"-->")) == std::wstring::npos) return i;
        } else if (inSubset && StartsAt(text, i, L"<?")) {
            if ((i = Behind(text, i + 2, L"?>")) == std::wstring::npos) return i;
        } else if (c == L'[' && !inSubset) {
            inSubset = *hasSubset = true;
            ++i;
        } else if (c == L']' && inSubset) {
            inSubset = false;
            ++i;
        } else if (c == L'>' && !inSubset) {
            return i + 1;
        } else {
            ++i;
        }
    }
    return std::wstring::npos;
}

}  // namespace

bool ScanMarkupBounds(const std::wstring& text, MarkupFacts* facts) {
    *facts = MarkupFacts();
    size_t i = 0;
    while ((i = text.find(L'<', i)) != std::wstring::npos) {
        if (StartsAt(text, i, L"<!--")) {
            i = Behind(text, i + 4, L"-->");
        } else if (StartsAt(text, i, L"<![CDATA[")) {
            i = Behind(text, i + 9, L"]]>");
        } else if (StartsAt(text, i, L"<?")) {
            i = Behind(text, i + 2, L"?>");
        } else if (text.size() - i >= 9 && _wcsnicmp(text.c_str() + i, L"<!DOCTYPE", 9) == 0) {
            size_t end = DoctypeEnd(text, i, &facts->doctypeHasSubset);
            facts->doctypeAt = i;
            facts->doctypeLength = (end == std::wstring::npos ? text.size() : end) - i;
            i = end;
        } else if (StartsAt(text, i, L"<!") || StartsAt(text, i, L"</")) {
            i = Behind(text, i + 2, L">");
        } else {
            // A start tag: each "=" outside a quoted value names one attribute, and what
            // else stands outside the values behind the element's name is names.
            size_t attributes = 0;
            size_t j = text.find_first_of(L" \t\r\n/>", i + 1);
            for (; j < text.size() && text[j] != L'>'; ++j) {
                wchar_t c = text[j];
                if (c == L'=') {
                    ++attributes;
                } else if (c == L'"' || c == L'\'') {
                    j = text.find(c, j + 1);
                    if (j == std::wstring::npos) break;
                } else if ((c >= L'A' && c <= L'Z') || c >= 0x80) {
                    facts->attributeNamesLowerCase = false;
                }
            }
            if (attributes > facts->mostAttributes) facts->mostAttributes = attributes;
            i = (j == std::wstring::npos || j >= text.size()) ? std::wstring::npos : j + 1;
        }
        if (i == std::wstring::npos) return false;
    }
    return true;
}

}  // namespace xml
}  // namespace vantor
