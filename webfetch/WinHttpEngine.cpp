// Engine 2: WinHTTP. Posts go straight to the server; downloads choose a proxy route:
// the route that worked last time, no proxy, each configured proxy entry (named proxy,
// then its auto-configuration script), then automatic detection.
//
// Its sessions run in WinHTTP's asynchronous mode: every call of a request reports
// through the status callback, and the caller waits for that report (PendingCall) no
// longer than its deadline and not past a Break. The callback sits on request handles
// alone, from their opening until the engine reports them closing (EngineRequests); a
// call abandoned while pending leaves the engine what it reads (what the request sends)
// or writes into until then.
#include "HttpEngine.h"

#include <winhttp.h>

#include <memory>

#include "EngineRequests.h"
#include "PendingCall.h"

namespace {

const DWORD kPostChunk = 32768;
const wchar_t* kAcceptTypes[] = {L"*/*", nullptr};

using WinHttpHandle = NetHandle<&WinHttpCloseHandle>;

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
    using webfetch::PendingCall;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        PendingCall::Complete(context, true, 0, 0);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        PendingCall::Complete(context, true, 0, info ? *static_cast<const DWORD*>(info) : 0);
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        PendingCall::Complete(context, true, 0, length);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        PendingCall::Complete(context, false, info ? static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError : 0, 0);
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        webfetch::RequestClosing(context);
        break;
    default:
        break;
    }
}

const DWORD kReportedCalls = WINHTTP_CALLBACK_FLAG_SENDREQUEST_COMPLETE | WINHTTP_CALLBACK_FLAG_HEADERS_AVAILABLE |
                             WINHTTP_CALLBACK_FLAG_DATA_AVAILABLE | WINHTTP_CALLBACK_FLAG_READ_COMPLETE |
                             WINHTTP_CALLBACK_FLAG_REQUEST_ERROR | WINHTTP_CALLBACK_FLAG_HANDLES;

// Without these a silent server holds the engine's own reads for as long as it likes;
// the caller's waits have the same limit.
void SetTimeouts(HINTERNET handle, DWORD ms, bool request) {
    int value = static_cast<int>(ms);
    WinHttpSetTimeouts(handle, value, value, value, value);
    if (request) WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ms, sizeof(ms));
}

HINTERNET OpenSession(const wchar_t* proxy, const wchar_t* bypass) {
    HINTERNET session = proxy ? WinHttpOpen(L"http-open", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy,
                                            bypass ? bypass : WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC)
                              : WinHttpOpen(L"http-open", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                            WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session) SetTimeouts(session, webfetch::TransferLimitMs(), false);
    return session;
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

// What a request sends: the engine's until the reply's header came.
struct SendData : webfetch::EngineHeld {
    std::wstring headers;
    std::string body;
};

// What one read fills: the engine's until the read reported.
struct ReadBuffer : webfetch::EngineHeld {
    char bytes[16384];
};

// One request on the caller's thread: its handles, its reports and the reply reader. A
// proxied request runs in a session of its own opened for that proxy: the proxy travels
// with the session, so nothing of a failed attempt carries over into the next one (and
// a proxy set on a single request is not honoured everywhere WinHTTP runs).
class HttpRequest : public ReplyReader {
public:
    enum class Step { Done, Failed, Late, Stopped };

    explicit HttpRequest(HANDLE stopEvent) : call_(stopEvent), send_(new SendData), read_(new ReadBuffer) {}
    ~HttpRequest() { Close(); }

    // session: the engine's, or null to open one for the route's proxy. timeoutMs: how
    // long the request may wait for room among the requests let go of.
    bool Open(HINTERNET session, const Route& route, const std::wstring& host, unsigned short port,
              const wchar_t* verb, const std::wstring& path, const wchar_t* version, DWORD timeoutMs,
              HttpFetchResult* failure) {
        *failure = HTTP_FETCH_CONNECT_FAILED;
        if (!call_.Usable()) return false;
        if (!session) {
            ownSession_.reset(OpenSession(route.proxy.c_str(), route.bypass.empty() ? nullptr : route.bypass.c_str()));
            session = ownSession_.get();
        }
        if (!session) return false;
        connection_.reset(WinHttpConnect(session, host.c_str(), port, 0));
        if (!connection_) return false;
        *failure = HTTP_FETCH_OPEN_REQUEST_FAILED;
        HINTERNET request = WinHttpOpenRequest(connection_.get(), verb, path.c_str(), version, WINHTTP_NO_REFERER,
                                               kAcceptTypes, 0);
        if (!request) return false;
        // Every report of this request carries its key, its closing too.
        DWORD_PTR key = call_.Key();
        WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &key, sizeof(key));
        // A redirect or an authentication challenge is handed back as its status, as on
        // the WinINet engine; neither sends the request again.
        DWORD feature = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_AUTHENTICATION;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
        SetTimeouts(request, webfetch::TransferLimitMs(), true);
        webfetch::Opened opened =
            webfetch::RequestOpened(key, host + L":" + std::to_wstring(port), call_.StopEvent(), timeoutMs);
        if (opened != webfetch::Opened::Yes) {
            WinHttpCloseHandle(request);
            if (opened == webfetch::Opened::NoRoom) *failure = HTTP_FETCH_STOPPED;
            return false;
        }
        if (WinHttpSetStatusCallback(request, &StatusCallback, kReportedCalls, 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            WinHttpCloseHandle(request);   // no callback: nothing of it reaches the library
            webfetch::RequestNotOpened(key);
            return false;
        }
        request_ = request;
        return true;
    }

    SendData& sendData() { return *send_; }

    // The request out, within timeoutMs.
    Step Send(DWORD timeoutMs) {
        DWORD bodyLength = static_cast<DWORD>(send_->body.size());
        call_.Arm();
        if (!WinHttpSendRequest(request_, send_->headers.c_str(), static_cast<DWORD>(send_->headers.size()),
                                bodyLength ? &send_->body[0] : WINHTTP_NO_REQUEST_DATA, bodyLength, bodyLength,
                                call_.Key())) {
            return Step::Failed;
        }
        sendOut_ = true;
        Step step = Await(timeoutMs);
        if (step == Step::Failed) sendOut_ = false;
        return step;
    }

    // The reply's header, within timeoutMs. Once it came, what the request sends is no
    // longer read.
    Step Receive(DWORD timeoutMs) {
        call_.Arm();
        if (!WinHttpReceiveResponse(request_, nullptr)) return Step::Failed;
        Step step = Await(timeoutMs);
        if (step == Step::Done || step == Step::Failed) sendOut_ = false;
        return step;
    }

    bool Status(DWORD* status) override {
        DWORD size = sizeof(*status);
        return WinHttpQueryHeaders(request_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, status, &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
    }

    bool HeaderValue(DWORD level, DWORD index, std::wstring* value) override {
        return QueryGrowingValue([&](wchar_t* buffer, DWORD* bytes) {
            DWORD at = index;
            return WinHttpQueryHeaders(request_, level, WINHTTP_HEADER_NAME_BY_INDEX, buffer, bytes, &at) != FALSE;
        }, value);
    }

    // A plain read waits for a full buffer: first the engine says how much is there
    // (waiting without a buffer of ours), then that much is read. The question for the
    // next bytes goes out before these are handed on, so that the engine finds them
    // while the caller writes these (under Wine it goes through the engine's task queue
    // each time its 8 KiB buffer runs empty).
    Read ReadSome(char* buffer, DWORD size, DWORD timeoutMs, DWORD* got, DWORD* error) override {
        *got = 0;
        DWORD available = 0;
        if (!queryOut_ && !AskAvailable()) {
            *error = GetLastError();
            return Read::Failed;
        }
        queryOut_ = false;
        Step step = Await(timeoutMs);
        if (step == Step::Done) {
            available = call_.Bytes();
            if (available == 0) return Read::End;
        } else if (step == Step::Failed && call_.Error() == ERROR_INSUFFICIENT_BUFFER) {
            // WinHTTP under Wine answers so at the end of an empty chunked body; the read
            // then tells the end.
            available = 1;
        } else {
            *error = call_.Error();
            return StepRead(step);
        }
        DWORD want = available < size ? available : size;
        if (want > sizeof(read_->bytes)) want = sizeof(read_->bytes);
        call_.Arm();
        if (!WinHttpReadData(request_, read_->bytes, want, nullptr)) {
            *error = GetLastError();
            return Read::Failed;
        }
        step = Await(timeoutMs);
        if (step != Step::Done) {
            // Not reported in time: the read is still the engine's, and so is what it
            // reads into (Close).
            readOut_ = step != Step::Failed;
            *error = call_.Error();
            return StepRead(step);
        }
        *got = call_.Bytes();
        if (*got > want) *got = want;
        memcpy(buffer, read_->bytes, *got);
        if (*got == 0) return Read::End;
        queryOut_ = AskAvailable();
        return Read::Data;
    }

    // A send or a read still the engine's leaves it their memory until the engine
    // reports the handle closing. WinHTTP reads nothing more of a reply when its request
    // closes.
    void Close() {
        if (request_) {
            DWORD_PTR key = call_.Key();
            if (sendOut_) webfetch::KeepUntilClosed(key, send_.release());
            if (readOut_) webfetch::KeepUntilClosed(key, read_.release());
            webfetch::CloseRequest(request_, key, &WinHttpCloseHandle);
            request_ = nullptr;
        }
        connection_.reset();
        ownSession_.reset();
    }

private:
    bool AskAvailable() {
        call_.Arm();
        return WinHttpQueryDataAvailable(request_, nullptr) != FALSE;
    }

    Step Await(DWORD timeoutMs) {
        switch (call_.Wait(timeoutMs)) {
        case webfetch::PendingCall::Outcome::Completed:
            return call_.Succeeded() ? Step::Done : Step::Failed;
        case webfetch::PendingCall::Outcome::Late:
            return Step::Late;
        default:
            return Step::Stopped;
        }
    }

    static Read StepRead(Step step) {
        return step == Step::Late ? Read::Late : step == Step::Stopped ? Read::Stopped : Read::Failed;
    }

    webfetch::PendingCall call_;
    std::unique_ptr<SendData> send_;
    std::unique_ptr<ReadBuffer> read_;
    bool queryOut_ = false;   // the question for the next bytes went out
    bool sendOut_ = false;    // what the request sends may still be read
    bool readOut_ = false;    // a read into read_ did not report
    WinHttpHandle ownSession_;
    WinHttpHandle connection_;
    HINTERNET request_ = nullptr;
};

class WinHttpEngine : public HttpEngine {
public:
    ~WinHttpEngine() override { Close(); }

    bool Open() override {
        if (!session_) session_ = OpenSession(nullptr, nullptr);
        return session_ != nullptr;
    }

    void Close() override {
        if (session_) WinHttpCloseHandle(session_);
        session_ = nullptr;
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
    enum class Sent { Yes, No, Stopped };

    DWORD BreakSleepMs() const override { return 500; }

    Sent TrySend(const Route& route, const std::wstring& host, unsigned short port, const std::wstring& path,
                 const std::wstring& headers, std::unique_ptr<HttpRequest>* attempt);
    Sent SendAlongProxyRoute(const std::wstring& url, const std::wstring& headers,
                             std::unique_ptr<HttpRequest>* attempt);
    HttpFetchResult Post(const std::wstring& url, const std::wstring& extraHeaders, const std::string& body,
                         const std::vector<std::wstring>& cookies, CFileDownUpProcessCallback* callback,
                         DWORD_PTR context);
    HttpFetchResult Download(const std::wstring& url, ResumeFile& file, CFileDownUpProcessCallback* callback,
                             DWORD_PTR context) override;

    HINTERNET session_ = nullptr;
};

// One send attempt along a route, with the whole limit of its own: a route that cannot
// send in time is not the route, and the next one is tried.
WinHttpEngine::Sent WinHttpEngine::TrySend(const Route& route, const std::wstring& host, unsigned short port,
                                           const std::wstring& path, const std::wstring& headers,
                                           std::unique_ptr<HttpRequest>* attempt) {
    if (stop_) return Sent::Stopped;
    attempt->reset(new HttpRequest(stopEvent_.get()));
    HttpFetchResult failure = HTTP_FETCH_OK;
    HttpRequest& request = **attempt;
    if (!request.Open(route.proxy.empty() ? session_ : nullptr, route, host, port, L"GET", path, L"HTTP/1.0",
                      webfetch::TransferLimitMs(), &failure)) {
        return failure == HTTP_FETCH_STOPPED ? Sent::Stopped : Sent::No;
    }
    request.sendData().headers = headers;
    HttpRequest::Step step = request.Send(webfetch::TransferLimitMs());
    if (step == HttpRequest::Step::Stopped) return Sent::Stopped;
    return step == HttpRequest::Step::Done ? Sent::Yes : Sent::No;
}

// The route that worked last time, then no proxy, then each entry by its server and by
// its script, then automatic detection. The route that works is kept for next time.
WinHttpEngine::Sent WinHttpEngine::SendAlongProxyRoute(const std::wstring& url, const std::wstring& headers,
                                                       std::unique_ptr<HttpRequest>* attempt) {
    std::wstring host, path;
    unsigned short port = 80;
    if (!SplitHttpUrl(url, &host, &port, &path)) return Sent::No;
    Sent sent = Sent::No;
    auto tried = [&](Sent s) {
        sent = s;
        return s != Sent::No;
    };
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
        if (tried(TrySend(route, host, port, path, headers, attempt))) return sent;
        usedKind = -1;
        usedFirst.clear();
    }
    if (tried(TrySend(Route(), host, port, path, headers, attempt))) return sent;
    if (proxies.empty() && autoDetect == 0) return Sent::No;
    for (const ProxyEntry& entry : proxies) {
        Route route;
        if (ApplyProxyEntry(entry, 0, url.c_str(), &route.proxy, &route.bypass) &&
            tried(TrySend(route, host, port, path, headers, attempt))) {
            if (sent == Sent::Yes) {
                usedKind = 0;
                usedFirst = entry.server;
                usedSecond = entry.bypass;
            }
            return sent;
        }
        route = Route();
        if (ApplyProxyEntry(entry, 1, url.c_str(), &route.proxy, &route.bypass) &&
            tried(TrySend(route, host, port, path, headers, attempt))) {
            if (sent == Sent::Yes) {
                usedKind = 1;
                usedFirst = entry.scriptUrl;
            }
            return sent;
        }
    }
    if (autoDetect == 0) return Sent::No;
    Route detected;
    AskProxyFor(session_, url, WINHTTP_AUTOPROXY_AUTO_DETECT, std::wstring(), &detected);
    if (tried(TrySend(detected, host, port, path, headers, attempt)) && sent == Sent::Yes) usedKind = 2;
    return sent;
}

HttpFetchResult WinHttpEngine::Post(const std::wstring& url, const std::wstring& extraHeaders,
                                    const std::string& body, const std::vector<std::wstring>& cookies,
                                    CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    webfetch::Deadline deadline(webfetch::TransferLimitMs());
    std::wstring host, path;
    unsigned short port = 80;
    if (!session_ || !SplitHttpUrl(url, &host, &port, &path)) return HTTP_FETCH_CONNECT_FAILED;
    HttpRequest request(stopEvent_.get());
    HttpFetchResult failure = HTTP_FETCH_OK;
    if (!request.Open(session_, Route(), host, port, L"POST", path, nullptr, deadline.RemainingMs(), &failure)) {
        return failure;
    }

    std::wstring& headers = request.sendData().headers;
    headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!cookies.empty()) {
        headers += L"Cookie: ";
        for (size_t i = 0; i < cookies.size(); ++i) {
            if (i) headers += L";";
            headers += cookies[i];
        }
        headers += L"\r\n";
    }
    headers += extraHeaders + L"\r\n";
    request.sendData().body = body;
    if (stop_) return HTTP_FETCH_STOPPED;
    HttpRequest::Step step = request.Send(deadline.RemainingMs());
    if (step != HttpRequest::Step::Done) {
        return step == HttpRequest::Step::Failed ? HTTP_FETCH_SEND_FAILED : HTTP_FETCH_STOPPED;
    }
    step = request.Receive(deadline.RemainingMs());
    if (step != HttpRequest::Step::Done) {
        return step == HttpRequest::Step::Failed ? HTTP_FETCH_NO_RESPONSE : HTTP_FETCH_STOPPED;
    }
    // The reply's cookies are kept whatever the caller asked for.
    return ReceivePost(request, WINHTTP_QUERY_SET_COOKIE, kPostChunk, deadline, callback, context);
}

HttpFetchResult WinHttpEngine::Download(const std::wstring& url, ResumeFile& file,
                                        CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    // A url that can't be connected and a request that can't be opened get their own
    // codes before any route is tried; each attempt then makes its own handles.
    std::wstring host, path;
    unsigned short port = 80;
    if (!session_ || !SplitHttpUrl(url, &host, &port, &path)) return HTTP_FETCH_CONNECT_FAILED;
    {
        HttpRequest probe(stopEvent_.get());
        HttpFetchResult failure = HTTP_FETCH_OK;
        if (!probe.Open(session_, Route(), host, port, L"GET", path, L"HTTP/1.0", webfetch::TransferLimitMs(),
                        &failure)) {
            return failure;
        }
    }

    uint64_t localSize = file.Size();
    std::wstring headers = L"Range: bytes=" + std::to_wstring(localSize) + L"-\r\n\r\n";
    std::unique_ptr<HttpRequest> attempt;
    Sent sent = SendAlongProxyRoute(url, headers, &attempt);
    if (sent != Sent::Yes) return sent == Sent::Stopped ? HTTP_FETCH_STOPPED : HTTP_FETCH_SEND_FAILED;
    // The header must come within the stall limit; the body as long as bytes keep coming.
    HttpRequest::Step step = attempt->Receive(webfetch::TransferLimitMs());
    if (step != HttpRequest::Step::Done) {
        return step == HttpRequest::Step::Failed ? HTTP_FETCH_NO_RESPONSE : HTTP_FETCH_STOPPED;
    }
    return ReceiveDownload(*attempt, localSize, true, file, [&] { attempt->Close(); }, callback, context);
}

}  // namespace

HttpEngine* CreateWinHttpEngine() {
    return new WinHttpEngine();
}
