// What the sign-up window decides without a window: its page, which page events ask for an
// apply, the request text, the sign-up record, and the apply itself over a ClientCore
// binding, so that tests reach each of them with fakes.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ContactRecords.h"

namespace signup {

// Services that show a sign-up page first.
bool HasSignUpPage(int serviceType);

// "<service base URL><type>/apply/index.html".
std::string ServicePageUrl(const std::string& serviceUrl, int serviceType);

// The service type a page event asks to apply for: event 1 with the text "6" or "17";
// 0 for anything else.
int RequestedService(int id, const char* argument);

// Request texts travel in a message as a heap block of this size, owned by the receiver.
constexpr size_t kRequestBytes = 512;
struct RequestDeleter {
    void operator()(char* text) const { delete[] text; }
};
using RequestText = std::unique_ptr<char[], RequestDeleter>;

// "grade=<grade>", cut to 511 bytes (never inside a double-byte character).
RequestText MakeGradeRequest(const std::string& grade);

// The sign-up record for a request: "Quilla(注册记录)：<text after "grade=">" in code page
// 936, no line end; empty when the request carries no grade.
std::string RegisterLogBytes(const char* request);

// Rewrites "<program folder><account id>\register.log" for the request (the folder is made
// when missing). An account id that is empty or names another folder writes nothing.
bool WriteRegisterLog(const std::wstring& programDir, const std::string& accountId, const char* request);

typedef int(WINAPI* ApplyServiceFn)(int serviceId, const char* parameters, ServicePolicyInfoA* out);

// What one apply needs of its surroundings.
struct ApplyWork {
    ApplyServiceFn apply = nullptr;             // null: ClientCore or its export is missing
    std::function<void(bool)> busy;             // the "please wait" line shown or hidden
    std::function<void()> refused;              // the failure box
    std::function<std::string()> accountId;     // "" when the account cannot be read
    std::wstring programDir;
};

// Applies for the service with the request text and writes the sign-up record of service 6;
// true when the platform accepted. A missing ClientCore counts as a refusal.
bool RunApply(const ApplyWork& work, int serviceType, const char* request);

}  // namespace signup
