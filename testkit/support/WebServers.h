// The loopback web servers the web_servers CTest fixture started for this run (testkit/web/webservers.py):
// ports and folders from "<build>\webtest\servers.ini".
#pragma once

#include <string>

struct WebServers {
    int fake = 0;          // the fake HTTP server
    int nginx = 0;         // nginx serving the files of root
    int proxy = 0;         // tinyproxy, tunnels allowed to nginx only
    int strictProxy = 0;   // tinyproxy refusing every tunnel and filtered addresses
    int blackhole = 0;     // a port where connections get no answer (a network that drops them)
    std::wstring root;     // folder nginx serves
    std::wstring log;      // requests the fake server saw, one file per path
    std::wstring state;

    // Loaded once; false (with a gtest failure) when the fixture did not run.
    static const WebServers& Get();
    bool loaded = false;

    std::string FakeUrl(const std::string& pathAndQuery) const;
    std::string NginxUrl(const std::string& path) const;
    // The last request the fake server received for path, exactly as it arrived;
    // empty when none did.
    std::string LastRequest(const std::string& path) const;
    std::string RootFile(const std::string& name) const;
};

// Splits a raw request at its blank line.
std::string RequestBody(const std::string& raw);
// The value of a request header (first occurrence, name case-insensitive), or "".
std::string RequestHeader(const std::string& raw, const std::string& name);
// A loopback port with nothing listening on it.
int ClosedPort();
