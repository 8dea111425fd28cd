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
    // The timer callback's own reference to the library: the request's goes back when
    // the engine reports it closed, maybe before the callback returned.
    HMODULE library = nullptr;
};

VOID CALLBACK CloseNow(PTP_CALLBACK_INSTANCE instance, void* context, PTP_TIMER timer) {
    Parked* parked = static_cast<Parked*>(context);
    if (!TakeClosingTurn(parked->key)) {
        ArmTimer(timer, kRetryMs);
        return;
    }
    CloseRequest(parked->request, parked->key, &InternetCloseHandle);
    InternetCloseHandle(parked->connection);
    parked->session.reset();
    HMODULE library = parked->library;
    delete parked;
    CloseThreadpoolTimer(timer);
    FreeLibraryWhenCallbackReturns(instance, library);
}

}  // namespace

bool CloseLater(void* request, void* connection, const SharedInternet& session, DWORD_PTR key) {
    vantor::UniqueModule library = vantor::HoldModule(vantor::ThisModule());
    Parked* parked = library ? new (std::nothrow) Parked : nullptr;
    PTP_TIMER timer = parked ? CreateThreadpoolTimer(&CloseNow, parked, nullptr) : nullptr;
    if (!timer) {
        delete parked;
        return false;
    }
    parked->request = request;
    parked->connection = connection;
    parked->session = session;
    parked->key = key;
    parked->library = library.release();
    // Due at its time first: RequestParked lets a new request set it due at once.
    ArmTimer(timer, 2 * TransferLimitMs());
    RequestParked(key, timer);
    return true;
}

void ArmTimer(PTP_TIMER timer, DWORD ms) {
    ULARGE_INTEGER due;   // relative, in 100 ns; the least there is for at once
    due.QuadPart = static_cast<ULONGLONG>(ms ? -static_cast<LONGLONG>(ms) * 10000 : -1);
    FILETIME when;
    when.dwLowDateTime = due.LowPart;
    when.dwHighDateTime = due.HighPart;
    SetThreadpoolTimer(timer, &when, 0, 0);
}

}  // namespace webfetch
