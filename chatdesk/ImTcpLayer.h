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
    // True when the owner took it (handled it or handed it on); a message dropped as not
    // the sender's to send or as nobody's answers false.
    virtual bool OnMessage(ImConnection* connection, const uint8_t* message, size_t length) = 0;
    virtual void OnClosed(ImConnection* connection) = 0;
    // Whether the owner uses an accepted connection that has stayed quiet (a peer's link).
    virtual bool HoldsLink(ImConnection* connection) { return false; }
};

// Accepted connections beyond these counts (in all, and from one remote address) are
// not served; the service's own connections are never refused. A newcomer to a full
// layer takes the place of an accepted connection that the owner does not hold: one of
// the address that holds the most, the one that has gone longest without a message
// taken; when the owner holds them all, or the newcomer's address has its count already,
// the newcomer is closed.
constexpr size_t kMaxImConnections = 64;
constexpr size_t kMaxAcceptedPerAddress = 4;
constexpr DWORD kImConnectLimitMs = 5000;
// An accepted connection that the owner does not hold as a link is closed once this
// time has passed without a message the owner took (counted from the accept at first).
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
    // Lists the connection and starts its receive thread. Nothing is started when the
    // layer is stopping, the thread cannot start, or an accepted one finds its address's
    // count reached (No) or the layer full (Full).
    enum class Launched { Yes, No, Full };
    Launched Launch(ImConnection* connection, bool accepted);
    // Closes an accepted connection that the owner does not hold (of the address with the
    // most, the quietest), to make room for a newcomer; false when there is none to close.
    bool MakeRoom();
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
