#include "ImConnection.h"

#include "DebugOut.h"

namespace chatdesk {

ImConnection::ImConnection(ImTcpLayer* layer, SOCKET socket, const sockaddr_in& remote)
    : layer_(layer), socket_(socket), remote_(remote) {}

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

bool ImConnection::SendAll(const void* bytes, size_t length) {
    if (holdingThread_.load() != GetCurrentThreadId()) return SendNow(bytes, length);
    if (closed_.load()) return false;
    if (held_.size() + length > kHeldLimit && !FlushHeld()) return false;
    if (length > kHeldLimit) return SendNow(bytes, length);
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
    bool sent = SendNow(held_.data(), held_.size());
    held_.clear();
    return sent;
}

bool ImConnection::SendNow(const void* bytes, size_t length) {
    const char* at = static_cast<const char*>(bytes);
    vantor::Lock lock(sendLock_);
    DWORD start = GetTickCount();
    size_t sent = 0;
    while (sent < length) {
        if (closed_.load()) return false;
        DWORD spent = GetTickCount() - start;
        // Each piece may wait only for what is left of the limit.
        DWORD left = spent < kImSendLimitMs ? kImSendLimitMs - spent : 0;
        if (left == 0 || setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&left),
                                    sizeof left) == SOCKET_ERROR) {
            Close();
            return false;
        }
        size_t piece = length - sent;
        if (piece > 0x10000) piece = 0x10000;
        int r = send(socket_, at + sent, static_cast<int>(piece), 0);
        if (r == SOCKET_ERROR || r <= 0) {
            vantor::DebugLine(L"ChatDesk: a send failed or timed out (%d); the connection is closed\n", WSAGetLastError());
            Close();
            return false;
        }
        sent += static_cast<size_t>(r);
    }
    return true;
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
