// What the enrolment wizard decides without a window: its page addresses, the page commands,
// the sign-up sequence over a platform it is handed, the failure text and the companion
// settings, so that tests reach each of them with fakes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "outside/zumbase.h"

namespace enrolwizard {

constexpr char kSignUpPagePath[] = "/zum/regpages/loginfir2.htm";
constexpr char kAgreementPagePath[] = "/zum/regpages/loginprotocol.htm";

// "<scheme>://<host[:port]>" of an address, or "" when it names no host.
std::string SchemeAndHost(const std::string& url);

// The page addresses of the wizard; the first is kept for the caller and not shown.
struct PageUrls {
    std::string first;
    std::string signUp;
    std::string agreement;
};

// The defaults on the platform's web host (the host of its ZumUrl address).
PageUrls DefaultPageUrls(const std::string& zumUrl);

enum class PageCommand {
    KeepText,       // 0
    StartWorker,    // 1
    Close,          // 2
    ShowAgreement,  // 3
    Finish,         // 4: result 100, then close
    None,
};
PageCommand CommandFor(int idevent);

// Reads an event element ("<element idevent=...>text</element>") with the XML parser.
// False when it is not well-formed; a missing or non-numeric idevent reads as 0, as atoi would.
bool ReadEventElement(const std::string& element, int* idevent, std::string* text);

// "注册用户失败了[——<lastError>]！"
std::string FailureText(const std::string& lastError);

// Both states 0.
bool NotYetSubscribed(const ZumServiceInfo& service);

// "province=<province>" for service 3, "city=<city>" for service 11, "" for any other.
std::string SubscriptionParameters(const ZumServiceInfo& service, const ZumCustomerPublicInfo& info);

// The platform as the sign-up sees it; in the wizard every call is a message sent to the
// sign-up page, so that it runs on the dialog thread.
class Platform {
public:
    virtual ~Platform() = default;
    virtual int RegisterUser(const std::string& text) = 0;
    virtual int Login() = 0;
    virtual int FindFirstService(ZumServiceInfo* out) = 0;
    virtual int FindNextService(ZumServiceInfo* out) = 0;
    virtual int FindServiceClose() = 0;
    virtual int GetCustomerPublicInfo(ZumCustomerPublicInfo* out) = 0;
    virtual int SubscribeService(const std::string& id, const std::string& parameters) = 0;
    virtual int WriteCompanionSettings() = 0;  // of service 11
    virtual void Acknowledge() = 0;  // the page's "nothing else" answer after a short sign-up
    virtual void SetResult(int result) = 0;
};

enum class SignUpOutcome { Refused, Registered };

// The sign-up: register, log in, walk the services (the first record included), subscribe
// the ones not held yet, write the companion settings for service 11. The records found go to
// *services in platform order.
SignUpOutcome RunSignUp(Platform& platform, const std::string& text, std::vector<ZumServiceInfo>* services);

// Writes "<commonData>\Vantor\QmzSetting\config\Qmz.ini" [QmzConfig] LoginID and PWD from the
// first two parameter texts of the service, and SettingDir under root\subKey. 0, or -1 when
// the key cannot be created.
int WriteCompanionSettings(const std::wstring& commonData, const ZumServiceInfo& service, HKEY root,
                           const wchar_t* subKey);

}  // namespace enrolwizard
