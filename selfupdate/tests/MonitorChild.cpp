#include "MonitorChild.h"

#include <gtest/gtest.h>

#include <thread>

#include "ClientCore.h"
#include "ModulePath.h"
#include "StagingFiles.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"
#include "outside/zumbase.h"

namespace sutest {

namespace {

const wchar_t kChildVariable[] = L"SELFUPDATE_TEST_CHILD";

}  // namespace

ChildWorld::ChildWorld(const wchar_t* name, const char* suiteName)
    : suite(UniqueSuite(suiteName)), branch("update/" + suite + "/") {
    folder = MakeProgramFolder(name, WebServers::Get().NginxUrl("/update/"), "1.0.0.1");
    testkit::WriteFileBytes(folder + L"\\zum.ini",
                            "[Customer]\r\naccount=su01\r\nnickname=su\r\n[Suite]\r\nid=" + suite +
                                "\r\n[Services]\r\nlist=19\r\n[Service.19]\r\nname=home\r\nstate=1\r\n"
                                "[Catalog]\r\ncount=0\r\n");
}

void ChildWorld::PublishList(const std::vector<ListedFile>& files, const std::string& build) const {
    WriteServed(branch + build + "/update.cfg",
                DescriptionText(WebServers::Get().NginxUrl("/" + branch + build + "/update.xml"), "1.0.0.2"));
    WriteServed(branch + build + "/update.xml", ListText(files));
}

std::string ChildWorld::Serve(const std::string& name, const std::string& bytes, const char* prefix) const {
    WriteServed(branch + "files/" + name, bytes);
    return Url(name, prefix);
}

std::string ChildWorld::Url(const std::string& name, const char* prefix) const {
    return WebServers::Get().NginxUrl(std::string(prefix) + "/" + branch + "files/" + name);
}

std::wstring ChildWorld::Staging(const char* build) const { return folder + L"\\SelfUpdate\\" + Wide(build) + L"\\"; }

void ChildWorld::StageByHand(const std::vector<std::pair<std::string, std::string>>& files) const {
    std::wstring staging = Staging();
    std::vector<ListedFile> listed;
    for (const auto& file : files) {
        std::wstring dest = Wide(file.first);
        size_t slash = dest.rfind(L'\\');
        ASSERT_TRUE(selfupdate::MakeFolders(folder + L"\\",
                                            L"SelfUpdate\\1.0.0.1" + (slash == std::wstring::npos
                                                                           ? std::wstring()
                                                                           : L"\\" + dest.substr(0, slash))));
        ASSERT_TRUE(testkit::WriteFileBytes(staging + dest, file.second));
        listed.push_back({Url("staged-by-hand"), file.first, Md5Of(file.second)});
    }
    testkit::WriteFileBytes(staging + L"update.xml", ListText(listed));
    testkit::WriteFileBytes(staging + L"update.cfg", DescriptionText(Url("list"), "1.0.0.2"));
    testkit::WriteFileBytes(staging + L"staged.cfg", "[Download]\r\nComplete=1\r\n");
}

DWORD RunChildCode(const std::wstring& folder, const char* mode, const char* filter, const wchar_t* timing,
                   const std::wstring& exe) {
    std::wstring dir = folder + L"\\";
    // A copy another child of this folder runs stays as it is.
    std::wstring copy = dir + testkit::ThisExeName();
    if (!Exists(copy) && testkit::CopyThisExeTo(dir).empty()) return testkit::kProgramDidNotStart;
    for (const wchar_t* file : {L"SelfUpdate.dll", L"WebFetch.dll", L"Md5.dll", L"ClientCore.dll", L"zumbase.dll"}) {
        // A library the parent already put there (a newer one) stays.
        if (GetFileAttributesW((dir + file).c_str()) == INVALID_FILE_ATTRIBUTES &&
            !testkit::CopyFromProgramDir(dir, file)) {
            return testkit::kProgramDidNotStart;
        }
    }
    std::wstring start = exe.empty() ? copy : exe;
    std::wstring startDir = start.substr(0, start.rfind(L'\\') + 1);
    return testkit::RunProgram(start, L"--gtest_filter=" + vantor::AnsiToWide(filter), startDir,
                               {{kChildVariable, vantor::AnsiToWide(mode)}, {L"SELFUPDATE_TEST_TIMING", timing}},
                               120000);
}

bool RunChild(const std::wstring& folder, const char* mode, const char* filter, const wchar_t* timing) {
    DeleteFileW((folder + L"\\child-done").c_str());
    return RunChildCode(folder, mode, filter, timing) == 0 && Exists(folder + L"\\child-done");
}

bool ChildMode(const char* mode) {
    wchar_t value[64] = {};
    GetEnvironmentVariableW(kChildVariable, value, 64);
    return vantor::WideToAnsi(value) == mode;
}

std::wstring Here() {
    std::wstring folder = testkit::ProgramDir();
    folder.pop_back();
    return folder;
}

void ChildDone() { testkit::WriteFileBytes(Here() + L"\\child-done", "done"); }

Exports::Exports()
    : module(vantor::LoadProgramLibrary(L"SelfUpdate.dll")),
      Begin(vantor::ProcAddress<decltype(&Upgrade_BeginMonitor)>(module, "Upgrade_BeginMonitor")),
      Stop(vantor::ProcAddress<decltype(&Upgrade_StopMonitor)>(module, "Upgrade_StopMonitor")) {}

void SignIn() {
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    ASSERT_NE(nullptr, core);
    auto isAlive = vantor::ProcAddress<decltype(&Cco_IsAlive)>(core, "Cco_IsAlive");
    auto login = vantor::ProcAddress<decltype(&Cco_LoginA)>(core, "Cco_LoginA");
    auto suite = vantor::ProcAddress<decltype(&Cco_GetServiceSuiteId)>(core, "Cco_GetServiceSuiteId");
    ASSERT_TRUE(isAlive && login && suite);
    HMODULE zum = vantor::LoadProgramLibrary(L"zumbase.dll");
    auto load = vantor::ProcAddress<decltype(&ZumStub_LoadScript)>(zum, "ZumStub_LoadScript");
    ASSERT_NE(nullptr, load);
    ASSERT_NE(0, load(vantor::WideToAnsi(Here() + L"\\zum.ini").c_str()));
    int result = -1;
    std::thread([&] {
        isAlive(nullptr);
        result = login(0, 0, 0, nullptr, nullptr);
    }).join();
    ASSERT_EQ(0, result);
    ASSERT_STRNE("", suite());
}

int MonitorWindows() {
    int n = 0;
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, SELFUPDATE_WINDOW_CLASS, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, SELFUPDATE_WINDOW_CLASS, nullptr)) {
        ++n;
    }
    return n;
}

std::wstring ChildStaging(const char* build) { return Here() + L"\\SelfUpdate\\" + Wide(build) + L"\\"; }

bool Complete(const char* build) {
    return GetPrivateProfileIntW(L"Download", L"Complete", 0, (ChildStaging(build) + L"staged.cfg").c_str()) == 1;
}

std::wstring Build() {
    wchar_t build[64] = {};
    GetPrivateProfileStringW(L"Product", L"build", L"", build, 64, (Here() + L"\\config\\version.cfg").c_str());
    return build;
}

}  // namespace sutest
