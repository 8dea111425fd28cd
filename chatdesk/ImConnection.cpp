#include "ImConnection.h"

namespace chatdesk {

ImConnection::ImConnection(ImTcpLayer* layer, SOCKET socket, const sockaddr_in& remote)
    : layer_(layer), socket_(socket), remote_(remote) {}

ImConnection::~ImConnection() {
    if (thread_) CloseHandle(thread_);
}

void ImConnection::Release() {
    if (refs_.fetch_sub(1) == 1) delete this;
}

bool ImConnection::SendAll(const void* bytes, size_t length) {
    const char* at = static_cast<const char*>(bytes);
    vantor::Lock lock(sendLock_);
    size_t sent = 0;
    while (sent < length) {
        if (closed_.load()) return false;
        size_t piece = length - sent;
        if (piece > 0x10000) piece = 0x10000;
        int r = send(socket_, at + sent, static_cast<int>(piece), 0);
        if (r == SOCKET_ERROR || r <= 0) return false;
        sent += static_cast<size_t>(r);
    }
    return true;
}

void ImConnection::Close() {
    if (closed_.exchange(true)) return;
    shutdown(socket_, SD_BOTH);
}

}  // namespace chatdesk
