// Cookie table, URL splitter, the resumable download file and text helpers.
#include "HttpEngine.h"

#include "Text.h"
#include "TransferLimits.h"

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

const DWORD kVersionLevel = 18;       // HTTP_QUERY_VERSION, WINHTTP_QUERY_VERSION
const DWORD kRawHeadersLevel = 22;    // HTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_QUERY_RAW_HEADERS_CRLF
const DWORD kContentRangeLevel = 53;  // HTTP_QUERY_CONTENT_RANGE, WINHTTP_QUERY_CONTENT_RANGE

bool ReplyIsWellFormed(const HttpEngine::ReplyReader& reader, void* request, DWORD* status) {
    std::wstring version, raw;
    return reader.status(request, status) && reader.headerValue(request, kVersionLevel, 0, &version) &&
           reader.headerValue(request, kRawHeadersLevel, 0, &raw) && IsWellFormedReply(*status, version, raw);
}

// Waits for the next bytes (within timeoutMs) and reads as many as are there, at most
// size; *got 0 at the end of the body. False when the wait or the read failed.
bool ReadSome(const HttpEngine::ReplyReader& reader, void* request, char* buffer, DWORD size, DWORD timeoutMs,
              DWORD* got) {
    *got = 0;
    reader.setReceiveTimeout(request, timeoutMs);
    DWORD available = 0;
    if (!reader.available(request, &available)) return false;
    if (available == 0) available = 1;   // nothing more: the read reports the end
    return reader.read(request, buffer, available < size ? available : size, got) != FALSE;
}

// A 206 must carry the part that was asked for: from the local size to the end of the
// file, as long as its Content-Length says.
bool RangeFits(const HttpEngine::ReplyReader& reader, void* request, uint64_t localSize, bool haveLength,
               uint64_t length) {
    std::wstring text;
    ContentRange range;
    if (!reader.headerValue(request, kContentRangeLevel, 0, &text) || !ParseContentRange(text, &range) ||
        !range.hasRange) {
        return false;
    }
    if (range.first != localSize || range.last < range.first) return false;
    if (haveLength && range.last - range.first + 1 != length) return false;
    return !range.hasTotal || range.total == range.last + 1;
}

// Writes the body of a 200 or 206 reply into file with progress after each chunk. True
// when it was read to its end; *lastError keeps the error of a failed read or write.
// Waiting longer than stallMs for the next byte fails the read.
bool ReadDownloadBody(const HttpEngine::ReplyReader& reader, void* request, DWORD status, uint64_t localSize,
                      bool haveLength, uint64_t length, DWORD stallMs, ResumeFile& file,
                      const std::atomic<bool>& stop, CFileDownUpProcessCallback* callback, DWORD_PTR context,
                      DWORD* lastError) {
    *lastError = 0;
    // A whole body in answer to a range request replaces what the file held: appending
    // it would leave the old bytes in front of a complete copy. The file is emptied only
    // once the first byte of that body is there, so a reply that brings nothing leaves
    // the part already downloaded alone.
    bool restart = status == kStatusOk && localSize > 0;
    const DWORD kChunk = 16384;
    uint64_t received = 0;
    std::vector<char> chunk(kChunk);
    while (!stop) {
        DWORD got = 0;
        if (!ReadSome(reader, request, chunk.data(), kChunk, stallMs, &got)) {
            *lastError = GetLastError();
            return false;
        }
        // A connection closed before Content-Length bytes arrived is a broken download,
        // not a finished one; so is a whole-file answer that brought no byte at all.
        if (got == 0) return haveLength ? received >= length : (received > 0 || !restart);
        if (restart) {
            if (!file.Restart()) {
                *lastError = GetLastError();
                return false;
            }
            restart = false;
        }
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
                                        const webfetch::Deadline& deadline, CFileDownUpProcessCallback* callback,
                                        DWORD_PTR context) {
    DWORD status = 0;
    if (!ReplyIsWellFormed(reader, request, &status)) return HTTP_FETCH_STATUS_UNREADABLE;
    if (status != kStatusOk) return static_cast<HttpFetchResult>(status);
    if (cookieLevel != 0) {
        std::wstring value;
        for (DWORD index = 0; index < 4096 && reader.headerValue(request, cookieLevel, index, &value); ++index) {
            cookies.InsertSetCookie(Narrow(value));
        }
    }
    uint64_t expected = 0;
    bool haveLength = reader.contentLength(request, &expected);
    if (haveLength && expected > webfetch::kMaxReplyBytes) return HTTP_FETCH_STOPPED;
    uint64_t received = 0;
    std::vector<char> chunk(chunkSize + 1);
    while (!stop_ && !deadline.Passed()) {
        DWORD got = 0;
        if (!ReadSome(reader, request, chunk.data(), chunkSize, deadline.RemainingMs(), &got)) break;
        // Without a length, a reply must bring something: an engine ends a header cut
        // off by a close the same way as an empty body.
        if (got == 0) return (haveLength ? received >= expected : received > 0) ? HTTP_FETCH_OK : HTTP_FETCH_STOPPED;
        received += got;
        if (received > webfetch::kMaxReplyBytes) break;
        chunk[got] = '\0';
        if (callback) callback->OnPostData(chunk.data(), got, context);
    }
    return HTTP_FETCH_STOPPED;
}

HttpFetchResult HttpEngine::ReceiveDownload(const ReplyReader& reader, void* request, uint64_t localSize,
                                            ResumeFile& file, const std::function<void()>& closeHandles,
                                            CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    DWORD status = 0;
    if (!ReplyIsWellFormed(reader, request, &status)) return HTTP_FETCH_STATUS_UNREADABLE;
    uint64_t length = 0;
    bool haveLength = reader.contentLength(request, &length);
    if (haveLength && callback) {
        callback->OnTotalSize(static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), context);
    }
    if (status != kStatusOk && status != kStatusPartialContent) {
        if (status != kStatusRangeNotSatisfiable || (haveLength && length != 0)) {
            return static_cast<HttpFetchResult>(status);
        }
        // A 416 without content: the file was already whole, unless the server states a
        // size other than the file's (then the file is not that file, and stays as it is).
        std::wstring text;
        ContentRange range;
        bool otherSize = reader.headerValue(request, kContentRangeLevel, 0, &text) &&
                         ParseContentRange(text, &range) && range.hasTotal && range.total != localSize;
        return otherSize ? static_cast<HttpFetchResult>(status) : HTTP_FETCH_OK;
    }
    // A part that does not continue the file would corrupt it: nothing is written.
    if (status == kStatusPartialContent && !RangeFits(reader, request, localSize, haveLength, length)) {
        OutputDebugStringW(L"WebFetch: the server sent a part that does not continue the file\n");
        return HTTP_FETCH_STOPPED;
    }
    DWORD lastError = 0;
    bool complete = ReadDownloadBody(reader, request, status, localSize, haveLength, length,
                                     webfetch::TransferLimitMs(), file, stop_, callback, context, &lastError);
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

namespace {

// Digits only, no sign, no blanks; false for an empty or overlong text.
bool ParseUnsigned(const std::wstring& text, size_t from, size_t to, uint64_t* value) {
    if (from >= to || to - from > 19) return false;
    uint64_t v = 0;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + static_cast<uint64_t>(text[i] - L'0');
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseContentRange(const std::wstring& text, ContentRange* range) {
    *range = ContentRange();
    size_t at = text.find_first_not_of(L" \t");
    if (at == std::wstring::npos || _wcsnicmp(text.c_str() + at, L"bytes", 5) != 0) return false;
    at = text.find_first_not_of(L" \t", at + 5);
    size_t slash = text.find(L'/', at == std::wstring::npos ? text.size() : at);
    if (at == std::wstring::npos || slash == std::wstring::npos) return false;
    size_t end = text.find_last_not_of(L" \t");
    if (end <= slash) return false;
    if (!(end == slash + 1 && text[end] == L'*')) {
        if (!ParseUnsigned(text, slash + 1, end + 1, &range->total)) return false;
        range->hasTotal = true;
    }
    if (slash == at + 1 && text[at] == L'*') return range->hasTotal;
    size_t dash = text.find(L'-', at);
    if (dash == std::wstring::npos || dash > slash) return false;
    if (!ParseUnsigned(text, at, dash, &range->first) || !ParseUnsigned(text, dash + 1, slash, &range->last)) {
        return false;
    }
    range->hasRange = true;
    return true;
}

bool IsWellFormedReply(DWORD status, const std::wstring& version, const std::wstring& rawHeaders) {
    if (status < 100 || status > 599) return false;
    if (version.size() != 8 || version.compare(0, 7, L"HTTP/1.") != 0 || version[7] < L'0' || version[7] > L'9') {
        return false;
    }
    size_t firstLineEnd = rawHeaders.find(L"\r\n");
    if (firstLineEnd == std::wstring::npos || rawHeaders.compare(0, 5, L"HTTP/") != 0) return false;
    // At least one header after the status line, and the blank line that ends them.
    size_t n = rawHeaders.size();
    return n >= firstLineEnd + 6 && rawHeaders.compare(n - 4, 4, L"\r\n\r\n") == 0;
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
