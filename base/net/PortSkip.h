// Sockets served on an I/O completion port: a send or receive that finishes at once then
// queues no completion, and its starter takes it on itself.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace vantor {
namespace net {

// True when `s` now skips the port on success. Only for sockets of the system's own
// providers: a layered one may still queue the completion, so it is left as it was.
bool SkipCompletionPortOnSuccess(SOCKET s);

}  // namespace net
}  // namespace vantor
