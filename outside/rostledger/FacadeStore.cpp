#include "FacadeStore.h"

namespace facade {

namespace {
// Ordinal 27 of ClientCore: the store of the signed-in account, null before sign-in and
// after sign-off.
typedef RostBaseHandle(WINAPI* PFN_GetRostBaseHandle)(void);
const WORD kGetRostBaseHandleOrdinal = 27;
}  // namespace

StoreRef::StoreRef(HostContext book) {
    if (!book) return;
    HMODULE core = nullptr;
    if (!GetModuleHandleExW(0, L"ClientCore.dll", &core)) return;
    auto getStore = vantor::ProcAddress<PFN_GetRostBaseHandle>(core, MAKEINTRESOURCEA(kGetRostBaseHandleOrdinal));
    RostBaseHandle store = getStore ? getStore() : nullptr;
    if (store && GetModuleHandleExW(0, L"RostBase.dll", &rostBase_)) store_ = store;
    FreeLibrary(core);
}

StoreRef::~StoreRef() {
    if (rostBase_) FreeLibrary(rostBase_);
}

}  // namespace facade
