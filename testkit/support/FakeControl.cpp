#include "FakeControl.h"

#include <wininet.h>

#include <cstdlib>

namespace testkit {

std::string PostToFake(int port, const std::string& path, const std::string& body, DWORD timeoutMs) {
    std::string reply;
    HINTERNET session = InternetOpenA("fake-control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = session ? InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr,
                                                      nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                                   : nullptr;
    HINTERNET request = connection ? HttpOpenRequestA(connection, "POST", path.c_str(), nullptr, nullptr, nullptr,
                                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                          INTERNET_FLAG_NO_COOKIES,
                                                      0)
                                   : nullptr;
    if (request) InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs, sizeof timeoutMs);
    if (request && HttpSendRequestA(request, nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
        char buffer[16384];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) reply.append(buffer, got);
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (session) InternetCloseHandle(session);
    return reply;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return out;
}

}  // namespace testkit
