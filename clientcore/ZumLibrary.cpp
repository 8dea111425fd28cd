#include "ZumLibrary.h"

#include "CoreState.h"
#include "ModulePath.h"
#include "Text.h"

namespace clientcore {

namespace {
// Texts the platform returns by pointer are read no further than this.
const size_t kMaxPlatformText = 4096;
}  // namespace

ZumLibrary& Zum() {
    static ZumLibrary library;
    return library;
}

HMODULE ZumLibrary::Load() {
    HMODULE loaded = static_cast<HMODULE>(InterlockedCompareExchangePointer(
        reinterpret_cast<void* volatile*>(&module_), nullptr, nullptr));
    if (loaded) return loaded;
    // By the bare name, so that the system's search order (program folder first) decides.
    HMODULE fresh = LoadLibraryA("zumbase.dll");
    if (!fresh) return nullptr;
    // Two threads may load at once: the first handle stored wins, the other reference goes.
    void* previous = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&module_), fresh, nullptr);
    if (previous) {
        FreeLibrary(fresh);
        return static_cast<HMODULE>(previous);
    }
    DebugTrace("zumbase's module handle is 0x%08Ix\n", reinterpret_cast<UINT_PTR>(fresh));
    return fresh;
}

void ZumLibrary::Release() {
    HMODULE loaded = static_cast<HMODULE>(InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&module_), nullptr));
    if (loaded) FreeLibrary(loaded);
}

vantor::UniqueModule ZumLibrary::Hold() { return vantor::HoldModule(Load()); }

// One binding operation: -1001 when the library or the function is missing.
#define ZUM_FORWARD(function, ...)                                                     \
    vantor::UniqueModule held = Hold();                                                \
    auto fn = vantor::ProcAddress<decltype(&::function)>(held.get(), #function);       \
    return fn ? fn(__VA_ARGS__) : ZumErrLibraryMissing

int ZumLibrary::SetServerURL(const char* url) { ZUM_FORWARD(Zum_SetServerURL, url); }
int ZumLibrary::Connect(const char* clientType, const char* version) { ZUM_FORWARD(Zum_Connect, clientType, version); }
int ZumLibrary::Disconnect() { ZUM_FORWARD(Zum_Disconnect); }
int ZumLibrary::RegisterUser(const char* text, ZumRegisterInfo* info) { ZUM_FORWARD(Zum_RegisterUser, text, info); }
int ZumLibrary::Login2() { ZUM_FORWARD(Zum_Login2); }
int ZumLibrary::UpdateUserInfoWizard() { ZUM_FORWARD(Zum_UpdateUserInfoWizard); }
int ZumLibrary::RegisterWizard() { ZUM_FORWARD(Zum_RegisterWizard); }
int ZumLibrary::FindFirstService(ZumServiceInfo* out) { ZUM_FORWARD(Zum_FindFirstService, out); }
int ZumLibrary::FindNextService(ZumServiceInfo* out) { ZUM_FORWARD(Zum_FindNextService, out); }
int ZumLibrary::FindServiceClose() { ZUM_FORWARD(Zum_FindServiceClose); }
int ZumLibrary::GetService(const char* idText, ZumServiceInfo* out) { ZUM_FORWARD(Zum_GetService, idText, out); }
int ZumLibrary::SubscribeService(const char* idText, ZumSubscribeInfo* info) { ZUM_FORWARD(Zum_SubscribeService, idText, info); }
int ZumLibrary::GetDIYInfo(const char* key, ZumDiyInfo* out, int one) { ZUM_FORWARD(Zum_GetDIYInfo, key, out, one); }
int ZumLibrary::GetCatalog(const char* clientType, int index, ZumCatalogInfo* board, int countOnly) {
    ZUM_FORWARD(Zum_GetCatalog, clientType, index, board, countOnly);
}
int ZumLibrary::GetSubject(int index, const ZumCatalogInfo* board, ZumSubjectInfo* out) {
    ZUM_FORWARD(Zum_GetSubject, index, board, out);
}
int ZumLibrary::GetNotice(int index, ZumNoticeInfo* out) { ZUM_FORWARD(Zum_GetNotice, index, out); }
int ZumLibrary::GetZoneCustomer(int page, int index, ZumZoneQuery* query, int countOnly) {
    ZUM_FORWARD(Zum_GetZoneCustomer, page, index, query, countOnly);
}
int ZumLibrary::GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account) {
    ZUM_FORWARD(Zum_GetCustomerPublicInfo, out, account);
}
int ZumLibrary::GetCustomerServiceInfo(int index, ZumPolicyInfo* out, int countOnly, const char* account) {
    ZUM_FORWARD(Zum_GetCustomerServiceInfo, index, out, countOnly, account);
}

#undef ZUM_FORWARD

std::string ZumLibrary::GetLastError() {
    vantor::UniqueModule held = Hold();
    if (!held) return vantor::WideToAnsi(L"加载zum库失败");
    auto fn = vantor::ProcAddress<decltype(&::Zum_GetLastError)>(held.get(), "Zum_GetLastError");
    const char* text = fn ? fn() : nullptr;
    return std::string(text ? text : "", vantor::BoundedLength(text, kMaxPlatformText));
}

std::string ZumLibrary::GetUniqueServiceSuiteID() {
    vantor::UniqueModule held = Hold();
    auto fn = vantor::ProcAddress<decltype(&::Zum_GetUniqueServiceSuiteID)>(held.get(), "Zum_GetUniqueServiceSuiteID");
    const char* text = fn ? fn() : nullptr;
    return std::string(text ? text : "", vantor::BoundedLength(text, kMaxPlatformText));
}

}  // namespace clientcore
