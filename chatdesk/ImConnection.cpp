#include "ImConnection.h"

#include <algorithm>

#include "DebugOut.h"

namespace chatdesk {

ImConnection::ImConnection(ImTcpLayer* layer, SOCKET socket, const sockaddr_in& remote)
    : layer_(layer), socket_(socket), remote_(remote), lastTaken_(GetTickCount()) {
    // Sends wait for room in the socket with select, so that each wait has its own bound.
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
}

ImConnection::~ImConnection() {
    if (thread_) CloseHandle(thread_);
}

void ImConnection::Release() {
    if (refs_.fetch_sub(1) == 1) delete this;
}

namespace {

// Held bytes go out once they would pass this, so the queue stays one socket send.
const size_t kHeldLimit = 0x10000;

}  // namespace

bool ImConnection::SendAll(const void* bytes, size_t length, SendWait wait, const SendStop* stop) {
    if (holdingThread_.load() != GetCurrentThreadId()) return SendNow(bytes, length, wait, stop);
    if (closed_.load()) return false;
    if (held_.size() + length > kHeldLimit && !FlushHeld()) return false;
    if (length > kHeldLimit) return SendNow(bytes, length, wait, stop);
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    held_.insert(held_.end(), from, from + length);
    return true;
}

void ImConnection::HoldSends(bool hold) {
    if (!hold) FlushHeld();
    holdingThread_ = hold ? GetCurrentThreadId() : 0;
}

bool ImConnection::FlushHeld() {
    if (held_.empty()) return true;
    bool sent = SendNow(held_.data(), held_.size(), SendWait::WhileMoving, nullptr);
    held_.clear();
    return sent;
}

namespace {

class LeaveOnReturn {
public:
    explicit LeaveOnReturn(vantor::TimedLock& lock) : lock_(lock) {}
    ~LeaveOnReturn() { lock_.Leave(); }
    LeaveOnReturn(const LeaveOnReturn&) = delete;
    LeaveOnReturn& operator=(const LeaveOnReturn&) = delete;

private:
    vantor::TimedLock& lock_;
};

DWORD LeftOf(DWORD spent) { return spent < kImSendLimitMs ? kImSendLimitMs - spent : 0; }

// A send that may be stopped looks for the stop this often while it waits for room.
const DWORD kStopCheckMs = 100;
const size_t kMostPerSend = 0x100000;

}  // namespace

bool ImConnection::SendNow(const void* bytes, size_t length, SendWait wait, const SendStop* stop) {
    const char* at = static_cast<const char*>(bytes);
    DWORD start = GetTickCount();
    if (!sendLock_.TryEnterFor(kImSendLimitMs)) {
        vantor::DebugLine(L"ChatDesk: the link was busy for the whole send limit; a message did not go\n");
        return false;
    }
    LeaveOnReturn leave(sendLock_);
    DWORD moved = GetTickCount();  // when the peer last took bytes, or the lock came
    size_t sent = 0;
    size_t end = length;  // all of it, or once stopped the end of the message under way
    bool stopping = false;
    DWORD stoppedAt = 0;
    while (sent < end) {
        if (closed_.load()) return false;
        if (stop && stop->unit && !stopping && stop->requested()) {
            stopping = true;
            stoppedAt = GetTickCount();
            end = std::min(length, (sent + stop->unit - 1) / stop->unit * stop->unit);
            if (sent == end) break;
        }
        size_t piece = std::min(end - sent, kMostPerSend);
        int r = send(socket_, at + sent, static_cast<int>(piece), 0);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            moved = GetTickCount();
            continue;
        }
        int error = WSAGetLastError();
        if (r == 0 || error != WSAEWOULDBLOCK) {
            vantor::DebugLine(L"ChatDesk: a send failed (%d); the connection is closed\n", error);
            Close();
            return false;
        }
        DWORD now = GetTickCount();
        DWORD quiet = now - moved;
        DWORD left = LeftOf(quiet);
        if (wait == SendWait::Whole) left = std::min(left, LeftOf(now - start));
        if (stopping) left = std::min(left, LeftOf(now - stoppedAt));
        if (left == 0) {
            if (sent > 0 || quiet >= kImSendLimitMs) {
                vantor::DebugLine(L"ChatDesk: the peer took no byte within the send limit; the connection is closed\n");
                Close();
            } else {
                vantor::DebugLine(L"ChatDesk: a message found the link busy and did not go within the send limit\n");
            }
            return false;
        }
        if (stop) left = std::min(left, kStopCheckMs);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socket_, &writable);
        timeval limit = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
        if (select(0, nullptr, &writable, nullptr, &limit) == SOCKET_ERROR) {
            vantor::DebugLine(L"ChatDesk: waiting to send failed (%d); the connection is closed\n", WSAGetLastError());
            Close();
            return false;
        }
    }
    return sent == length;
}

namespace {

// The receive thread closes its socket only after its own Close has passed this lock: a
// shutdown begun by another thread ends first, and one begun later finds the connection
// closed and leaves the socket alone, so no socket value is used once it was closed.
vantor::CriticalSection& CloseLock() {
    static vantor::CriticalSection lock;
    return lock;
}

}  // namespace

void ImConnection::Close() {
    vantor::Lock lock(CloseLock());
    if (closed_.exchange(true)) return;
    shutdown(socket_, SD_BOTH);
}

}  // namespace chatdesk
