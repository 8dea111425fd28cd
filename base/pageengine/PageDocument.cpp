#include "PageDocument.h"

#include <windows.h>

#include <cwctype>

#include "Text.h"

namespace pageengine {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

std::wstring LowerW(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

bool ValidUtf8(const std::string& bytes) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                               0) > 0;
}

// The charset a page names in its first kilobytes ("charset=gb2312" in a meta element).
UINT NamedCodePage(const std::string& bytes) {
    std::string head = Lower(bytes.substr(0, 4096));
    size_t at = head.find("charset=");
    if (at == std::string::npos) return 0;
    at += 8;
    while (at < head.size() && (head[at] == '"' || head[at] == '\'' || head[at] == ' ')) ++at;
    std::string name;
    while (at < head.size() && (isalnum(static_cast<unsigned char>(head[at])) || head[at] == '-' || head[at] == '_')) {
        name += head[at++];
    }
    if (name == "gb2312" || name == "gbk" || name == "gb18030" || name == "cp936") return 936;
    if (name == "utf-8" || name == "utf8") return CP_UTF8;
    return 0;
}

// One item of a declaration: name, optional "=value" (quoted or up to the next blank).
struct Item {
    std::wstring name;
    std::wstring value;
};

std::vector<Item> Items(const std::wstring& body) {
    std::vector<Item> items;
    size_t i = 0;
    while (i < body.size()) {
        while (i < body.size() && iswspace(body[i])) ++i;
        if (i >= body.size()) break;
        Item item;
        while (i < body.size() && !iswspace(body[i]) && body[i] != L'=') item.name += body[i++];
        if (i < body.size() && body[i] == L'=') {
            ++i;
            if (i < body.size() && (body[i] == L'"' || body[i] == L'\'')) {
                wchar_t quote = body[i++];
                while (i < body.size() && body[i] != quote) item.value += body[i++];
                if (i < body.size()) ++i;
            } else {
                while (i < body.size() && !iswspace(body[i])) item.value += body[i++];
            }
        }
        items.push_back(item);
    }
    return items;
}

void ApplyDeclaration(const std::wstring& body, PageDocument* page) {
    PageFunction* function = nullptr;
    for (const Item& item : Items(body)) {
        if (item.name == L"size") {
            long w = 0, h = 0;
            if (swscanf(item.value.c_str(), L"%ldx%ld", &w, &h) == 2 && w >= 0 && h >= 0) {
                page->hasSize = true;
                page->width = w;
                page->height = h;
            }
        } else if (item.name == L"func" && !item.value.empty()) {
            page->functions.push_back(PageFunction{item.value, PageFunction::Result::None, L"", 0});
            function = &page->functions.back();
        } else if (item.name == L"return" && function) {
            function->result = PageFunction::Result::Text;
            function->text = item.value;
        } else if (item.name == L"return-i4" && function) {
            function->result = PageFunction::Result::Number;
            function->number = wcstol(item.value.c_str(), nullptr, 10);
        } else if (item.name == L"onload" && !item.value.empty()) {
            page->onload.push_back(item.value);
        } else if (item.name == L"frame" && !item.value.empty()) {
            page->frames.push_back(item.value);
        } else if (item.name == L"close") {
            page->closes = true;
        }
    }
}

std::wstring DecodeEntities(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            out += text[i];
            continue;
        }
        size_t semi = text.find(L';', i);
        if (semi == std::wstring::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        std::wstring name = text.substr(i + 1, semi - i - 1);
        wchar_t c = 0;
        if (name == L"amp") c = L'&';
        else if (name == L"lt") c = L'<';
        else if (name == L"gt") c = L'>';
        else if (name == L"quot") c = L'"';
        else if (name == L"apos") c = L'\'';
        else if (name == L"nbsp") c = L' ';
        else if (name.size() > 1 && name[0] == L'#') {
            unsigned long v = name[1] == L'x' || name[1] == L'X' ? wcstoul(name.c_str() + 2, nullptr, 16)
                                                                 : wcstoul(name.c_str() + 1, nullptr, 10);
            if (v > 0 && v < 0x10000) c = static_cast<wchar_t>(v);
        }
        if (!c) {
            out += text[i];
            continue;
        }
        out += c;
        i = semi;
    }
    return out;
}

// Text between the tags, without comments, scripts and styles, blanks collapsed.
std::wstring VisibleText(const std::wstring& html, std::wstring* title) {
    std::wstring lower = LowerW(html);
    std::wstring raw;
    size_t i = 0;
    bool inTitle = false;
    while (i < html.size()) {
        if (html.compare(i, 4, L"<!--") == 0) {
            size_t end = html.find(L"-->", i + 4);
            i = end == std::wstring::npos ? html.size() : end + 3;
            continue;
        }
        if (html[i] == L'<') {
            size_t end = html.find(L'>', i);
            if (end == std::wstring::npos) break;
            std::wstring tag = lower.substr(i + 1, end - i - 1);
            for (const wchar_t* skipped : {L"script", L"style"}) {
                if (tag.compare(0, wcslen(skipped), skipped) == 0) {
                    size_t close = lower.find(std::wstring(L"</") + skipped, end);
                    end = close == std::wstring::npos ? html.size() - 1 : lower.find(L'>', close);
                    if (end == std::wstring::npos) end = html.size() - 1;
                }
            }
            if (tag.compare(0, 5, L"title") == 0) inTitle = true;
            if (tag.compare(0, 6, L"/title") == 0) inTitle = false;
            if (tag == L"br" || tag == L"br/" || tag == L"p" || tag.compare(0, 2, L"p ") == 0 || tag == L"/p" ||
                tag == L"li" || tag.compare(0, 3, L"div") == 0 || tag.compare(0, 1, L"h") == 0) {
                raw += L'\n';
            } else {
                raw += L' ';
            }
            i = end + 1;
            continue;
        }
        if (inTitle) {
            *title += html[i];
        } else {
            raw += html[i];
        }
        ++i;
    }
    std::wstring out;
    bool blank = false;
    bool newline = true;
    for (wchar_t c : DecodeEntities(raw)) {
        if (c == L'\n') {
            if (!newline) out += L'\n';
            newline = true;
            blank = false;
        } else if (iswspace(c)) {
            blank = !newline;
        } else {
            if (blank) out += L' ';
            out += c;
            blank = false;
            newline = false;
        }
    }
    while (!out.empty() && out.back() == L'\n') out.pop_back();
    return out;
}

std::wstring Trimmed(const std::wstring& s) {
    size_t a = 0, b = s.size();
    while (a < b && iswspace(s[a])) ++a;
    while (b > a && iswspace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

}  // namespace

const PageFunction* PageDocument::Function(const std::wstring& name) const {
    for (const PageFunction& f : functions) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

std::wstring DecodePage(const std::string& bytes) {
    std::string body = bytes;
    if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) return vantor::DecodeBytes(body.data() + 3, body.size() - 3, CP_UTF8);
    UINT page = NamedCodePage(body);
    if (!page) page = ValidUtf8(body) ? CP_UTF8 : CP_ACP;
    return vantor::DecodeBytes(body.data(), body.size(), page);
}

PageDocument ParsePage(const std::wstring& url, const std::wstring& html) {
    PageDocument page;
    page.url = url;
    size_t at = 0;
    while ((at = html.find(L"<!--surf", at)) != std::wstring::npos) {
        size_t end = html.find(L"-->", at + 8);
        if (end == std::wstring::npos) break;
        // "<!--surface" and the like are not declarations.
        if (at + 8 < end && !iswspace(html[at + 8])) {
            at = end + 3;
            continue;
        }
        ApplyDeclaration(html.substr(at + 8, end - at - 8), &page);
        at = end + 3;
    }
    page.text = VisibleText(html, &page.title);
    page.title = Trimmed(DecodeEntities(page.title));
    return page;
}

PageDocument ErrorPage(const std::wstring& url, long status) {
    PageDocument page;
    page.url = url;
    page.error = status;
    wchar_t line[64];
    swprintf(line, 64, status >= 400 && status < 1000 ? L"HTTP %ld" : L"0x%08lX", status);
    page.title = L"无法显示网页";
    page.text = std::wstring(L"无法显示网页 (") + line + L")";
    return page;
}

}  // namespace pageengine
