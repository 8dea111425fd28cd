// WebFetch: HTTP form posts with cookies and resumable downloads (CNetHttp), a blocking
// HTTP/1.0 socket client (CWebFetch), and one-shot posts for callers that load the
// library by name (Http_PostRequestA/W).
//
// Linking: add the WebFetch target to the caller's LIBS (its import library comes with
// it). Only mingw-built modules can link the classes: their members are exported under
// g++'s own names. No standard-library type crosses this header.
#pragma once

#include <windows.h>

#include "VantorResults.h"   // HttpFetchResult and its HTTP_FETCH_* codes

#ifdef WEBFETCH_BUILD
#define WEBFETCH_API __declspec(dllexport)
#define WEBFETCH_FUNC   // plain functions are exported by WebFetch.def, under undecorated names
#else
#define WEBFETCH_API __declspec(dllimport)
#define WEBFETCH_FUNC __declspec(dllimport)
#endif

// What the unsized out-text members copy at most, terminator included: the size of one
// cookie text, and of a proxy's host; a longer text is cut. The sized overloads take
// the caller's buffer size instead.
#define WEBFETCH_UNSIZED_OUT_CHARS 260

// Progress of one transfer, implemented by the caller and called on the caller's thread.
// The context is the value the caller handed to Download/PostRequest (pointer-sized, so
// callers may pass an object's address). No destructor slot: WebFetch never deletes it.
class CFileDownUpProcessCallback {
public:
    // Content-Length of this response (for a resumed download: the remaining part).
    virtual void OnTotalSize(DWORD sizeLow, DWORD sizeHigh, DWORD_PTR context) = 0;
    // Bytes received so far in this transfer, after each chunk is on disk.
    virtual void OnProgress(DWORD doneLow, DWORD doneHigh, DWORD_PTR context) = 0;
    // End of a download whose status was 200 or 206: stop flag (low byte) and the system
    // error of a failed read (0 if none).
    virtual void OnFinished(DWORD stopFlag, DWORD lastError, DWORD_PTR context) = 0;
    // One received chunk of a post's reply body, NUL-terminated, length in bytes.
    virtual void OnPostData(const char* chunk, DWORD length, DWORD_PTR context) = 0;

protected:
    ~CFileDownUpProcessCallback() {}
};

class HttpEngine;

// Facade over one HTTP engine: Open(1) WinINet, Open(2) WinHTTP. 8-bit texts are in the
// ANSI code page. Not copyable: the object owns its engine.
//
// Every transfer runs on its caller's thread and the library starts no thread: a post
// ends at its deadline, a download when no byte came for as long (a minute each), and
// neither outlives its call: once it returns, nothing of it reads, writes or reports,
// and the local file of a download is closed. (Under Wine, closing a WinINet request
// reads the rest of a body that is still coming; such a request is closed later on the
// system thread pool, a bounded number of them, and the library stays loaded until the
// engines are done with every request. A new request is never refused for those: while
// they fill their bound it waits, within its own deadline, for the room the oldest leave.)
// Transfers through one object must not overlap; only Break and IsBreaked are meant for
// another thread.
class WEBFETCH_API CNetHttp {
public:
    CNetHttp();
    ~CNetHttp();
    CNetHttp(const CNetHttp&) = delete;
    CNetHttp& operator=(const CNetHttp&) = delete;

    bool Open(int engineType);
    void Close();

    // Fetches url into localPath, resuming after the bytes the file already holds.
    // callback may be null.
    HttpFetchResult Download(const char* url, const char* localPath,
                             CFileDownUpProcessCallback* callback, DWORD_PTR context);
    HttpFetchResult Download(const wchar_t* url, const wchar_t* localPath,
                             CFileDownUpProcessCallback* callback, DWORD_PTR context);

    // Form post. extraHeaders, body and httpVersion may be null; cookies are
    // "name=value" texts; queryLevel 43 keeps the reply's Set-Cookie values for
    // QuerySetCookie, 0 keeps nothing.
    HttpFetchResult PostRequest(const char* url, const char* extraHeaders, const char* body,
                                const char* httpVersion, int queryLevel,
                                const char* const* cookies, int cookieCount,
                                CFileDownUpProcessCallback* callback, DWORD_PTR context);
    HttpFetchResult PostRequest(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body,
                                const wchar_t* httpVersion, int queryLevel,
                                const wchar_t* const* cookies, int cookieCount,
                                CFileDownUpProcessCallback* callback, DWORD_PTR context);

    // A cookie the replies set. The two-argument forms copy at most
    // WEBFETCH_UNSIZED_OUT_CHARS characters (terminator included).
    bool QuerySetCookie(const char* name, char* value);
    bool QuerySetCookie(const wchar_t* name, wchar_t* value);
    bool QuerySetCookie(const char* name, char* value, size_t valueChars);
    bool QuerySetCookie(const wchar_t* name, wchar_t* value, size_t valueChars);

    // Proxy routes of the WinHTTP engine's downloads ("host:port", bypass list,
    // auto-configuration script URL).
    void AddProxySetting(const char* server, const char* bypass, const char* scriptUrl);
    void AddProxySetting(const wchar_t* server, const wchar_t* bypass, const wchar_t* scriptUrl);
    void SetAutoProxy(int enable);
    // kind: -1 none, 0 named proxy, 1 auto-configuration script, 2 automatic detection.
    void SetUsedProxy(int kind, const char* first, const char* second);
    void SetUsedProxy(int kind, const wchar_t* first, const wchar_t* second);
    // The three-argument forms copy at most WEBFETCH_UNSIZED_OUT_CHARS per text.
    bool GetUsedProxySetting(int* kind, char* first, char* second) const;
    bool GetUsedProxySetting(int* kind, wchar_t* first, wchar_t* second) const;
    bool GetUsedProxySetting(int* kind, char* first, size_t firstChars,
                             char* second, size_t secondChars) const;
    bool GetUsedProxySetting(int* kind, wchar_t* first, size_t firstChars,
                             wchar_t* second, size_t secondChars) const;

    // Meant for another thread (or the progress callback): the running transfer stops
    // at once, before its next chunk, and every later transfer of this object at its
    // first read.
    void Break();
    bool IsBreaked() const;

private:
    HttpEngine* engine_;
};

struct ResponseRecord;

// Blocking HTTP/1.0 client over one TCP socket. The process must have started Winsock.
class WEBFETCH_API CWebFetch {
public:
    CWebFetch();
    virtual ~CWebFetch();
    CWebFetch(const CWebFetch&) = delete;
    CWebFetch& operator=(const CWebFetch&) = delete;

    bool Socket();
    // Direct, else through the current user's browser proxy with CONNECT; proxyOut
    // (may be null) receives "host:port" of that proxy, at most
    // WEBFETCH_UNSIZED_OUT_CHARS characters.
    bool Connect(const char* host, int port, char* proxyOut);
    // Appends a request header to the NUL-terminated text in out, which must have room.
    bool FormatRequestHeader(char* out, const char* host, const char* path, int bodyLength,
                             const char* verb, const char* const* cookies, int cookieCount,
                             const char* referer, long rangeFrom, long rangeTo, int unused,
                             bool viaProxy);
    bool SendRequest(const char* header, const char* body, char* unusedBuffer, int* unusedLength);
    const char* GetResponseHeader(int& length, char* unusedBuffer, long* third);
    int Receive(char* buffer, int size);
    bool Receive();
    int GetBodyActualLength() const;
    const char* GetResponseBody();
    void Filter(const char* endTag);
    void CleanResponseHeader();
    int GetResponseLine(char* buffer, int size);
    int GetFileValue(const char* name, char* buffer, int size);
    int GetWebState() const;
    bool CloseSocket();
    bool SetTimeout(int milliseconds, int kind);

private:
    bool _Connect(const char* host, unsigned short port);

    ResponseRecord* response_;
    unsigned long peerAddress_;   // IPv4, network order; all ones until resolved
    UINT_PTR socket_;             // a SOCKET; INVALID_SOCKET when none
    int lineCursor_;
    bool headerComplete_;
    int headerLength_;
};

// Reply chunks of Http_PostRequestA/W (8-bit text for both forms); the result is ignored.
typedef int(WINAPI* HttpPostDataProc)(const char* chunk, DWORD length, DWORD_PTR context);

extern "C" {
WEBFETCH_FUNC int WINAPI Http_PostRequestA(const char* url, const char* extraHeaders, const char* body,
                                          HttpPostDataProc proc, DWORD_PTR context);
WEBFETCH_FUNC int WINAPI Http_PostRequestW(const wchar_t* url, const wchar_t* extraHeaders,
                                          const wchar_t* body, HttpPostDataProc proc,
                                          DWORD_PTR context);
}
