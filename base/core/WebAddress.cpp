#include "WebAddress.h"

#include <shellapi.h>

#include "Text.h"

namespace vantor {

namespace {

bool StartsWithFolded(const std::wstring& text, const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool ReadPort(const std::wstring& digits, unsigned* port) {
    if (digits.empty() || digits.size() > 5) return false;
    unsigned value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value == 0 || value > 65535) return false;
    *port = value;
    return true;
}

}  // namespace

bool SplitWebAddress(const std::wstring& address, WebAddressParts* parts) {
    *parts = WebAddressParts();
    size_t start = 0;
    if (StartsWithFolded(address, L"http://")) {
        parts->scheme = L"http";
        start = 7;
    } else if (StartsWithFolded(address, L"https://")) {
        parts->scheme = L"https";
        start = 8;
    } else {
        size_t scheme = address.find(L"://");
        if (scheme != std::wstring::npos && scheme < address.find_first_of(L"/?#")) return false;
    }
    size_t end = address.find_first_of(L"/?#", start);
    std::wstring authority = address.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    for (wchar_t c : authority) {
        if (c <= L' ' || c == 0x7F || c == L'@' || c == L'%' || c == L'\\') return false;
    }
    size_t colon = authority.rfind(L':');
    if (colon != std::wstring::npos && authority.find(L']', colon) != std::wstring::npos) {
        colon = std::wstring::npos;   // a colon inside an IPv6 literal
    }
    parts->host = authority.substr(0, colon);
    if (parts->host.empty()) return false;
    if (colon != std::wstring::npos && !ReadPort(authority.substr(colon + 1), &parts->port)) return false;
    if (end == std::wstring::npos || address[end] == L'#') {
        parts->path = L"/";
    } else {
        size_t fragment = address.find(L'#', end);
        parts->path = address.substr(end, fragment == std::wstring::npos ? std::wstring::npos : fragment - end);
        if (parts->path[0] == L'?') parts->path.insert(0, 1, L'/');
    }
    return true;
}

bool IsWebAddress(const std::string& address) {
    for (char c : address) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"') return false;
    }
    WebAddressParts parts;
    return SplitWebAddress(AnsiToWide(address), &parts) && !parts.scheme.empty();
}

bool OpenWebAddress(HWND owner, const std::string& address) {
    if (!IsWebAddress(address)) return false;
    ShellExecuteA(owner, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}

}  // namespace vantor
