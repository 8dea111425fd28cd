// What the node tests need around SockHive: callbacks that write down what they are
// told, framing settings they answer from, and plain blocking loopback sockets.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "SockHive.h"

namespace harness {

// Framing answers: head length (0: none), and the body length either fixed or read
// from the head's first four bytes.
extern std::atomic<int> g_headLength;
extern std::atomic<int> g_fixedBody;
extern std::atomic<bool> g_bodyFromHead;
int WINAPI HeadNeed();
int WINAPI BodyNeed(const char* head, int length);

struct Event {
    enum Kind { Received, Sent, Closed } kind;
    NetChannel channel;
    std::string bytes;  // Received
    int count = 0;      // Sent
};

// Everything the callbacks saw, in order.
class Recorder {
public:
    void Reset();
    void Add(Event event);
    std::vector<Event> Events();
    std::vector<std::string> Received(NetChannel channel);
    int Count(Event::Kind kind, NetChannel channel = nullptr);
    // The channels seen, in the order of their first delivery.
    std::vector<NetChannel> Channels();
    // Waits up to `ms` for the condition, checked after every event.
    bool WaitFor(const std::function<bool()>& done, DWORD ms = 5000);

    std::atomic<bool> stopped{false};     // set once Net_StopServer has returned
    std::atomic<int> afterStop{0};        // callbacks seen after that
    std::atomic<NetNode> echoNode{nullptr};  // set: every delivery is sent back
    std::atomic<int> echoRefused{0};
    std::set<DWORD> threads;              // callback threads

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

extern Recorder g_recorder;
void WINAPI OnRecv(NetChannel channel, const char* bytes, int length, void* user);
void WINAPI OnSent(NetChannel channel, int bytesSent, void* user);
void WINAPI OnClosed(NetChannel channel, void* user);
// All callbacks of the recorder set on the node.
void Attach(NetNode node);

// A port nothing listens on right now.
unsigned short FreePort();
unsigned long Loopback();
// A node started on a port that was free, or null.
NetNode StartOnFreePort(unsigned short* port);

// Blocking client socket with a receive time-out.
class Client {
public:
    Client() = default;
    explicit Client(unsigned short port, DWORD timeoutMs = 5000);
    ~Client();
    Client(Client&& other) noexcept : socket_(other.socket_) { other.socket_ = INVALID_SOCKET; }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return socket_ != INVALID_SOCKET; }
    bool Send(const std::string& bytes);
    // Exactly n bytes, or what came before the end or the time-out.
    std::string Receive(size_t n);
    // True when the peer ended the connection (orderly or reset) within the time-out.
    bool SeesEnd();
    void ShutdownSend();
    SOCKET socket() const { return socket_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

// A raw listening socket on 127.0.0.1.
class Listener {
public:
    explicit Listener(unsigned short port);
    ~Listener();
    // The next connection within `ms`, or INVALID_SOCKET.
    SOCKET Accept(DWORD ms);
    bool Listening() const { return socket_ != INVALID_SOCKET; }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

std::string Pattern(size_t length, unsigned seed);
std::string FramedMessage(unsigned client, unsigned sequence, size_t bodyLength);
int ThreadsOfProcess();

}  // namespace harness
