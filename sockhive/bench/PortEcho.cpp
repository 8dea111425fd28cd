#include "PortEcho.h"

#include <cstring>
#include <mutex>

namespace bench {

namespace {

const int kBuffer = 32768;
const int kHead = 8;

}  // namespace

// One connection: one receive and at most one send out at a time. Whole messages received
// are gathered in `out` and leave in one send as soon as the previous one is done.
struct PortEcho::Link {
    PortEcho::Links* owner = nullptr;
    SOCKET socket = INVALID_SOCKET;
    OVERLAPPED receiving{};
    OVERLAPPED sending{};
    char in[kBuffer];
    int have = 0;
    std::mutex lock;  // out, wire, sendBusy, closed, outstanding
    std::vector<char> out, wire;
    size_t wireDone = 0;
    bool sendBusy = false;
    bool closed = false;
    int outstanding = 0;
};

namespace {

using Link = PortEcho::Link;

// Ends one operation; the last one of a closed link frees it.
void EndOperation(Link* link) {
    bool last;
    {
        std::lock_guard<std::mutex> hold(link->lock);
        last = --link->outstanding == 0 && link->closed;
    }
    if (!last) return;
    {
        std::lock_guard<std::mutex> hold(link->owner->lock);
        link->owner->open.erase(link);
    }
    delete link;
}

void CloseLink(Link* link) {
    std::lock_guard<std::mutex> hold(link->lock);
    if (link->closed) return;
    link->closed = true;
    closesocket(link->socket);
}

// Called with the link's lock held.
bool SendWireLocked(Link* link) {
    WSABUF slice{static_cast<ULONG>(link->wire.size() - link->wireDone), link->wire.data() + link->wireDone};
    std::memset(&link->sending, 0, sizeof link->sending);
    ++link->outstanding;
    if (WSASend(link->socket, &slice, 1, nullptr, 0, &link->sending, nullptr) == 0 ||
        WSAGetLastError() == WSA_IO_PENDING) {
        return true;
    }
    --link->outstanding;
    return false;
}

bool PostReceive(Link* link) {
    {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->closed) return false;
        ++link->outstanding;
    }
    std::memset(&link->receiving, 0, sizeof link->receiving);
    WSABUF slice{static_cast<ULONG>(kBuffer - link->have), link->in + link->have};
    DWORD flags = 0;
    if (WSARecv(link->socket, &slice, 1, nullptr, &flags, &link->receiving, nullptr) == 0 ||
        WSAGetLastError() == WSA_IO_PENDING) {
        return true;
    }
    EndOperation(link);
    return false;
}

// Cuts the whole messages out of what was received; false for a message that cannot fit.
bool TakeMessages(Link* link) {
    int at = 0;
    std::lock_guard<std::mutex> hold(link->lock);
    while (link->have - at >= kHead) {
        int body = 0;
        std::memcpy(&body, link->in + at, 4);
        if (body < 0 || body > kBuffer - kHead) return false;
        if (link->have - at < kHead + body) break;
        link->out.insert(link->out.end(), link->in + at, link->in + at + kHead + body);
        at += kHead + body;
    }
    std::memmove(link->in, link->in + at, static_cast<size_t>(link->have - at));
    link->have -= at;
    if (link->out.empty() || link->sendBusy || link->closed) return true;
    link->wire.swap(link->out);
    link->out.clear();
    link->wireDone = 0;
    link->sendBusy = SendWireLocked(link);
    return link->sendBusy;
}

void OnReceived(Link* link, bool ok, DWORD bytes) {
    if (ok && bytes > 0) {
        link->have += static_cast<int>(bytes);
        if (TakeMessages(link) && PostReceive(link)) {
            EndOperation(link);
            return;
        }
    }
    CloseLink(link);
    EndOperation(link);
}

void OnSent(Link* link, bool ok, DWORD bytes) {
    bool failed = !ok || bytes == 0;
    if (!failed) {
        std::lock_guard<std::mutex> hold(link->lock);
        link->wireDone += bytes;
        if (link->wireDone == link->wire.size()) {
            link->wire.clear();
            link->wireDone = 0;
            link->wire.swap(link->out);
        }
        link->sendBusy = !link->wire.empty() && !link->closed;
        if (link->sendBusy && !SendWireLocked(link)) failed = true;
    }
    if (failed) CloseLink(link);
    EndOperation(link);
}

}  // namespace

PortEcho::PortEcho(unsigned short port, int workers) {
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    listen_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (!port_ || listen_ == INVALID_SOCKET || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listen_, SOMAXCONN) != 0) {
        if (listen_ != INVALID_SOCKET) closesocket(listen_);
        listen_ = INVALID_SOCKET;
        return;
    }
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkLoop(); });
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

PortEcho::~PortEcho() {
    if (listen_ != INVALID_SOCKET) {
        closesocket(listen_);
        acceptor_.join();
    }
    {
        std::lock_guard<std::mutex> hold(links_.lock);
        for (Link* link : links_.open) CloseLink(link);
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(links_.lock);
            if (links_.open.empty()) break;
        }
        Sleep(5);
    }
    for (size_t i = 0; i < workers_.size(); ++i) PostQueuedCompletionStatus(port_, 0, 0, nullptr);
    for (std::thread& worker : workers_) worker.join();
    if (port_) CloseHandle(port_);
}

void PortEcho::AcceptLoop() {
    for (;;) {
        SOCKET socket = accept(listen_, nullptr, nullptr);
        if (socket == INVALID_SOCKET) return;
        Link* link = new Link;
        link->owner = &links_;
        link->socket = socket;
        if (!CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), port_, reinterpret_cast<ULONG_PTR>(link), 0)) {
            closesocket(socket);
            delete link;
            continue;
        }
        {
            std::lock_guard<std::mutex> hold(links_.lock);
            links_.open.insert(link);
        }
        // The accept's own count, ended once the first receive is out.
        link->outstanding = 1;
        if (!PostReceive(link)) CloseLink(link);
        EndOperation(link);
    }
}

void PortEcho::WorkLoop() {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
        if (!overlapped) return;
        Link* link = reinterpret_cast<Link*>(key);
        if (overlapped == &link->receiving) {
            OnReceived(link, ok != FALSE, bytes);
        } else {
            OnSent(link, ok != FALSE, bytes);
        }
    }
}

}  // namespace bench
