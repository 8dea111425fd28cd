// Cookie table, URL splitter, the resumable download file and text helpers.
#include "HttpEngine.h"

#include "Text.h"

namespace {
const DWORD kStatusOk = 200;
const DWORD kStatusPartialContent = 206;
const DWORD kStatusRangeNotSatisfiable = 416;
}  // namespace

bool CookieTable::Find(const std::string& name, std::string* value) const {
    auto it = table_.find(name);
    if (it == table_.end()) return false;
    if (value) *value = it->second;
    return true;
}

void CookieTable::InsertSetCookie(const std::string& headerValue) {
    // Cut at the first "=": everything behind it, attributes such as "; Path=/"
    // included, is the value.
    size_t eq = headerValue.find('=');
    if (eq == std::string::npos) return;
    Insert(headerValue.substr(0, eq), headerValue.substr(eq + 1));
}

namespace {

// Writes the body of a 200 or 206 reply into file with progress after each chunk. True
// when it was read to its end; *lastError keeps the error of a failed read or write.
bool ReadDownloadBody(const HttpEngine::ReplyReader& reader, void* request, DWORD status, uint64_t localSize,
                      bool haveLength, uint64_t length, ResumeFile& file, const std::atomic<bool>& stop,
                      CFileDownUpProcessCallback* callback, DWORD_PTR context, DWORD* lastError) {
    *lastError = 0;
    // A whole body in answer to a range request replaces what the file held: appending
    // it would leave the old bytes in front of a complete copy.
    if (status == kStatusOk && localSize > 0 && !file.Restart()) {
        *lastError = GetLastError();
        return false;
    }
    const DWORD kChunk = 16384;
    uint64_t received = 0;
    std::vector<char> chunk(kChunk);
    while (!stop) {
        DWORD got = 0;
        if (!reader.read(request, chunk.data(), kChunk, &got)) {
            *lastError = GetLastError();
            return false;
        }
        // A connection closed before Content-Length bytes arrived is a broken download,
        // not a finished one.
        if (got == 0) return !haveLength || received >= length;
        if (!file.Append(chunk.data(), got)) {
            *lastError = GetLastError();
            return false;
        }
        received += got;
        if (callback) callback->OnProgress(static_cast<DWORD>(received), static_cast<DWORD>(received >> 32), context);
    }
    return false;
}

}  // namespace

HttpFetchResult HttpEngine::DownloadW(const wchar_t* url, const wchar_t* localPath,
                                      CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    return Download(url ? url : L"", localPath, callback, context);
}

HttpFetchResult HttpEngine::DownloadA(const char* url, const char* localPath, CFileDownUpProcessCallback* callback,
                                      DWORD_PTR context) {
    std::wstring path = Widen(localPath);
    return Download(Widen(url), localPath ? path.c_str() : nullptr, callback, context);
}

HttpFetchResult HttpEngine::ReceivePost(const ReplyReader& reader, void* request, DWORD cookieLevel, DWORD chunkSize,
                                        CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    DWORD status = 0;
    if (!reader.status(request, &status)) return HTTP_FETCH_STATUS_UNREADABLE;
    if (status != kStatusOk) return static_cast<HttpFetchResult>(status);
    if (cookieLevel != 0) {
        std::wstring value;
        for (DWORD index = 0; index < 4096 && reader.headerValue(request, cookieLevel, index, &value); ++index) {
            cookies.InsertSetCookie(Narrow(value));
        }
    }
    uint64_t expected = 0;
    bool haveLength = reader.contentLength(request, &expected);
    uint64_t received = 0;
    std::vector<char> chunk(chunkSize + 1);
    while (!stop_) {
        DWORD got = 0;
        if (!reader.read(request, chunk.data(), chunkSize, &got)) break;
        if (got == 0) return (!haveLength || received >= expected) ? HTTP_FETCH_OK : HTTP_FETCH_STOPPED;
        received += got;
        chunk[got] = '\0';
        if (callback) callback->OnPostData(chunk.data(), got, context);
    }
    return HTTP_FETCH_STOPPED;
}

HttpFetchResult HttpEngine::ReceiveDownload(const ReplyReader& reader, void* request, uint64_t localSize,
                                            ResumeFile& file, const std::function<void()>& closeHandles,
                                            CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    uint64_t length = 0;
    bool haveLength = reader.contentLength(request, &length);
    if (haveLength && callback) {
        callback->OnTotalSize(static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), context);
    }
    DWORD status = 0;
    if (!reader.status(request, &status)) return HTTP_FETCH_STATUS_UNREADABLE;
    if (status != kStatusOk && status != kStatusPartialContent) {
        // A 416 without content: the file was already whole.
        bool alreadyWhole = status == kStatusRangeNotSatisfiable && (!haveLength || length == 0);
        return alreadyWhole ? HTTP_FETCH_OK : static_cast<HttpFetchResult>(status);
    }
    DWORD lastError = 0;
    bool complete = ReadDownloadBody(reader, request, status, localSize, haveLength, length, file, stop_, callback,
                                     context, &lastError);
    closeHandles();
    if (callback) callback->OnFinished(stop_ ? 1 : 0, lastError, context);
    file.Close();
    return complete ? HTTP_FETCH_OK : HTTP_FETCH_STOPPED;
}

bool ParseContentLength(const wchar_t* text, uint64_t* length) {
    while (*text == L' ' || *text == L'\t') ++text;
    if (*text < L'0' || *text > L'9') return false;
    wchar_t* end = nullptr;
    *length = _wcstoui64(text, &end, 10);
    return end != text;
}

static bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

bool SplitHttpUrl(const std::wstring& url, std::wstring* host, unsigned short* port, std::wstring* path) {
    size_t start = 0;
    if (StartsWithNoCase(url, L"http://")) {
        start = 7;
    } else {
        *port = 80;
        if (StartsWithNoCase(url, L"https://")) start = 8;
    }
    size_t slash = url.find(L'/', start);
    std::wstring hostPart;
    if (slash == std::wstring::npos) {
        hostPart = url.substr(start);
        *path = L"/";
    } else {
        hostPart = url.substr(start, slash - start);
        *path = url.substr(slash);
    }
    size_t colon = hostPart.find(L':');
    if (colon != std::wstring::npos) {
        *port = static_cast<unsigned short>(_wtoi(hostPart.c_str() + colon + 1));
        hostPart.resize(colon);
    }
    if (hostPart.empty() || hostPart.size() > kMaxHostChars) return false;
    *host = hostPart;
    return true;
}

bool ResumeFile::Open(const wchar_t* path) {
    Close();
    if (!path || !*path) return false;
    file_ = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file_, zero, nullptr, FILE_END);
    return true;
}

uint64_t ResumeFile::Size() const {
    LARGE_INTEGER size = {};
    if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool ResumeFile::Restart() {
    LARGE_INTEGER zero = {};
    return file_ != INVALID_HANDLE_VALUE && SetFilePointerEx(file_, zero, nullptr, FILE_BEGIN) &&
           SetEndOfFile(file_) && FlushFileBuffers(file_);
}

bool ResumeFile::Append(const void* data, DWORD length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file_, p, length, &written, nullptr) || written == 0) return false;
        p += written;
        length -= written;
    }
    FlushFileBuffers(file_);
    return true;
}

void ResumeFile::Close() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

std::wstring Widen(const char* ansi) { return vantor::AnsiToWide(ansi); }
std::string Narrow(const wchar_t* wide) { return vantor::WideToAnsi(wide); }
std::string Narrow(const std::wstring& wide) { return vantor::WideToAnsi(wide); }

std::vector<std::wstring> WidenList(const char* const* texts, int count) {
    std::vector<std::wstring> out;
    for (int i = 0; texts && i < count; ++i) out.push_back(Widen(texts[i]));
    return out;
}

std::vector<std::wstring> CopyList(const wchar_t* const* texts, int count) {
    std::vector<std::wstring> out;
    for (int i = 0; texts && i < count; ++i) out.push_back(texts[i] ? texts[i] : L"");
    return out;
}
