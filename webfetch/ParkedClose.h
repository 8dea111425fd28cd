// The close of a WinINet request whose reply is still coming. Under Wine, WinINet reads
// the rest of a body of stated length, or of a chunked one, on the thread that releases
// the request (closing its connection or session first does the same), for as long as
// the server sends it without a pause; it offers no way to drop the connection without
// that read. Such a request is closed away from its caller: it is kept unread for twice
// the transfer limit, while the socket's flow control holds the server at what the
// buffers take and the server gives up on a reader that takes nothing (common servers
// wait a minute), then its handles are closed on the system thread pool, where WinINet
// reads what is still coming. Nothing of the caller's goes with it: it owns only the
// engine's handles.
//
// Every WinINet request takes one of kMaxParked places when it opens and keeps it until
// its handles are closed, on its caller's thread or later; at most kMaxClosing parked
// requests are in WinINet's read at once. So a hostile server on every heartbeat holds
// a bounded number of sockets and thread-pool threads, and no close ever waits on its
// caller's thread for a reply that may never end (a server may send for ever): with
// every place held, a new request is refused until a parked close has ended.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>

namespace webfetch {

// A WinINet session handle, closed when its last owner lets go of it: an engine and the
// requests of it that are closed later each own it, since closing a session releases the
// requests under it.
using SharedInternet = std::shared_ptr<void>;

const int kMaxParked = 16;
const int kMaxClosing = 2;

// A place for a request about to open; false when every place is held.
bool TakePlace();
// The place of a request whose handles were closed on its caller's thread.
void GiveBackPlace();

// Takes the request of key (handle and connection, with a share of its session) and its
// place, to be closed later; false when that cannot be arranged (the caller still owns
// the handles and the place).
bool CloseLater(void* request, void* connection, const SharedInternet& session, DWORD_PTR key);

}  // namespace webfetch
