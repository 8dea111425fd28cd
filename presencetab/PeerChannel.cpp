#include "PeerChannel.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "DebugOut.h"
#include "Listener.h"
#include "PumpingJoin.h"
#include "ThreadWait.h"

namespace presence {

namespace {

void SetTimeouts(SOCKET s, DWORD sendMs, DWORD receiveMs) {
    if (sendMs) setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendMs), sizeof sendMs);
    if (receiveMs) setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveMs), sizeof receiveMs);
}

}  // namespace

bool SendAll(SOCKET socket, const char* data, size_t length) {
    while (length > 0) {
        int chunk = static_cast<int>(std::min<size_t>(length, 0x10000));
        int sent = send(socket, data, chunk, 0);
        if (sent == SOCKET_ERROR || sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

// Waits in short steps, so that a stop cuts a silent connection at once: a blocked recv
// is not reliably woken by a shutdown from another thread.
bool ReceiveAll(SOCKET socket, char* data, size_t length, DWORD timeoutMs, const volatile bool* stop, bool* closed) {
    *closed = false;
    size_t got = 0;
    DWORD started = GetTickCount();
    while (got < length) {
        for (;;) {
            if (*stop) return false;
            DWORD spent = GetTickCount() - started;
            if (spent >= timeoutMs) return false;
            DWORD step = std::min<DWORD>(timeoutMs - spent, 100);
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket, &readable);
            timeval wait = {0, static_cast<long>(step * 1000)};
            int ready = select(0, &readable, nullptr, nullptr, &wait);
            if (ready == SOCKET_ERROR) return false;
            if (ready == 1) break;
        }
        int n = recv(socket, data + got, static_cast<int>(length - got), 0);
        if (n == 0) {
            *closed = true;
            return false;
        }
        if (n == SOCKET_ERROR) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

PeerChannel::PeerChannel(Delivery deliver) : deliver_(std::move(deliver)) {
    idle_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

PeerChannel::~PeerChannel() {
    Stop();
    if (idle_) CloseHandle(idle_);
}

bool PeerChannel::Start(DWORD address, WORD port) {
    if (Started()) return true;
    WSADATA data;
    if (!winsock_) winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        vantor::DebugLine(L"\tsocket 发生了错误\n");
        return false;
    }
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = address;
    at.sin_port = htons(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == SOCKET_ERROR) {
        vantor::DebugLine(L"\tbind 绑定监听端口 %d 失败——%d！\n", port, WSAGetLastError());
        closesocket(s);
        return false;
    }
    if (listen(s, SOMAXCONN) == SOCKET_ERROR) {
        vantor::DebugLine(L"\tlisten 建立监听失败了！\n");
        closesocket(s);
        return false;
    }
    stopping_ = false;
    listenerClosed_ = false;
    return vantor::net::StartAcceptThread(s, &listener_, AcceptThread, this, &acceptThread_);
}

DWORD WINAPI PeerChannel::AcceptThread(void* self) {
    static_cast<PeerChannel*>(self)->AcceptLoop();
    return 0;
}

void PeerChannel::AcceptLoop() {
    for (;;) {
        // At the limit the next connection waits in the listen queue until one ends.
        while (active_ >= static_cast<LONG>(kMaxConnections) && !stopping_) Sleep(10);
        sockaddr_in from = {};
        int fromLength = sizeof from;
        SOCKET s = accept(listener_, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (stopping_) {
            if (s != INVALID_SOCKET) closesocket(s);
            return;
        }
        if (s == INVALID_SOCKET) {
            // Only a closed listener ends the thread; anything else (a reset before the
            // accept, no buffers) passes.
            Sleep(50);
            continue;
        }
        PruneThreads();
        Admit(s, from.sin_addr.s_addr);
    }
}

// Listed and counted before its thread starts, so the thread's own release can never
// come first; a thread that cannot start undoes both.
void PeerChannel::Admit(SOCKET s, DWORD address) {
    Connection* c = new Connection{this, s, address};
    {
        vantor::Lock lock(lock_);
        size_t same = std::count_if(connections_.begin(), connections_.end(),
                                    [address](const Connection* other) { return other->address == address; });
        if (stopping_ || same >= kMaxPerAddress) {
            if (!stopping_) vantor::DebugLine(L"PresenceTab: too many connections from one address: one is closed\n");
            closesocket(s);
            delete c;
            return;
        }
        SetTimeouts(s, kSendTimeoutMs, kRecordLimitMs);
        connections_.push_back(c);
        if (InterlockedIncrement(&active_) == 1) ResetEvent(idle_);
        HANDLE thread = CreateThread(nullptr, 0, ReceiveThread, c, 0, nullptr);
        if (thread) {
            threads_.push_back(thread);
            return;
        }
    }
    Release(c);
}

DWORD WINAPI PeerChannel::ReceiveThread(void* connection) {
    Connection* c = static_cast<Connection*>(connection);
    c->channel->Serve(c);
    return 0;
}

void PeerChannel::Serve(Connection* c) {
    std::string text(kPacketChars, '\0');
    bool closed = false;
    if (ReceiveAll(c->socket, &text[0], kPacketChars, kRecordLimitMs, &stopping_, &closed)) {
        PeerPacket packet = DecodePacket(text.data());
        TerminateFields(&packet);
        std::string reply = ReplyFor(packet);
        SendAll(c->socket, reply.data(), reply.size());
        if (!stopping_) deliver_(packet, c->address);
    } else if (closed) {
        vantor::DebugLine(L"连接被关闭了\n");
    } else {
        vantor::DebugLine(L"接受数据失败了：%d\n", WSAGetLastError());
    }
    Release(c);
}

void PeerChannel::Release(Connection* c) {
    {
        vantor::Lock lock(lock_);
        closesocket(c->socket);
        connections_.erase(std::remove(connections_.begin(), connections_.end(), c), connections_.end());
    }
    delete c;
    if (InterlockedDecrement(&active_) == 0) SetEvent(idle_);
}

void PeerChannel::PruneThreads() {
    vantor::Lock lock(lock_);
    auto done = std::remove_if(threads_.begin(), threads_.end(), [](HANDLE h) {
        if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return false;
        CloseHandle(h);
        return true;
    });
    threads_.erase(done, threads_.end());
}

void PeerChannel::BeginStop() {
    vantor::Lock lock(lock_);
    stopping_ = true;
    if (listener_ != INVALID_SOCKET && !listenerClosed_) {
        // Closing the listener is what ends the accept thread.
        closesocket(listener_);
        listenerClosed_ = true;
    }
    for (Connection* c : connections_) shutdown(c->socket, SD_BOTH);
    for (SOCKET s : outgoing_) shutdown(s, SD_BOTH);
}

void PeerChannel::Stop() {
    if (!Started() && threads_.empty()) {
        if (winsock_) WSACleanup();
        winsock_ = false;
        return;
    }
    BeginStop();
    JoinPumping(&acceptThread_);
    listener_ = INVALID_SOCKET;
    vantor::WaitPumping(idle_);
    std::vector<HANDLE> threads;
    {
        vantor::Lock lock(lock_);
        threads.swap(threads_);
    }
    for (HANDLE& h : threads) JoinPumping(&h);
    if (winsock_) WSACleanup();
    winsock_ = false;
}

SOCKET PeerChannel::Connect(const PeerTarget& target) {
    if (!Started() || stopping_ || !Reachable(target)) return INVALID_SOCKET;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    {
        vantor::Lock lock(lock_);
        if (stopping_) {
            closesocket(s);
            return INVALID_SOCKET;
        }
        outgoing_.insert(s);
    }
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = target.address;
    at.sin_port = htons(target.port);
    // A connect that never completes (a host that drops the packets) must not hold the
    // caller for the system's own time-out: it gets kConnectTimeoutMs.
    bool connected = vantor::net::ConnectWithin(s, at, kConnectTimeoutMs);
    if (!connected || stopping_) {
        Forget(s);
        return INVALID_SOCKET;
    }
    SetTimeouts(s, kSendTimeoutMs, kReceiveTimeoutMs);
    return s;
}

void PeerChannel::Forget(SOCKET s) {
    vantor::Lock lock(lock_);
    outgoing_.erase(s);
    closesocket(s);
}

bool PeerChannel::Exchange(const PeerTarget& target, const std::string& text, bool waitReply) {
    SOCKET s = Connect(target);
    if (s == INVALID_SOCKET) return false;
    bool ok = SendAll(s, text.data(), text.size());
    if (ok && waitReply) {
        char reply[kReplyChars];
        bool closed = false;
        ok = ReceiveAll(s, reply, kReplyChars, kReceiveTimeoutMs, &stopping_, &closed);
    }
    Forget(s);
    return ok;
}

bool PeerChannel::SendAndConfirm(const PeerTarget& target, const std::string& text) {
    return Exchange(target, text, true);
}

bool PeerChannel::SendOnly(const PeerTarget& target, const std::string& text) {
    return Exchange(target, text, false);
}

}  // namespace presence
