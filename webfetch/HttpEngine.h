// What both HTTP engines share: the engine interface behind CNetHttp, the reply reader,
// the cookie table, proxy entries, the URL splitter and the file a download resumes.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Handles.h"
#include "TransferLimits.h"
#include "WebFetch.h"

struct ProxyEntry {
    std::wstring server;      // "host:port"
    std::wstring bypass;
    std::wstring scriptUrl;   // proxy auto-configuration script
};

// Cookies the replies set: exact names, and the first value seen for a name stays.
class CookieTable {
public:
    void Insert(const std::string& name, const std::string& value) { table_.emplace(name, value); }
    bool Find(const std::string& name, std::string* value) const;
    // Splits "name=value..." at its first "="; a text without "=" is skipped.
    void InsertSetCookie(const std::string& headerValue);
private:
    std::map<std::string, std::string> table_;
};

class ResumeFile;

// A handle of either HTTP library, closed by that library's close call.
template <BOOL(WINAPI* CloseCall)(void*)>
struct NetHandleTraits {
    using Value = void*;
    static Value Invalid() { return nullptr; }
    static bool Valid(Value v) { return v != nullptr; }
    static void Close(Value v) { CloseCall(v); }
};
template <BOOL(WINAPI* CloseCall)(void*)>
using NetHandle = vantor::UniqueValue<NetHandleTraits<CloseCall>>;

// The reply to one request an engine sent, read on the caller's thread: its header
// queries and its body. Both libraries take the same header levels.
class ReplyReader {
public:
    enum class Read { Data, End, Failed, Late, Stopped };

    virtual bool Status(DWORD* status) = 0;
    virtual bool HeaderValue(DWORD level, DWORD index, std::wstring* value) = 0;
    // As many body bytes as are there, at most size, once at least one is: Data with
    // *got > 0, or End. Late when none came within timeoutMs, Stopped at a Break, Failed
    // with *error the engine's error.
    virtual Read ReadSome(char* buffer, DWORD size, DWORD timeoutMs, DWORD* got, DWORD* error) = 0;

    // The WinINet engine under Wine mends a broken head itself: a reply that does not
    // begin with a status line comes out as a bare "HTTP/1.0 200 OK" (what followed its
    // first line taken for the body), and a header cut off by a close gets the blank line
    // it lacked. It cannot tell those from a real lone status line or a whole header; the
    // WinHTTP engine refuses the first and shows the second as it came.
    bool mendsBrokenHeads = false;

protected:
    ~ReplyReader() = default;
};

// One engine behind a CNetHttp, which owns it. Every transfer runs on its caller's
// thread; only Break and IsBreaked are meant for another thread. Several transfers
// through one engine must not overlap: they share its proxy routes and cookies.
class HttpEngine {
public:
    HttpEngine() : stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    virtual ~HttpEngine() = default;
    HttpEngine(const HttpEngine&) = delete;
    HttpEngine& operator=(const HttpEngine&) = delete;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Both text forms come to the engine's one download.
    HttpFetchResult DownloadW(const wchar_t* url, const wchar_t* localPath, CFileDownUpProcessCallback* callback,
                              DWORD_PTR context);
    HttpFetchResult DownloadA(const char* url, const char* localPath, CFileDownUpProcessCallback* callback,
                              DWORD_PTR context);
    // Sets the stop flag (the running transfer ends at once, every later one at its
    // first read), then sleeps the engine's while.
    void Break();
    bool IsBreaked() const { return stop_.load(); }
    virtual HttpFetchResult PostW(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body,
                                  const wchar_t* httpVersion, int queryLevel,
                                  const wchar_t* const* cookies, int cookieCount,
                                  CFileDownUpProcessCallback* callback, DWORD_PTR context) = 0;
    virtual HttpFetchResult PostA(const char* url, const char* extraHeaders, const char* body,
                                  const char* httpVersion, int queryLevel,
                                  const char* const* cookies, int cookieCount,
                                  CFileDownUpProcessCallback* callback, DWORD_PTR context) = 0;
    // Turns one proxy entry into the proxy a request goes through (kind 0: its named
    // server, 1: what its auto-configuration script answers for url); an empty proxy
    // means none. False when the entry can't be applied. The WinINet engine leaves
    // proxies to the system settings.
    virtual bool ApplyProxyEntry(const ProxyEntry& entry, int kind, const wchar_t* url, std::wstring* proxy,
                                 std::wstring* bypass) { return true; }

    CNetHttp* owner = nullptr;
    std::vector<ProxyEntry> proxies;
    int usedKind = -1;
    std::wstring usedFirst;
    std::wstring usedSecond;
    int autoDetect = 0;
    CookieTable cookies;

protected:
    // The rest of a download once its local file is open.
    virtual HttpFetchResult Download(const std::wstring& url, ResumeFile& file, CFileDownUpProcessCallback* callback,
                                     DWORD_PTR context) = 0;
    // How long Break sleeps once the flag is set.
    virtual DWORD BreakSleepMs() const = 0;

    // The rest of a post once its request went out: the status, the cookies the reply
    // sets (header cookieLevel; 0 keeps none), and the body to the callback chunk by
    // chunk as it comes, each at most chunkSize bytes and NUL-terminated. A failed read,
    // a stop, the deadline, a body beyond kMaxReplyBytes or a connection closed before
    // Content-Length bytes is not a delivered reply.
    HttpFetchResult ReceivePost(ReplyReader& reader, DWORD cookieLevel, DWORD chunkSize,
                                const webfetch::Deadline& deadline, CFileDownUpProcessCallback* callback,
                                DWORD_PTR context);
    // The rest of a download once its request went out (with a Range header when
    // sentRange): sizes, status, the body into file, then the file closed, closeRequest
    // called and the end reported.
    HttpFetchResult ReceiveDownload(ReplyReader& reader, uint64_t localSize, bool sentRange, ResumeFile& file,
                                    const std::function<void()>& closeRequest, CFileDownUpProcessCallback* callback,
                                    DWORD_PTR context);

    // Break's: set from another thread, looked at before every read and watched by every
    // wait; never cleared.
    std::atomic<bool> stop_{false};
    vantor::UniqueHandle stopEvent_;

private:
    // localPath may be null (no file can be opened).
    HttpFetchResult OpenAndDownload(const std::wstring& url, const wchar_t* localPath,
                                    CFileDownUpProcessCallback* callback, DWORD_PTR context);
};

// A Content-Length header value: decimal digits between blanks; false for anything else.
bool ParseContentLength(const wchar_t* text, uint64_t* length);

// A Content-Range value "bytes first-last/total" (total "*" when unknown), or
// "bytes */total" for an unsatisfiable range (hasRange false).
struct ContentRange {
    bool hasRange = false;
    uint64_t first = 0;
    uint64_t last = 0;
    bool hasTotal = false;
    uint64_t total = 0;
};
bool ParseContentRange(const std::wstring& text, ContentRange* range);

// Only an HTTP/1.x status line with a status of 100 to 599 and the blank line that ends
// the header is a reply: the engines hand on a status of 0 for a connection closed
// before any byte, any number the server wrote, and (WinHTTP) the header read up to a
// close for one that never ended.
bool IsWellFormedReply(DWORD status, const std::wstring& version, const std::wstring& rawHeaders);

// One value of a header that may occur several times, through query(buffer, &bytes),
// which gives false with ERROR_INSUFFICIENT_BUFFER (and the size needed) when the
// buffer is too small.
template <typename Query>
bool QueryGrowingValue(Query query, std::wstring* value) {
    std::vector<wchar_t> buffer(1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        if (query(buffer.data(), &size)) {
            value->assign(buffer.data(), size / sizeof(wchar_t));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        buffer.resize(size / sizeof(wchar_t) + 2);
    }
    return false;
}

HttpEngine* CreateWinInetEngine();
HttpEngine* CreateWinHttpEngine();

// Host names longer than this are refused rather than cut.
const size_t kMaxHostChars = 259;

// Splits an http url into host, port and path. "https://" is read as plain http on
// port 80 unless the url names a port. False for a host that is empty or too long.
bool SplitHttpUrl(const std::wstring& url, std::wstring* host, unsigned short* port, std::wstring* path);

// The local file of a download: opened for writing without sharing, created when
// missing, written at its end. Every chunk is written whole before the next is read, so
// the file's size is always the point the next attempt resumes from; it is flushed to
// the disk every kFlushBytes and when closed (a flush per chunk cost four fifths of a
// fast download's time, one every 4 MiB still a tenth).
class ResumeFile {
public:
    ResumeFile() = default;
    ~ResumeFile() { Close(); }
    ResumeFile(const ResumeFile&) = delete;
    ResumeFile& operator=(const ResumeFile&) = delete;

    bool Open(const wchar_t* path);
    uint64_t Size() const;
    // Empties the file: a server that ignored the range sends the whole body again.
    bool Restart();
    bool Append(const void* data, DWORD length);
    void Close();

    static const uint64_t kFlushBytes = 64u << 20;

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint64_t unflushed_ = 0;
};

// Text helpers shared by the engines.
std::wstring Widen(const char* ansi);
std::string Narrow(const wchar_t* wide);
std::string Narrow(const std::wstring& wide);
std::vector<std::wstring> WidenList(const char* const* texts, int count);
std::vector<std::wstring> CopyList(const wchar_t* const* texts, int count);
// A UTF-16 post body as the UTF-16LE bytes that go out; null is empty.
std::string WideBodyBytes(const wchar_t* body);

