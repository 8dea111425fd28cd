// The close of a WinINet request whose reply is still coming. Under Wine, WinINet reads
// the rest of a body of stated length, or of a chunked one, on the thread that releases
// the request (closing its connection or session first does the same), for as long as
// the server sends it without a pause; it offers no way to drop the connection without
// that read. Such a request is closed away from its caller: it is kept unread for twice
// the transfer limit, while the socket's flow control holds the server at what the
// buffers take and the server gives up on a reader that takes nothing (common servers
// wait a minute), then its handles are closed on the system thread pool, where WinINet
// reads what is still coming. Nothing of the caller's goes with it: it owns only the
// engine's handles. Each request kept so holds the library by a reference of its own,
// given back only as the thread-pool callback that closed it returns
// (FreeLibraryWhenCallbackReturns).
//
// A parked request counts among the requests their callers let go of, which are
// bounded (EngineRequests): a new request that finds the bound full has the oldest
// parked ones closed at once instead of at their time. Only a few to one server are in
// WinINet's read at once (TakeClosingTurn): a hostile server on every heartbeat holds a
// bounded number of sockets and thread-pool threads, and no close waits on its caller's
// thread for a reply that may never end.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>

namespace webfetch {

// A WinINet session handle, closed when its last owner lets go of it: an engine and the
// requests of it that are closed later each own it, since closing a session releases the
// requests under it.
using SharedInternet = std::shared_ptr<void>;

// Takes the request of key (handle and connection, with a share of its session) to be
// closed later; false when that cannot be arranged (the caller still owns the handles).
bool CloseLater(void* request, void* connection, const SharedInternet& session, DWORD_PTR key);

}  // namespace webfetch
