// The after-sale pane's decisions and its apply, without a window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "AfterCareLogic.h"
#include "Text.h"

using namespace aftercare;

namespace {

ServicePolicyInfoA Policy(int status, const char* user = "", const char* password = "") {
    ServicePolicyInfoA policy;
    memset(&policy, 0, sizeof policy);
    policy.flags[4] = static_cast<WORD>(status);
    vantor::CopyField(policy.codes[0], user);
    vantor::CopyField(policy.codes[1], password);
    return policy;
}

TEST(AfterCareLogic, PageAndEventsFollowTheStatus) {
    EXPECT_EQ("http://127.0.0.1/s/19/using/index.html", PageUrl("http://127.0.0.1/s/", 1));
    for (int status : {0, 2, 7}) {
        EXPECT_EQ("http://127.0.0.1/s/19/apply/index.html", PageUrl("http://127.0.0.1/s/", status));
        EXPECT_TRUE(TakesEvents(status)) << status;
    }
    EXPECT_FALSE(TakesEvents(1));

    EXPECT_EQ((std::vector<std::string>{"user01", "pw01"}), PageInfoArguments(Policy(1, "user01", "pw01")));
    EXPECT_EQ((std::vector<std::string>{""}), PageInfoArguments(Policy(0, "user01", "pw01")));
    EXPECT_EQ((std::vector<std::string>{""}), PageInfoArguments(Policy(2, "user01", "pw01")));
}

TEST(AfterCareLogic, FailureTextCarriesThePlatformsMessage) {
    EXPECT_EQ(L"售后服务注册失败！", FailureText(""));
    EXPECT_EQ(L"售后服务注册失败——X！", FailureText("X"));
    EXPECT_EQ(L"售后服务注册失败——号码已用！", FailureText(vantor::WideToAnsi(L"号码已用")));
}

struct Fakes {
    static int result;
    static std::string form;
    static const char* message;
    static int updates;
    static int WINAPI Apply(int id, const char* text, ServicePolicyInfoA* out) {
        form = std::to_string(id) + ":" + (text ? text : "(null)");
        if (result == 0) *out = Policy(1, "u", "p");
        return result;
    }
    static const char* WINAPI Last() { return message; }
    static BOOL WINAPI Update(HostContext book, DWORD id, const ServicePolicyInfoA* info) {
        ++updates;
        return book == 7 && id == 19 && PolicyStatus(*info) == 1;
    }
};
int Fakes::result = 0;
std::string Fakes::form;
const char* Fakes::message = nullptr;
int Fakes::updates = 0;

TEST(AfterCareLogic, ApplyStoresTheReturnedPolicyOnlyWhenAccepted) {
    ApplyBinding binding;
    binding.apply = Fakes::Apply;
    binding.lastMessage = Fakes::Last;
    binding.update = Fakes::Update;
    ServicePolicyInfoA policy = Policy(0);
    std::string last = "old";

    Fakes::result = 30005;
    Fakes::message = "X";
    EXPECT_FALSE(ApplyAfterSale(binding, 7, "name=Li", &policy, &last));
    EXPECT_EQ("19:name=Li", Fakes::form);
    EXPECT_EQ("X", last);
    EXPECT_EQ(0, Fakes::updates);
    EXPECT_EQ(0, PolicyStatus(policy));

    Fakes::message = nullptr;
    EXPECT_FALSE(ApplyAfterSale(binding, 7, "", &policy, &last));
    EXPECT_EQ("", last);

    Fakes::result = 0;
    Fakes::message = "";
    EXPECT_TRUE(ApplyAfterSale(binding, 7, "name=Li", &policy, &last));
    EXPECT_EQ(1, Fakes::updates);
    EXPECT_EQ(1, PolicyStatus(policy));

    // No apply export: a failure, and a last message kept when ClientCore has no text call.
    ApplyBinding missing;
    last = "kept";
    EXPECT_FALSE(ApplyAfterSale(missing, 7, "x", &policy, &last));
    EXPECT_EQ("kept", last);
}

}  // namespace
