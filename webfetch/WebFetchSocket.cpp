// CWebFetch: HTTP/1.0 over one blocking socket, directly or through the user's browser
// proxy with CONNECT.
#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Text.h"
#include "TransferLimits.h"
#include "WebFetch.h"

struct ResponseRecord {
    std::string header;
    std::string body;
    int bodyLength = -1;
    // Bytes that came with the header's last read but belong behind it; they are
    // handed out before anything more is received.
    std::string pending;
    // The socket's receive timeout, which also bounds the whole header read.
    DWORD receiveTimeoutMs = 0;
    // The transfer's overall deadline, from the request's send: a body dripped a byte
    // at a time ends there.
    webfetch::Deadline transfer{0};
};

namespace {

// A peer that never ends its header must not grow it without limit.
const size_t kMaxHeaderBytes = 64 * 1024;
const int kReceiveChunk = 1024;
const int kHeaderReadChunk = 4096;

size_t FindNoCase(const std::string& text, const char* what, size_t from = 0) {
    size_t n = strlen(what);
    if (n == 0 || text.size() < n) return std::string::npos;
    for (size_t i = from; i + n <= text.size(); ++i) {
        if (_strnicmp(text.c_str() + i, what, n) == 0) return i;
    }
    return std::string::npos;
}

size_t FindLastNoCase(const std::string& text, const char* what) {
    size_t n = strlen(what);
    if (n == 0 || text.size() < n) return std::string::npos;
    for (size_t i = text.size() - n + 1; i-- > 0;) {
        if (_strnicmp(text.c_str() + i, what, n) == 0) return i;
    }
    return std::string::npos;
}

typedef BOOL(WINAPI* GetIeProxyConfigFn)(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG*);

// The current user's browser proxy as host and port (port kept when the text names none).
bool IeProxyLookup(std::string* host, int* port, std::string* bypass) {
    HMODULE winhttp = LoadLibraryW(L"winhttp.dll");
    if (!winhttp) return false;
    auto getConfig = reinterpret_cast<GetIeProxyConfigFn>(
        reinterpret_cast<void*>(GetProcAddress(winhttp, "WinHttpGetIEProxyConfigForCurrentUser")));
    if (!getConfig) {
        FreeLibrary(winhttp);
        return false;
    }
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    BOOL ok = getConfig(&config);
    FreeLibrary(winhttp);
    if (!ok) return false;
    if (config.lpszProxy) {
        std::string text = vantor::WideToAnsi(config.lpszProxy);
        size_t colon = text.find(':');
        if (colon == std::string::npos) {
            *host = text;
        } else {
            *host = text.substr(0, colon);
            *port = atoi(text.c_str() + colon + 1);
        }
        GlobalFree(config.lpszProxy);
    }
    if (config.lpszProxyBypass) {
        *bypass = vantor::WideToAnsi(config.lpszProxyBypass);
        GlobalFree(config.lpszProxyBypass);
    }
    if (config.lpszAutoConfigUrl) GlobalFree(config.lpszAutoConfigUrl);
    return true;
}

bool SendAll(SOCKET s, const char* data, size_t length) {
    while (length > 0) {
        int chunk = static_cast<int>(length > 0x10000 ? 0x10000 : length);
        int sent = send(s, data, chunk, 0);
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

// Copies at most size - 1 characters and terminates; the count copied.
int CopyTerminated(const char* from, size_t length, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    size_t n = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
    memcpy(buffer, from, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// Reads a header up to its blank line, at most kMaxHeaderBytes and for no longer than
// timeoutMs in all (0: the transfer limit), so a peer that sends a byte at a time cannot
// hold the caller. Bytes behind the blank line go to *rest. True when the blank line came.
bool ReadHeaderBlock(SOCKET s, DWORD timeoutMs, std::string* header, std::string* rest) {
    webfetch::Deadline deadline(timeoutMs ? timeoutMs : webfetch::TransferLimitMs());
    char chunk[kHeaderReadChunk];
    while (header->size() < kMaxHeaderBytes && !deadline.Passed()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        DWORD wait = deadline.RemainingMs();
        timeval tv = {static_cast<long>(wait / 1000), static_cast<long>((wait % 1000) * 1000)};
        if (select(0, &readable, nullptr, nullptr, &tv) <= 0) return false;
        size_t room = kMaxHeaderBytes - header->size();
        int got = recv(s, chunk, static_cast<int>(room < sizeof(chunk) ? room : sizeof(chunk)), 0);
        if (got <= 0) return false;
        size_t scanFrom = header->size() >= 3 ? header->size() - 3 : 0;
        header->append(chunk, static_cast<size_t>(got));
        size_t blank = header->find("\r\n\r\n", scanFrom);
        if (blank != std::string::npos) {
            rest->assign(*header, blank + 4, std::string::npos);
            header->resize(blank + 4);
            return true;
        }
    }
    return false;
}

// Waits until s has bytes (or its end) to read, no longer than the deadline leaves.
bool WaitReadable(SOCKET s, const webfetch::Deadline& deadline) {
    if (deadline.Passed()) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    DWORD wait = deadline.RemainingMs();
    timeval tv = {static_cast<long>(wait / 1000), static_cast<long>((wait % 1000) * 1000)};
    return select(0, &readable, nullptr, nullptr, &tv) > 0;
}

// The Content-Length value of a header: digits only between blanks. False when it does
// not parse; a length beyond the int range is held as the largest int.
bool ParseBodyLength(const std::string& text, int* length) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos || last - first + 1 > 20) return false;
    unsigned long long value = 0;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (~0ull - digit) / 10) return false;   // beyond 64 bits
        value = value * 10 + digit;
    }
    *length = value > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int>(value);
    return true;
}

}  // namespace

CWebFetch::CWebFetch()
    : response_(new ResponseRecord()), peerAddress_(0xFFFFFFFFu), socket_(INVALID_SOCKET),
      lineCursor_(0), headerComplete_(false), headerLength_(-1) {}

CWebFetch::~CWebFetch() {
    CloseSocket();
    delete response_;
}

bool CWebFetch::Socket() {
    if (socket_ != INVALID_SOCKET) return true;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return false;
    // A silent peer must not hold the caller for ever: this stands until SetTimeout.
    DWORD limit = webfetch::TransferLimitMs();
    SetTimeout(static_cast<int>(limit), 0);
    SetTimeout(static_cast<int>(limit), 1);
    return true;
}

bool CWebFetch::_Connect(const char* host, unsigned short port) {
    if (!host) return false;
    hostent* entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list[0]) return false;
    memcpy(&peerAddress_, entry->h_addr_list[0], 4);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = peerAddress_;
    return connect(static_cast<SOCKET>(socket_), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

bool CWebFetch::Connect(const char* host, int port, char* proxyOut) {
    if (_Connect(host, static_cast<unsigned short>(port))) return true;
    std::string proxyHost, bypass;
    int proxyPort = 80;
    if (!host || !IeProxyLookup(&proxyHost, &proxyPort, &bypass) || proxyHost.empty()) {
        CloseSocket();
        return false;
    }
    // A failed connect leaves the socket unusable: the proxy gets a fresh one.
    CloseSocket();
    if (!Socket() || !_Connect(proxyHost.c_str(), static_cast<unsigned short>(proxyPort))) {
        CloseSocket();
        return false;
    }
    // The tunnel names the server the caller asked for; only a 200 answer opens it.
    std::string request = std::string("CONNECT ") + host + ":" + std::to_string(port) +
                          " HTTP/1.0\r\nUser-Agent:MyApp/0.1\r\n\r\n";
    if (!SendAll(static_cast<SOCKET>(socket_), request.data(), request.size())) {
        CloseSocket();
        return false;
    }
    std::string answer;
    ReadHeaderBlock(static_cast<SOCKET>(socket_), response_->receiveTimeoutMs, &answer, &response_->pending);
    bool opened = answer.size() >= 12 && answer.compare(0, 7, "HTTP/1.") == 0 && answer.compare(8, 5, " 200 ") == 0;
    if (!opened) {
        CloseSocket();
        return false;
    }
    if (proxyOut) {
        std::string text = proxyHost + ":" + std::to_string(proxyPort);
        CopyTerminated(text.c_str(), text.size(), proxyOut, WEBFETCH_UNSIZED_OUT_CHARS);
    }
    return true;
}

bool CWebFetch::FormatRequestHeader(char* out, const char* host, const char* path, int bodyLength,
                                    const char* verb, const char* const* cookies, int cookieCount,
                                    const char* referer, long rangeFrom, long rangeTo, int unused,
                                    bool viaProxy) {
    std::string h;
    h += std::string(verb ? verb : "") + " " + (path ? path : "") + " HTTP/1.0\r\n";
    h += std::string("Host: ") + (host ? host : "") + "\r\n";
    if (referer) h += std::string("Referer:") + referer + "\r\n";
    h += "Accept:*/*\r\n";
    h += "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
    h += "Connection:Keep-Alive\r\n";
    if (rangeFrom > 0) {
        h += "Range: bytes=" + std::to_string(rangeFrom) + "-";
        if (rangeFrom < rangeTo) h += std::to_string(rangeTo);
        h += "\r\n";
    }
    if (bodyLength > 0) h += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    h += "Content-Type: application/x-www-form-urlencoded\r\n";
    h += "Cache-Control: no-cache\r\n";
    if (cookies && cookieCount > 0) {
        h += "Cookie: ";
        for (int i = 0; i < cookieCount; ++i) {
            if (i) h += ";";
            h += cookies[i] ? cookies[i] : "";
        }
        h += "\r\n";
    }
    if (viaProxy) h += "Proxy-Connection: Keep-Alive\r\n";
    h += "\r\n";
    if (out) strcat(out, h.c_str());
    return true;
}

bool CWebFetch::SendRequest(const char* header, const char* body, char* unusedBuffer, int* unusedLength) {
    CleanResponseHeader();
    if (socket_ == INVALID_SOCKET || !header) return false;
    response_->transfer = webfetch::Deadline(webfetch::TransferLimitMs());
    if (!SendAll(static_cast<SOCKET>(socket_), header, strlen(header))) return false;
    if (body && !SendAll(static_cast<SOCKET>(socket_), body, strlen(body))) return false;
    int length = 0;
    GetResponseHeader(length, nullptr, nullptr);
    return true;
}

const char* CWebFetch::GetResponseHeader(int& length, char* unusedBuffer, long* third) {
    std::string& header = response_->header;
    if (headerComplete_) {
        length = headerLength_;
        if (third) *third = 0;
        return header.c_str();
    }
    bool blankLine = socket_ != INVALID_SOCKET &&
                     ReadHeaderBlock(static_cast<SOCKET>(socket_), response_->receiveTimeoutMs, &header,
                                     &response_->pending);
    if (blankLine) {
        size_t at = FindNoCase(header, "Content-Length:");
        if (at != std::string::npos) {
            at += strlen("Content-Length:");
            size_t end = header.find("\r\n", at);
            // A length that is no number leaves the body without a bound: the header is
            // refused instead.
            if (!ParseBodyLength(header.substr(at, end - at), &response_->bodyLength)) return header.c_str();
        }
        headerComplete_ = true;
        headerLength_ = static_cast<int>(header.size());
        length = headerLength_;
    }
    return header.c_str();
}

int CWebFetch::Receive(char* buffer, int size) {
    if (socket_ == INVALID_SOCKET) return -1;
    std::string& pending = response_->pending;
    if (!pending.empty() && buffer && size > 0) {
        size_t n = pending.size() < static_cast<size_t>(size) ? pending.size() : static_cast<size_t>(size);
        memcpy(buffer, pending.data(), n);
        pending.erase(0, n);
        return static_cast<int>(n);
    }
    return recv(static_cast<SOCKET>(socket_), buffer, size, 0);
}

bool CWebFetch::Receive() {
    // What follows a header that never ended, or was refused, is no body.
    if (socket_ == INVALID_SOCKET || !headerComplete_) return false;
    std::string& body = response_->body;
    if (response_->bodyLength < 0 || body.size() < static_cast<size_t>(response_->bodyLength)) {
        // A body held in memory has a ceiling, whatever the peer sends.
        if (body.size() >= webfetch::kMaxReplyBytes) return false;
        char chunk[kReceiveChunk + 1] = {};
        if (response_->pending.empty() && !WaitReadable(static_cast<SOCKET>(socket_), response_->transfer)) {
            return false;
        }
        int got = Receive(chunk, kReceiveChunk);
        if (got <= 0) return false;
        // Text bodies only: the received bytes up to a NUL, never beyond what arrived.
        // A body that outgrows memory ends the read; nothing is thrown at the caller.
        try {
            body.append(chunk, strnlen(chunk, static_cast<size_t>(got)));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    body.resize(static_cast<size_t>(response_->bodyLength));
    return false;
}

int CWebFetch::GetBodyActualLength() const {
    return response_->bodyLength;
}

const char* CWebFetch::GetResponseBody() {
    return response_->body.c_str();
}

void CWebFetch::Filter(const char* endTag) {
    std::string& body = response_->body;
    size_t declaration = FindNoCase(body, "<?XML");
    size_t tag = endTag ? FindLastNoCase(body, endTag) : std::string::npos;
    size_t tagLength = tag != std::string::npos ? strlen(endTag) : 0;
    if (tag == std::string::npos) {
        tag = FindLastNoCase(body, "/>");
        tagLength = 2;
    }
    if (declaration != std::string::npos && tag != std::string::npos && tag >= declaration) {
        body = body.substr(declaration, tag + tagLength - declaration);
    } else if (declaration != std::string::npos) {
        body = body.substr(declaration);
    } else if (tag != std::string::npos) {
        body = body.substr(0, tag + tagLength);
    }
}

void CWebFetch::CleanResponseHeader() {
    headerComplete_ = false;
    headerLength_ = -1;
    lineCursor_ = 0;
    response_->header.clear();
    response_->body.clear();
    response_->pending.clear();
}

int CWebFetch::GetResponseLine(char* buffer, int size) {
    const std::string& header = response_->header;
    if (lineCursor_ >= headerLength_ || lineCursor_ >= static_cast<int>(header.size())) {
        lineCursor_ = 0;
        return -1;
    }
    size_t end = header.find("\r\n", static_cast<size_t>(lineCursor_));
    end = end == std::string::npos ? header.size() : end + 2;
    // A line longer than the buffer is handed out in pieces, each terminated.
    int copied = CopyTerminated(header.c_str() + lineCursor_, end - static_cast<size_t>(lineCursor_), buffer, size);
    if (copied == 0 && end > static_cast<size_t>(lineCursor_)) {
        lineCursor_ = static_cast<int>(end);
    } else {
        lineCursor_ += copied;
    }
    return 0;
}

int CWebFetch::GetFileValue(const char* name, char* buffer, int size) {
    if (!headerComplete_ || !name) return -1;
    const std::string& header = response_->header;
    size_t at = FindNoCase(header, name);
    if (at == std::string::npos) return -1;
    at += strlen(name);
    size_t end = header.find("\r\n", at);
    if (end == std::string::npos) end = header.size();
    return CopyTerminated(header.c_str() + at, end - at, buffer, size);
}

int CWebFetch::GetWebState() const {
    // "HTTP/1.x", a blank, three digits of a status from 100 to 599, then a blank or the
    // line's end: anything else is no status.
    const std::string& header = response_->header;
    if (!headerComplete_ || header.size() < 14 || header.compare(0, 7, "HTTP/1.") != 0 || !isdigit(header[7] & 0xFF) ||
        header[8] != ' ' || (header[12] != ' ' && header[12] != '\r')) {
        return -1;
    }
    int status = 0;
    for (int i = 9; i < 12; ++i) {
        if (!isdigit(header[i] & 0xFF)) return -1;
        status = status * 10 + (header[i] - '0');
    }
    return status >= 100 && status <= 599 ? status : -1;
}

bool CWebFetch::CloseSocket() {
    if (socket_ == INVALID_SOCKET) return true;
    if (closesocket(static_cast<SOCKET>(socket_)) != 0) return false;
    socket_ = INVALID_SOCKET;
    return true;
}

bool CWebFetch::SetTimeout(int milliseconds, int kind) {
    if (socket_ == INVALID_SOCKET) return false;
    DWORD value = static_cast<DWORD>(milliseconds);
    bool set = setsockopt(static_cast<SOCKET>(socket_), SOL_SOCKET, kind ? SO_SNDTIMEO : SO_RCVTIMEO,
                          reinterpret_cast<const char*>(&value), sizeof(value)) == 0;
    if (set && kind == 0) response_->receiveTimeoutMs = value;
    return set;
}
