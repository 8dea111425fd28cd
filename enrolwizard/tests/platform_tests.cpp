// The sign-up against the zumbase stand-in, through the wizard's own binding.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "BindingPlatform.h"
#include "EnrolLogic.h"
#include "PageMessages.h"
#include "TestSupport.h"
#include "Text.h"
#include "ZumBinding.h"
#include "ZumStandIn.h"

using namespace enrolwizard;

namespace {

const wchar_t kTestKey[] = L"Software\\VantorTests\\EnrolWizard\\QmzSetting";

std::string ZumLog(HMODULE zum) { return enroltest::ZumLog(zum); }

void ExpectInOrder(const std::string& log, const std::vector<std::string>& pieces) {
    EXPECT_EQ("", enroltest::MissingInOrder(log, pieces));
}

// Runs first: the wizard never loads zumbase itself.
TEST(EnrolPlatform, WithoutTheLibraryEveryCallIsMissing) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
    ZumBinding zum;
    volatile LONG result = 0;
    BindingPlatform platform(zum, CompanionPlace(), &result);
    std::vector<ZumServiceInfo> found;
    EXPECT_EQ(SignUpOutcome::Refused, RunSignUp(platform, "x", &found));
    EXPECT_EQ(0, result);
    EXPECT_EQ(ZumErrLibraryMissing, zum.Login(0));
    EXPECT_EQ(testkit::Ansi("注册用户失败了——加载zum库失败！"), FailureText(zum.GetLastError()));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
}

class EnrolPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        zum_ = LoadLibraryW((testkit::ProgramDir() + L"zumbase.dll").c_str());
        ASSERT_NE(nullptr, zum_);
        folder_ = testkit::FreshDir(L"enrolwizard");
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VantorTests\\EnrolWizard");
        if (zum_) FreeLibrary(zum_);
    }
    void Play(const std::string& script) { ASSERT_TRUE(enroltest::ZumPlay(zum_, folder_, script)); }
    CompanionPlace Place() {
        CompanionPlace place;
        place.commonData = folder_ + L"common";  // no trailing backslash: the writer adds it
        CreateDirectoryW(place.commonData.c_str(), nullptr);
        place.root = HKEY_CURRENT_USER;
        place.subKey = kTestKey;
        return place;
    }

    HMODULE zum_ = nullptr;
    std::wstring folder_;
};

using enroltest::kThreeServices;

TEST_F(EnrolPlatformTest, SignsUpSubscribesAndWritesTheCompanionSettings) {
    Play(kThreeServices);
    ZumBinding zum;
    volatile LONG result = 0;
    BindingPlatform platform(zum, Place(), &result);
    std::vector<ZumServiceInfo> found;
    EXPECT_EQ(SignUpOutcome::Registered, RunSignUp(platform, "user=new01", &found));
    EXPECT_EQ(1, result);
    ASSERT_EQ(3u, found.size());
    EXPECT_EQ(testkit::Ansi("棋牌游戏"), vantor::FieldText(found[2].description));

    std::string log = ZumLog(zum_);
    ExpectInOrder(log, {"Zum_RegisterUser(user=new01,null)", "Zum_Login(0)", "Zum_FindFirstService(out:3)",
                        "Zum_GetCustomerPublicInfo(", testkit::Ansi("Zum_SubscribeService(3,text:province=广东)"),
                        "Zum_FindNextService(out:9)", "Zum_FindNextService(out:11)",
                        testkit::Ansi("Zum_SubscribeService(11,text:city=深圳)"), "Zum_GetService(11)",
                        "Zum_FindNextService(", "Zum_FindServiceClose("});
    EXPECT_EQ(std::string::npos, log.find("Zum_SubscribeService(9")) << log;

    std::wstring setting = folder_ + L"common\\Vantor\\QmzSetting\\";
    std::wstring ini = setting + L"config\\Qmz.ini";
    wchar_t value[64] = L"";
    GetPrivateProfileStringW(L"QmzConfig", L"LoginID", L"", value, 64, ini.c_str());
    EXPECT_STREQ(L"qmz-user", value);
    GetPrivateProfileStringW(L"QmzConfig", L"PWD", L"", value, 64, ini.c_str());
    EXPECT_STREQ(L"qmz-pass", value);
    wchar_t dir[MAX_PATH] = L"";
    DWORD bytes = sizeof dir;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, kTestKey, L"SettingDir", RRF_RT_REG_SZ, nullptr, dir, &bytes));
    EXPECT_EQ(setting, dir);
}

TEST_F(EnrolPlatformTest, RefusalCarriesThePlatformsText) {
    Play("[Register]\nstatus=-1016\n[Errors]\nZum_RegisterUser=帐号已被占用\n");
    ZumBinding zum;
    volatile LONG result = 0;
    BindingPlatform platform(zum, Place(), &result);
    std::vector<ZumServiceInfo> found;
    EXPECT_EQ(SignUpOutcome::Refused, RunSignUp(platform, "", &found));
    EXPECT_EQ(0, result);
    EXPECT_EQ(testkit::Ansi("注册用户失败了——帐号已被占用！"), FailureText(zum.GetLastError()));
}

TEST_F(EnrolPlatformTest, FailedLoginStillCountsAsRegistered) {
    std::string script = std::string(kThreeServices) + "[Login]\nstatus=-1003\n";
    Play(script);
    ZumBinding zum;
    volatile LONG result = 0;
    BindingPlatform platform(zum, Place(), &result);
    std::vector<ZumServiceInfo> found;
    EXPECT_EQ(SignUpOutcome::Registered, RunSignUp(platform, "u", &found));
    EXPECT_EQ(1, result);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(std::string::npos, ZumLog(zum_).find("Zum_FindFirstService")) << ZumLog(zum_);
}

// A stand-in for the sign-up page: the platform calls the worker sends, on this thread.
struct TestPage {
    BindingPlatform* platform = nullptr;
    std::string text;
    std::vector<UINT> endings;
    DWORD callThread = 0;
    bool otherThread = false;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        TestPage* page = reinterpret_cast<TestPage*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        LRESULT answer = 0;
        if (page) {
            if (message == kSignUpSucceeded || message == kSignUpFailed) {
                page->endings.push_back(message);
                return 0;
            }
            if (HandlePlatformMessage(*page->platform, page->text, message, wParam, lParam, &answer)) {
                if (GetCurrentThreadId() != page->callThread) page->otherThread = true;
                return answer;
            }
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

TEST_F(EnrolPlatformTest, WorkerCallsRunOnThePagesThreadAndOneAtATime) {
    Play(std::string(kThreeServices) + "[Delay]\nZum_Login=300\n");
    ZumBinding zum;
    volatile LONG result = 0;
    BindingPlatform platform(zum, Place(), &result);
    TestPage page;
    page.platform = &platform;
    page.text = "user=new02";
    page.callThread = GetCurrentThreadId();
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&page));
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TestPage::Proc));
    {
        SignUpWorker worker;
        ASSERT_TRUE(worker.Start(hwnd, page.text));
        EXPECT_TRUE(worker.Held());
        EXPECT_FALSE(worker.Start(hwnd, "again"));
        EXPECT_TRUE(worker.Join());
        EXPECT_FALSE(worker.Held());
        EXPECT_EQ(3u, worker.Services().size());
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    EXPECT_EQ(std::vector<UINT>{kSignUpSucceeded}, page.endings);
    EXPECT_FALSE(page.otherThread);
    EXPECT_EQ(1, result);
    std::string log = ZumLog(zum_);
    ExpectInOrder(log, {"Zum_RegisterUser(user=new02,null)", "Zum_Login(0)", "Zum_FindServiceClose("});
    EXPECT_EQ(std::string::npos, log.find("again")) << log;
    DestroyWindow(hwnd);
}

}  // namespace
