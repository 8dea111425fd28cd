// The wizard's windows: opened modally, both pages shown, closed from outside.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "EnrolWizard.h"
#include "Screenshot.h"
#include "TestSupport.h"

namespace {

struct Watch {
    bool sawMain = false;
    bool savedSignUp = false;
    bool savedAgreement = false;
};

void Shoot(HWND wnd, const wchar_t* name, bool* saved) {
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    *saved = testkit::SaveBitmapFile(testkit::CaptureWindow(wnd), testkit::ProgramDir() + L"screenshots\\" + name);
}

DWORD WINAPI Watcher(void* arg) {
    Watch* watch = static_cast<Watch*>(arg);
    HWND main = nullptr;
    for (int i = 0; i < 200 && !main; ++i) {
        main = FindWindowW(L"#32770", L"注册");
        if (!main) Sleep(50);
    }
    if (!main) return 0;
    watch->sawMain = true;
    Sleep(800);
    Shoot(main, L"enrolwizard_signup.bmp", &watch->savedSignUp);
    PostMessageW(main, 5120, 2, 0);
    Sleep(800);
    Shoot(main, L"enrolwizard_agreement.bmp", &watch->savedAgreement);
    // The caption's close, as the user would.
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

TEST(EnrolWizardDialog, ShowsBothPagesAndClosesWithNoResult) {
    HMODULE wizard = LoadLibraryW((testkit::ProgramDir() + L"EnrolWizard.dll").c_str());
    ASSERT_NE(nullptr, wizard);
    auto setPara = reinterpret_cast<decltype(&ZumEX_SetRegWizardPara)>(
        reinterpret_cast<void*>(GetProcAddress(wizard, "ZumEX_SetRegWizardPara")));
    auto run = reinterpret_cast<decltype(&ZumEX_RegisterWizard)>(
        reinterpret_cast<void*>(GetProcAddress(wizard, "ZumEX_RegisterWizard")));
    ASSERT_TRUE(setPara && run);
    setPara("", "about:blank", "about:blank");

    Watch watch;
    HANDLE thread = CreateThread(nullptr, 0, Watcher, &watch, 0, nullptr);
    EXPECT_EQ(0, run("a", "b"));
    WaitForSingleObject(thread, 15000);
    CloseHandle(thread);
    EXPECT_TRUE(watch.sawMain);
    EXPECT_TRUE(watch.savedSignUp);
    EXPECT_TRUE(watch.savedAgreement);
    FreeLibrary(wizard);
}

}  // namespace
