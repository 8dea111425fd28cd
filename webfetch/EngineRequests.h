// The request handles the engines open with the library's status callback. Each is open
// from just before the callback is set until the engine reports its handle closing
// (INTERNET_STATUS_HANDLE_CLOSING, WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING), the last
// report the engine makes for it; the callback stays on all that time. An open request
// holds a reference to the library, so that an engine thread that calls the callback,
// or is still returning from it, never finds the library unloaded: a caller may free
// the library the moment its call returned. The reference goes back once the engine
// reported the closing and the thread that reported it has left the callback: at once
// when that thread is the one closing the handle (it holds the library by its own call),
// else from the system thread pool, which lets the library go only after its callback
// returned (FreeLibraryWhenCallbackReturns).
//
// What an engine call abandoned while pending may still read or write (what a request
// sends, what a read fills) is kept with the request until its closing, then freed.
//
// The table's lock is held only while a request is looked up or changed, never across a
// call out.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace webfetch {

// Memory an engine call that went pending may still use once its request is abandoned.
struct EngineHeld {
    virtual ~EngineHeld() = default;
    EngineHeld* next = nullptr;
};

// How many requests that their callers let go of may still be open, and how many of
// them to one server. An engine keeps such a request open while a server drips its
// header (a thread of the engine reads for it all that time), and WinINet's are kept
// aside until their close (ParkedClose): a hostile server holds no more than its share
// of threads and sockets, and other servers keep working meanwhile. Requests whose
// callers are inside their calls are not counted: callers bound those themselves. A
// server that holds none of them always has room, whatever the others hold.
const size_t kMaxLeftOpen = 16;
const size_t kMaxLeftOpenPerServer = 8;

// Before the status callback is set on the request of key to server ("host:port"):
// takes the request's reference to the library. A new request is never refused for
// the requests let go of: while they fill the bounds above, the oldest kept aside (to
// that server, or to any when all servers' bound is full) are closed now instead of at
// their time, one more each look, and the caller waits for the room that leaves, no
// longer than timeoutMs and not past stopEvent (a request the engine holds in its own
// read ends only when its server stops). Without room by then, or without a reference,
// the request must not get the callback, and is not made.
enum class Opened { Yes, NoRoom, Failed };
Opened RequestOpened(DWORD_PTR key, const std::wstring& server, HANDLE stopEvent, DWORD timeoutMs);
// The callback could not be set on the request of key: its reference goes back.
void RequestNotOpened(DWORD_PTR key);

// The caller let go of the request of key, which is closed later (ParkedClose); until
// that close takes its turn, RequestOpened may set closeWake to close it at once.
void RequestParked(DWORD_PTR key, HANDLE closeWake);

// Whether a close of the request of key, parked until now, may start WinINet's read of
// what its server still sends: at most kMaxClosingPerServer requests to one server are
// in that read at once (it lasts as long as the server sends), so a server that sends
// for ever holds a few thread-pool threads and the parked requests of other servers
// still close. True once per request.
const size_t kMaxClosingPerServer = 2;
bool TakeClosingTurn(DWORD_PTR key);

// Hands over held, which the engine may still use, until the request of key closes.
// Handing over never fails: the table links what it is given.
void KeepUntilClosed(DWORD_PTR key, EngineHeld* held);

// Closes the request handle of key with close, on a thread that keeps the library loaded
// by its own means (a caller inside one of its calls, or a thread-pool callback of the
// library that holds its own reference).
void CloseRequest(void* handle, DWORD_PTR key, BOOL(WINAPI* close)(void*));

// From the status callback, when the engine reports the handle of key closing; the last
// thing the callback does: the thread must return from the callback straight after.
void RequestClosing(DWORD_PTR key);

}  // namespace webfetch
