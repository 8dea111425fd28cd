#include "PageAddress.h"

#include <cwctype>

#include "Text.h"

namespace pageengine {
namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (towlower(text[i]) != towlower(prefix[i])) return false;
    }
    return true;
}

bool IsFullPath(const std::wstring& text) {
    if (text.size() >= 2 && text[1] == L':') return true;  // "C:\..." or "C:/..."
    return text.size() >= 2 && (text[0] == L'\\' || text[0] == L'/') && (text[1] == L'\\' || text[1] == L'/');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The loopback network only: the stand-in never reaches another machine.
bool IsLoopbackHost(const std::wstring& host) {
    if (_wcsicmp(host.c_str(), L"localhost") == 0) return true;
    int parts[4];
    wchar_t tail = 0;
    if (swscanf(host.c_str(), L"%d.%d.%d.%d%lc", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4) return false;
    for (int p : parts) {
        if (p < 0 || p > 255) return false;
    }
    return parts[0] == 127;
}

PageAddress ParseHttp(const std::wstring& text) {
    PageAddress a;
    std::wstring rest = text.substr(7);
    size_t slash = rest.find_first_of(L"/?#");
    std::wstring authority = rest.substr(0, slash);
    a.object = slash == std::wstring::npos ? L"/" : rest.substr(slash);
    if (!a.object.empty() && a.object[0] != L'/') a.object = L"/" + a.object;
    size_t hash = a.object.find(L'#');
    if (hash != std::wstring::npos) a.object.erase(hash);
    if (authority.find(L'@') != std::wstring::npos) {
        a.kind = AddressKind::Refused;
        return a;
    }
    size_t colon = authority.rfind(L':');
    a.host = authority.substr(0, colon);
    if (colon != std::wstring::npos) {
        std::wstring port = authority.substr(colon + 1);
        wchar_t* end = nullptr;
        long value = wcstol(port.c_str(), &end, 10);
        if (port.empty() || *end || value < 1 || value > 65535) {
            a.kind = AddressKind::Refused;
            return a;
        }
        a.port = static_cast<int>(value);
    }
    if (_wcsicmp(a.host.c_str(), L"localhost") == 0) a.host = L"127.0.0.1";
    a.kind = IsLoopbackHost(a.host) ? AddressKind::Http : AddressKind::Refused;
    return a;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HasScheme(const std::wstring& text) {
    size_t colon = text.find(L':');
    if (colon == std::wstring::npos || colon < 2) return false;
    for (size_t i = 0; i < colon; ++i) {
        wchar_t c = text[i];
        if (!(iswalnum(c) || c == L'+' || c == L'-' || c == L'.')) return false;
    }
    return iswalpha(text[0]) != 0;
}

PageAddress ParseAddress(const std::wstring& text, const std::wstring& programDir) {
    PageAddress a;
    if (_wcsicmp(text.c_str(), L"about:blank") == 0) {
        a.kind = AddressKind::Blank;
        return a;
    }
    if (StartsWithNoCase(text, L"http://")) return ParseHttp(text);
    std::wstring path;
    if (StartsWithNoCase(text, L"file:")) {
        std::wstring rest = text.substr(5);
        size_t slashes = 0;
        while (slashes < rest.size() && (rest[slashes] == L'/' || rest[slashes] == L'\\')) ++slashes;
        rest = rest.substr(slashes);
        // file://server/share stays a network path; file:///C:/x and file:C:\x are local.
        if (slashes == 2 && !(rest.size() >= 2 && rest[1] == L':')) rest = L"\\\\" + rest;
        size_t cut = rest.find_first_of(L"?#");
        if (cut != std::wstring::npos) rest.erase(cut);
        std::string bytes = PercentDecode(vantor::EncodeText(rest, CP_UTF8));
        path = vantor::DecodeBytes(bytes.data(), bytes.size(), CP_UTF8);
    } else if (HasScheme(text)) {
        a.kind = AddressKind::Unsupported;
        return a;
    } else {
        path = text;
    }
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.empty()) {
        a.kind = AddressKind::Unsupported;
        return a;
    }
    if (!IsFullPath(path)) {
        while (!path.empty() && path[0] == L'\\') path.erase(0, 1);
        path = programDir + path;
    }
    a.kind = AddressKind::File;
    a.path = path;
    return a;
}

std::wstring ResolveLink(const std::wstring& base, const std::wstring& link) {
    if (link.empty()) return base;
    if (HasScheme(link) || IsFullPath(link)) return link;
    bool http = StartsWithNoCase(base, L"http://");
    if (http && (link[0] == L'/')) {
        size_t slash = base.find(L'/', 7);
        return (slash == std::wstring::npos ? base : base.substr(0, slash)) + link;
    }
    std::wstring folder = base;
    size_t cut = folder.find_first_of(L"?#", http ? 7 : 0);
    if (cut != std::wstring::npos) folder.erase(cut);
    size_t last = folder.find_last_of(http ? L"/" : L"/\\");
    if (http && (last == std::wstring::npos || last < 7)) return folder + L"/" + link;
    if (last == std::wstring::npos) return link;
    return folder.substr(0, last + 1) + link;
}

}  // namespace pageengine
