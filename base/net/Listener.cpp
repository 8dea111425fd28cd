#include "Listener.h"

namespace vantor {
namespace net {

bool StartAcceptThread(SOCKET s, SOCKET* listener, LPTHREAD_START_ROUTINE routine, void* owner, HANDLE* thread) {
    *listener = s;
    *thread = CreateThread(nullptr, 0, routine, owner, 0, nullptr);
    if (*thread) return true;
    closesocket(s);
    *listener = INVALID_SOCKET;
    return false;
}

bool ConnectWithin(SOCKET s, const sockaddr_in& to, DWORD limitMs) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool connected = connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
        if (select(0, nullptr, &writable, &failed, &limit) > 0 && FD_ISSET(s, &writable)) {
            int error = 0;
            int size = sizeof error;
            connected = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
        }
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return connected;
}

SOCKET AcceptWithin(SOCKET s, DWORD limitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &limit) != 1) return INVALID_SOCKET;
    return accept(s, nullptr, nullptr);
}

}  // namespace net
}  // namespace vantor
