// CWebFetch: HTTP/1.0 over one blocking socket, directly or through the user's browser
// proxy with CONNECT.
#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Text.h"
#include "WebFetch.h"

struct ResponseRecord {
    std::string header;
    std::string body;
    int bodyLength = -1;
};

namespace {

// A peer that never ends its header must not grow it without limit.
const size_t kMaxHeaderBytes = 64 * 1024;
const int kReceiveChunk = 1024;

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
    return socket_ != INVALID_SOCKET;
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
    char c = 0;
    while (answer.size() < kMaxHeaderBytes && recv(static_cast<SOCKET>(socket_), &c, 1, 0) == 1) {
        answer += c;
        if (answer.size() >= 4 && answer.compare(answer.size() - 4, 4, "\r\n\r\n") == 0) break;
    }
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
    bool blankLine = false;
    char c = 0;
    while (socket_ != INVALID_SOCKET && header.size() < kMaxHeaderBytes &&
           recv(static_cast<SOCKET>(socket_), &c, 1, 0) > 0) {
        header += c;
        if (header.size() >= 4 && header.compare(header.size() - 4, 4, "\r\n\r\n") == 0) {
            blankLine = true;
            break;
        }
    }
    if (blankLine) {
        size_t at = FindNoCase(header, "Content-Length:");
        if (at != std::string::npos) {
            at += strlen("Content-Length:");
            size_t end = header.find("\r\n", at);
            response_->bodyLength = atoi(header.substr(at, end - at).c_str());
        }
        headerComplete_ = true;
        headerLength_ = static_cast<int>(header.size());
        length = headerLength_;
    }
    return header.c_str();
}

int CWebFetch::Receive(char* buffer, int size) {
    if (socket_ == INVALID_SOCKET) return -1;
    return recv(static_cast<SOCKET>(socket_), buffer, size, 0);
}

bool CWebFetch::Receive() {
    if (socket_ == INVALID_SOCKET) return false;
    std::string& body = response_->body;
    if (response_->bodyLength < 0 || body.size() < static_cast<size_t>(response_->bodyLength)) {
        char chunk[kReceiveChunk + 1] = {};
        int got = recv(static_cast<SOCKET>(socket_), chunk, kReceiveChunk, 0);
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
    const std::string& header = response_->header;
    if (!headerComplete_ || header.size() < 12 || header.compare(0, 5, "HTTP/") != 0) return -1;
    return atoi(header.substr(9, 3).c_str());
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
    return setsockopt(static_cast<SOCKET>(socket_), SOL_SOCKET, kind ? SO_SNDTIMEO : SO_RCVTIMEO,
                      reinterpret_cast<const char*>(&value), sizeof(value)) == 0;
}
