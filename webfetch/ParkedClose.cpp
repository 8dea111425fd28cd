#include "ParkedClose.h"

#include <wininet.h>

#include <new>

#include "EngineRequests.h"
#include "Handles.h"
#include "ModulePath.h"
#include "TransferLimits.h"

namespace webfetch {

namespace {

// How soon a parked request whose time is up looks again for a turn in the read.
const DWORD kRetryMs = 250;

struct Parked {
    void* request = nullptr;
    void* connection = nullptr;
    SharedInternet session;
    DWORD_PTR key = 0;
    // The wait callback's own reference to the library: the request's goes back when
    // the engine reports it closed, maybe before the callback returned.
    HMODULE library = nullptr;
    // Set by a new request that needs the room (EngineRequests), until the close takes
    // its turn; auto-reset.
    vantor::UniqueHandle wake;
};

// Registers the close's wait: it runs when wake is set (a new request needs the room)
// or in ms. Only the wait's own callback registers it again, so one callback runs at a
// time and the close is made once.
void WaitToClose(PTP_WAIT wait, HANDLE wake, DWORD ms) {
    ULARGE_INTEGER due;   // relative, in 100 ns
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(ms) * 10000);
    FILETIME when;
    when.dwLowDateTime = due.LowPart;
    when.dwHighDateTime = due.HighPart;
    SetThreadpoolWait(wait, wake, &when);
}

VOID CALLBACK CloseNow(PTP_CALLBACK_INSTANCE instance, void* context, PTP_WAIT wait, TP_WAIT_RESULT) {
    Parked* parked = static_cast<Parked*>(context);
    if (!TakeClosingTurn(parked->key)) {
        WaitToClose(wait, parked->wake.get(), kRetryMs);
        return;
    }
    CloseRequest(parked->request, parked->key, &InternetCloseHandle);
    InternetCloseHandle(parked->connection);
    parked->session.reset();
    HMODULE library = parked->library;
    CloseThreadpoolWait(wait);
    delete parked;
    FreeLibraryWhenCallbackReturns(instance, library);
}

}  // namespace

bool CloseLater(void* request, void* connection, const SharedInternet& session, DWORD_PTR key) {
    vantor::UniqueModule library = vantor::HoldModule(vantor::ThisModule());
    Parked* parked = library ? new (std::nothrow) Parked : nullptr;
    if (parked) parked->wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    PTP_WAIT wait = parked && parked->wake ? CreateThreadpoolWait(&CloseNow, parked, nullptr) : nullptr;
    if (!wait) {
        delete parked;
        return false;
    }
    parked->request = request;
    parked->connection = connection;
    parked->session = session;
    parked->key = key;
    parked->library = library.release();
    // Known to the table before its wait can run, which may take the closing turn.
    RequestParked(key, parked->wake.get());
    WaitToClose(wait, parked->wake.get(), 2 * TransferLimitMs());
    return true;
}

}  // namespace webfetch
