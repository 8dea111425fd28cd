#include "AfterCareLogic.h"

#include "Text.h"

namespace aftercare {

std::string PageUrl(const std::string& serviceUrl, int status) {
    return serviceUrl + (status == 1 ? "19/using/index.html" : "19/apply/index.html");
}

bool TakesEvents(int status) { return status != 1; }

std::vector<std::string> PageInfoArguments(const ServicePolicyInfoA& policy) {
    if (PolicyStatus(policy) != 1) return {std::string()};
    return {vantor::FieldText(policy.codes[0]), vantor::FieldText(policy.codes[1])};
}

std::wstring FailureText(const std::string& lastMessage) {
    std::wstring text = L"售后服务注册失败";
    if (!lastMessage.empty()) text += L"——" + vantor::AnsiToWide(lastMessage);
    return text + L"！";
}

bool ApplyAfterSale(const ApplyBinding& binding, HostContext book, const std::string& form,
                    ServicePolicyInfoA* policy, std::string* lastMessage) {
    int result = binding.apply ? binding.apply(kAfterSaleService, form.c_str(), policy) : -1;
    if (binding.lastMessage && lastMessage) {
        const char* text = binding.lastMessage();
        *lastMessage = text ? text : "";
    }
    if (result != 0) return false;
    if (binding.update) binding.update(book, kAfterSaleService, policy);
    return true;
}

}  // namespace aftercare
