// DoRegister as the home pane calls it: each run is a child copy of this program in a
// program folder of the pane rig, signed in to ClientCore against a zumbase script, with
// the service pages on nginx. The child notes the result, the boxes it answered and the
// platform's call log in "child.txt".
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "ModulePath.h"
#include "PaneHost.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "SignUp.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/SurfView.h"
#include "outside/zumbase.h"

namespace {

const wchar_t kChildVariable[] = L"SIGNUP_TEST_CHILD";
const wchar_t kShotVariable[] = L"SIGNUP_TEST_SHOT";

std::string Variable(const wchar_t* name) {
    wchar_t value[512] = {};
    GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return vantor::WideToAnsi(value);
}

std::string Script(const std::string& more) {
    return "[Customer]\r\naccount=su601\r\nnickname=su\r\n[Suite]\r\nid=SU\r\n[Services]\r\nlist=19\r\n"
           "[Service.19]\r\nname=x\r\nstate=1\r\ncodes=0\r\n[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n" +
           more;
}

using panetest::Count;

// --- the parent side

struct Outcome {
    std::string child;  // the child's notes
    std::string dir;
    bool ran = false;
};

class SignUpRun {
public:
    explicit SignUpRun(const std::wstring& name) : rig_(name) { EXPECT_TRUE(rig_.Copy(L"SignUp.dll")); }

    testkit::PaneRig& rig() { return rig_; }

    // Pages of "<set>/<sub>" as the service base.
    void ServicePages(const std::string& sub) {
        std::string base = testkit::PublishPages(L"signup");
        ASSERT_FALSE(base.empty());
        WritePrivateProfileStringA("CommonUrl", "ServiceUrl", (base + sub).c_str(),
                                   vantor::WideToAnsi(rig_.dir() + L"config\\commprof.cfg").c_str());
    }

    Outcome Run(const std::string& mode, const std::wstring& shot = L"") {
        Outcome out;
        std::wstring exe = testkit::CopyThisExeTo(rig_.dir());
        EXPECT_FALSE(exe.empty());
        std::wstring shotPath = shot.empty() ? L"" : testkit::ProgramDir() + L"screenshots\\" + shot;
        if (!shot.empty()) CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
        DWORD code = testkit::RunProgram(exe, L"--gtest_filter=SignUpChild.Run", rig_.dir(),
                                         {{kChildVariable, vantor::AnsiToWide(mode)},
                                          {kShotVariable, shotPath},
                                          {L"SURFVIEW_TRACE", rig_.dir() + L"surf.log"}},
                                         60000);
        EXPECT_EQ(0u, code) << "child of " << mode;
        out.child = rig_.Read(L"child.txt");
        out.ran = out.child.find("end\n") != std::string::npos;
        EXPECT_TRUE(out.ran) << out.child;
        return out;
    }

private:
    testkit::PaneRig rig_;
};

TEST(SignUp, OtherServicesApplyAtOnceWithoutAWindow) {
    SignUpRun run(L"signup5");
    run.rig().Platform(Script("[Subscribe]\r\n8=-7\r\n[Errors]\r\nZum_SubscribeService=refused\r\n"));
    Outcome applied = run.Run("5");
    EXPECT_NE(std::string::npos, applied.child.find("result=1\n")) << applied.child;
    EXPECT_NE(std::string::npos, applied.child.find("Zum_SubscribeService(5,info:(null))=2147483647")) << applied.child;
    EXPECT_EQ(std::string::npos, applied.child.find("box")) << applied.child;
    EXPECT_TRUE(run.rig().SurfTrace().empty());

    Outcome refused = run.Run("8");
    EXPECT_NE(std::string::npos, refused.child.find("result=0\n")) << refused.child;
    EXPECT_NE(std::string::npos, refused.child.find("box 注册服务: 服务注册失败，请重试！\n")) << refused.child;
}

TEST(SignUp, GradePageAppliesAndRecordsTheGrade) {
    SignUpRun run(L"signup6");
    run.rig().Platform(Script(""));
    run.ServicePages("");
    CreateDirectoryW((run.rig().dir() + L"su601").c_str(), nullptr);
    run.rig().Write(L"su601\\register.log", "Quilla: an older and longer record\r\n");

    Outcome out = run.Run("6");
    EXPECT_NE(std::string::npos, out.child.find("result=1\n")) << out.child;
    EXPECT_EQ(1u, Count(out.child, "Zum_SubscribeService(6,info:grade=3)=2147483647")) << out.child;
    EXPECT_EQ(vantor::EncodeText(L"Quilla(注册记录)：3", 936), run.rig().Read(L"su601\\register.log"));

    testkit::PaneRig::Lines surf = run.rig().SurfTrace();
    std::string all;
    for (const auto& line : surf) all += line + "\n";
    EXPECT_NE(std::string::npos, all.find("6/apply/index.html")) << all;
    EXPECT_NE(std::string::npos, all.find("script JS_GetGrade(\"6\") -> true")) << all;
    EXPECT_NE(std::string::npos, all.find("uihandler set")) << all;
}

TEST(SignUp, AnotherServiceOnThePageStartsNothing) {
    SignUpRun run(L"signup7");
    run.rig().Platform(Script(""));
    run.ServicePages("seven/");
    Outcome out = run.Run("6 close-after-load");
    EXPECT_NE(std::string::npos, out.child.find("result=2\n")) << out.child;
    EXPECT_EQ(0u, Count(out.child, "Zum_SubscribeService")) << out.child;
}

TEST(SignUp, AfterItsPageClosedTheWindowStillCloses) {
    SignUpRun run(L"signupclosed");
    run.rig().Platform(Script(""));
    run.ServicePages("closing/");
    Outcome out = run.Run("6 close-after-page-closed");
    EXPECT_NE(std::string::npos, out.child.find("page closed\n")) << out.child;
    EXPECT_EQ(std::string::npos, out.child.find("close ignored")) << out.child;
    EXPECT_NE(std::string::npos, out.child.find("result=2\n")) << out.child;
    std::string surf;
    for (const auto& line : run.rig().SurfTrace()) surf += line + "\n";
    EXPECT_NE(std::string::npos, surf.find("WindowClosing -> close")) << surf;
}

TEST(SignUp, ClosingDuringASlowApplyEndsAfterTheWorker) {
    SignUpRun run(L"signupslow");
    run.rig().Platform(Script("[Delay]\r\nZum_SubscribeService=2000\r\n"));
    run.ServicePages("");
    Outcome closed = run.Run("6 close-while-busy", L"signup-applying.bmp");
    EXPECT_NE(std::string::npos, closed.child.find("busy seen\n")) << closed.child;
    EXPECT_NE(std::string::npos, closed.child.find("result=2\n")) << closed.child;
    // The second grade event while applying was dropped.
    EXPECT_EQ(1u, Count(closed.child, "Zum_SubscribeService(6,info:grade=3)=2147483647")) << closed.child;
    EXPECT_NE(std::string::npos, closed.child.find("worker done before end\n")) << closed.child;

    Outcome destroyed = run.Run("6 destroy-while-busy");
    EXPECT_NE(std::string::npos, destroyed.child.find("busy seen\n")) << destroyed.child;
    EXPECT_NE(std::string::npos, destroyed.child.find("result=0\n")) << destroyed.child;
    EXPECT_NE(std::string::npos, destroyed.child.find("worker done before end\n")) << destroyed.child;
}

TEST(SignUp, WithoutClientCoreTheWindowEndsWithZero) {
    SignUpRun run(L"signupnocore");
    run.ServicePages("");
    DeleteFileW((run.rig().dir() + L"ClientCore.dll").c_str());
    Outcome out = run.Run("6 nosignin");
    EXPECT_NE(std::string::npos, out.child.find("result=0\n")) << out.child;
    EXPECT_NE(std::string::npos, out.child.find("box 注册服务: 服务注册失败，请重试！\n")) << out.child;
}

// --- the child side

std::string g_notes;
CRITICAL_SECTION g_notesLock;
std::string g_mode;
std::wstring g_shot;
bool g_acted = false;
bool g_busySeen = false;

void Note(const std::string& line) {
    EnterCriticalSection(&g_notesLock);
    g_notes += line + "\n";
    LeaveCriticalSection(&g_notesLock);
}

bool Has(const std::string& word) { return (" " + g_mode + " ").find(" " + word + " ") != std::string::npos; }

// Answers every failure box, noting "box <title>: <text>".
void WatchBoxes(std::atomic<bool>* stop) {
    while (!*stop) {
        HWND box = FindWindowW(L"#32770", L"注册服务");
        if (box) {
            std::string text = panetest::BoxText(box);
            if (text.empty()) {  // still being made
                Sleep(30);
                continue;
            }
            Note("box " + text);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            for (int i = 0; i < 50 && IsWindow(box); ++i) Sleep(20);
        }
        Sleep(30);
    }
}

// A close that did not end the window: noted, and the window ended from outside.
void CALLBACK EndIgnoredClose(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (!FindWindowW(L"#32770", L"服务注册")) return;
    Note("close ignored");
    auto destroy = vantor::ProcAddress<PFN_SignUp_DestroyWnd>(GetModuleHandleW(L"SignUp.dll"), "SignUp_DestroyWnd");
    if (destroy) destroy();
}

void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
    static DWORD started = GetTickCount();
    HWND dialog = FindWindowW(L"#32770", L"服务注册");
    if (!dialog || g_acted) return;
    if (Has("close-after-page-closed")) {
        if (FindWindowExW(dialog, nullptr, L"SurfViewBrowser", nullptr)) return;
        g_acted = true;
        KillTimer(nullptr, timer);
        Note("page closed");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        SetTimer(nullptr, 0, 1500, EndIgnoredClose);
        return;
    }
    bool busy = IsWindowVisible(GetDlgItem(dialog, 1000)) != FALSE;
    if (busy && !g_busySeen) {
        g_busySeen = true;
        Note("busy seen");
    }
    if (Has("close-after-load")) {
        if (GetTickCount() - started < 1500) return;
    } else if (!busy) {
        return;
    }
    g_acted = true;
    KillTimer(nullptr, timer);
    if (busy) {
        // The page asks again while the first apply runs.
        HWND browser = FindWindowExW(dialog, nullptr, L"SurfViewBrowser", nullptr);
        panetest::Click(browser, L"event:<element%20id=%221%22%20a1=%226%22/>");
    }
    if (!g_shot.empty()) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        testkit::SaveBitmapFile(testkit::CaptureWindow(dialog), g_shot);
    }
    if (Has("destroy-while-busy")) {
        auto destroy = vantor::ProcAddress<PFN_SignUp_DestroyWnd>(GetModuleHandleW(L"SignUp.dll"), "SignUp_DestroyWnd");
        destroy();
    } else {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

TEST(SignUpChild, Run) {
    g_mode = Variable(kChildVariable);
    if (g_mode.empty()) GTEST_SKIP() << "runs inside the rig";
    g_shot = vantor::AnsiToWide(Variable(kShotVariable));
    InitializeCriticalSection(&g_notesLock);
    if (!Has("nosignin")) panetest::SignIn();
    HMODULE signUp = vantor::LoadProgramLibrary(L"SignUp.dll");
    ASSERT_NE(nullptr, signUp);
    auto doRegister = vantor::ProcAddress<PFN_DoRegister>(signUp, "DoRegister");
    ASSERT_NE(nullptr, doRegister);

    std::atomic<bool> stop(false);
    std::thread boxes(WatchBoxes, &stop);
    if (Has("close-after-load") || Has("close-while-busy") || Has("destroy-while-busy") || Has("close-after-page-closed")) {
        SetTimer(nullptr, 0, 50, Act);
    }
    int type = atoi(g_mode.c_str());
    int result = doRegister(type, 1, nullptr, nullptr);
    // The worker's last act is its apply's end in the platform log: it must be there already.
    HMODULE zum = GetModuleHandleW(L"zumbase.dll");
    auto log = vantor::ProcAddress<decltype(&ZumStub_GetLog)>(zum, "ZumStub_GetLog");
    std::string platform;
    if (log) {
        platform.resize(static_cast<size_t>(log(nullptr, 0)) + 1);
        platform.resize(static_cast<size_t>(log(&platform[0], static_cast<int>(platform.size()))));
    }
    if (g_busySeen && platform.find("Zum_GetService(6") != std::string::npos) Note("worker done before end");
    Note("result=" + std::to_string(result));
    stop = true;
    boxes.join();
    testkit::WriteFileBytes(vantor::ProgramDir() + L"child.txt", g_notes + platform + "end\n");
}

}  // namespace
