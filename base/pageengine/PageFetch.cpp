#include "PageFetch.h"

#include <windows.h>
#include <wininet.h>

#include "Handles.h"

namespace pageengine {
namespace {

struct InternetTraits {
    using Value = HINTERNET;
    static Value Invalid() { return nullptr; }
    static bool Valid(Value v) { return v != nullptr; }
    static void Close(Value v) { InternetCloseHandle(v); }
};
using UniqueInternet = vantor::UniqueValue<InternetTraits>;

FetchResult FetchFile(const std::wstring& path) {
    FetchResult r;
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        r.error = GetLastError() == ERROR_ACCESS_DENIED ? kAccessDenied : kResourceNotFound;
        return r;
    }
    char buffer[16384];
    DWORD got = 0;
    while (r.bytes.size() < kMaxDocumentBytes && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) {
        r.bytes.append(buffer, got);
    }
    if (r.bytes.size() > kMaxDocumentBytes) r.bytes.resize(kMaxDocumentBytes);
    return r;
}

FetchResult FetchHttp(const PageAddress& address, unsigned long timeoutMs) {
    FetchResult r;
    // Direct only: the stand-in reaches the loopback servers and nothing through a proxy.
    UniqueInternet session(InternetOpenW(L"SurfView", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        r.error = kCannotConnect;
        return r;
    }
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = timeoutMs;
        InternetSetOptionW(session.get(), option, &value, sizeof value);
    }
    UniqueInternet connection(InternetConnectW(session.get(), address.host.c_str(),
                                               static_cast<INTERNET_PORT>(address.port), nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    // Redirects are not followed: one could lead off the loopback network.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
    UniqueInternet request(connection ? HttpOpenRequestW(connection.get(), L"GET", address.object.c_str(), nullptr,
                                                         nullptr, nullptr, flags, 0)
                                      : nullptr);
    if (!request || !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        r.error = GetLastError() == ERROR_INTERNET_TIMEOUT ? kConnectionTimeout : kCannotConnect;
        return r;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        r.error = kCannotConnect;
        return r;
    }
    if (status >= 400) {
        r.error = static_cast<long>(status);
        return r;
    }
    char buffer[16384];
    DWORD got = 0;
    while (r.bytes.size() < kMaxDocumentBytes && InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got) {
        r.bytes.append(buffer, got);
    }
    if (r.bytes.size() > kMaxDocumentBytes) r.bytes.resize(kMaxDocumentBytes);
    return r;
}

}  // namespace

FetchResult Fetch(const PageAddress& address, unsigned long timeoutMs) {
    switch (address.kind) {
        case AddressKind::Blank:
            return FetchResult();
        case AddressKind::File:
            return FetchFile(address.path);
        case AddressKind::Http:
            return FetchHttp(address, timeoutMs);
        case AddressKind::Refused: {
            FetchResult r;
            r.error = kAccessDenied;
            return r;
        }
        case AddressKind::Unsupported:
            break;
    }
    FetchResult r;
    r.error = kUnknownProtocol;
    return r;
}

}  // namespace pageengine
