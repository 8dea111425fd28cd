// The wizard as a host runs it: the browser control (the test stand-in, registered under the
// system control's class id), the test pages on the loopback web server and the zumbase
// stand-in loaded by the test. A watcher thread plays the user and the page while the test's
// thread runs the modal wizard.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "BrowserCtl.h"
#include "EnrolWizard.h"
#include "Screenshot.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"
#include "ZumStandIn.h"

using enroltest::kThreeServices;
using enroltest::MissingInOrder;

namespace {

const wchar_t kCompanionKey[] = L"SOFTWARE\\Vantor\\QmzSetting";

std::wstring CompanionFolder() {
    wchar_t common[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\Vantor\\QmzSetting\\";
}

void ForgetCompanion() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCompanionKey);
    testkit::RemoveTree(CompanionFolder());
}

std::wstring EventUrl(int id, const std::string& text) {
    return L"event:<element%20idevent=\"" + std::to_wstring(id) + L"\">" + vantor::AnsiToWide(text) + L"</element>";
}

bool Until(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    for (DWORD waited = 0;; waited += 20) {
        if (done()) return true;
        if (waited >= timeoutMs) return false;
        Sleep(20);
    }
}

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

// The watcher's side of one run: finds the wizard's windows and acts on them. Findings go
// to `problems`, read by the test once the wizard has returned.
class Driver {
public:
    Driver(HMODULE zum, std::wstring trace) : zum_(zum), trace_(std::move(trace)) {}

    bool FindMain() {
        return Until([&] {
            main_ = FindWindowW(L"#32770", L"注册");
            DWORD pid = 0;
            if (main_) GetWindowThreadProcessId(main_, &pid);
            return main_ && pid == GetCurrentProcessId();
        });
    }
    HWND main() const { return main_; }

    // The sign-up page, or the agreement page (the one with button 1003); null until made.
    HWND Page(bool agreement) const {
        for (HWND child = FindWindowExW(main_, nullptr, L"#32770", nullptr); child;
             child = FindWindowExW(main_, child, L"#32770", nullptr)) {
            if ((GetDlgItem(child, 1003) != nullptr) == agreement) return child;
        }
        return nullptr;
    }
    HWND Browser(HWND page) const { return page ? FindWindowExW(page, nullptr, BROWSERCTL_WINDOW_CLASS, nullptr) : nullptr; }

    // A link of the page followed, as the page's own script would navigate.
    void Click(bool agreement, const std::wstring& url) {
        HWND browser = Browser(Page(agreement));
        if (!browser) {
            Problem("no browser to click in");
            return;
        }
        COPYDATASTRUCT data = {BROWSERCTL_COPYDATA_CLICK, static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t)),
                               const_cast<wchar_t*>(url.c_str())};
        SendMessageW(browser, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
    void Event(int id, const std::string& text = "") { Click(false, EventUrl(id, text)); }

    std::string Trace() const { return testkit::ReadFileBytes(trace_); }
    std::string Log() const { return enroltest::ZumLog(zum_); }
    // Waits for the piece (UTF-8) to appear in the trace `count` times.
    bool TraceHas(const std::string& piece, size_t count = 1, DWORD timeoutMs = 10000) {
        if (Until([&] { return Count(Trace(), piece) >= count; }, timeoutMs)) return true;
        Problem("not in the trace: " + piece + "\n" + Trace());
        return false;
    }
    bool LogHas(const std::string& piece, DWORD timeoutMs = 10000) {
        if (Until([&] { return Log().find(piece) != std::string::npos; }, timeoutMs)) return true;
        Problem("not in the platform log: " + piece + "\n" + Log());
        return false;
    }
    void Check(bool ok, const std::string& what) {
        if (!ok) Problem(what);
    }
    void Shoot(const wchar_t* name) {
        CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
        Check(testkit::SaveBitmapFile(testkit::CaptureWindow(main_), testkit::ProgramDir() + L"screenshots\\" + name),
              "screenshot not saved");
    }
    void Problem(const std::string& what) { problems.push_back(what); }

    std::vector<std::string> problems;

private:
    HMODULE zum_;
    std::wstring trace_;
    HWND main_ = nullptr;
};

struct Job {
    Driver driver;
    std::function<void(Driver&)> scenario;
};

// The watcher: the scenario once the wizard shows, then the wizard must be gone.
DWORD WINAPI Watch(void* arg) {
    Job* job = static_cast<Job*>(arg);
    if (!job->driver.FindMain()) {
        job->driver.Problem("the wizard never showed");
        return 0;
    }
    job->scenario(job->driver);
    if (!Until([&] { return !IsWindow(job->driver.main()); }, 10000)) {
        job->driver.Problem("the wizard stayed open");
        PostMessageW(job->driver.main(), WM_CLOSE, 0, 0);
    }
    return 0;
}

class EnrolWizardPages : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = testkit::FreshDir(L"enrolwizard-pages");
        trace_ = folder_ + L"trace.txt";
        SetEnvironmentVariableW(L"BROWSERCTL_TRACE", trace_.c_str());
        base_ = testkit::PublishPages(L"enrolwizard");
        ASSERT_FALSE(base_.empty());
        signUpUrl_ = base_ + "loginfir2.htm";
        agreementUrl_ = base_ + "loginprotocol.htm";
        wizard_ = LoadLibraryW((testkit::ProgramDir() + L"EnrolWizard.dll").c_str());
        ASSERT_NE(nullptr, wizard_);
        setPara_ = reinterpret_cast<decltype(&ZumEX_SetRegWizardPara)>(
            reinterpret_cast<void*>(GetProcAddress(wizard_, "ZumEX_SetRegWizardPara")));
        run_ = reinterpret_cast<decltype(&ZumEX_RegisterWizard)>(
            reinterpret_cast<void*>(GetProcAddress(wizard_, "ZumEX_RegisterWizard")));
        ASSERT_TRUE(setPara_ && run_);
        ForgetCompanion();
    }
    void TearDown() override {
        ForgetCompanion();
        if (zum_) FreeLibrary(zum_);
        if (wizard_) FreeLibrary(wizard_);
        SetEnvironmentVariableW(L"BROWSERCTL_TRACE", nullptr);
    }

    void Platform(const std::string& script) {
        zum_ = LoadLibraryW((testkit::ProgramDir() + L"zumbase.dll").c_str());
        ASSERT_NE(nullptr, zum_);
        ASSERT_TRUE(enroltest::ZumPlay(zum_, folder_, script));
    }

    // Runs the wizard on this thread while the scenario plays on another; a wizard still
    // open once the scenario ended is closed (and counted as a problem). Answers its result.
    int Run(const std::function<void(Driver&)>& scenario) {
        setPara_("", signUpUrl_.c_str(), agreementUrl_.c_str());
        Job job{Driver(zum_, trace_), scenario};
        HANDLE thread = CreateThread(nullptr, 0, &Watch, &job, 0, nullptr);
        int result = run_("t1", "t2");
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
        for (const std::string& p : job.driver.problems) ADD_FAILURE() << p;
        trace_text_ = job.driver.Trace();
        return result;
    }
    std::string Log() const { return zum_ ? enroltest::ZumLog(zum_) : std::string(); }

    std::wstring folder_, trace_;
    std::string base_, signUpUrl_, agreementUrl_, trace_text_;
    HMODULE wizard_ = nullptr;
    HMODULE zum_ = nullptr;
    decltype(&ZumEX_SetRegWizardPara) setPara_ = nullptr;
    decltype(&ZumEX_RegisterWizard) run_ = nullptr;
};

std::string U(const char* utf8) { return utf8; }

// Before any other test loads zumbase: the wizard only finds it among loaded modules.
TEST_F(EnrolWizardPages, WithoutTheLibraryThePageGetsTheMissingLibraryText) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(0, "user=none");
        d.Event(1);
        d.TraceHas(U("script JS_Display_FailMsg(\"注册用户失败了——加载zum库失败！\") -> true"));
        d.Event(2);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
}

TEST_F(EnrolWizardPages, SignsUpSubscribesWritesTheCompanionAndTellsThePage) {
    Platform(kThreeServices);
    int result = Run([&](Driver& d) {
        if (!d.TraceHas("DocumentComplete top " + signUpUrl_)) return;
        d.Shoot(L"enrolwizard_signup.bmp");
        d.Event(0, "user=new01;pwd=secret");
        d.Event(1);
        if (!d.TraceHas("script JS_RegisterUserSucceed() -> true")) return;
        // The agreement page on command 3, loaded, for its picture.
        d.Event(3);
        d.TraceHas("DocumentComplete top " + agreementUrl_);
        d.Check(Until([&] { return IsWindowEnabled(GetDlgItem(d.Page(true), 1003)) != FALSE; }), "1003 stays disabled");
        d.Check(IsWindowVisible(d.Page(true)) && !IsWindowVisible(d.Page(false)), "the agreement page is not the one shown");
        d.Shoot(L"enrolwizard_agreement.bmp");
        PostMessageW(d.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(1, result);

    std::string log = Log();
    EXPECT_EQ("", MissingInOrder(log, {"Zum_RegisterUser(user=new01;pwd=secret,null)", "Zum_Login(0)",
                                       "Zum_FindFirstService(out:3)", "Zum_GetCustomerPublicInfo(",
                                       testkit::Ansi("Zum_SubscribeService(3,text:province=广东)"),
                                       "Zum_FindNextService(out:9)", "Zum_FindNextService(out:11)",
                                       testkit::Ansi("Zum_SubscribeService(11,text:city=深圳)"), "Zum_GetService(11)",
                                       "Zum_FindNextService(", "Zum_FindServiceClose("}));
    EXPECT_EQ(std::string::npos, log.find("Zum_SubscribeService(9")) << log;
    EXPECT_EQ(std::string::npos, log.find("Zum_Login2")) << log;

    // Both pages put their UI handler on "about:blank": no 3-D borders, default double-click.
    EXPECT_EQ(2u, Count(trace_text_, "uihandler set about:blank flags=0x00200004 dblclk=0")) << trace_text_;
    EXPECT_EQ("", MissingInOrder(trace_text_, {"script JS_ClearServicePolicy() -> true",
                                               U("script JS_AddServicePolicy(\"3\",\"天气\",\"本地天气\") -> true"),
                                               U("script JS_AddServicePolicy(\"9\",\"通讯录\",\"\") -> true"),
                                               U("script JS_AddServicePolicy(\"11\",\"棋牌\",\"棋牌游戏\") -> true"),
                                               "script JS_RegisterUserSucceed() -> true"}));
    EXPECT_NE(std::string::npos, trace_text_.find("BeforeNavigate2 top event:<element%20idevent=\"1\"></element> -> cancel"));

    std::wstring ini = CompanionFolder() + L"config\\Qmz.ini";
    wchar_t value[64] = L"";
    GetPrivateProfileStringW(L"QmzConfig", L"LoginID", L"", value, 64, ini.c_str());
    EXPECT_STREQ(L"qmz-user", value);
    GetPrivateProfileStringW(L"QmzConfig", L"PWD", L"", value, 64, ini.c_str());
    EXPECT_STREQ(L"qmz-pass", value);
    wchar_t dir[MAX_PATH] = L"";
    DWORD bytes = sizeof dir;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kCompanionKey, L"SettingDir", RRF_RT_REG_SZ, nullptr, dir, &bytes));
    EXPECT_EQ(CompanionFolder(), dir);
}

TEST_F(EnrolWizardPages, ARefusedRegistrationShowsThePlatformsText) {
    Platform("[Register]\nstatus=-1016\n[Errors]\nZum_RegisterUser=帐号已被占用\n");
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(0, "user=taken");
        d.Event(1);
        d.TraceHas(U("script JS_Display_FailMsg(\"注册用户失败了——帐号已被占用！\") -> true"));
        d.Event(2);
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(std::string::npos, Log().find("Zum_Login")) << Log();
    EXPECT_EQ(std::string::npos, trace_text_.find("JS_RegisterUserSucceed")) << trace_text_;
}

TEST_F(EnrolWizardPages, AFailedLoginAfterRegisteringStillSucceedsWithNoServices) {
    Platform(std::string(kThreeServices) + "[Login]\nstatus=-1003\n");
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(0, "user=new03");
        d.Event(1);
        d.TraceHas("script JS_RegisterUserSucceed() -> true");
        d.Event(2);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ("", MissingInOrder(trace_text_, {"script JS_ClearServicePolicy() -> true", "script JS_RegisterUserSucceed() -> true"}));
    EXPECT_EQ(std::string::npos, trace_text_.find("JS_AddServicePolicy")) << trace_text_;
    EXPECT_EQ(std::string::npos, Log().find("Zum_FindFirstService")) << Log();
}

// The host signed in through ClientCore, which loaded zumbase, and logs off while the wizard
// is open: ClientCore frees its reference, and the wizard signs up again on the library it
// found, which goes once the wizard has returned.
TEST_F(EnrolWizardPages, ALogoffWhileTheWizardRunsLeavesItTheLibrary) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
    HMODULE core = LoadLibraryW((testkit::ProgramDir() + L"ClientCore.dll").c_str());
    ASSERT_NE(nullptr, core);
    auto alive = reinterpret_cast<int(WINAPI*)(int*)>(reinterpret_cast<void*>(GetProcAddress(core, "Cco_IsAlive")));
    auto logoff = reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(core, "Cco_Logoff")));
    ASSERT_TRUE(alive && logoff);
    ASSERT_EQ(0, alive(nullptr));
    // Scripted through ClientCore's module: the test holds no reference of its own.
    ASSERT_TRUE(enroltest::ZumPlay(GetModuleHandleW(L"zumbase.dll"), folder_, kThreeServices));
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(0, "user=first");
        d.Event(1);
        if (!d.TraceHas("script JS_RegisterUserSucceed() -> true")) return;
        d.Check(logoff() == 0, "the log-off failed");
        d.Event(0, "user=second");
        d.Event(1);
        d.TraceHas("script JS_RegisterUserSucceed() -> true", 2);
        d.Event(2);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(std::string::npos, trace_text_.find("JS_Display_FailMsg")) << trace_text_;
    EXPECT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll")) << "the wizard gave its reference back";
    FreeLibrary(core);
}

// Command 1 with no 0 before it, the prefix in capitals, and a second 1 while the first
// sign-up still runs (its login takes a while on the dialog's thread, and so does its last
// call, so that the second 1 comes in time on a busy machine too).
TEST_F(EnrolWizardPages, OneSignUpAtATimeWithTheTextSoFar) {
    Platform(std::string(kThreeServices) + "[Delay]\nZum_Login=1000\nZum_FindServiceClose=1500\n");
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Click(false, L"EVENT:<ELEMENT%20idevent=\"1\"></ELEMENT>");
        if (!d.LogHas("Zum_RegisterUser(")) return;
        Sleep(200);  // inside the login
        d.Event(0, "user=late");
        d.Event(1);
        d.TraceHas("script JS_RegisterUserSucceed() -> true");
        Sleep(300);
        d.Event(2);
    });
    EXPECT_EQ(1, result);
    std::string log = Log();
    EXPECT_EQ(1u, Count(log, "Zum_RegisterUser(")) << log;
    EXPECT_NE(std::string::npos, log.find("Zum_RegisterUser(,null)")) << log;
    EXPECT_EQ(1u, Count(trace_text_, "script JS_RegisterUserSucceed()")) << trace_text_;
    EXPECT_NE(std::string::npos, trace_text_.find("BeforeNavigate2 top EVENT:<ELEMENT%20idevent=\"1\"></ELEMENT> -> cancel"))
        << trace_text_;
}

// The agreement page arrives slowly: its accept button waits for its own document, not
// for "about:blank"; accepting goes back to the sign-up page, giving up ends with 0.
TEST_F(EnrolWizardPages, TheAgreementPageAcceptsOnlyOnceLoadedAndGivingUpEndsWithNothing) {
    const WebServers& servers = WebServers::Get();
    ASSERT_TRUE(servers.loaded);
    agreementUrl_ = servers.FakeUrl(
        "/enrol-agreement?drip=6&body=%3Chtml%3E%3Ctitle%3ETerms%3C/title%3E%3Cbody%3EThe%20terms%20of%20service."
        "%3C/body%3E%3C/html%3E");
    Platform(kThreeServices);
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(3);
        // The agreement page's "about:blank" is the second one the trace shows.
        if (!d.TraceHas("DocumentComplete top about:blank", 2)) return;
        HWND agreement = d.Page(true);
        d.Check(agreement && IsWindowVisible(agreement), "no agreement page shown");
        d.Check(!IsWindowEnabled(GetDlgItem(agreement, 1003)), "1003 enabled before the agreement loaded");
        d.TraceHas("DocumentComplete top " + agreementUrl_);
        d.Check(Until([&] { return IsWindowEnabled(GetDlgItem(agreement, 1003)) != FALSE; }), "1003 never enabled");
        PostMessageW(agreement, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(agreement, 1003)));
        d.Check(Until([&] { return IsWindowVisible(d.Page(false)) && !IsWindowVisible(agreement); }),
                "accepting did not go back to the sign-up page");
        d.Event(3);
        d.Check(Until([&] { return IsWindowVisible(agreement) != FALSE; }), "the agreement page did not come back");
        d.Check(d.Page(true) == agreement, "a second agreement page was made");
        PostMessageW(agreement, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(agreement, 1002)));
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(std::string::npos, Log().find("Zum_RegisterUser")) << Log();
}

// Enter and Escape end nothing, on the page or on the main dialog; page command 4 does.
TEST_F(EnrolWizardPages, EnterAndEscapeAreSwallowedAndCommandFourEndsWithOneHundred) {
    Platform(kThreeServices);
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        HWND browser = d.Browser(d.Page(false));
        for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            PostMessageW(browser, WM_KEYDOWN, key, 0);
            PostMessageW(browser, WM_KEYUP, key, 0);
        }
        for (HWND target : {d.main(), d.Page(false)}) {
            PostMessageW(target, WM_COMMAND, IDOK, 0);
            PostMessageW(target, WM_COMMAND, IDCANCEL, 0);
        }
        Sleep(500);
        d.Check(IsWindow(d.main()) && IsWindowVisible(d.Page(false)), "Enter or Escape closed something");
        d.Event(4);
    });
    EXPECT_EQ(100, result);
}

// The caption's close while the sign-up's platform calls are slow: the sign-up still runs
// to its end on the dialog's thread before the pages go, and the wizard returns after it.
TEST_F(EnrolWizardPages, ClosingDuringASlowSignUpWaitsForIt) {
    Platform(std::string(kThreeServices) + "[Delay]\nZum_FindFirstService=800\nZum_SubscribeService=300\n");
    int result = Run([&](Driver& d) {
        d.TraceHas("DocumentComplete top " + signUpUrl_);
        d.Event(0, "user=hasty");
        d.Event(1);
        if (!d.LogHas("Zum_Login(0)")) return;
        PostMessageW(d.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(1, result);
    std::string log = Log();
    EXPECT_EQ("", MissingInOrder(log, {"Zum_RegisterUser(user=hasty,null)", "Zum_Login(0)", "Zum_FindFirstService(",
                                       "Zum_SubscribeService(11,", "Zum_FindServiceClose("}));
    // Nothing of the sign-up runs any more.
    Sleep(500);
    EXPECT_EQ(log, Log());
    EXPECT_EQ(nullptr, FindWindowW(L"#32770", L"注册"));
}

}  // namespace
