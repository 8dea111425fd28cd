#include "WebServers.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Text.h"

namespace {

int ReadPort(const std::wstring& ini, const wchar_t* name) {
    return static_cast<int>(GetPrivateProfileIntW(L"servers", name, 0, ini.c_str()));
}

std::wstring ReadFolder(const std::wstring& ini, const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetPrivateProfileStringW(L"folders", name, L"", buffer, MAX_PATH * 2, ini.c_str());
    std::wstring folder = buffer;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

}  // namespace

const WebServers& WebServers::Get() {
    static WebServers servers = [] {
        WebServers s;
        std::wstring ini = testkit::ProgramDir() + L"..\\webtest\\servers.ini";
        s.fake = ReadPort(ini, L"fake");
        s.nginx = ReadPort(ini, L"nginx");
        s.proxy = ReadPort(ini, L"proxy");
        s.strictProxy = ReadPort(ini, L"strictproxy");
        s.blackhole = ReadPort(ini, L"blackhole");
        s.root = ReadFolder(ini, L"root");
        s.log = ReadFolder(ini, L"log");
        s.state = ReadFolder(ini, L"state");
        s.loaded = s.fake > 0 && s.nginx > 0 && !s.root.empty();
        return s;
    }();
    EXPECT_TRUE(servers.loaded) << "web servers not running: start them with testkit/web/webservers.py "
                                   "(the web_servers CTest fixture)";
    return servers;
}

std::string WebServers::FakeUrl(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(fake) + pathAndQuery;
}

std::string WebServers::NginxUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(nginx) + path;
}

std::string WebServers::LastRequest(const std::string& path) const {
    std::string name;
    for (char c : path.substr(path.find_first_not_of('/'))) {
        name += (isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-') ? c : '_';
    }
    return testkit::ReadFileBytes(log + vantor::AnsiToWide(name) + L".req");
}

std::string WebServers::RootFile(const std::string& name) const {
    return testkit::ReadFileBytes(root + vantor::AnsiToWide(name));
}

std::string RequestBody(const std::string& raw) {
    size_t blank = raw.find("\r\n\r\n");
    return blank == std::string::npos ? std::string() : raw.substr(blank + 4);
}

std::string RequestHeader(const std::string& raw, const std::string& name) {
    size_t end = raw.find("\r\n\r\n");
    size_t at = raw.find("\r\n");
    while (at != std::string::npos && at < end) {
        size_t next = raw.find("\r\n", at + 2);
        std::string line = raw.substr(at + 2, next - at - 2);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            _strnicmp(line.c_str(), name.c_str(), name.size()) == 0) {
            size_t v = line.find_first_not_of(' ', name.size() + 1);
            return v == std::string::npos ? std::string() : line.substr(v);
        }
        at = next;
    }
    return std::string();
}

int ClosedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}
