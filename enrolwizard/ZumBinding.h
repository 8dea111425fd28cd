// The wizard's binding to zumbase: the library is only found among the modules the host has
// loaded already (the wizard never loads it), and each function is looked up by name at
// every call. A missing library or function answers -1001 without calling anything. Once
// found, the library is held until the binding goes: a log-off of the host that frees its
// own reference meanwhile leaves it loaded for the wizard.
#pragma once

#include <windows.h>
#include <string>

#include "Handles.h"
#include "outside/zumbase.h"

namespace enrolwizard {

class ZumBinding {
public:
    // The loaded "zumbase.dll", or null; once found, it is held.
    HMODULE Find();

    int RegisterUser(const char* text, ZumRegisterInfo* info);
    int Login(int reserved);
    int FindFirstService(ZumServiceInfo* out);
    int FindNextService(ZumServiceInfo* out);
    int FindServiceClose();
    int GetService(const char* idText, ZumServiceInfo* out);
    int SubscribeService(const char* idText, const char* parameters);
    int GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account);
    // "加载zum库失败" without the library, "" when the function is missing or answers nothing.
    std::string GetLastError();

private:
    template <typename Fn> Fn Function(const char* name);

    vantor::UniqueModule module_;
};

}  // namespace enrolwizard
