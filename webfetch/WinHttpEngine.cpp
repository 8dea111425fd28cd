// Engine 2: WinHTTP. Posts go straight to the server; downloads choose a proxy route:
// the route that worked last time, no proxy, each configured proxy entry (named proxy,
// then its auto-configuration script), then automatic detection.
#include "HttpEngine.h"

#include <winhttp.h>

namespace {

const DWORD kPostChunk = 32768;
const wchar_t* kAcceptTypes[] = {L"*/*", nullptr};

using WinHttpHandle = NetHandle<&WinHttpCloseHandle>;

bool QueryStatus(HINTERNET request, DWORD* status) {
    DWORD size = sizeof(*status);
    return WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, status, &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
}

bool QueryHeaderValue(HINTERNET request, DWORD level, DWORD index, std::wstring* value) {
    return QueryGrowingValue([&](wchar_t* buffer, DWORD* bytes) {
        DWORD at = index;
        return WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, buffer, bytes, &at) != FALSE;
    }, value);
}

bool QueryAvailable(HINTERNET request, DWORD* bytes) { return WinHttpQueryDataAvailable(request, bytes) != FALSE; }

void SetReceiveTimeout(HINTERNET request, DWORD ms) {
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

// Without these a silent server holds the caller's thread for as long as it likes; the
// wait for the reply's header has a timeout of its own.
void SetTimeouts(HINTERNET handle, DWORD ms, bool request) {
    int value = static_cast<int>(ms);
    WinHttpSetTimeouts(handle, value, value, value, value);
    if (request) WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ms, sizeof(ms));
}

const HttpEngine::ReplyReader kReplyReader = {&WinHttpReadData, &QueryAvailable, &SetReceiveTimeout, &QueryStatus,
                                              &QueryHeaderValue};

// A redirect is handed back as its status, as on the WinINet engine.
void KeepRedirects(HINTERNET request) {
    DWORD feature = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
}

// Where one request goes: straight to the server, or through a named proxy.
struct Route {
    std::wstring proxy;   // "host:port"; empty for no proxy
    std::wstring bypass;
};

// Asks WinHTTP which proxy serves url (by script or by detection). No answer leaves
// the route as it is.
void AskProxyFor(HINTERNET session, const std::wstring& url, DWORD flags, const std::wstring& scriptUrl,
                 Route* route) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = flags;
    if (flags & WINHTTP_AUTOPROXY_AUTO_DETECT) {
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.lpszAutoConfigUrl = scriptUrl.empty() ? nullptr : scriptUrl.c_str();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    if (!WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) return;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy) {
        route->proxy = info.lpszProxy;
        route->bypass = info.lpszProxyBypass ? info.lpszProxyBypass : L"";
    }
    if (info.lpszProxy) GlobalFree(info.lpszProxy);
    if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
}

// The handles of one send attempt. A proxied attempt runs in a session of its own
// opened for that proxy: the proxy travels with the session, so nothing of a failed
// attempt carries over into the next one (and a proxy set on a single request is not
// honoured everywhere WinHTTP runs).
struct Attempt {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

class WinHttpEngine : public HttpEngine {
public:
    ~WinHttpEngine() override { Close(); }

    bool Open() override {
        if (!session_) {
            session_ = WinHttpOpen(L"http-open", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0);
        }
        if (session_) SetTimeouts(session_, webfetch::TransferLimitMs(), false);
        return session_ != nullptr;
    }

    void Close() override {
        if (session_) WinHttpCloseHandle(session_);
        session_ = nullptr;
    }

    void Break() override {
        stop_ = true;
        Sleep(500);
    }

    bool ApplyProxyEntry(const ProxyEntry& entry, int kind, const wchar_t* url, std::wstring* proxy,
                         std::wstring* bypass) override {
        if (kind == 0 && !entry.server.empty()) {
            *proxy = entry.server;
            *bypass = entry.bypass;
        } else if (kind == 1 && !entry.scriptUrl.empty()) {
            Route route;
            AskProxyFor(session_, url, WINHTTP_AUTOPROXY_CONFIG_URL, entry.scriptUrl, &route);
            *proxy = route.proxy;
            *bypass = route.bypass;
        }
        return true;
    }

    HttpFetchResult PostA(const char* url, const char* extraHeaders, const char* body, const char*, int,
                          const char* const* cookies, int cookieCount, CFileDownUpProcessCallback* callback,
                          DWORD_PTR context) override {
        // The 8-bit body goes out byte for byte, as on the WinINet engine.
        return Post(Widen(url), Widen(extraHeaders), body ? std::string(body) : std::string(),
                    WidenList(cookies, cookieCount), callback, context);
    }

    HttpFetchResult PostW(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body, const wchar_t*, int,
                          const wchar_t* const* cookies, int cookieCount, CFileDownUpProcessCallback* callback,
                          DWORD_PTR context) override {
        // The UTF-16 body goes out as its UTF-16LE bytes, as on the WinINet engine.
        return Post(url ? url : L"", extraHeaders ? extraHeaders : L"", WideBodyBytes(body),
                    CopyList(cookies, cookieCount), callback, context);
    }

private:
    HINTERNET Connect(const std::wstring& url, std::wstring* path) {
        std::wstring host;
        unsigned short port = 80;
        if (!session_ || !SplitHttpUrl(url, &host, &port, path)) return nullptr;
        return WinHttpConnect(session_, host.c_str(), port, 0);
    }

    HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const std::wstring& path,
                          const wchar_t* version) {
        HINTERNET request = WinHttpOpenRequest(connection, verb, path.c_str(), version, WINHTTP_NO_REFERER,
                                               kAcceptTypes, 0);
        if (request) {
            KeepRedirects(request);
            SetTimeouts(request, webfetch::TransferLimitMs(), true);
        }
        return request;
    }

    bool TrySend(const Route& route, const std::wstring& host, unsigned short port, const std::wstring& path,
                 const std::wstring& headers, Attempt* attempt);
    bool SendAlongProxyRoute(const std::wstring& url, const std::wstring& headers, Attempt* attempt);
    HttpFetchResult Post(const std::wstring& url, const std::wstring& extraHeaders, const std::string& body,
                         const std::vector<std::wstring>& cookies, CFileDownUpProcessCallback* callback,
                         DWORD_PTR context);
    HttpFetchResult Download(const std::wstring& url, ResumeFile& file, CFileDownUpProcessCallback* callback,
                             DWORD_PTR context) override;

    HINTERNET session_ = nullptr;
};

bool WinHttpEngine::TrySend(const Route& route, const std::wstring& host, unsigned short port,
                            const std::wstring& path, const std::wstring& headers, Attempt* attempt) {
    attempt->request.reset();
    attempt->connection.reset();
    attempt->session.reset();
    HINTERNET session = session_;
    if (!route.proxy.empty()) {
        attempt->session.reset(WinHttpOpen(L"http-open", WINHTTP_ACCESS_TYPE_NAMED_PROXY, route.proxy.c_str(),
                                           route.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : route.bypass.c_str(),
                                           0));
        if (attempt->session) SetTimeouts(attempt->session.get(), webfetch::TransferLimitMs(), false);
        session = attempt->session.get();
    }
    if (!session) return false;
    attempt->connection.reset(WinHttpConnect(session, host.c_str(), port, 0));
    if (!attempt->connection) return false;
    attempt->request.reset(OpenRequest(attempt->connection.get(), L"GET", path, L"HTTP/1.0"));
    return attempt->request && WinHttpSendRequest(attempt->request.get(), headers.c_str(),
                                                  static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA,
                                                  0, 0, 0) != FALSE;
}

// The route that worked last time, then no proxy, then each entry by its server and by
// its script, then automatic detection. The route that works is kept for next time.
bool WinHttpEngine::SendAlongProxyRoute(const std::wstring& url, const std::wstring& headers, Attempt* attempt) {
    std::wstring host, path;
    unsigned short port = 80;
    if (!SplitHttpUrl(url, &host, &port, &path)) return false;
    if (usedKind != -1) {
        Route route;
        if (usedKind == 0) {
            route.proxy = usedFirst;
            route.bypass = usedSecond;
        } else if (usedKind == 1) {
            AskProxyFor(session_, url, WINHTTP_AUTOPROXY_CONFIG_URL, usedFirst, &route);
        } else if (usedKind == 2) {
            AskProxyFor(session_, url, WINHTTP_AUTOPROXY_AUTO_DETECT, std::wstring(), &route);
        }
        if (TrySend(route, host, port, path, headers, attempt)) return true;
        usedKind = -1;
        usedFirst.clear();
    }
    if (TrySend(Route(), host, port, path, headers, attempt)) return true;
    if (proxies.empty() && autoDetect == 0) return false;
    for (const ProxyEntry& entry : proxies) {
        Route route;
        if (ApplyProxyEntry(entry, 0, url.c_str(), &route.proxy, &route.bypass) &&
            TrySend(route, host, port, path, headers, attempt)) {
            usedKind = 0;
            usedFirst = entry.server;
            usedSecond = entry.bypass;
            return true;
        }
        route = Route();
        if (ApplyProxyEntry(entry, 1, url.c_str(), &route.proxy, &route.bypass) &&
            TrySend(route, host, port, path, headers, attempt)) {
            usedKind = 1;
            usedFirst = entry.scriptUrl;
            return true;
        }
    }
    if (autoDetect == 0) return false;
    Route detected;
    AskProxyFor(session_, url, WINHTTP_AUTOPROXY_AUTO_DETECT, std::wstring(), &detected);
    if (TrySend(detected, host, port, path, headers, attempt)) {
        usedKind = 2;
        return true;
    }
    return false;
}

HttpFetchResult WinHttpEngine::Post(const std::wstring& url, const std::wstring& extraHeaders,
                                    const std::string& body, const std::vector<std::wstring>& cookies,
                                    CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    webfetch::Deadline deadline(webfetch::TransferLimitMs());
    std::wstring path;
    WinHttpHandle connection(Connect(url, &path));
    if (!connection) return HTTP_FETCH_CONNECT_FAILED;
    WinHttpHandle request(OpenRequest(connection.get(), L"POST", path, nullptr));
    if (!request) return HTTP_FETCH_OPEN_REQUEST_FAILED;

    std::wstring headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!cookies.empty()) {
        headers += L"Cookie: ";
        for (size_t i = 0; i < cookies.size(); ++i) {
            if (i) headers += L";";
            headers += cookies[i];
        }
        headers += L"\r\n";
    }
    headers += extraHeaders + L"\r\n";
    DWORD bodyLength = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                            bodyLength ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA, bodyLength,
                            bodyLength, 0)) {
        return HTTP_FETCH_SEND_FAILED;
    }
    if (!WinHttpReceiveResponse(request.get(), nullptr)) return HTTP_FETCH_NO_RESPONSE;
    // The reply's cookies are kept whatever the caller asked for.
    return ReceivePost(kReplyReader, request.get(), WINHTTP_QUERY_SET_COOKIE, kPostChunk, deadline, callback,
                       context);
}

HttpFetchResult WinHttpEngine::Download(const std::wstring& url, ResumeFile& file,
                                        CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    // A url that can't be connected and a request that can't be opened get their own
    // codes before any route is tried; each attempt then makes its own handles.
    {
        std::wstring path;
        WinHttpHandle connection(Connect(url, &path));
        if (!connection) return HTTP_FETCH_CONNECT_FAILED;
        WinHttpHandle request(OpenRequest(connection.get(), L"GET", path, L"HTTP/1.0"));
        if (!request) return HTTP_FETCH_OPEN_REQUEST_FAILED;
    }

    uint64_t localSize = file.Size();
    std::wstring headers = L"Range: bytes=" + std::to_wstring(localSize) + L"-\r\n\r\n";
    Attempt attempt;
    if (!SendAlongProxyRoute(url, headers, &attempt)) return HTTP_FETCH_SEND_FAILED;
    HINTERNET sent = attempt.request.get();
    if (!WinHttpReceiveResponse(sent, nullptr)) return HTTP_FETCH_NO_RESPONSE;

    return ReceiveDownload(kReplyReader, sent, localSize, true, file,
                           [&] {
                               attempt.request.reset();
                               attempt.connection.reset();
                           },
                           callback, context);
}

}  // namespace

HttpEngine* CreateWinHttpEngine() {
    return new WinHttpEngine();
}
