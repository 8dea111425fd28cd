// Listening and connecting with plain blocking sockets, each step bounded or undone.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace vantor {
namespace net {

// Starts `routine(owner)` as the accept thread of the listening socket `s`. When the
// thread starts, *listener holds s and *thread the thread; otherwise s is closed,
// *listener is INVALID_SOCKET and the answer is false.
bool StartAcceptThread(SOCKET s, SOCKET* listener, LPTHREAD_START_ROUTINE routine, void* owner, HANDLE* thread);

// Connects the blocking socket `s` to `to`, waiting at most limitMs for the connection
// to complete, so an address that never answers costs the limit only. The socket is
// blocking again afterwards, connected or not; the caller closes it on false.
bool ConnectWithin(SOCKET s, const sockaddr_in& to, DWORD limitMs);

// The next connection to the listening socket `s` within limitMs, or INVALID_SOCKET.
SOCKET AcceptWithin(SOCKET s, DWORD limitMs);

}  // namespace net
}  // namespace vantor
