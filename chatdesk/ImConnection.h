// One connected TCP socket of the IM transport: to the IM server or a direct link to a
// peer's client.
//
// Several holders share a connection (the service, chat windows, senders), so it is
// counted by reference. Closing only shuts the socket down; the receive thread alone
// closes the socket, so a socket value is never closed twice. Sends are serialised: each
// message goes out whole, even when the socket takes it in pieces.
//
// A peer that stops reading holds a sender for kImSendLimitMs at most. A send waits that
// long for the send lock, and then either for the whole message (the sends of a window or
// a notice: nobody waits on the peer longer than the limit) or for as long as the peer
// keeps taking bytes, each pause shorter than the limit (the file blocks, which a slow but
// steady peer takes for as long as they need). A message only partly written, or a peer
// that took nothing for the whole limit, closes the connection (what was written of the
// message would leave the stream out of step); a message that found the link busy for the
// limit fails alone.
//
// A long send of file blocks can be ended early (the user's cancel, the peer's stop, the
// window closing): it then ends at the next message boundary, the message under way
// having the limit to go.
//
// What the connection's own receive thread sends while handling a file block is held and
// sent in one piece before it handles another kind of message or next waits for the
// socket: a run of file blocks is then answered with one send, not one for each block.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "Sync.h"

namespace chatdesk {

class ImTcpLayer;

constexpr DWORD kImSendLimitMs = 5000;

// How long a send may wait on the peer (see above).
enum class SendWait {
    Whole,        // the whole call, the wait for the send lock included, within the limit
    WhileMoving,  // as long as the peer takes a byte within every limit
};

// What ends a send of whole messages of `unit` bytes each early (see above).
struct SendStop {
    size_t unit;
    std::function<bool()> requested;
};

class ImConnection {
public:
    ImConnection(ImTcpLayer* layer, SOCKET socket, const sockaddr_in& remote);
    ImConnection(const ImConnection&) = delete;
    ImConnection& operator=(const ImConnection&) = delete;

    void AddRef() { refs_.fetch_add(1); }
    void Release();

    // Sends every byte under the connection's send lock; false on a socket error, a time
    // limit reached, a stop (`stop`, when given, is asked as the send goes) or once the
    // connection is closed. On the receive thread, while holding, the bytes are queued.
    bool SendAll(const void* bytes, size_t length, SendWait wait = SendWait::Whole, const SendStop* stop = nullptr);
    // Shuts the socket down both ways; the receive thread then ends the connection.
    void Close();
    bool Closed() const { return closed_.load(); }
    // Receive thread only: sends what it holds; false when that send failed.
    bool FlushHeld();

    // When the owner last took a message of this connection (at first: when it was made).
    DWORD LastTaken() const { return lastTaken_.load(); }

    // The remote address and port, in network order.
    uint32_t RemoteAddress() const { return remote_.sin_addr.s_addr; }
    uint16_t RemotePort() const { return remote_.sin_port; }
    ImTcpLayer* Layer() const { return layer_; }

private:
    friend class ImTcpLayer;
    ~ImConnection();

    bool SendNow(const void* bytes, size_t length, SendWait wait, const SendStop* stop);
    // Receive thread only: starts or ends holding its own sends (ending sends what is held).
    void HoldSends(bool hold);

    ImTcpLayer* layer_;
    SOCKET socket_;
    sockaddr_in remote_;
    std::atomic<LONG> refs_{1};
    std::atomic<bool> closed_{false};
    vantor::TimedLock sendLock_;
    std::atomic<DWORD> lastTaken_;  // set by the receive thread
    HANDLE thread_ = nullptr;  // the receive thread, joined by the layer
    bool accepted_ = false;    // made by accept (set by the layer before the thread starts)
    std::atomic<DWORD> holdingThread_{0};  // the receive thread while it holds its sends
    std::vector<uint8_t> held_;            // touched by that thread only
};

// Holds one reference for a scope.
class ConnectionRef {
public:
    ConnectionRef() = default;
    // Takes over a reference the caller already holds.
    static ConnectionRef Adopt(ImConnection* c) {
        ConnectionRef r;
        r.c_ = c;
        return r;
    }
    static ConnectionRef Share(ImConnection* c) {
        if (c) c->AddRef();
        return Adopt(c);
    }
    ~ConnectionRef() { reset(); }
    ConnectionRef(ConnectionRef&& o) noexcept : c_(o.c_) { o.c_ = nullptr; }
    ConnectionRef& operator=(ConnectionRef&& o) noexcept {
        if (this != &o) {
            reset();
            c_ = o.c_;
            o.c_ = nullptr;
        }
        return *this;
    }
    ConnectionRef(const ConnectionRef&) = delete;
    ConnectionRef& operator=(const ConnectionRef&) = delete;
    ImConnection* get() const { return c_; }
    ImConnection* operator->() const { return c_; }
    explicit operator bool() const { return c_ != nullptr; }
    ImConnection* release() {
        ImConnection* c = c_;
        c_ = nullptr;
        return c;
    }
    void reset() {
        if (c_) c_->Release();
        c_ = nullptr;
    }

private:
    ImConnection* c_ = nullptr;
};

}  // namespace chatdesk
