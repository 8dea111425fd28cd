// CNetHttp: forwards every call to the engine chosen by Open, on the caller's thread;
// Http_PostRequestA/W. No member lets an exception reach the calling module: running
// out of memory is a failed call.
#include "HttpEngine.h"

#include <new>

#include "PendingCall.h"
#include "Text.h"

namespace {

template <typename C>
bool CopyOut(const std::basic_string<C>& text, C* out, size_t outChars) {
    if (!out || outChars == 0) return false;
    // Never splits a double-byte character; the rest of the caller's buffer is not touched.
    vantor::CopyField(out, outChars, text.c_str(), false);
    return true;
}

// Carries the caller's procedure as a progress callback: only reply chunks reach it.
class PostDataAdapter : public CFileDownUpProcessCallback {
public:
    explicit PostDataAdapter(HttpPostDataProc proc) : proc_(proc) {}
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD, DWORD, DWORD_PTR) override {}
    void OnFinished(DWORD, DWORD, DWORD_PTR) override {}
    void OnPostData(const char* chunk, DWORD length, DWORD_PTR context) override {
        if (proc_) proc_(chunk, length, context);
    }
private:
    HttpPostDataProc proc_;
};

// A transfer on the engine: none without one, and a failed one when it throws.
template <typename Transfer>
HttpFetchResult Guarded(HttpEngine* engine, Transfer transfer) {
    webfetch::PendingCall::LetGoOfLibrary();
    if (!engine) return HTTP_FETCH_NO_ENGINE;
    try {
        return transfer();
    } catch (...) {
        return HTTP_FETCH_STOPPED;
    }
}

}  // namespace

CNetHttp::CNetHttp() : engine_(nullptr) {}

CNetHttp::~CNetHttp() {
    delete engine_;
    webfetch::PendingCall::LetGoOfLibrary();
}

bool CNetHttp::Open(int engineType) {
    // An existing engine is kept whatever the type; opening it again revives a session
    // that Close ended or that failed to open the first time.
    if (engine_) return engine_->Open();
    try {
        if (engineType == 1) {
            engine_ = CreateWinInetEngine();
        } else if (engineType == 2) {
            engine_ = CreateWinHttpEngine();
        }
    } catch (const std::bad_alloc&) {
        engine_ = nullptr;
    }
    if (!engine_) return false;
    engine_->owner = this;
    return engine_->Open();
}

void CNetHttp::Close() {
    if (engine_) engine_->Close();
}

HttpFetchResult CNetHttp::Download(const char* url, const char* localPath,
                                   CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    return Guarded(engine_, [&] { return engine_->DownloadA(url, localPath, callback, context); });
}

HttpFetchResult CNetHttp::Download(const wchar_t* url, const wchar_t* localPath,
                                   CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    return Guarded(engine_, [&] { return engine_->DownloadW(url, localPath, callback, context); });
}

HttpFetchResult CNetHttp::PostRequest(const char* url, const char* extraHeaders, const char* body,
                                      const char* httpVersion, int queryLevel,
                                      const char* const* cookies, int cookieCount,
                                      CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    return Guarded(engine_, [&] {
        return engine_->PostA(url, extraHeaders, body, httpVersion, queryLevel, cookies, cookieCount, callback,
                              context);
    });
}

HttpFetchResult CNetHttp::PostRequest(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body,
                                      const wchar_t* httpVersion, int queryLevel,
                                      const wchar_t* const* cookies, int cookieCount,
                                      CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    return Guarded(engine_, [&] {
        return engine_->PostW(url, extraHeaders, body, httpVersion, queryLevel, cookies, cookieCount, callback,
                              context);
    });
}

bool CNetHttp::QuerySetCookie(const char* name, char* value) {
    return QuerySetCookie(name, value, WEBFETCH_UNSIZED_OUT_CHARS);
}

bool CNetHttp::QuerySetCookie(const wchar_t* name, wchar_t* value) {
    return QuerySetCookie(name, value, WEBFETCH_UNSIZED_OUT_CHARS);
}

bool CNetHttp::QuerySetCookie(const char* name, char* value, size_t valueChars) {
    try {
        std::string found;
        if (!engine_ || !name || !engine_->cookies.Find(name, &found)) return false;
        CopyOut(found, value, valueChars);
        return true;
    } catch (...) {
        return false;
    }
}

bool CNetHttp::QuerySetCookie(const wchar_t* name, wchar_t* value, size_t valueChars) {
    try {
        std::string found;
        if (!engine_ || !name || !engine_->cookies.Find(Narrow(name), &found)) return false;
        CopyOut(Widen(found.c_str()), value, valueChars);
        return true;
    } catch (...) {
        return false;
    }
}

void CNetHttp::AddProxySetting(const char* server, const char* bypass, const char* scriptUrl) {
    try {
        AddProxySetting(Widen(server).c_str(), Widen(bypass).c_str(), Widen(scriptUrl).c_str());
    } catch (...) {
        // Out of memory: the setting is not taken.
    }
}

void CNetHttp::AddProxySetting(const wchar_t* server, const wchar_t* bypass, const wchar_t* scriptUrl) {
    try {
        if (!engine_) return;
        ProxyEntry entry;
        entry.server = server ? server : L"";
        entry.bypass = bypass ? bypass : L"";
        entry.scriptUrl = scriptUrl ? scriptUrl : L"";
        if (entry.server.empty() && entry.bypass.empty() && entry.scriptUrl.empty()) return;
        engine_->proxies.push_back(entry);
    } catch (...) {
        // Out of memory: the setting is not taken.
    }
}

void CNetHttp::SetAutoProxy(int enable) {
    if (engine_) engine_->autoDetect = enable;
}

void CNetHttp::SetUsedProxy(int kind, const char* first, const char* second) {
    try {
        std::wstring wideFirst = (first && *first) ? Widen(first) : std::wstring();
        std::wstring wideSecond = (second && *second) ? Widen(second) : std::wstring();
        SetUsedProxy(kind, first ? wideFirst.c_str() : nullptr, second ? wideSecond.c_str() : nullptr);
    } catch (...) {
        // Out of memory: the setting is not taken.
    }
}

void CNetHttp::SetUsedProxy(int kind, const wchar_t* first, const wchar_t* second) {
    try {
        if (!engine_) return;
        engine_->usedKind = kind;
        engine_->usedFirst.clear();
        engine_->usedSecond.clear();
        if (first) engine_->usedFirst = first;
        if (second) engine_->usedSecond = second;
    } catch (...) {
        // Out of memory: the setting is not taken.
    }
}

bool CNetHttp::GetUsedProxySetting(int* kind, char* first, char* second) const {
    return GetUsedProxySetting(kind, first, WEBFETCH_UNSIZED_OUT_CHARS, second, WEBFETCH_UNSIZED_OUT_CHARS);
}

bool CNetHttp::GetUsedProxySetting(int* kind, wchar_t* first, wchar_t* second) const {
    return GetUsedProxySetting(kind, first, WEBFETCH_UNSIZED_OUT_CHARS, second, WEBFETCH_UNSIZED_OUT_CHARS);
}

bool CNetHttp::GetUsedProxySetting(int* kind, char* first, size_t firstChars,
                                   char* second, size_t secondChars) const {
    try {
        if (!engine_ || engine_->usedKind == -1) return false;
        if (kind) *kind = engine_->usedKind;
        CopyOut(Narrow(engine_->usedFirst), first, firstChars);
        if (!engine_->usedSecond.empty()) CopyOut(Narrow(engine_->usedSecond), second, secondChars);
        return true;
    } catch (...) {
        return false;
    }
}

bool CNetHttp::GetUsedProxySetting(int* kind, wchar_t* first, size_t firstChars,
                                   wchar_t* second, size_t secondChars) const {
    try {
        if (!engine_ || engine_->usedKind == -1) return false;
        if (kind) *kind = engine_->usedKind;
        CopyOut(engine_->usedFirst, first, firstChars);
        if (!engine_->usedSecond.empty()) CopyOut(engine_->usedSecond, second, secondChars);
        return true;
    } catch (...) {
        return false;
    }
}

void CNetHttp::Break() {
    if (engine_) engine_->Break();
}

bool CNetHttp::IsBreaked() const {
    return engine_ && engine_->IsBreaked();
}

extern "C" int WINAPI Http_PostRequestA(const char* url, const char* extraHeaders, const char* body,
                                        HttpPostDataProc proc, DWORD_PTR context) {
    CNetHttp http;
    if (!http.Open(1)) return HTTP_FETCH_ENGINE_OPEN_FAILED;
    PostDataAdapter adapter(proc);
    return http.PostRequest(url, extraHeaders, body, nullptr, 0, nullptr, 0, &adapter, context);
}

extern "C" int WINAPI Http_PostRequestW(const wchar_t* url, const wchar_t* extraHeaders, const wchar_t* body,
                                        HttpPostDataProc proc, DWORD_PTR context) {
    CNetHttp http;
    if (!http.Open(1)) return HTTP_FETCH_ENGINE_OPEN_FAILED;
    PostDataAdapter adapter(proc);
    return http.PostRequest(url, extraHeaders, body, nullptr, 0, nullptr, 0, &adapter, context);
}
