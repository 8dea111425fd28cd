#include "ZumBinding.h"

#include "DebugOut.h"
#include "Text.h"

namespace enrolwizard {

namespace {
// Texts the platform returns by pointer are read no further than this.
const size_t kMaxPlatformText = 4096;
}  // namespace

HMODULE ZumBinding::Find() {
    // Every call comes on the dialog thread, so the kept handle needs no lock.
    if (module_) return module_.get();
    HMODULE found = nullptr;
    if (!GetModuleHandleExW(0, L"zumbase.dll", &found)) return nullptr;
    module_.reset(found);
    vantor::DebugLineA("zumbase's module handle is 0x%08Ix\n", reinterpret_cast<UINT_PTR>(found));
    return found;
}

template <typename Fn>
Fn ZumBinding::Function(const char* name) {
    HMODULE module = Find();
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#define ZUM_FORWARD(function, ...)                        \
    auto fn = Function<decltype(&::function)>(#function); \
    return fn ? fn(__VA_ARGS__) : ZumErrLibraryMissing

int ZumBinding::RegisterUser(const char* text, ZumRegisterInfo* info) { ZUM_FORWARD(Zum_RegisterUser, text, info); }
int ZumBinding::Login(int reserved) { ZUM_FORWARD(Zum_Login, reserved); }
int ZumBinding::FindFirstService(ZumServiceInfo* out) { ZUM_FORWARD(Zum_FindFirstService, out); }
int ZumBinding::FindNextService(ZumServiceInfo* out) { ZUM_FORWARD(Zum_FindNextService, out); }
int ZumBinding::FindServiceClose() { ZUM_FORWARD(Zum_FindServiceClose); }
int ZumBinding::GetService(const char* idText, ZumServiceInfo* out) { ZUM_FORWARD(Zum_GetService, idText, out); }
int ZumBinding::SubscribeService(const char* idText, const char* parameters) {
    ZUM_FORWARD(Zum_SubscribeService, idText, parameters);
}
int ZumBinding::GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account) {
    ZUM_FORWARD(Zum_GetCustomerPublicInfo, out, account);
}

#undef ZUM_FORWARD

std::string ZumBinding::GetLastError() {
    if (!Find()) return vantor::WideToAnsi(L"加载zum库失败");
    auto fn = Function<decltype(&::Zum_GetLastError)>("Zum_GetLastError");
    const char* text = fn ? fn() : nullptr;
    return std::string(text ? text : "", vantor::BoundedLength(text, kMaxPlatformText));
}

}  // namespace enrolwizard
