// The platform calls the sign-up page makes on its own thread: zumbase through the wizard's
// binding, and the companion settings of service 11.
#pragma once

#include <windows.h>
#include <string>

#include "EnrolLogic.h"
#include "ZumBinding.h"

namespace enrolwizard {

// Where the companion settings go: the common application-data folder and the key that
// records the folder.
struct CompanionPlace {
    std::wstring commonData;
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring subKey = L"SOFTWARE\\Vantor\\QmzSetting";
};

// The place the system gives (CSIDL_COMMON_APPDATA, HKEY_LOCAL_MACHINE).
CompanionPlace SystemCompanionPlace();

class BindingPlatform : public Platform {
public:
    BindingPlatform(ZumBinding& zum, CompanionPlace place, volatile LONG* result)
        : zum_(zum), place_(std::move(place)), result_(result) {}

    int RegisterUser(const std::string& text) override { return zum_.RegisterUser(text.c_str(), nullptr); }
    int Login() override { return zum_.Login(0); }
    int FindFirstService(ZumServiceInfo* out) override { return zum_.FindFirstService(out); }
    int FindNextService(ZumServiceInfo* out) override { return zum_.FindNextService(out); }
    int FindServiceClose() override { return zum_.FindServiceClose(); }
    int GetCustomerPublicInfo(ZumCustomerPublicInfo* out) override;
    int SubscribeService(const std::string& id, const std::string& parameters) override {
        return zum_.SubscribeService(id.c_str(), parameters.c_str());
    }
    int WriteCompanionSettings() override;
    void Acknowledge() override {}
    void SetResult(int result) override { InterlockedExchange(result_, result); }

private:
    ZumBinding& zum_;
    CompanionPlace place_;
    volatile LONG* result_;
};

}  // namespace enrolwizard
