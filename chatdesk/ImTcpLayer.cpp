#include "ImTcpLayer.h"

#include <algorithm>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "DebugOut.h"
#include "ImCodes.h"
#include "ImFramer.h"
#include "Listener.h"
#include "PumpingJoin.h"

namespace chatdesk {

namespace {

// Blocking sockets, watched in short slices so that a closed connection notices at once
// whatever the socket itself does.
const int kSliceMs = 200;

// What arrived is read in pieces of up to 64 KB and handed out from there: a stream of
// back-to-back messages (file blocks) then costs one wait and one receive for many
// messages, not two of each for every one.
class SocketSource : public ImByteSource {
public:
    // `quietLimitMs` (0 for none) bounds the time without a message the owner took;
    // `holds` tells whether the connection may stay quiet all the same.
    SocketSource(SOCKET socket, ImConnection& connection, DWORD quietLimitMs, std::function<bool()> holds)
        : socket_(socket), connection_(connection), held_(0x10000), quietLimitMs_(quietLimitMs),
          holds_(std::move(holds)) {}

    Result Read(uint8_t* buffer, size_t size, int waitMs) override {
        if (connection_.Closed()) return {Status::Closed, 0, 0};
        if (next_ == end_) {
            Result filled = Fill(waitMs);
            if (filled.status != Status::Data) return filled;
        }
        size_t count = std::min(size, end_ - next_);
        std::copy(held_.begin() + next_, held_.begin() + next_ + count, buffer);
        next_ += count;
        return {Status::Data, count, 0};
    }

private:
    bool QuietTooLong() {
        if (!quietLimitMs_ || GetTickCount() - connection_.LastTaken() < quietLimitMs_) return false;
        if (holds_ && holds_()) return false;
        vantor::DebugLine(L"ChatDesk: an accepted connection brought no message taken within the quiet limit and is closed\n");
        return true;
    }

    Result Fill(int waitMs) {
        DWORD start = GetTickCount();
        bool flushed = false;
        for (;;) {
            if (connection_.Closed()) return {Status::Closed, 0, 0};
            if (QuietTooLong()) return {Status::Error, 0, WSAETIMEDOUT};
            // What has come is read at once. Only before a wait for more do the answers that
            // the handlers of the messages handed out held back go: a stream of blocks is
            // answered in few sends.
            int got = recv(socket_, reinterpret_cast<char*>(held_.data()), static_cast<int>(held_.size()), 0);
            if (got > 0) {
                next_ = 0;
                end_ = static_cast<size_t>(got);
                return {Status::Data, end_, 0};
            }
            if (got == 0) return {Status::Closed, 0, 0};
            int error = WSAGetLastError();
            // A socket shut down on our side reads as an ending, not a failure.
            if (connection_.Closed()) return {Status::Closed, 0, 0};
            if (error != WSAEWOULDBLOCK) return {Status::Error, 0, error};
            if (!flushed) {
                flushed = true;
                connection_.FlushHeld();
                continue;
            }
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval slice = {0, kSliceMs * 1000};
            int ready = select(0, &readable, nullptr, nullptr, &slice);
            if (ready == SOCKET_ERROR) return {Status::Error, 0, WSAGetLastError()};
            if (ready == 0 && waitMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(waitMs))
                return {Status::TimedOut, 0, 0};
        }
    }

    SOCKET socket_;
    ImConnection& connection_;
    std::vector<uint8_t> held_;
    size_t next_ = 0;
    size_t end_ = 0;
    DWORD quietLimitMs_;
    std::function<bool()> holds_;
};

bool IsFileBlock(const uint8_t* message, size_t length) {
    return length >= kImHeaderSize && SameImCode(message + kImCodeOffset, "005S");
}

void CloseHandles(std::vector<HANDLE>& handles) {
    for (HANDLE h : handles) CloseHandle(h);
    handles.clear();
}

}  // namespace

ImTcpLayer::ImTcpLayer(ImTcpOwner* owner, uint16_t port, uint32_t localAddress, DWORD quietLimitMs)
    : owner_(owner), port_(port), localAddress_(localAddress), quietLimitMs_(quietLimitMs) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

ImTcpLayer::~ImTcpLayer() {
    Stop();
    WSACleanup();
}

bool ImTcpLayer::StartListening() {
    if (listener_ != INVALID_SOCKET) return true;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    // Two listeners never share a port: a taken port is a failure to retry later.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port_);
    local.sin_addr.s_addr = localAddress_;
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        listen(s, 0x7FFFFFFF) == SOCKET_ERROR) {
        closesocket(s);
        return false;
    }
    stopping_ = false;
    return vantor::net::StartAcceptThread(s, &listener_, AcceptThread, this, &acceptThread_);
}

DWORD WINAPI ImTcpLayer::AcceptThread(void* self) {
    static_cast<ImTcpLayer*>(self)->AcceptLoop();
    return 0;
}

void ImTcpLayer::AcceptLoop() {
    while (!stopping_.load()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval slice = {0, kSliceMs * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &slice);
        if (ready == SOCKET_ERROR) break;
        if (ready == 0) continue;
        sockaddr_in remote = {};
        int size = sizeof remote;
        SOCKET s = accept(listener_, reinterpret_cast<sockaddr*>(&remote), &size);
        if (s == INVALID_SOCKET) {
            if (stopping_.load()) break;
            continue;
        }
        ImConnection* connection = new (std::nothrow) ImConnection(this, s, remote);
        if (!connection) {
            closesocket(s);
            continue;
        }
        Launched launched = Launch(connection, true);
        if (launched == Launched::Full && MakeRoom()) launched = Launch(connection, true);
        if (launched != Launched::Yes) {
            // A connection that cannot be served is closed at once; the others go on.
            closesocket(s);
            connection->socket_ = INVALID_SOCKET;
            connection->Release();
            continue;
        }
        owner_->OnAccepted(connection);
        connection->Release();
    }
}

ImConnection* ImTcpLayer::Connect(uint32_t address, uint16_t port) {
    if (stopping_.load()) return nullptr;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return nullptr;
    if (localAddress_ != INADDR_ANY) {
        sockaddr_in source = {};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = localAddress_;
        if (bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source) == SOCKET_ERROR) {
            closesocket(s);
            return nullptr;
        }
    }
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = address;

    // An address that never answers costs the limit only.
    bool connected = vantor::net::ConnectWithin(s, remote, kImConnectLimitMs);
    if (!connected) {
        closesocket(s);
        return nullptr;
    }
    ImConnection* connection = new (std::nothrow) ImConnection(this, s, remote);
    if (!connection) {
        closesocket(s);
        return nullptr;
    }
    if (Launch(connection, false) != Launched::Yes) {
        closesocket(s);
        connection->socket_ = INVALID_SOCKET;
        connection->Release();
        return nullptr;
    }
    return connection;
}

ImTcpLayer::Launched ImTcpLayer::Launch(ImConnection* connection, bool accepted) {
    vantor::Lock lock(lock_);
    if (stopping_.load()) return Launched::No;
    if (accepted) {
        size_t all = 0, same = 0;
        for (ImConnection* c : connections_) {
            if (!c->accepted_ || c->Closed()) continue;
            ++all;
            if (c->RemoteAddress() == connection->RemoteAddress()) ++same;
        }
        if (same >= kMaxAcceptedPerAddress) {
            vantor::DebugLine(L"ChatDesk: too many connections from one address: one is closed\n");
            return Launched::No;
        }
        if (all >= kMaxImConnections) return Launched::Full;
        connection->accepted_ = true;
    }
    // Suspended until the handle is stored: the thread may end at once and unlist itself.
    HANDLE thread = CreateThread(nullptr, 0, ReceiveThread, connection, CREATE_SUSPENDED, nullptr);
    if (!thread) return Launched::No;
    connection->thread_ = thread;
    connection->AddRef();  // the list's reference, given back by the receive thread
    connections_.push_back(connection);
    ResumeThread(thread);
    return Launched::Yes;
}

bool ImTcpLayer::MakeRoom() {
    // Each with the count of its address and how long it has gone without a message
    // taken, read once.
    struct Candidate {
        size_t sameAddress;
        DWORD quiet;
        ConnectionRef connection;
    };
    std::vector<Candidate> candidates;
    {
        vantor::Lock lock(lock_);
        if (stopping_.load()) return false;
        DWORD now = GetTickCount();
        for (ImConnection* c : connections_) {
            if (!c->accepted_ || c->Closed()) continue;
            size_t same = 0;
            for (ImConnection* o : connections_)
                if (o->accepted_ && !o->Closed() && o->RemoteAddress() == c->RemoteAddress()) ++same;
            candidates.push_back({same, now - c->LastTaken(), ConnectionRef::Share(c)});
        }
    }
    // The owner is asked outside the layer's lock. An address that holds the most goes
    // first, so that a crowd from a few addresses makes room among its own and never at
    // the cost of a peer's one connection; among equals the quietest goes.
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.sameAddress != b.sameAddress ? a.sameAddress > b.sameAddress : a.quiet > b.quiet;
    });
    for (const Candidate& candidate : candidates) {
        if (owner_->HoldsLink(candidate.connection.get())) continue;
        vantor::DebugLine(L"ChatDesk: the connections are full; the quietest one is closed for a newcomer\n");
        candidate.connection->Close();
        return true;
    }
    vantor::DebugLine(L"ChatDesk: the connections are full and all are links: a newcomer is closed\n");
    return false;
}

DWORD WINAPI ImTcpLayer::ReceiveThread(void* param) {
    ImConnection* connection = static_cast<ImConnection*>(param);
    connection->layer_->Receive(connection);
    return 0;
}

void ImTcpLayer::Receive(ImConnection* connection) {
    {
        SocketSource source(connection->socket_, *connection, connection->accepted_ ? quietLimitMs_ : 0,
                            [this, connection] { return owner_->HoldsLink(connection); });
        ImFramer framer(source);
        for (;;) {
            ImFrame frame = framer.Next();
            if (frame.kind == ImFrame::Kind::Message) {
                // Only the answers to a run of file blocks wait: the handler of any other
                // message may wait on another thread, so what is held goes first and what
                // it sends goes at once.
                connection->HoldSends(IsFileBlock(framer.Buffer(), frame.length));
                if (owner_->OnMessage(connection, framer.Buffer(), frame.length))
                    connection->lastTaken_ = GetTickCount();
                continue;
            }
            if (frame.kind == ImFrame::Kind::Skipped || frame.kind == ImFrame::Kind::Dropped) continue;
            if (frame.kind == ImFrame::Kind::Error)
                vantor::DebugLine(L"接受数据失败了：%d\n", frame.error);
            else if (frame.kind == ImFrame::Kind::Stalled)
                vantor::DebugLine(L"连接在消息中间停住了，关闭它\n");
            else
                vantor::DebugLine(frame.insideMessage ? L"连接被关闭了\n" : L"连接被关闭了！\n");
            break;
        }
        connection->HoldSends(false);
    }
    // A send still blocked on this socket fails once it is shut down; the socket value is
    // then let go under the send lock, so no sender can reach it after it is closed.
    connection->Close();
    {
        connection->sendLock_.Enter();
        closesocket(connection->socket_);
        connection->socket_ = INVALID_SOCKET;
        connection->sendLock_.Leave();
    }
    owner_->OnClosed(connection);
    Unlist(connection);
}

void ImTcpLayer::Unlist(ImConnection* connection) {
    {
        vantor::Lock lock(lock_);
        connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
        // The handle is joined later; threads that have ended already are let go now.
        if (!stopping_.load()) {
            auto exited = [](HANDLE h) {
                if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return false;
                CloseHandle(h);
                return true;
            };
            endedThreads_.erase(std::remove_if(endedThreads_.begin(), endedThreads_.end(), exited), endedThreads_.end());
        }
        endedThreads_.push_back(connection->thread_);
        connection->thread_ = nullptr;
    }
    connection->Release();
}

size_t ImTcpLayer::ConnectionCount() {
    vantor::Lock lock(lock_);
    return connections_.size();
}

void ImTcpLayer::Stop() {
    stopping_ = true;
    if (acceptThread_) {
        vantor::WaitPumping(acceptThread_);
        CloseHandle(acceptThread_);
        acceptThread_ = nullptr;
    }
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }
    {
        vantor::Lock lock(lock_);
        for (ImConnection* c : connections_) c->Close();
    }
    // Receive threads may still send to windows of this thread: keep its messages moving.
    vantor::PumpUntil([this] { return ConnectionCount() == 0; });
    std::vector<HANDLE> ended;
    {
        vantor::Lock lock(lock_);
        ended.swap(endedThreads_);
    }
    for (HANDLE h : ended) vantor::WaitPumping(h);
    CloseHandles(ended);
}

}  // namespace chatdesk
