// The sign-up window's decisions and its apply, without a window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "SignUpLogic.h"
#include "TestSupport.h"
#include "Text.h"

using namespace signup;

namespace {

TEST(SignUpLogic, PageAndEventGate) {
    EXPECT_TRUE(HasSignUpPage(6));
    EXPECT_TRUE(HasSignUpPage(17));
    EXPECT_FALSE(HasSignUpPage(5));
    EXPECT_EQ("http://127.0.0.1:81/svc/17/apply/index.html", ServicePageUrl("http://127.0.0.1:81/svc/", 17));
    EXPECT_EQ("6/apply/index.html", ServicePageUrl("", 6));

    EXPECT_EQ(6, RequestedService(1, "6"));
    EXPECT_EQ(17, RequestedService(1, "17"));
    for (const char* other : {"7", "", " 6", "6 ", "017"}) EXPECT_EQ(0, RequestedService(1, other)) << other;
    EXPECT_EQ(0, RequestedService(1, nullptr));
    EXPECT_EQ(0, RequestedService(2, "6"));
}

TEST(SignUpLogic, GradeRequestIsCutToItsBlock) {
    EXPECT_STREQ("grade=3", MakeGradeRequest("3").get());
    EXPECT_STREQ("grade=", MakeGradeRequest("").get());

    std::string longGrade(600, 'g');
    RequestText cut = MakeGradeRequest(longGrade);
    EXPECT_EQ(kRequestBytes - 1, strlen(cut.get()));

    // A double-byte character across the cut is left out whole.
    std::string chinese = testkit::Ansi("级");
    ASSERT_EQ(2u, chinese.size());
    std::string grade(kRequestBytes - 1 - 6 - 1, 'x');
    grade += chinese;
    RequestText whole = MakeGradeRequest(grade);
    EXPECT_EQ(kRequestBytes - 2, strlen(whole.get()));
}

TEST(SignUpLogic, RegisterLogHoldsOneLineInCodePage936) {
    std::string bytes = RegisterLogBytes("grade=3");
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：3", 936), bytes);
    EXPECT_EQ('3', bytes.back());
    EXPECT_EQ("", RegisterLogBytes("level=3"));
    EXPECT_EQ("", RegisterLogBytes(nullptr));

    std::wstring dir = testkit::FreshDir(L"signup-log");
    CreateDirectoryW((dir + L"acc01").c_str(), nullptr);
    testkit::WriteFileBytes(dir + L"acc01\\register.log", "an older, longer record\r\n");
    ASSERT_TRUE(WriteRegisterLog(dir, "acc01", "grade=5"));
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：5", 936), testkit::ReadFileBytes(dir + L"acc01\\register.log"));

    // The folder is made when missing; ids that leave the program folder write nothing.
    ASSERT_TRUE(WriteRegisterLog(dir, "acc02", "grade=1"));
    EXPECT_FALSE(testkit::ReadFileBytes(dir + L"acc02\\register.log").empty());
    for (const char* id : {"", "..", "..\\up", "a/b", "C:x"}) EXPECT_FALSE(WriteRegisterLog(dir, id, "grade=1")) << id;
}

struct FakeCore {
    static int result;
    static int calls;
    static int type;
    static std::string text;
    static int WINAPI Apply(int t, const char* p, ServicePolicyInfoA* out) {
        ++calls;
        type = t;
        text = p ? p : "(null)";
        return out ? result : -1;
    }
};
int FakeCore::result = 0;
int FakeCore::calls = 0;
int FakeCore::type = 0;
std::string FakeCore::text;

TEST(SignUpLogic, ApplyShowsTheWaitLineAndRecordsServiceSix) {
    std::wstring dir = testkit::FreshDir(L"signup-apply");
    std::string events;
    ApplyWork work;
    work.apply = FakeCore::Apply;
    work.busy = [&](bool on) { events += on ? "busy " : "idle "; };
    work.refused = [&] { events += "box "; };
    work.accountId = [] { return std::string("acc9"); };
    work.programDir = dir;

    FakeCore::result = 0;
    EXPECT_TRUE(RunApply(work, 6, "grade=4"));
    EXPECT_EQ("busy idle ", events);
    EXPECT_EQ(6, FakeCore::type);
    EXPECT_EQ("grade=4", FakeCore::text);
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：4", 936), testkit::ReadFileBytes(dir + L"acc9\\register.log"));

    // Service 17 keeps no record.
    events.clear();
    EXPECT_TRUE(RunApply(work, 17, "grade=2"));
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：4", 936), testkit::ReadFileBytes(dir + L"acc9\\register.log"));

    // A refusal shows the box and writes nothing.
    events.clear();
    FakeCore::result = 30003;
    EXPECT_FALSE(RunApply(work, 6, "grade=8"));
    EXPECT_EQ("busy idle box ", events);
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：4", 936), testkit::ReadFileBytes(dir + L"acc9\\register.log"));

    // Without ClientCore nothing is called and the user is told.
    events.clear();
    int calls = FakeCore::calls;
    work.apply = nullptr;
    EXPECT_FALSE(RunApply(work, 6, "grade=8"));
    EXPECT_EQ("box ", events);
    EXPECT_EQ(calls, FakeCore::calls);

    // An unreadable account: applied, no record.
    work.apply = FakeCore::Apply;
    work.accountId = [] { return std::string(); };
    FakeCore::result = 0;
    std::wstring other = testkit::FreshDir(L"signup-noaccount");
    work.programDir = other;
    EXPECT_TRUE(RunApply(work, 6, "grade=1"));
}

}  // namespace
