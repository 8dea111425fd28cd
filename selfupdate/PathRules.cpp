#include "PathRules.h"

#include <windows.h>

#include <cwctype>

namespace selfupdate {

namespace {

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7F; }

// CON, NUL, COM1 ... are devices whatever extension follows them ("nul.txt" too).
bool IsDeviceName(const std::wstring& component) {
    std::wstring stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices) {
        if (SameName(stem, device)) return true;
    }
    if (stem.size() == 4 && (SameName(stem.substr(0, 3), L"COM") || SameName(stem.substr(0, 3), L"LPT")) &&
        (iswdigit(stem[3]) || stem[3] == 0xB9 || stem[3] == 0xB2 || stem[3] == 0xB3)) {
        return true;
    }
    return false;
}

bool Fail(std::wstring* why, const wchar_t* text) {
    if (why) *why = text;
    return false;
}

struct Origin {
    std::wstring scheme;   // lower case
    std::wstring host;     // lower case
    unsigned port = 0;
};

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

bool ReadOrigin(const std::wstring& url, Origin* origin) {
    size_t colon = url.find(L"://");
    if (colon == std::wstring::npos) return false;
    origin->scheme = LowerAscii(url.substr(0, colon));
    unsigned defaultPort = 0;
    if (origin->scheme == L"http") {
        defaultPort = 80;
    } else if (origin->scheme == L"https") {
        defaultPort = 443;
    } else {
        return false;
    }
    size_t start = colon + 3;
    size_t end = url.find_first_of(L"/?#", start);
    std::wstring authority = url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (authority.empty() || authority.find_first_of(L"@%\\") != std::wstring::npos) return false;
    for (wchar_t c : authority) {
        if (IsControl(c) || c == L' ') return false;
    }
    size_t portColon = authority.rfind(L':');
    if (portColon != std::wstring::npos && authority.find(L']', portColon) != std::wstring::npos) {
        portColon = std::wstring::npos;   // a colon inside an IPv6 literal
    }
    origin->host = LowerAscii(authority.substr(0, portColon));
    if (origin->host.empty()) return false;
    origin->port = defaultPort;
    if (portColon != std::wstring::npos) {
        std::wstring digits = authority.substr(portColon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        unsigned port = 0;
        for (wchar_t c : digits) {
            if (c < L'0' || c > L'9') return false;
            port = port * 10 + static_cast<unsigned>(c - L'0');
        }
        if (port == 0 || port > 65535) return false;
        origin->port = port;
    }
    return true;
}

}  // namespace

bool IsOnHostOf(const std::wstring& url, const std::wstring& base) {
    Origin wanted, given;
    return ReadOrigin(base, &wanted) && ReadOrigin(url, &given) && wanted.scheme == given.scheme &&
           wanted.host == given.host && wanted.port == given.port;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring NativeDest(const std::wstring& dest) {
    std::wstring path = dest;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

bool IsSafeDest(const std::wstring& dest, std::wstring* why) {
    if (dest.empty()) return Fail(why, L"empty");
    if (dest.size() >= MAX_PATH) return Fail(why, L"too long");
    std::wstring path = NativeDest(dest);
    if (path[0] == L'\\') return Fail(why, L"absolute or UNC");
    for (wchar_t c : path) {
        if (IsControl(c)) return Fail(why, L"control character");
        if (c == L':') return Fail(why, L"drive or stream");
        if (wcschr(L"*?\"<>|", c)) return Fail(why, L"wildcard");
    }
    if (SameName(path, L"update.cfg") || SameName(path, L"update.xml") || SameName(path, kStagingMarkName)) {
        return Fail(why, L"the staging's own file");
    }
    // The staging folders of every build lie there: a list must not plant one.
    std::wstring first = path.substr(0, path.find(L'\\'));
    if (SameName(first, kStagingRoot)) return Fail(why, L"inside the staging folders");
    size_t start = 0;
    for (;;) {
        size_t end = path.find(L'\\', start);
        std::wstring component = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (component.empty()) return Fail(why, L"empty folder name");
        if (component == L"." || component == L"..") return Fail(why, L"relative component");
        // Windows drops trailing dots and spaces, so "..." or ". ." would name something else.
        if (component.back() == L'.' || component.back() == L' ') return Fail(why, L"trailing dot or space");
        if (IsDeviceName(component)) return Fail(why, L"device name");
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return true;
}

bool IsSafeBuild(const std::wstring& build) {
    if (build.empty() || build.find(L"..") != std::wstring::npos) return false;
    for (wchar_t c : build) {
        if (IsControl(c) || c == L'\\' || c == L'/' || c == L':') return false;
    }
    // It names one folder: the names Windows would change or refuse are no build either.
    return IsSafeDest(build);
}

}  // namespace selfupdate
