// The socket layer of the IM plug-in: the listener with its accept thread, one receive
// thread per connection cutting the stream into messages, and outgoing connects.
//
// Every connection, accepted or connected out, stays listed until its receive thread
// ends, so stopping the layer reaches all of them and no thread outlives it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ImConnection.h"
#include "Sync.h"

namespace chatdesk {

// What the layer reports, on its own threads. The connection is valid for the call;
// holders keep it with AddRef.
class ImTcpOwner {
public:
    virtual ~ImTcpOwner() = default;
    virtual void OnAccepted(ImConnection* connection) = 0;
    // One whole message of the connection's stream (for "015B" the stored form's length).
    virtual void OnMessage(ImConnection* connection, const uint8_t* message, size_t length) = 0;
    virtual void OnClosed(ImConnection* connection) = 0;
    // Whether the owner uses an accepted connection that has stayed quiet (a peer's link).
    virtual bool HoldsLink(ImConnection* connection) { return false; }
};

// Accepted connections beyond these counts (in all, and from one remote address) are
// closed as soon as they come; the service's own connections are never refused.
constexpr size_t kMaxImConnections = 64;
constexpr size_t kMaxAcceptedPerAddress = 4;
constexpr DWORD kImConnectLimitMs = 5000;
// An accepted connection that has delivered no whole message within this time of its
// accept is closed, unless the owner holds it as a link.
constexpr DWORD kImQuietLimitMs = 60000;

class ImTcpLayer {
public:
    // `localAddress` (network order) is the address to listen on and to connect from;
    // INADDR_ANY for every local address and the system's choice of source.
    ImTcpLayer(ImTcpOwner* owner, uint16_t port, uint32_t localAddress = INADDR_ANY,
               DWORD quietLimitMs = kImQuietLimitMs);
    ~ImTcpLayer();  // stops first
    ImTcpLayer(const ImTcpLayer&) = delete;
    ImTcpLayer& operator=(const ImTcpLayer&) = delete;

    // Binds, listens and starts the accept thread; true at once when already listening.
    // On failure nothing is left open.
    bool StartListening();
    // Connects within kImConnectLimitMs and starts the receive thread: the connection with
    // one reference for the caller, or null.
    ImConnection* Connect(uint32_t address, uint16_t port);

    // Closes the listener, ends the accept thread, shuts every connection down and waits
    // for all receive threads, dispatching this thread's messages meanwhile.
    void Stop();

    size_t ConnectionCount();
    uint16_t Port() const { return port_; }

private:
    static DWORD WINAPI AcceptThread(void* self);
    static DWORD WINAPI ReceiveThread(void* connection);
    void AcceptLoop();
    void Receive(ImConnection* connection);
    // Lists the connection and starts its receive thread; false (nothing started) when
    // the layer is stopping, an accepted one finds its limits reached, or the thread
    // cannot start.
    bool Launch(ImConnection* connection, bool accepted);
    void Unlist(ImConnection* connection);

    ImTcpOwner* owner_;
    uint16_t port_;
    uint32_t localAddress_;
    DWORD quietLimitMs_;
    SOCKET listener_ = INVALID_SOCKET;
    HANDLE acceptThread_ = nullptr;
    std::atomic<bool> stopping_{false};
    vantor::CriticalSection lock_;
    std::vector<ImConnection*> connections_;   // each with a reference of the list's
    std::vector<HANDLE> endedThreads_;         // receive threads that have unlisted
};

}  // namespace chatdesk
