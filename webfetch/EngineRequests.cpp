#include "EngineRequests.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "Handles.h"
#include "ModulePath.h"
#include "Sync.h"
#include "TransferLimits.h"

namespace webfetch {

namespace {

struct Request {
    DWORD_PTR key = 0;
    std::wstring server;
    HMODULE library = nullptr;    // the request's reference
    EngineHeld* held = nullptr;
    DWORD closer = 0;             // the thread inside CloseRequest for it, or 0
    bool closedOnCloser = false;  // the engine reported the closing inside that call
    bool closing = false;         // a parked close of it is in WinINet's read
    bool left = false;            // its caller let go of it; the engine keeps it open
    HANDLE closeWake = nullptr;   // wakes its parked close, until the close takes its turn
    bool closeDue = false;        // that close was woken to make room
};

struct Requests {
    vantor::CriticalSection lock;
    std::vector<Request> open;

    // The lock is held.
    std::vector<Request>::iterator Find(DWORD_PTR key) {
        return std::find_if(open.begin(), open.end(), [key](const Request& r) { return r.key == key; });
    }
};

Requests& Table() {
    static Requests requests;
    return requests;
}

void Free(EngineHeld* held) {
    while (held) {
        EngineHeld* next = held->next;
        delete held;
        held = next;
    }
}

// How long a thread that reported a closing is watched for leaving the callback before
// the library keeps that reference for good (staying loaded is safe; unloading under a
// thread that may still run its code is not).
const int kLeaveLooks = 10000;

size_t ImageSize(HMODULE module) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(module) + dos->e_lfanew);
    return nt->OptionalHeader.SizeOfImage;
}

// True once thread is seen running outside module, or has ended.
bool LeftModule(HANDLE thread, HMODULE module) {
    const char* base = reinterpret_cast<const char*>(module);
    const size_t size = ImageSize(module);
    for (int look = 0; look < kLeaveLooks; ++look) {
        if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return true;
        if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            BOOL seen = GetThreadContext(thread, &context);
            ResumeThread(thread);
#ifdef _WIN64
            const char* at = reinterpret_cast<const char*>(context.Rip);
#else
            const char* at = reinterpret_cast<const char*>(context.Eip);
#endif
            if (seen && (at < base || at >= base + size)) return true;
        }
        Sleep(1);
    }
    return false;
}

// An engine thread that reported a request closing, and the request's reference.
struct Departure {
    HMODULE library = nullptr;
    vantor::UniqueHandle thread;
    DWORD threadId = 0;
    // Set by that thread as the last thing it does in the library before it returns from
    // the callback: from then on it runs only the returns of the callback's frames.
    std::atomic<bool> reported{false};
};

VOID CALLBACK GiveBack(PTP_CALLBACK_INSTANCE instance, void* context) {
    Departure* departure = static_cast<Departure*>(context);
    while (!departure->reported.load(std::memory_order_acquire)) SwitchToThread();
    // A thread-pool thread that runs this has left whatever it ran before.
    bool left = departure->threadId == GetCurrentThreadId() ||
                LeftModule(departure->thread.get(), departure->library);
    HMODULE library = departure->library;
    delete departure;
    if (left) FreeLibraryWhenCallbackReturns(instance, library);
}

// On the thread that reported the closing, inside the callback.
void GiveBackOnceLeft(HMODULE library) {
    Departure* departure = new (std::nothrow) Departure;
    if (!departure) return;   // the library keeps the reference
    departure->library = library;
    departure->threadId = GetCurrentThreadId();
    departure->thread.reset(
        OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | SYNCHRONIZE, FALSE, departure->threadId));
    if (!departure->thread || !TrySubmitThreadpoolCallback(&GiveBack, departure, nullptr)) {
        delete departure;   // the library keeps the reference
        return;
    }
    departure->reported.store(true, std::memory_order_release);
}

}  // namespace

namespace {

// How often a caller waiting for room looks again.
const DWORD kRoomLookMs = 50;

// Wakes the parked close of the oldest request kept aside (to server, or to any when
// server is empty). Its close has not taken its turn, so its event is still open. The
// lock is held.
void CloseOldestParkedNow(Requests& requests, const std::wstring& server) {
    for (Request& r : requests.open) {
        if (!r.closeWake || r.closing || r.closeDue || (!server.empty() && r.server != server)) continue;
        r.closeDue = true;
        SetEvent(r.closeWake);
        return;
    }
}

}  // namespace

Opened RequestOpened(DWORD_PTR key, const std::wstring& server, HANDLE stopEvent, DWORD timeoutMs) {
    vantor::UniqueModule library = vantor::HoldModule(vantor::ThisModule());
    if (!library) return Opened::Failed;
    Requests& requests = Table();
    Deadline deadline(timeoutMs);
    for (;;) {
        {
            vantor::Lock lock(requests.lock);
            size_t left = 0, leftToServer = 0;
            for (const Request& r : requests.open) {
                if (!r.left) continue;
                ++left;
                if (r.server == server) ++leftToServer;
            }
            // A server that holds none always has room: requests let go of to other
            // servers never starve it. Servers are the client's own (its settings and
            // the lists its servers send are checked against them), so this lets the
            // total grow past its bound by at most one per server.
            if (leftToServer == 0 || (left < kMaxLeftOpen && leftToServer < kMaxLeftOpenPerServer)) {
                try {
                    Request request;
                    request.key = key;
                    request.server = server;
                    request.library = library.get();
                    requests.open.push_back(request);
                    library.release();
                    return Opened::Yes;
                } catch (...) {
                    return Opened::Failed;
                }
            }
            CloseOldestParkedNow(requests, leftToServer < kMaxLeftOpenPerServer ? std::wstring() : server);
        }
        if (deadline.Passed()) break;
        DWORD look = deadline.RemainingMs() < kRoomLookMs ? deadline.RemainingMs() : kRoomLookMs;
        if (!stopEvent) {
            Sleep(look);
        } else if (WaitForSingleObject(stopEvent, look) == WAIT_OBJECT_0) {
            break;
        }
    }
    std::wstring note = L"WebFetch: requests let go of still hold the room of a new one to " + server + L"\n";
    OutputDebugStringW(note.c_str());
    return Opened::NoRoom;
}

void RequestNotOpened(DWORD_PTR key) {
    Requests& requests = Table();
    Request request;
    {
        vantor::Lock lock(requests.lock);
        auto found = requests.Find(key);
        if (found == requests.open.end()) return;
        request = std::move(*found);
        requests.open.erase(found);
    }
    Free(request.held);
    // The caller holds the library by its own call: this is not the last reference.
    FreeLibrary(request.library);
}

void RequestParked(DWORD_PTR key, HANDLE closeWake) {
    Requests& requests = Table();
    vantor::Lock lock(requests.lock);
    auto found = requests.Find(key);
    if (found == requests.open.end()) return;
    found->left = true;
    found->closeWake = closeWake;
}

bool TakeClosingTurn(DWORD_PTR key) {
    Requests& requests = Table();
    vantor::Lock lock(requests.lock);
    auto found = requests.Find(key);
    if (found == requests.open.end()) return true;   // never: the request is still open
    const std::wstring& server = found->server;
    size_t closing = std::count_if(requests.open.begin(), requests.open.end(),
                                   [&server](const Request& r) { return r.closing && r.server == server; });
    if (closing >= kMaxClosingPerServer) return false;
    found->closing = true;
    found->closeWake = nullptr;   // the close closes it
    return true;
}

void KeepUntilClosed(DWORD_PTR key, EngineHeld* held) {
    if (!held) return;
    Requests& requests = Table();
    vantor::Lock lock(requests.lock);
    auto found = requests.Find(key);
    if (found == requests.open.end()) return;   // never: the handle is still open
    held->next = found->held;
    found->held = held;
}

void CloseRequest(void* handle, DWORD_PTR key, BOOL(WINAPI* close)(void*)) {
    Requests& requests = Table();
    {
        vantor::Lock lock(requests.lock);
        auto found = requests.Find(key);
        if (found != requests.open.end()) found->closer = GetCurrentThreadId();
    }
    close(handle);
    HMODULE library = nullptr;
    {
        vantor::Lock lock(requests.lock);
        auto found = requests.Find(key);
        if (found != requests.open.end()) {
            if (found->closedOnCloser) {
                library = found->library;
                requests.open.erase(found);
            } else {
                found->closer = 0;   // the engine closes it later, on a thread of its own
                found->left = true;
            }
        }
    }
    // This thread holds the library by its own means: this is not the last reference.
    if (library) FreeLibrary(library);
}

void RequestClosing(DWORD_PTR key) {
    Requests& requests = Table();
    EngineHeld* held = nullptr;
    HMODULE library = nullptr;
    {
        vantor::Lock lock(requests.lock);
        auto found = requests.Find(key);
        if (found == requests.open.end()) return;
        held = found->held;
        found->held = nullptr;
        if (found->closer == GetCurrentThreadId()) {
            found->closedOnCloser = true;   // CloseRequest gives the reference back
        } else {
            library = found->library;
            requests.open.erase(found);
        }
    }
    Free(held);
    if (library) GiveBackOnceLeft(library);
}

}  // namespace webfetch
