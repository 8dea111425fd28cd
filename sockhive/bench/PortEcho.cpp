#include "PortEcho.h"

#include <cstring>
#include <deque>
#include <mutex>

#include "PortSkip.h"

namespace bench {

namespace {

const int kBuffer = 32768;
const int kHead = 8;

}  // namespace

// One connection: one receive and at most one send out at a time. Whole messages received
// are gathered in `out` and leave in one send as soon as the previous one is done.
struct PortEcho::Link {
    PortEcho* owner = nullptr;
    SOCKET socket = INVALID_SOCKET;
    bool skipsPort = false;  // an operation that finishes at once queues no completion
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

// Operations that finished at once on a worker, taken in turn before it waits on the port.
struct PortEcho::Finished {
    struct Entry {
        Link* link;
        OVERLAPPED* operation;
        DWORD bytes;
    };
    std::deque<Entry> entries;
};

namespace {

using Link = PortEcho::Link;
using Finished = PortEcho::Finished;

// Ends one operation; the last one of a closed link frees it.
void EndOperation(Link* link) {
    bool last;
    {
        std::lock_guard<std::mutex> hold(link->lock);
        last = --link->outstanding == 0 && link->closed;
    }
    if (!last) return;
    link->owner->Forget(link);
    delete link;
}

void CloseLink(Link* link) {
    std::lock_guard<std::mutex> hold(link->lock);
    if (link->closed) return;
    link->closed = true;
    closesocket(link->socket);
}

// An operation that finished at once: the worker's next, or through the port from any
// other thread.
void FinishedAtOnce(Link* link, OVERLAPPED* operation, DWORD bytes, Finished* finished) {
    if (finished) {
        finished->entries.push_back({link, operation, bytes});
    } else {
        PostQueuedCompletionStatus(link->owner->Port(), bytes, reinterpret_cast<ULONG_PTR>(link), operation);
    }
}

// Called with the link's lock held, on a worker.
bool SendWireLocked(Link* link, Finished* finished) {
    WSABUF slice{static_cast<ULONG>(link->wire.size() - link->wireDone), link->wire.data() + link->wireDone};
    std::memset(&link->sending, 0, sizeof link->sending);
    ++link->outstanding;
    DWORD bytes = 0;
    if (WSASend(link->socket, &slice, 1, &bytes, 0, &link->sending, nullptr) == 0) {
        if (link->skipsPort) FinishedAtOnce(link, &link->sending, bytes, finished);
        return true;
    }
    if (WSAGetLastError() == WSA_IO_PENDING) return true;
    --link->outstanding;
    return false;
}

bool PostReceive(Link* link, Finished* finished) {
    {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->closed) return false;
        ++link->outstanding;
    }
    std::memset(&link->receiving, 0, sizeof link->receiving);
    WSABUF slice{static_cast<ULONG>(kBuffer - link->have), link->in + link->have};
    DWORD flags = 0;
    DWORD bytes = 0;
    if (WSARecv(link->socket, &slice, 1, &bytes, &flags, &link->receiving, nullptr) == 0) {
        if (link->skipsPort) FinishedAtOnce(link, &link->receiving, bytes, finished);
        return true;
    }
    if (WSAGetLastError() == WSA_IO_PENDING) return true;
    EndOperation(link);
    return false;
}

// Cuts the whole messages out of what was received; false for a message that cannot fit.
bool TakeMessages(Link* link, Finished* finished) {
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
    link->sendBusy = SendWireLocked(link, finished);
    return link->sendBusy;
}

void OnReceived(Link* link, bool ok, DWORD bytes, Finished* finished) {
    if (ok && bytes > 0) {
        link->have += static_cast<int>(bytes);
        if (TakeMessages(link, finished) && PostReceive(link, finished)) {
            EndOperation(link);
            return;
        }
    }
    CloseLink(link);
    EndOperation(link);
}

void OnSent(Link* link, bool ok, DWORD bytes, Finished* finished) {
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
        if (link->sendBusy && !SendWireLocked(link, finished)) failed = true;
    }
    if (failed) CloseLink(link);
    EndOperation(link);
}

void Dispatch(Link* link, OVERLAPPED* operation, bool ok, DWORD bytes, Finished* finished) {
    if (operation == &link->receiving) {
        OnReceived(link, ok, bytes, finished);
    } else {
        OnSent(link, ok, bytes, finished);
    }
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
        std::lock_guard<std::mutex> hold(lock_);
        for (Link* link : open_) CloseLink(link);
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (open_.empty()) break;
        }
        Sleep(5);
    }
    for (size_t i = 0; i < workers_.size(); ++i) PostQueuedCompletionStatus(port_, 0, 0, nullptr);
    for (std::thread& worker : workers_) worker.join();
    if (port_) CloseHandle(port_);
}

void PortEcho::Forget(Link* link) {
    std::lock_guard<std::mutex> hold(lock_);
    open_.erase(link);
}

void PortEcho::AcceptLoop() {
    for (;;) {
        SOCKET socket = accept(listen_, nullptr, nullptr);
        if (socket == INVALID_SOCKET) return;
        Link* link = new Link;
        link->owner = this;
        link->socket = socket;
        if (!CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), port_, reinterpret_cast<ULONG_PTR>(link), 0)) {
            closesocket(socket);
            delete link;
            continue;
        }
        link->skipsPort = vantor::net::SkipCompletionPortOnSuccess(socket);
        {
            std::lock_guard<std::mutex> hold(lock_);
            open_.insert(link);
        }
        // The accept's own count, ended once the first receive is out.
        link->outstanding = 1;
        if (!PostReceive(link, nullptr)) CloseLink(link);
        EndOperation(link);
    }
}

void PortEcho::WorkLoop() {
    Finished finished;
    for (;;) {
        while (!finished.entries.empty()) {
            Finished::Entry entry = finished.entries.front();
            finished.entries.pop_front();
            Dispatch(entry.link, entry.operation, true, entry.bytes, &finished);
        }
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
        if (!overlapped) return;
        Dispatch(reinterpret_cast<Link*>(key), overlapped, ok != FALSE, bytes, &finished);
    }
}

}  // namespace bench
