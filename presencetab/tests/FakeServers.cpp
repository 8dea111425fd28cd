#include <winsock2.h>

#include "FakeServers.h"

#include <wininet.h>

#include <cstdlib>

#include "FakeControl.h"
#include "TestSupport.h"

namespace pttest {

std::string Control(int port, const std::string& what, const std::string& body) {
    return testkit::PostToFake(port, "/_ctl/" + what, body);
}

int PresencePort(const std::wstring& folder) {
    return atoi(testkit::ReadFileBytes(folder + L"presence-fake.port").c_str());
}

int PeerControlPort(const std::wstring& folder) {
    return atoi(testkit::ReadFileBytes(folder + L"presence-peer.port").c_str());
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(separator, at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = Split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

using testkit::FromHex;

}  // namespace

bool FakePeer::Reset() { return Control(port_, "reset") == "ok"; }

bool FakePeer::Listen(const char* address, int port, const char* mode, int delayMs) {
    return Control(port_, std::string("listen?addr=") + address + "&port=" + std::to_string(port) + "&mode=" + mode +
                              "&delay=" + std::to_string(delayMs)) == "ok";
}

void FakePeer::Unlisten(const char* address, int port) {
    Control(port_, std::string("unlisten?addr=") + address + "&port=" + std::to_string(port));
}

std::vector<std::string> FakePeer::Send(const char* address, int port, const std::string& fields, const char* mode,
                                        int copies, const char* from) {
    return Lines(Control(port_, std::string("send?addr=") + address + "&port=" + std::to_string(port) + "&mode=" + mode +
                                    "&copies=" + std::to_string(copies) + (from ? std::string("&from=") + from : ""),
                         fields));
}

std::vector<PeerRecord> FakePeer::Received() {
    std::vector<PeerRecord> out;
    for (const std::string& line : Lines(Control(port_, "log"))) {
        std::vector<std::string> f = Split(line, '\t');
        if (f.size() != 9) continue;
        out.push_back({f[0], f[1], f[2], f[3], f[4], f[5], FromHex(f[6]), FromHex(f[7]), atoi(f[8].c_str())});
    }
    return out;
}

void FakePresence::Default(const char* action, const std::string& reply, int status, const std::string& when) {
    std::string condition;
    for (char c : when) condition += c == '=' ? std::string("%3D") : std::string(1, c);
    Control(port_, std::string("default?action=") + action + "&status=" + std::to_string(status) +
                       (when.empty() ? "" : "&when=" + condition), reply);
}

void FakePresence::Queue(const char* action, const std::string& reply, int status, int delayMs) {
    Control(port_, std::string("queue?action=") + action + "&status=" + std::to_string(status) +
                       (delayMs ? "&delay=" + std::to_string(delayMs) : ""), reply);
}

std::vector<PresencePost> FakePresence::Posts() {
    std::vector<PresencePost> posts;
    for (const std::string& line : Lines(Control(port_, "log"))) {
        std::vector<std::string> f = Split(line, '\t');
        if (f.size() == 4) posts.push_back({f[1], f[2], FromHex(f[3])});
    }
    return posts;
}

int FakePresence::Count(const char* action) {
    int n = 0;
    std::string needle = std::string("/") + action + ".do";
    for (const PresencePost& p : Posts()) n += p.path.find(needle) != std::string::npos;
    return n;
}

const PresencePost* FakePresence::Last(const char* action, std::vector<PresencePost>& posts) {
    posts = Posts();
    std::string needle = std::string("/") + action + ".do";
    for (auto it = posts.rbegin(); it != posts.rend(); ++it) {
        if (it->path.find(needle) != std::string::npos) return &*it;
    }
    return nullptr;
}

std::string Cell(const char* name, const std::string& text, int type) {
    return std::string("<cell name=\"") + name + "\" type=\"" + std::to_string(type) + "\">" + text + "</cell>";
}

std::string Reply(const std::string& inner) { return "<lwData docId=\"1\" opname=\"x\">" + inner + "</lwData>"; }

std::string OnlineRecord(const char* id, const char* ip, int port, const char* localIp) {
    return "<record>" + Cell("friendid", id) + Cell("statuscode", "1") + Cell("localip", localIp ? localIp : ip) +
           Cell("localport", std::to_string(port)) + Cell("ip", ip) + Cell("port", std::to_string(port)) + "</record>";
}

}  // namespace pttest
