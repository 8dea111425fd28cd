// Engine 1: WinINet, with the system's proxy settings. Every presence post, the IM
// gatekeeper login and the upgrade downloads go through here.
#include "HttpEngine.h"

#include <wininet.h>

namespace {

const DWORD kReadChunk = 16384;
// Reload from the server, keep the connection, and hand a redirect back to the caller as
// its status instead of following it.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT;
const wchar_t* const kAcceptTypes[] = {L"*/*", nullptr};

using InternetHandle = NetHandle<&InternetCloseHandle>;

bool QueryStatus(HINTERNET request, DWORD* status) {
    DWORD size = sizeof(*status), index = 0;
    return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status, &size, &index) != FALSE;
}

bool QueryHeaderValue(HINTERNET request, DWORD level, DWORD index, std::wstring* value) {
    return QueryGrowingValue([&](wchar_t* buffer, DWORD* bytes) {
        DWORD at = index;
        return HttpQueryInfoW(request, level, buffer, bytes, &at) != FALSE;
    }, value);
}

bool QueryAvailable(HINTERNET request, DWORD* bytes) {
    return InternetQueryDataAvailable(request, bytes, 0, 0) != FALSE;
}

void SetReceiveTimeout(HINTERNET request, DWORD ms) {
    InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

// Without these a silent server holds the caller's thread for as long as it likes.
void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &ms, sizeof(ms));
    }
}

const HttpEngine::ReplyReader kReplyReader = {&InternetReadFile, &QueryAvailable, &SetReceiveTimeout, &QueryStatus,
                                              &QueryHeaderValue};

class WinInetEngine : public HttpEngine {
public:
    ~WinInetEngine() override { Close(); }

    bool Open() override {
        if (!session_) session_ = InternetOpenA("http-wininet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (session_) SetTimeouts(session_, webfetch::TransferLimitMs());
        return session_ != nullptr;
    }

    void Close() override {
        if (session_) InternetCloseHandle(session_);
        session_ = nullptr;
    }

    void Break() override {
        stop_ = true;
        Sleep(100);
    }

    HttpFetchResult PostA(const char* url, const char* extraHeaders, const char* body, const char* httpVersion,
                          int queryLevel, const char* const* cookies, int cookieCount,
                          CFileDownUpProcessCallback* callback, DWORD_PTR context) override {
        std::wstring version = Widen(httpVersion);
        // The 8-bit body goes out byte for byte.
        return Post(Widen(url), Widen(extraHeaders), body ? std::string(body) : std::string(),
                    httpVersion ? version.c_str() : nullptr, queryLevel, WidenList(cookies, cookieCount),
                    callback, context, false);
    }

    HttpFetchResult PostW(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body,
                          const wchar_t* httpVersion, int queryLevel, const wchar_t* const* cookies, int cookieCount,
                          CFileDownUpProcessCallback* callback, DWORD_PTR context) override {
        return Post(url ? url : L"", extraHeaders ? extraHeaders : L"", WideBodyBytes(body), httpVersion, queryLevel,
                    CopyList(cookies, cookieCount), callback, context, true);
    }

private:
    HINTERNET OpenRequest(HINTERNET connection, const wchar_t* verb, const std::wstring& path,
                          const wchar_t* version, DWORD timeoutMs) {
        HINTERNET request = HttpOpenRequestW(connection, verb, path.c_str(), version, nullptr,
                                             const_cast<const wchar_t**>(kAcceptTypes), kRequestFlags, 0);
        if (request) SetTimeouts(request, timeoutMs);
        return request;
    }

    HINTERNET Connect(const std::wstring& url, std::wstring* path) {
        std::wstring host;
        unsigned short port = 80;
        if (!session_ || !SplitHttpUrl(url, &host, &port, path)) return nullptr;
        return InternetConnectW(session_, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    }

    HttpFetchResult Post(const std::wstring& url, const std::wstring& extraHeaders, const std::string& body,
                         const wchar_t* httpVersion, int queryLevel, const std::vector<std::wstring>& cookies,
                         CFileDownUpProcessCallback* callback, DWORD_PTR context, bool wideForm);
    HttpFetchResult Download(const std::wstring& url, ResumeFile& file, CFileDownUpProcessCallback* callback,
                             DWORD_PTR context) override;

    HINTERNET session_ = nullptr;
};

HttpFetchResult WinInetEngine::Post(const std::wstring& url, const std::wstring& extraHeaders,
                                    const std::string& body, const wchar_t* httpVersion, int queryLevel,
                                    const std::vector<std::wstring>& cookies, CFileDownUpProcessCallback* callback,
                                    DWORD_PTR context, bool wideForm) {
    DWORD limit = webfetch::TransferLimitMs();
    webfetch::Deadline deadline(limit);
    std::wstring path;
    InternetHandle connection(Connect(url, &path));
    if (!connection) return HTTP_FETCH_CONNECT_FAILED;
    InternetHandle request(OpenRequest(connection.get(), L"POST", path, httpVersion, limit));
    if (!request) return HTTP_FETCH_OPEN_REQUEST_FAILED;

    std::wstring headers = L"Content-Type: application/x-www-form-urlencoded\r\n" + extraHeaders;
    if (wideForm) headers += L"\r\n";

    // WinINet sends the cookies of the url from its own jar.
    for (const std::wstring& cookie : cookies) {
        size_t eq = cookie.find(L'=');
        std::wstring name = cookie.substr(0, eq);
        if (eq == std::wstring::npos) {
            InternetSetCookieW(url.c_str(), name.c_str(), nullptr);
        } else {
            InternetSetCookieW(url.c_str(), name.c_str(), cookie.c_str() + eq + 1);
        }
    }

    if (!HttpSendRequestW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                          const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
        return HTTP_FETCH_SEND_FAILED;
    }
    return ReceivePost(kReplyReader, request.get(), static_cast<DWORD>(queryLevel), kReadChunk, deadline, callback,
                       context);
}

HttpFetchResult WinInetEngine::Download(const std::wstring& url, ResumeFile& file,
                                        CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    std::wstring path;
    InternetHandle connection(Connect(url, &path));
    if (!connection) return HTTP_FETCH_CONNECT_FAILED;
    InternetHandle request(OpenRequest(connection.get(), L"GET", path, L"HTTP/1.0", webfetch::TransferLimitMs()));
    if (!request) return HTTP_FETCH_OPEN_REQUEST_FAILED;

    uint64_t localSize = file.Size();
    std::wstring headers;
    if (localSize > 0) headers = L"Range: bytes=" + std::to_wstring(localSize) + L"-\r\n\r\n";
    if (!HttpSendRequestW(request.get(), headers.empty() ? nullptr : headers.c_str(),
                          static_cast<DWORD>(headers.size()), nullptr, 0)) {
        return HTTP_FETCH_SEND_FAILED;
    }
    return ReceiveDownload(kReplyReader, request.get(), localSize, localSize > 0, file,
                           [&] {
                               request.reset();
                               connection.reset();
                           },
                           callback, context);
}

}  // namespace

HttpEngine* CreateWinInetEngine() {
    return new WinInetEngine();
}
