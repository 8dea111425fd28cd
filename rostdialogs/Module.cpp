#include "Module.h"

#include "DebugOut.h"

namespace rostdialogs {

namespace {

HINSTANCE g_self = nullptr;
HMODULE g_facade = nullptr;

typedef void(WINAPI* PFN_Facade_FreeModule)(HMODULE module);

void AskFacadeToFree(void*) {
    // A null facade finds nothing: the library stays loaded.
    auto freeModule = g_facade ? reinterpret_cast<PFN_Facade_FreeModule>(
                                     reinterpret_cast<void*>(GetProcAddress(g_facade, "Facade_FreeModule")))
                               : nullptr;
    if (freeModule) freeModule(g_self);
}

UseCount g_uses(AskFacadeToFree, nullptr);
UserSearchDialog* g_search = nullptr;
OpenTable g_friendConfirmations;
OpenTable g_groupConfirmations;

struct WorkerStart {
    void (*work)(void*);
    void* param;
};

DWORD WINAPI WorkerThread(LPVOID raw) {
    WorkerStart start = *static_cast<WorkerStart*>(raw);
    delete static_cast<WorkerStart*>(raw);
    start.work(start.param);
    HINSTANCE self = g_self;
    GiveUse();
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

}  // namespace

HINSTANCE Self() { return g_self; }
void SetSelf(HINSTANCE instance) { g_self = instance; }
void SetFacade(HMODULE facade) { g_facade = facade; }
UseCount& Uses() { return g_uses; }
UserSearchDialog*& SearchDialogSlot() { return g_search; }
OpenTable& OpenFriendConfirmations() { return g_friendConfirmations; }
OpenTable& OpenGroupConfirmations() { return g_groupConfirmations; }

HANDLE StartWorker(void (*work)(void* param), void* param) {
    HMODULE reference = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerThread),
                            &reference)) {
        vantor::DebugLine(L"RostDialogs: no library reference for a worker\n");
        return nullptr;
    }
    TakeUse();
    auto* start = new WorkerStart{work, param};
    HANDLE thread = CreateThread(nullptr, 0, WorkerThread, start, 0, nullptr);
    if (!thread) {
        delete start;
        FreeLibrary(reference);
        GiveUse();
    }
    return thread;
}

}  // namespace rostdialogs
