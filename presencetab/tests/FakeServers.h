// The loopback fakes the presence-tab tests talk to: the fake presence server and the
// fake friends' clients (testkit/presence), both programmed over HTTP.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pttest {

// POSTs body to http://127.0.0.1:port/_ctl/what; the answer's body.
std::string Control(int port, const std::string& what, const std::string& body = std::string());

// Ports from the fixtures' port files in `folder` (the staged program folder).
int PresencePort(const std::wstring& folder);
int PeerControlPort(const std::wstring& folder);

// One record a fake friend received.
struct PeerRecord {
    std::string where, command, answer, sender, receiver, subCode, nickname, message;
    int chars = 0;
};

class FakePeer {
public:
    explicit FakePeer(int port) : port_(port) {}
    bool Reset();
    // mode: answer, late, silent, close.
    bool Listen(const char* address, int port, const char* mode = "answer", int delayMs = 0);
    void Unlisten(const char* address, int port);
    // Fields as "key=value" lines (UTF-8); one reply text per copy ("-": none).
    // `from`: the source address (the system's choice when null).
    std::vector<std::string> Send(const char* address, int port, const std::string& fields,
                                  const char* mode = "whole", int copies = 1, const char* from = nullptr);
    std::vector<PeerRecord> Received();

private:
    int port_;
};

// Presence-server posts as the fake logged them.
struct PresencePost {
    std::string path, cookie, body;
};

class FakePresence {
public:
    explicit FakePresence(int port) : port_(port) {}
    bool Reset() { return Control(port_, "reset") == "ok"; }
    // `when`: only for the posts whose form holds that text (before the plain default).
    void Default(const char* action, const std::string& reply, int status = 200, const std::string& when = "");
    // The reply waits `delayMs` before it is sent.
    void Queue(const char* action, const std::string& reply, int status = 200, int delayMs = 0);
    std::vector<PresencePost> Posts();
    int Count(const char* action);
    const PresencePost* Last(const char* action, std::vector<PresencePost>& posts);

private:
    int port_;
};

// Presence replies (ANSI code page).
std::string Cell(const char* name, const std::string& text, int type = 8);
std::string Reply(const std::string& inner);
// `localIp` null: the same as the public one.
std::string OnlineRecord(const char* id, const char* ip, int port, const char* localIp = nullptr);

}  // namespace pttest
