#include "ImFake.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "TestSupport.h"

namespace testkit {

namespace {

bool ReadPorts(const std::string& text, ImFake* fake) {
    int http = 0, im = 0, closed = 0;
    if (sscanf(text.c_str(), "%d%*[,\r\n ]%d%*[,\r\n ]%d", &http, &im, &closed) != 3) return false;
    fake->http = http;
    fake->im = im;
    fake->closed = closed;
    return http > 0 && im > 0;
}

}  // namespace

const ImFake& ImFake::Get() {
    static ImFake fake = [] {
        ImFake f;
        char value[64] = {};
        if (GetEnvironmentVariableA("VANTOR_IM_FAKE_PORTS", value, sizeof value))
            f.loaded = ReadPorts(value, &f);
        else
            f.loaded = ReadPorts(ReadFileBytes(ProgramDir() + L"im-fake.port"), &f);
        return f;
    }();
    return fake;
}

std::string ImFake::PortsText() const {
    char text[64];
    snprintf(text, sizeof text, "%d,%d,%d", http, im, closed);
    return text;
}

std::string ImFake::GatekeeperUrl() const {
    char url[96];
    snprintf(url, sizeof url, "http://127.0.0.1:%d/gk/GKServer.do", http);
    return url;
}

std::string ImFake::Control(const std::string& route, const std::string& body) const {
    std::string reply;
    int status = LoopbackPost(http, "/_ctl/" + route, body, &reply);
    if (status == 200) return reply;
    return "!" + std::to_string(status) + ": " + reply;
}

bool ImFake::HasSession(const std::string& id) const {
    std::istringstream lines(Control("sessions"));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == id) return true;
    }
    return false;
}

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

int LoopbackPost(int port, const std::string& path, const std::string& body, std::string* reply) {
    reply->clear();
    int status = 0;
    SOCKET s = StartWinsock() ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    // A fake that stops answering fails the call, not the whole test program without a word.
    DWORD limit = kLoopbackPostLimitMs;
    if (s != INVALID_SOCKET) {
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        std::string request = "POST " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        size_t sent = 0;
        while (sent < request.size()) {
            int r = send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
            if (r <= 0) break;
            sent += static_cast<size_t>(r);
        }
        std::string raw;
        char buffer[4096];
        for (;;) {
            int r = recv(s, buffer, sizeof buffer, 0);
            if (r <= 0) break;
            raw.append(buffer, static_cast<size_t>(r));
        }
        if (raw.compare(0, 5, "HTTP/") == 0) {
            size_t space = raw.find(' ');
            status = space == std::string::npos ? 0 : atoi(raw.c_str() + space + 1);
            size_t split = raw.find("\r\n\r\n");
            if (split != std::string::npos) *reply = raw.substr(split + 4);
        }
    }
    if (s != INVALID_SOCKET) closesocket(s);
    return status;
}

}  // namespace testkit
