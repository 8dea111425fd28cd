// The TCP side of the peer channel: a listener that takes one record per connection
// from friends' clients and answers it, and the sender of our own records.
//
// Every outgoing exchange is bounded: a 5 s connect, 5 s per send, 20 s for the reply.
// An accepted connection must deliver its whole record within kRecordLimitMs of the
// accept; at most kMaxPerAddress are served from one remote address (more are closed at
// once) and kMaxConnections in all; more wait in the listen queue. Stop closes the listening socket, cuts every open connection (ours and the
// peers') and waits, pumping messages, until each of the channel's threads has ended.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "PeerPacket.h"
#include "Services.h"
#include "Sync.h"

namespace presence {

enum : DWORD {
    kConnectTimeoutMs = 5000,
    kSendTimeoutMs = 5000,
    kReceiveTimeoutMs = 20000,
    kMaxConnections = 32,
    kMaxPerAddress = 4,
    kRecordLimitMs = 5000,
};

class PeerChannel : public PeerSender {
public:
    // Called on a receive thread with each decoded record and the address (network order)
    // it came from; the record's fields are terminated already.
    using Delivery = std::function<void(const PeerPacket& packet, DWORD from)>;

    explicit PeerChannel(Delivery deliver);
    ~PeerChannel() override;
    PeerChannel(const PeerChannel&) = delete;
    PeerChannel& operator=(const PeerChannel&) = delete;

    // Listens on address (network order; INADDR_ANY for all) and port. False, with a
    // debugger line, when the socket cannot be made, bound or put to listening.
    bool Start(DWORD address, WORD port);
    bool Started() const { return listener_ != INVALID_SOCKET; }
    // Cuts every connection, refuses new sends; the threads are ended by Stop.
    void BeginStop();
    void Stop();
    // Connections being served right now.
    LONG ActiveConnections() const { return active_; }

    bool SendAndConfirm(const PeerTarget& target, const std::string& text) override;
    // Sends without waiting for the reply (the block and deletion notices).
    bool SendOnly(const PeerTarget& target, const std::string& text);

private:
    struct Connection {
        PeerChannel* channel;
        SOCKET socket;
        DWORD address;
    };

    static DWORD WINAPI AcceptThread(void* self);
    static DWORD WINAPI ReceiveThread(void* connection);
    void AcceptLoop();
    void Serve(Connection* connection);
    void Admit(SOCKET socket, DWORD address);
    void Release(Connection* connection);
    void PruneThreads();
    bool Exchange(const PeerTarget& target, const std::string& text, bool waitReply);
    SOCKET Connect(const PeerTarget& target);
    void Forget(SOCKET socket);

    Delivery deliver_;
    bool winsock_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    HANDLE acceptThread_ = nullptr;
    volatile LONG active_ = 0;
    HANDLE idle_ = nullptr;  // set while no connection is served
    volatile bool stopping_ = false;
    bool listenerClosed_ = false;

    vantor::CriticalSection lock_;
    std::vector<Connection*> connections_;
    std::set<SOCKET> outgoing_;
    std::vector<HANDLE> threads_;
};

// Socket helpers shared by the listener and the sender.
bool SendAll(SOCKET socket, const char* data, size_t length);
// Reads until `length` bytes arrived within timeoutMs; false on an error, a time-out,
// a close before (*closed) or when *stop becomes true meanwhile.
bool ReceiveAll(SOCKET socket, char* data, size_t length, DWORD timeoutMs, const volatile bool* stop, bool* closed);

}  // namespace presence
