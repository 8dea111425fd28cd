// Engine 1: WinINet, with the system's proxy settings. Every presence post, the IM
// gatekeeper login and the upgrade downloads go through here.
//
// The session runs in WinINet's asynchronous mode, so that no call of the engine holds
// the caller past a deadline: a call that cannot finish at once goes pending, and the
// caller waits for its report (PendingCall) no longer than the deadline and not past a
// Break. Under Wine the synchronous calls block inside their own header read, and
// closing a handle from another thread does not release them. The status callback sits
// on the request handle alone, from its opening until the engine reports it closing
// (EngineRequests); a send abandoned while still the engine's keeps what it sends until
// then, and a late report of the call itself finds no call to reach (PendingCall). A
// request whose reply is still coming is closed later, away from its caller
// (ParkedClose): WinINet's close would read the rest of it first.
#include "HttpEngine.h"

#include <wininet.h>

#include <memory>

#include "EngineRequests.h"
#include "ParkedClose.h"
#include "PendingCall.h"

namespace {

const DWORD kReadChunk = 16384;
// Reload from the server, keep the connection, hand a redirect back to the caller as its
// status instead of following it, and answer no authentication challenge (each would
// send the request again).
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT |
                            INTERNET_FLAG_NO_AUTH;
const wchar_t* const kAcceptTypes[] = {L"*/*", nullptr};

using InternetHandle = NetHandle<&InternetCloseHandle>;

// Only the reports of a call that went pending matter, and the closing of the request;
// the engine's other progress notes do not.
void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD) {
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        webfetch::RequestClosing(context);
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE && info) {
        auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        webfetch::PendingCall::Complete(context, result->dwResult != 0, result->dwError, 0);
    }
}

// Without these a silent server holds the engine's own reads for as long as it likes;
// the caller's waits have the same limit.
void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(handle, option, &ms, sizeof(ms));
    }
}

// What a request sends. The engine reads it until its send call reports (it sends the
// request again on a kept connection the server had closed), so a send abandoned while
// pending leaves it to the engine until the request's handle closes.
struct SendData : webfetch::EngineHeld {
    std::wstring headers;
    std::string body;
};

// What of a stated body may be left unread when its request closes: WinINet reads that
// much on the closing thread, at once.
const uint64_t kShortRest = 64 << 10;

// One request on the caller's thread: its handles, its reports, and the reply reader.
class InetRequest : public ReplyReader {
public:
    explicit InetRequest(HANDLE stopEvent) : call_(stopEvent) { mendsBrokenHeads = true; }
    ~InetRequest() { Close(); }

    // timeoutMs: how long the request may wait for room among the requests let go of.
    bool Open(const webfetch::SharedInternet& session, const std::wstring& url, const wchar_t* verb,
              const wchar_t* version, DWORD timeoutMs, HttpFetchResult* failure) {
        std::wstring host, path;
        unsigned short port = 80;
        *failure = HTTP_FETCH_CONNECT_FAILED;
        if (!call_.Usable() || !session || !SplitHttpUrl(url, &host, &port, &path)) return false;
        session_ = session;
        connection_.reset(InternetConnectW(session.get(), host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                           0, 0));
        if (!connection_) return false;
        *failure = HTTP_FETCH_OPEN_REQUEST_FAILED;
        HINTERNET request = HttpOpenRequestW(connection_.get(), verb, path.c_str(), version, nullptr,
                                             const_cast<const wchar_t**>(kAcceptTypes), kRequestFlags, call_.Key());
        if (!request) return false;
        webfetch::Opened opened =
            webfetch::RequestOpened(call_.Key(), host + L":" + std::to_wstring(port), call_.StopEvent(), timeoutMs);
        if (opened != webfetch::Opened::Yes) {
            InternetCloseHandle(request);
            if (opened == webfetch::Opened::NoRoom) *failure = HTTP_FETCH_STOPPED;
            return false;
        }
        if (InternetSetStatusCallbackW(request, &StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
            InternetCloseHandle(request);   // no callback: nothing of it reaches the library
            webfetch::RequestNotOpened(call_.Key());
            return false;
        }
        request_ = request;
        SetTimeouts(request_, webfetch::TransferLimitMs());
        return true;
    }

    // Sends the request and waits for the reply's header until the deadline: OK, or the
    // failure's code.
    HttpFetchResult Send(std::unique_ptr<SendData> data, const webfetch::Deadline& deadline) {
        send_ = std::move(data);
        const std::wstring& headers = send_->headers;
        std::string& body = send_->body;
        call_.Arm();
        if (HttpSendRequestW(request_, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                             body.empty() ? nullptr : &body[0], static_cast<DWORD>(body.size()))) {
            send_.reset();
            replied_ = true;
            return HTTP_FETCH_OK;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            send_.reset();
            return HTTP_FETCH_SEND_FAILED;
        }
        // Not reported in time: the send is still the engine's, and so is what it sends
        // (Close).
        if (call_.Wait(deadline.RemainingMs()) != webfetch::PendingCall::Outcome::Completed) return HTTP_FETCH_STOPPED;
        send_.reset();
        replied_ = call_.Succeeded();
        return replied_ ? HTTP_FETCH_OK : HTTP_FETCH_SEND_FAILED;
    }

    bool Status(DWORD* status) override {
        DWORD size = sizeof(*status), index = 0;
        return HttpQueryInfoW(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status, &size, &index) !=
               FALSE;
    }

    bool HeaderValue(DWORD level, DWORD index, std::wstring* value) override {
        return QueryGrowingValue([&](wchar_t* buffer, DWORD* bytes) {
            DWORD at = index;
            return HttpQueryInfoW(request_, level, buffer, bytes, &at) != FALSE;
        }, value);
    }

    // Reads that take what is there, until the buffer is full: with nothing there one
    // goes pending without a buffer of ours, and the engine reports once bytes came.
    // When bytes are already in hand that refill is left out, so that the engine fetches
    // the next bytes while the caller writes these.
    Read ReadSome(char* buffer, DWORD size, DWORD timeoutMs, DWORD* got, DWORD* error) override {
        *got = 0;
        bool waitFirst = refillOut_;
        refillOut_ = false;
        for (;;) {
            if (waitFirst) {
                waitFirst = false;
                webfetch::PendingCall::Outcome outcome = call_.Wait(timeoutMs);
                if (outcome == webfetch::PendingCall::Outcome::Late) return Read::Late;
                if (outcome == webfetch::PendingCall::Outcome::Stopped) return Read::Stopped;
                if (!call_.Succeeded()) {
                    *error = call_.Error();
                    return Read::Failed;
                }
            }
            INTERNET_BUFFERSW buffers = {};
            buffers.dwStructSize = sizeof(buffers);
            buffers.lpvBuffer = buffer + *got;
            buffers.dwBufferLength = size - *got;
            call_.Arm();
            if (InternetReadFileExW(request_, &buffers, IRF_NO_WAIT, call_.Key())) {
                *got += buffers.dwBufferLength;
                bodyRead_ += buffers.dwBufferLength;
                if (buffers.dwBufferLength == 0) {
                    bodyEnded_ = true;
                    return *got ? Read::Data : Read::End;
                }
                if (*got == size) return Read::Data;
                continue;
            }
            if (GetLastError() != ERROR_IO_PENDING) {
                if (*got) return Read::Data;   // the error comes again on the next read
                *error = GetLastError();
                return Read::Failed;
            }
            if (*got) {
                refillOut_ = true;
                return Read::Data;
            }
            waitFirst = true;
        }
    }

    // The request goes before its connection and session (closing those first releases
    // the request too). A send still the engine's leaves it what it sends until the
    // engine reports the handle closing. A reply whose body may still be coming is
    // closed later, away from the caller (ParkedClose), when there is a place for it.
    void Close() {
        if (request_) {
            DWORD_PTR key = call_.Key();
            if (send_) webfetch::KeepUntilClosed(key, send_.release());
            if (RestMayBeLong() && webfetch::CloseLater(request_, connection_.get(), session_, key)) {
                connection_.release();
            } else {
                webfetch::CloseRequest(request_, key, &InternetCloseHandle);
            }
            request_ = nullptr;
        }
        connection_.reset();
        session_.reset();
    }

private:
    // Whether WinINet's close would read more than kShortRest of the body: a chunked
    // body not read to its end, or a stated length beyond what was read (a length it
    // cannot read as decimal digits too: WinINet may read it as a large one). Without a
    // stated length the close reads nothing.
    bool RestMayBeLong() {
        if (!replied_ || bodyEnded_) return false;
        std::wstring text;
        if (HeaderValue(HTTP_QUERY_TRANSFER_ENCODING, 0, &text) && _wcsicmp(text.c_str(), L"chunked") == 0) {
            return true;
        }
        if (!HeaderValue(HTTP_QUERY_CONTENT_LENGTH, 0, &text)) return false;
        uint64_t length = 0;
        return !ParseContentLength(text.c_str(), &length) || length > bodyRead_ + kShortRest;
    }

    webfetch::PendingCall call_;
    webfetch::SharedInternet session_;
    InternetHandle connection_;
    HINTERNET request_ = nullptr;
    std::unique_ptr<SendData> send_;   // while a send is the engine's
    bool refillOut_ = false;           // a read went pending for the next bytes
    bool replied_ = false;             // the reply's header came
    bool bodyEnded_ = false;           // the engine said the body ended
    uint64_t bodyRead_ = 0;
};

class WinInetEngine : public HttpEngine {
public:
    ~WinInetEngine() override { Close(); }

    bool Open() override {
        if (!session_) {
            HINTERNET session = InternetOpenA("http-wininet", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                              INTERNET_FLAG_ASYNC);
            if (!session) return false;
            try {
                session_.reset(session, &InternetCloseHandle);
            } catch (...) {
                return false;   // the shared pointer closed the session
            }
        }
        SetTimeouts(session_.get(), webfetch::TransferLimitMs());
        return true;
    }

    // Requests of the session that are closed later keep it until then.
    void Close() override { session_.reset(); }

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
    DWORD BreakSleepMs() const override { return 100; }

    HttpFetchResult Post(const std::wstring& url, const std::wstring& extraHeaders, const std::string& body,
                         const wchar_t* httpVersion, int queryLevel, const std::vector<std::wstring>& cookies,
                         CFileDownUpProcessCallback* callback, DWORD_PTR context, bool wideForm);
    HttpFetchResult Download(const std::wstring& url, ResumeFile& file, CFileDownUpProcessCallback* callback,
                             DWORD_PTR context) override;

    webfetch::SharedInternet session_;
};

HttpFetchResult WinInetEngine::Post(const std::wstring& url, const std::wstring& extraHeaders,
                                    const std::string& body, const wchar_t* httpVersion, int queryLevel,
                                    const std::vector<std::wstring>& cookies, CFileDownUpProcessCallback* callback,
                                    DWORD_PTR context, bool wideForm) {
    webfetch::Deadline deadline(webfetch::TransferLimitMs());
    InetRequest request(stopEvent_.get());
    HttpFetchResult failure = HTTP_FETCH_OK;
    if (!request.Open(session_, url, L"POST", httpVersion, deadline.RemainingMs(), &failure)) return failure;

    auto data = std::make_unique<SendData>();
    data->headers = L"Content-Type: application/x-www-form-urlencoded\r\n" + extraHeaders;
    if (wideForm) data->headers += L"\r\n";
    data->body = body;

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

    if (stop_) return HTTP_FETCH_STOPPED;
    HttpFetchResult sent = request.Send(std::move(data), deadline);
    if (sent != HTTP_FETCH_OK) return sent;
    return ReceivePost(request, static_cast<DWORD>(queryLevel), kReadChunk, deadline, callback, context);
}

HttpFetchResult WinInetEngine::Download(const std::wstring& url, ResumeFile& file,
                                        CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    // The header must come within the stall limit, the wait for room included; the body
    // as long as bytes keep coming.
    webfetch::Deadline header(webfetch::TransferLimitMs());
    InetRequest request(stopEvent_.get());
    HttpFetchResult failure = HTTP_FETCH_OK;
    if (!request.Open(session_, url, L"GET", L"HTTP/1.0", header.RemainingMs(), &failure)) return failure;

    uint64_t localSize = file.Size();
    auto data = std::make_unique<SendData>();
    if (localSize > 0) data->headers = L"Range: bytes=" + std::to_wstring(localSize) + L"-\r\n\r\n";
    if (stop_) return HTTP_FETCH_STOPPED;
    HttpFetchResult sent = request.Send(std::move(data), header);
    if (sent != HTTP_FETCH_OK) return sent;
    return ReceiveDownload(request, localSize, localSize > 0, file, [&] { request.Close(); }, callback, context);
}

}  // namespace

HttpEngine* CreateWinInetEngine() {
    return new WinInetEngine();
}
