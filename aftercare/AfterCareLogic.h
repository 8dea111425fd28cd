// What the after-sale pane decides without a window: its page, whether the page may apply,
// what the page is told once loaded, the apply over bindings, and the failure text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace aftercare {

constexpr int kAfterSaleService = 19;

// The policy's status; 1 means registered.
inline int PolicyStatus(const ServicePolicyInfoA& policy) { return policy.flags[4]; }

// "<base>19/using/index.html" when registered, else "<base>19/apply/index.html".
std::string PageUrl(const std::string& serviceUrl, int status);

// Page events are taken unless the account is registered, that is while the application
// page shows (also for statuses other than 0 and 1).
bool TakesEvents(int status);

// The texts the completed top document gets: user and password when registered, else one
// empty text.
std::vector<std::string> PageInfoArguments(const ServicePolicyInfoA& policy);

// "售后服务注册失败", "——" and the platform's message when there is one, "！".
std::wstring FailureText(const std::string& lastMessage);

typedef int(WINAPI* ApplyServiceFn)(int serviceId, const char* parameters, ServicePolicyInfoA* out);
typedef const char*(WINAPI* LastMessageFn)(void);
typedef BOOL(WINAPI* UpdatePolicyFn)(HostContext book, DWORD policyId, const ServicePolicyInfoA* info);

struct ApplyBinding {
    ApplyServiceFn apply = nullptr;      // ClientCore's; null counts as a failure
    LastMessageFn lastMessage = nullptr; // ClientCore's; when null the last message stays
    UpdatePolicyFn update = nullptr;     // RostKeeper's
};

// Applies for service 19 with the form text into policy; on success stores the policy in
// the contact book. True when the platform accepted.
bool ApplyAfterSale(const ApplyBinding& binding, HostContext book, const std::string& form,
                    ServicePolicyInfoA* policy, std::string* lastMessage);

}  // namespace aftercare
