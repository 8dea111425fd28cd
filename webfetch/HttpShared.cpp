// What both engines do alike: reading a reply's head and body, the cookie table, the URL
// splitter, the resumable download file and text helpers.
#include "HttpEngine.h"

#include "Text.h"
#include "TransferLimits.h"
#include "WebAddress.h"

#include <cwctype>

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

const DWORD kContentLengthLevel = 5;       // HTTP_QUERY_CONTENT_LENGTH, WINHTTP_QUERY_CONTENT_LENGTH
const DWORD kVersionLevel = 18;            // HTTP_QUERY_VERSION, WINHTTP_QUERY_VERSION
const DWORD kRawHeadersLevel = 22;         // HTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_QUERY_RAW_HEADERS_CRLF
const DWORD kContentRangeLevel = 53;       // HTTP_QUERY_CONTENT_RANGE, WINHTTP_QUERY_CONTENT_RANGE
const DWORD kTransferEncodingLevel = 63;   // HTTP_QUERY_TRANSFER_ENCODING, WINHTTP_QUERY_TRANSFER_ENCODING

// What the header of a reply says about its body.
struct ReplyHead {
    DWORD status = 0;
    bool haveLength = false;
    uint64_t length = 0;
    // A length stated in no decimal form, or stated twice with two values: the body's
    // end cannot be known.
    bool lengthUnknowable = false;
    bool chunked = false;
    // A status line and no header line from an engine that makes such a head up for a
    // reply that does not begin with a status line (ReplyReader::mendsBrokenHeads): a
    // body behind it may be no reply's body, so it is not taken.
    bool bare = false;
};

bool ReadReplyHead(ReplyReader& reader, ReplyHead* head) {
    std::wstring version, raw, value;
    if (!reader.Status(&head->status) || !reader.HeaderValue(kVersionLevel, 0, &version) ||
        !reader.HeaderValue(kRawHeadersLevel, 0, &raw) || !IsWellFormedReply(head->status, version, raw)) {
        return false;
    }
    head->bare = reader.mendsBrokenHeads && raw.find(L"\r\n") + 4 == raw.size();
    for (DWORD index = 0; index < 64 && reader.HeaderValue(kContentLengthLevel, index, &value); ++index) {
        uint64_t length = 0;
        if (!ParseContentLength(value.c_str(), &length) || (head->haveLength && length != head->length)) {
            head->lengthUnknowable = true;
        }
        head->haveLength = true;
        head->length = length;
    }
    if (head->lengthUnknowable) head->haveLength = false;
    if (reader.HeaderValue(kTransferEncodingLevel, 0, &value)) {
        for (wchar_t& c : value) c = towlower(c);
        head->chunked = value.find(L"chunked") != std::wstring::npos;
    }
    return true;
}

// Whether a body that ended after `received` bytes is the whole of it, by what HTTP
// says: its stated length; for chunks, the engine's word (both engines under Wine end a
// chunked body cut off by a close, or one with a chunk size beyond what came, as they
// end a whole one); else the close. On an engine that mends broken heads, a download of
// no stated length must bring a byte: a header cut off by a close there looks whole and
// followed by an empty body.
bool BodyIsWhole(const ReplyReader& reader, const ReplyHead& head, uint64_t received, bool download) {
    if (head.haveLength) return received == head.length;
    if (head.bare && received > 0) return false;
    if (head.chunked) return true;
    return !download || !reader.mendsBrokenHeads || received > 0;
}

// A 206 must carry the part that was asked for: from the local size to the end of the
// file, as long as its Content-Length says.
bool RangeFits(ReplyReader& reader, uint64_t localSize, bool haveLength, uint64_t length, uint64_t* partLength) {
    std::wstring text;
    ContentRange range;
    if (!reader.HeaderValue(kContentRangeLevel, 0, &text) || !ParseContentRange(text, &range) || !range.hasRange) {
        return false;
    }
    if (range.first != localSize || range.last < range.first) return false;
    *partLength = range.last - range.first + 1;
    if (haveLength && *partLength != length) return false;
    return !range.hasTotal || range.total == range.last + 1;
}

// Writes the body of a 200 or 206 reply into file with progress after each chunk, all
// on the caller's thread: nothing is written once this returns. True when it was read
// to its end; *lastError keeps the error of a failed read or write. No byte for the
// stall limit, or a stop, ends it.
bool ReadDownloadBody(ReplyReader& reader, const ReplyHead& head, uint64_t localSize, ResumeFile& file,
                      const std::atomic<bool>& stop, CFileDownUpProcessCallback* callback, DWORD_PTR context,
                      DWORD* lastError) {
    *lastError = 0;
    // A whole body in answer to a range request replaces what the file held: appending
    // it would leave the old bytes in front of a complete copy. The file is emptied only
    // once the first byte of that body is there, so a reply that brings nothing leaves
    // the part already downloaded alone.
    bool restart = head.status == kStatusOk && localSize > 0;
    const DWORD kChunk = 16384;
    const DWORD stallMs = webfetch::TransferLimitMs();
    uint64_t received = 0;
    std::vector<char> chunk(kChunk);
    while (!stop) {
        DWORD got = 0;
        ReplyReader::Read read = reader.ReadSome(chunk.data(), kChunk, stallMs, &got, lastError);
        if (read == ReplyReader::Read::End) {
            // A connection closed before the stated length is a broken download, not a
            // finished one; so is a whole-file answer to a resume that brought no byte
            // (the part already here cannot be a file of nothing).
            return !restart && BodyIsWhole(reader, head, received, true);
        }
        if (read != ReplyReader::Read::Data) return false;
        // Bytes beyond the stated length, or behind a header the engine made up, are not
        // the file's.
        if (head.bare || (head.haveLength && got > head.length - received)) return false;
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
    return OpenAndDownload(url ? url : L"", localPath, callback, context);
}

HttpFetchResult HttpEngine::DownloadA(const char* url, const char* localPath, CFileDownUpProcessCallback* callback,
                                      DWORD_PTR context) {
    std::wstring path = Widen(localPath);
    return OpenAndDownload(Widen(url), localPath ? path.c_str() : nullptr, callback, context);
}

HttpFetchResult HttpEngine::OpenAndDownload(const std::wstring& url, const wchar_t* localPath,
                                            CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    ResumeFile file;
    if (!file.Open(localPath)) {
        OutputDebugStringW(L"打开本地文件失败！\n");
        return HTTP_FETCH_LOCAL_FILE_FAILED;
    }
    return Download(url, file, callback, context);
}

void HttpEngine::Break() {
    stop_ = true;
    if (stopEvent_) SetEvent(stopEvent_.get());
    Sleep(BreakSleepMs());
}

HttpFetchResult HttpEngine::ReceivePost(ReplyReader& reader, DWORD cookieLevel, DWORD chunkSize,
                                        const webfetch::Deadline& deadline, CFileDownUpProcessCallback* callback,
                                        DWORD_PTR context) {
    ReplyHead head;
    if (!ReadReplyHead(reader, &head)) return HTTP_FETCH_STATUS_UNREADABLE;
    if (head.status != kStatusOk) return static_cast<HttpFetchResult>(head.status);
    if (head.lengthUnknowable) return HTTP_FETCH_STOPPED;
    if (cookieLevel != 0) {
        std::wstring value;
        for (DWORD index = 0; index < 4096 && reader.HeaderValue(cookieLevel, index, &value); ++index) {
            cookies.InsertSetCookie(Narrow(value));
        }
    }
    if (head.haveLength && head.length > webfetch::kMaxReplyBytes) return HTTP_FETCH_STOPPED;
    uint64_t received = 0;
    std::vector<char> chunk(chunkSize + 1);
    // Each chunk reaches the callback as it comes, so a callback that has had enough
    // stops the post with Break before the next read.
    while (!stop_ && !deadline.Passed()) {
        DWORD got = 0, error = 0;
        ReplyReader::Read read = reader.ReadSome(chunk.data(), chunkSize, deadline.RemainingMs(), &got, &error);
        if (read == ReplyReader::Read::End) {
            return BodyIsWhole(reader, head, received, false) ? HTTP_FETCH_OK : HTTP_FETCH_STOPPED;
        }
        if (read != ReplyReader::Read::Data) break;
        if (head.bare) break;   // not a reply's body (ReplyHead::bare); nothing is handed on
        received += got;
        if (received > webfetch::kMaxReplyBytes) break;
        chunk[got] = '\0';
        if (callback) callback->OnPostData(chunk.data(), got, context);
    }
    return HTTP_FETCH_STOPPED;
}

HttpFetchResult HttpEngine::ReceiveDownload(ReplyReader& reader, uint64_t localSize, bool sentRange,
                                            ResumeFile& file, const std::function<void()>& closeRequest,
                                            CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    ReplyHead head;
    if (!ReadReplyHead(reader, &head)) return HTTP_FETCH_STATUS_UNREADABLE;
    DWORD status = head.status;
    uint64_t length = head.length;
    bool haveLength = head.haveLength;
    if (haveLength && callback) {
        callback->OnTotalSize(static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), context);
    }
    if (status != kStatusOk && status != kStatusPartialContent) {
        // A 416 answers a range; to a request that asked for none, or for the whole file
        // from its first byte, it says nothing of a file already here.
        if (status != kStatusRangeNotSatisfiable || !sentRange || localSize == 0 || (haveLength && length != 0)) {
            return static_cast<HttpFetchResult>(status);
        }
        // A 416 without content: the file was already whole, unless the server states a
        // size other than the file's (then the file is not that file, and stays as it is).
        std::wstring text;
        ContentRange range;
        bool otherSize = reader.HeaderValue(kContentRangeLevel, 0, &text) && ParseContentRange(text, &range) &&
                         range.hasTotal && range.total != localSize;
        return otherSize ? static_cast<HttpFetchResult>(status) : HTTP_FETCH_OK;
    }
    if (head.lengthUnknowable) return HTTP_FETCH_STOPPED;
    // A whole file of nothing in answer to a resume: the part already here says otherwise.
    if (status == kStatusOk && localSize > 0 && haveLength && length == 0) return HTTP_FETCH_STOPPED;
    // A part that does not continue the file would corrupt it: nothing is written. A
    // part without a length is as long as its range says.
    uint64_t partLength = 0;
    if (status == kStatusPartialContent) {
        if (!RangeFits(reader, localSize, haveLength, length, &partLength)) {
            OutputDebugStringW(L"WebFetch: the server sent a part that does not continue the file\n");
            return HTTP_FETCH_STOPPED;
        }
        head.haveLength = true;
        head.length = partLength;
    }
    DWORD lastError = 0;
    bool complete = ReadDownloadBody(reader, head, localSize, file, stop_, callback, context, &lastError);
    // The file is free before the request goes: closing a request whose body the server
    // still sends can take the engine a while.
    file.Close();
    closeRequest();
    if (callback) callback->OnFinished(stop_ ? 1 : 0, lastError, context);
    return complete ? HTTP_FETCH_OK : HTTP_FETCH_STOPPED;
}

bool ParseContentLength(const wchar_t* text, uint64_t* length) {
    while (*text == L' ' || *text == L'\t') ++text;
    uint64_t value = 0;
    int digits = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text, ++digits) {
        if (digits == 19) return false;
        value = value * 10 + static_cast<uint64_t>(*text - L'0');
    }
    while (*text == L' ' || *text == L'\t') ++text;
    if (digits == 0 || *text != L'\0') return false;
    *length = value;
    return true;
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
    // The blank line that ends the header.
    size_t n = rawHeaders.size();
    return n >= firstLineEnd + 4 && rawHeaders.compare(n - 4, 4, L"\r\n\r\n") == 0;
}

bool SplitHttpUrl(const std::wstring& url, std::wstring* host, unsigned short* port, std::wstring* path) {
    // The client's one reading of an address (the upgrade monitor checks hosts with it):
    // the host ends at the first "/", "?" or "#". "http://" keeps the caller's port,
    // "https://" and no scheme fetch on port 80, unless the address names a port.
    vantor::WebAddressParts parts;
    if (!vantor::SplitWebAddress(url, &parts) || parts.host.size() > kMaxHostChars) return false;
    if (parts.port != 0) {
        *port = static_cast<unsigned short>(parts.port);
    } else if (parts.scheme != L"http") {
        *port = 80;
    }
    *host = parts.host;
    *path = parts.path;
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
        unflushed_ += written;
    }
    if (unflushed_ >= kFlushBytes) {
        FlushFileBuffers(file_);
        unflushed_ = 0;
    }
    return true;
}

void ResumeFile::Close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        if (unflushed_) FlushFileBuffers(file_);
        CloseHandle(file_);
    }
    file_ = INVALID_HANDLE_VALUE;
    unflushed_ = 0;
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

std::string WideBodyBytes(const wchar_t* body) {
    std::string bytes;
    if (body) bytes.assign(reinterpret_cast<const char*>(body), wcslen(body) * sizeof(wchar_t));
    return bytes;
}
