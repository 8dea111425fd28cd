// The fake IM gatekeeper and server that the im_fake CTest fixture started
// (testkit/im/fake_im.py), reached through its control routes.
#pragma once

#include <string>

namespace testkit {

struct ImFake {
    int http = 0;    // gatekeeper and control routes
    int im = 0;      // the IM server
    int closed = 0;  // a loopback port where nothing listens
    bool loaded = false;

    // From the variable VANTOR_IM_FAKE_PORTS ("http,im,closed"; child runs get it from
    // their parent), else from "<program folder>\im-fake.port"; loaded == false when the
    // fixture did not run.
    static const ImFake& Get();
    // "http,im,closed", for a child's environment.
    std::string PortsText() const;
    std::string GatekeeperUrl() const;

    // Posts to "/_ctl/<route>"; the reply body, or "!<status>: <body>" when the fake refused.
    std::string Control(const std::string& route, const std::string& body = std::string()) const;
    // Whether the IM server holds a logged-in session of the account.
    bool HasSession(const std::string& id) const;
};

// Starts Winsock for the test program's whole life, once, however many threads ask at
// once; it is never cleaned up. Tests never pair WSAStartup with WSACleanup around their
// own sockets: under Wine the WSACleanup that ends the last start closes every socket of
// the process, so another thread's connection in flight fails or waits for ever.
bool StartWinsock();

// A POST of `body` to 127.0.0.1:port at `path` with the form content type: the status
// code (0 when nothing answered within the limit) and the reply body.
constexpr unsigned long kLoopbackPostLimitMs = 60000;
int LoopbackPost(int port, const std::string& path, const std::string& body, std::string* reply);

}  // namespace testkit
