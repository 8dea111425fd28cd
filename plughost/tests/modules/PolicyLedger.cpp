// A contact-book reader whose account and service policies come from "policies.cfg":
// [Ledger] Account (0: none), Count, FailFetch; [Policy<i>] Id, Status.
#include <windows.h>

#include <string>

#include "Trace.h"
#include "outside/RostLedger.h"

using plugtest::Trace;

namespace {

HMODULE g_self = nullptr;

std::string File() { return plugtest::ProgramFolderA() + "policies.cfg"; }
int Read(const char* section, const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, File().c_str()));
}

}  // namespace

extern "C" {

FriendHandle WINAPI RostLedger_GetCurrentAccount(HostContext book) {
    Trace(g_self, "GetCurrentAccount ctx=%llu", static_cast<unsigned long long>(book));
    if (!book) return nullptr;
    return reinterpret_cast<FriendHandle>(static_cast<INT_PTR>(Read("Ledger", "Account", 0)));
}

BOOL WINAPI RostLedger_GetFriendServicePolicysA(HostContext book, FriendHandle account, ServicePolicyInfoA* records,
                                                DWORD* count) {
    Trace(g_self, "GetPolicies account=%lld array=%d count=%lu",
          static_cast<long long>(reinterpret_cast<INT_PTR>(account)), records ? 1 : 0, count ? *count : 0);
    if (!book || !count) return FALSE;
    DWORD held = static_cast<DWORD>(Read("Ledger", "Count", 0));
    if (!records) {
        *count = held;
        return TRUE;
    }
    if (Read("Ledger", "FailFetch", 0)) return FALSE;
    DWORD n = held < *count ? held : *count;
    for (DWORD i = 0; i < n; ++i) {
        std::string section = "Policy" + std::to_string(i);
        records[i].id = static_cast<DWORD>(Read(section.c_str(), "Id", 0));
        records[i].flags[SERVICE_POLICY_STATUS_FLAG] = static_cast<WORD>(Read(section.c_str(), "Status", 0));
    }
    *count = n;
    return TRUE;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}
