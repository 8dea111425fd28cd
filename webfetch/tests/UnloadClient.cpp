// A caller of WebFetch that the unload tests load and free, so that WebFetch goes with
// it: a download and a post through either engine, broken off from another thread after
// a while, or from the progress callback at the first chunk.
#include <windows.h>

#include <string>
#include <thread>

#include "WebFetch.h"

namespace {

class BreakAtFirstChunk : public CFileDownUpProcessCallback {
public:
    BreakAtFirstChunk(CNetHttp& http, bool armed) : http_(http), armed_(armed) {}
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD, DWORD, DWORD_PTR) override { BreakOnce(); }
    void OnFinished(DWORD, DWORD, DWORD_PTR) override {}
    void OnPostData(const char*, DWORD, DWORD_PTR) override { BreakOnce(); }

private:
    void BreakOnce() {
        if (armed_) http_.Break();
        armed_ = false;
    }
    CNetHttp& http_;
    bool armed_;
};

template <typename Transfer>
int Run(int engine, DWORD breakAfterMs, BOOL breakAtFirstChunk, Transfer transfer) {
    CNetHttp http;
    if (!http.Open(engine)) return HTTP_FETCH_ENGINE_OPEN_FAILED;
    BreakAtFirstChunk progress(http, breakAtFirstChunk != FALSE);
    std::thread breaker;
    if (breakAfterMs) {
        breaker = std::thread([&http, breakAfterMs] {
            Sleep(breakAfterMs);
            http.Break();
        });
    }
    int result = transfer(http, &progress);
    if (breaker.joinable()) breaker.join();
    return result;
}

}  // namespace

// breakAfterMs 0: no break from another thread.
extern "C" __declspec(dllexport) int __cdecl Client_Download(int engine, const wchar_t* url, const wchar_t* path,
                                                             DWORD breakAfterMs, BOOL breakAtFirstChunk) {
    return Run(engine, breakAfterMs, breakAtFirstChunk, [&](CNetHttp& http, CFileDownUpProcessCallback* progress) {
        return http.Download(url, path, progress, 0);
    });
}

// A body of bodyBytes (at least "a=1").
extern "C" __declspec(dllexport) int __cdecl Client_Post(int engine, const char* url, DWORD breakAfterMs,
                                                         BOOL breakAtFirstChunk, DWORD bodyBytes) {
    std::string body = "a=1";
    if (bodyBytes > body.size()) body.resize(bodyBytes, 'b');
    return Run(engine, breakAfterMs, breakAtFirstChunk, [&](CNetHttp& http, CFileDownUpProcessCallback* progress) {
        return http.PostRequest(url, nullptr, body.c_str(), nullptr, 43, nullptr, 0, progress, 0);
    });
}

// A call that makes no transfer: an engine opened and closed.
extern "C" __declspec(dllexport) BOOL __cdecl Client_OpenAndClose(int engine) {
    CNetHttp http;
    return http.Open(engine);
}
