#include "NodeHarness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include "Listener.h"

namespace harness {

namespace {
// Every test program of the node uses plain sockets of its own from the start.
struct SocketsStarted {
    SocketsStarted() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} const g_socketsStarted;
}  // namespace

std::atomic<int> g_headLength{0};
std::atomic<int> g_fixedBody{0};
std::atomic<bool> g_bodyFromHead{false};
Recorder g_recorder;

int WINAPI HeadNeed() { return g_headLength; }

int WINAPI BodyNeed(const char* head, int length) {
    if (!g_bodyFromHead) return g_fixedBody;
    int body = 0;
    if (length >= 4) std::memcpy(&body, head, 4);
    return body;
}

void Recorder::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    events_.clear();
    threads.clear();
    stopped = false;
    afterStop = 0;
    echoNode = nullptr;
    echoRefused = 0;
}

void Recorder::Add(Event event) {
    if (stopped) ++afterStop;
    {
        std::lock_guard<std::mutex> hold(lock_);
        threads.insert(GetCurrentThreadId());
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
}

std::vector<Event> Recorder::Events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
}

std::vector<std::string> Recorder::Received(NetChannel channel) {
    std::vector<std::string> out;
    for (const Event& e : Events()) {
        if (e.kind == Event::Received && e.channel == channel) out.push_back(e.bytes);
    }
    return out;
}

int Recorder::Count(Event::Kind kind, NetChannel channel) {
    int n = 0;
    for (const Event& e : Events()) {
        if (e.kind == kind && (!channel || e.channel == channel)) ++n;
    }
    return n;
}

std::vector<NetChannel> Recorder::Channels() {
    std::vector<NetChannel> out;
    for (const Event& e : Events()) {
        if (e.kind == Event::Received && std::find(out.begin(), out.end(), e.channel) == out.end()) {
            out.push_back(e.channel);
        }
    }
    return out;
}

bool Recorder::WaitFor(const std::function<bool()>& done, DWORD ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        std::unique_lock<std::mutex> hold(lock_);
        if (changed_.wait_until(hold, std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(50))) ==
                std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= until) {
            hold.unlock();
            return done();
        }
    }
}

void WINAPI OnRecv(NetChannel channel, const char* bytes, int length, void* user) {
    Recorder* recorder = static_cast<Recorder*>(user);
    recorder->Add({Event::Received, channel, std::string(bytes, static_cast<size_t>(length)), 0});
    if (NetNode node = recorder->echoNode) {
        if (!Net_SendDataChannel(node, channel, bytes, length)) ++recorder->echoRefused;
    }
}

void WINAPI OnSent(NetChannel channel, int bytesSent, void* user) {
    static_cast<Recorder*>(user)->Add({Event::Sent, channel, std::string(), bytesSent});
}

void WINAPI OnClosed(NetChannel channel, void* user) {
    static_cast<Recorder*>(user)->Add({Event::Closed, channel, std::string(), 0});
}

void Attach(NetNode node) {
    Net_SetCallback_OnRecvData(node, OnRecv, &g_recorder);
    Net_SetCallback_OnSendData(node, OnSent);
    Net_SetCallback_OnChannelClosed(node, OnClosed);
}

unsigned long Loopback() { return htonl(INADDR_LOOPBACK); }

unsigned short FreePort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Loopback();
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    return ntohs(a.sin_port);
}

NetNode StartOnFreePort(unsigned short* port) {
    // Another program's connection may take a port between the choice and the start.
    for (int attempt = 0; attempt < 5; ++attempt) {
        *port = FreePort();
        if (NetNode node = Net_StartServer(*port)) return node;
    }
    return nullptr;
}

Client::Client(unsigned short port, DWORD timeoutMs) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Loopback();
    a.sin_port = htons(port);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
}

Client::~Client() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

bool Client::Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Client::Receive(size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        int r = recv(socket_, &out[got], static_cast<int>(n - got), 0);
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

bool Client::SeesEnd() {
    char byte;
    int r = recv(socket_, &byte, 1, 0);
    return r == 0 || (r < 0 && WSAGetLastError() != WSAETIMEDOUT);
}

void Client::ShutdownSend() { shutdown(socket_, SD_SEND); }

Listener::Listener(unsigned short port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Loopback();
    a.sin_port = htons(port);
    if (bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(socket_, 5) != 0) {
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
}

Listener::~Listener() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

SOCKET Listener::Accept(DWORD ms) { return vantor::net::AcceptWithin(socket_, ms); }

std::string Pattern(size_t length, unsigned seed) {
    std::string out(length, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 16);
    }
    return out;
}

// Head: body length, client, sequence, 4 spare bytes (16 bytes in all).
std::string FramedMessage(unsigned client, unsigned sequence, size_t bodyLength) {
    unsigned head[4] = {static_cast<unsigned>(bodyLength), client, sequence, 0x5A5A5A5A};
    std::string out(reinterpret_cast<const char*>(head), sizeof head);
    return out + Pattern(bodyLength, client * 1000 + sequence);
}

int ThreadsOfProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
    }
    CloseHandle(snapshot);
    return n;
}

}  // namespace harness
