#include "PathRules.h"

#include <windows.h>

#include "DeviceName.h"
#include "StagingFiles.h"
#include "WebAddress.h"

namespace selfupdate {

namespace {

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7F; }

bool Fail(std::wstring* why, const wchar_t* text) {
    if (why) *why = text;
    return false;
}

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// Scheme, host and port of an http or https address; the port the one WebFetch fetches it
// from: with no secure transport, "https://" as "http://", port 80 unless the address names one.
bool ReadOrigin(const std::wstring& url, vantor::WebAddressParts* origin) {
    if (!vantor::SplitWebAddress(url, origin) || origin->scheme.empty()) return false;
    origin->host = LowerAscii(origin->host);
    if (origin->port == 0) origin->port = 80;
    return true;
}

}  // namespace

bool IsOnHostOf(const std::wstring& url, const std::wstring& base) {
    vantor::WebAddressParts wanted, given;
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
        if (vantor::IsDeviceName(component)) return Fail(why, L"device name");
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return true;
}

bool StaysOutOfStaging(const std::wstring& programFolder, const std::wstring& dest, std::wstring* why) {
    FileIdentity root;
    bool haveRoot = IdentityOf(programFolder + L"\\" + kStagingRoot, &root);
    std::wstring path = NativeDest(dest);
    std::wstring reached = programFolder;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        reached += L"\\" + path.substr(start, end - start);
        start = end + 1;
        DWORD attributes = GetFileAttributesW(reached.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) break;   // from here on made as written
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Fail(why, L"a link on the way");
        FileIdentity identity;
        if (haveRoot && (attributes & FILE_ATTRIBUTE_DIRECTORY) && IdentityOf(reached, &identity) &&
            identity == root) {
            return Fail(why, L"another name of the staging folders");
        }
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
