// The wizard's decisions and its sign-up sequence, without a window or a platform.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "EnrolLogic.h"
#include "TestSupport.h"
#include "Text.h"

using namespace enrolwizard;

namespace {

TEST(EnrolLogic, DefaultPagesAreOnThePlatformsHost) {
    PageUrls urls = DefaultPageUrls("http://127.0.0.1:8600/zum/");
    EXPECT_EQ("", urls.first);
    EXPECT_EQ("http://127.0.0.1:8600/zum/regpages/loginfir2.htm", urls.signUp);
    EXPECT_EQ("http://127.0.0.1:8600/zum/regpages/loginprotocol.htm", urls.agreement);
    EXPECT_EQ("https://zum.example", SchemeAndHost("https://zum.example?x=/y"));
    EXPECT_EQ("http://h:1", SchemeAndHost("http://h:1"));
    for (const char* none : {"", "zum/", "http:///x", "://h/"}) EXPECT_EQ("", SchemeAndHost(none)) << none;
    // Without a configured host the pages are still the platform's paths, which simply fail to load.
    EXPECT_EQ("/zum/regpages/loginfir2.htm", DefaultPageUrls("").signUp);
}

TEST(EnrolLogic, CommandsAndEventElements) {
    EXPECT_EQ(PageCommand::KeepText, CommandFor(0));
    EXPECT_EQ(PageCommand::StartWorker, CommandFor(1));
    EXPECT_EQ(PageCommand::Close, CommandFor(2));
    EXPECT_EQ(PageCommand::ShowAgreement, CommandFor(3));
    EXPECT_EQ(PageCommand::Finish, CommandFor(4));
    EXPECT_EQ(PageCommand::None, CommandFor(5));
    EXPECT_EQ(PageCommand::None, CommandFor(-1));

    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    {
        int id = -1;
        std::string text;
        ASSERT_TRUE(ReadEventElement(testkit::Ansi("<element idevent=\"0\">user=张三 pwd=1</element>"), &id, &text));
        EXPECT_EQ(0, id);
        EXPECT_EQ(testkit::Ansi("user=张三 pwd=1"), text);
        ASSERT_TRUE(ReadEventElement("<ELEMENT idevent=\"4\"/>", &id, &text));
        EXPECT_EQ(4, id);
        EXPECT_EQ("", text);
        ASSERT_TRUE(ReadEventElement("<element>x</element>", &id, &text));
        EXPECT_EQ(0, id);
        EXPECT_FALSE(ReadEventElement("<element idevent=\"1\">", &id, &text));
        EXPECT_FALSE(ReadEventElement("", &id, &text));
    }
    CoUninitialize();
}

TEST(EnrolLogic, FailureTextAndSubscriptionParameters) {
    EXPECT_EQ(testkit::Ansi("注册用户失败了！"), FailureText(""));
    EXPECT_EQ(testkit::Ansi("注册用户失败了——帐号已存在！"), FailureText(testkit::Ansi("帐号已存在")));

    ZumCustomerPublicInfo info = {};
    vantor::CopyField(info.province, testkit::Ansi("广东").c_str());
    vantor::CopyField(info.city, testkit::Ansi("深圳").c_str());
    ZumServiceInfo service = {};
    vantor::CopyField(service.id, "3");
    EXPECT_EQ(testkit::Ansi("province=广东"), SubscriptionParameters(service, info));
    vantor::CopyField(service.id, "11");
    EXPECT_EQ(testkit::Ansi("city=深圳"), SubscriptionParameters(service, info));
    vantor::CopyField(service.id, "9");
    EXPECT_EQ("", SubscriptionParameters(service, info));

    EXPECT_TRUE(NotYetSubscribed(service));
    service.state = 1;
    EXPECT_FALSE(NotYetSubscribed(service));
    service.state = 0;
    service.flag1 = 1;
    EXPECT_FALSE(NotYetSubscribed(service));
}

// Records the calls in order and answers as told.
class FakePlatform : public Platform {
public:
    int registerStatus = ZumSuccess, loginStatus = ZumSuccess, firstStatus = ZumSuccess;
    std::vector<ZumServiceInfo> services;
    std::vector<std::string> log;
    int result = 0;

    void Add(const char* id, uint16_t state, uint16_t flag1) {
        ZumServiceInfo s = {};
        vantor::CopyField(s.id, id);
        s.state = state;
        s.flag1 = flag1;
        services.push_back(s);
    }
    int RegisterUser(const std::string& text) override { return Log("register(" + text + ")", registerStatus); }
    int Login() override { return Log("login", loginStatus); }
    int FindFirstService(ZumServiceInfo* out) override {
        next_ = 0;
        if (firstStatus != ZumSuccess) return Log("first", firstStatus);
        return Take(out, "first");
    }
    int FindNextService(ZumServiceInfo* out) override { return Take(out, "next"); }
    int FindServiceClose() override { return Log("close", ZumSuccess); }
    int GetCustomerPublicInfo(ZumCustomerPublicInfo* out) override {
        vantor::CopyField(out->province, "GD");
        vantor::CopyField(out->city, "SZ");
        return Log("public", 0);
    }
    int SubscribeService(const std::string& id, const std::string& parameters) override {
        return Log("subscribe(" + id + "," + parameters + ")", ZumSuccess);
    }
    int WriteCompanionSettings() override { return Log("companion", 0); }
    void Acknowledge() override { Log("ack", 0); }
    void SetResult(int r) override { result = r; }

private:
    int Log(const std::string& line, int status) {
        log.push_back(line);
        return status;
    }
    int Take(ZumServiceInfo* out, const std::string& name) {
        if (next_ >= services.size()) return Log(name + ":end", ZumErrEndOfList);
        *out = services[next_];
        return Log(name + ":" + vantor::FieldText(services[next_++].id), ZumSuccess);
    }
    size_t next_ = 0;
};

TEST(EnrolSignUp, WalksEveryServiceFromTheFirstRecord) {
    FakePlatform p;
    p.Add("3", 0, 0);
    p.Add("9", 1, 0);
    p.Add("11", 0, 0);
    p.Add("12", 0, 0);
    std::vector<ZumServiceInfo> found;
    EXPECT_EQ(SignUpOutcome::Registered, RunSignUp(p, "u=1", &found));
    EXPECT_EQ(1, p.result);
    std::vector<std::string> expected = {"register(u=1)", "login", "first:3", "public", "subscribe(3,province=GD)",
                                         "next:9", "next:11", "subscribe(11,city=SZ)", "companion",
                                         "next:12", "subscribe(12,)", "next:end", "close"};
    EXPECT_EQ(expected, p.log);
    ASSERT_EQ(4u, found.size());
    EXPECT_EQ("9", vantor::FieldText(found[1].id));
}

TEST(EnrolSignUp, CompanionSettingsAlsoForAServiceHeldBefore) {
    FakePlatform p;
    p.Add("11", 0, 1);
    std::vector<ZumServiceInfo> found;
    RunSignUp(p, "", &found);
    std::vector<std::string> expected = {"register()", "login", "first:11", "public", "companion", "next:end", "close"};
    EXPECT_EQ(expected, p.log);
}

TEST(EnrolSignUp, RefusalAndShortSignUps) {
    FakePlatform refused;
    refused.registerStatus = -1016;
    std::vector<ZumServiceInfo> found(1);
    EXPECT_EQ(SignUpOutcome::Refused, RunSignUp(refused, "x", &found));
    EXPECT_EQ(0, refused.result);
    EXPECT_EQ(std::vector<std::string>{"register(x)"}, refused.log);
    EXPECT_TRUE(found.empty());

    FakePlatform noLogin;
    noLogin.loginStatus = -1003;
    noLogin.Add("3", 0, 0);
    EXPECT_EQ(SignUpOutcome::Registered, RunSignUp(noLogin, "x", &found));
    EXPECT_EQ(1, noLogin.result);
    EXPECT_EQ((std::vector<std::string>{"register(x)", "login", "ack"}), noLogin.log);
    EXPECT_TRUE(found.empty());

    FakePlatform noServices;
    noServices.firstStatus = -1020;
    EXPECT_EQ(SignUpOutcome::Registered, RunSignUp(noServices, "x", &found));
    EXPECT_EQ((std::vector<std::string>{"register(x)", "login", "first", "ack"}), noServices.log);
}

}  // namespace
