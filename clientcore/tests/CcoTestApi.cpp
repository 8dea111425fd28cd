#include "CcoTestApi.h"

#include <cstdlib>
#include <cstring>

#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"

namespace cctest {

namespace {

template <typename Fn>
void Resolve(HMODULE module, Fn* slot, const char* name) {
    *slot = vantor::ProcAddress<Fn>(module, name);
}

}  // namespace

CcoApi& Cco() {
    static CcoApi api;
    if (api.module) return api;
    api.module = vantor::LoadProgramLibrary(L"ClientCore.dll");
#define CCO_RESOLVE(name) Resolve(api.module, &api.name, "Cco_" #name)
    CCO_RESOLVE(LoginA);
    CCO_RESOLVE(LoginW);
    CCO_RESOLVE(Logoff);
    CCO_RESOLVE(ApplyServiceA);
    CCO_RESOLVE(ApplyServiceW);
    CCO_RESOLVE(IsAlive);
    CCO_RESOLVE(IsForceUpdate);
    CCO_RESOLVE(GetLastMsg);
    CCO_RESOLVE(GetMessengerUrlA);
    CCO_RESOLVE(GetMessengerUrlW);
    CCO_RESOLVE(GetVantorMessenger);
    CCO_RESOLVE(GetBulletinUrlA);
    CCO_RESOLVE(GetBulletinUrlW);
    CCO_RESOLVE(GetAdvertisingUrlA);
    CCO_RESOLVE(GetAdvertisingUrlW);
    CCO_RESOLVE(GetRemoteUrlA);
    CCO_RESOLVE(GetRemoteUrlW);
    CCO_RESOLVE(GetServiceSuiteId);
    CCO_RESOLVE(RegisterUserA);
    CCO_RESOLVE(RegisterUserW);
    CCO_RESOLVE(GetUserPublicInfoA);
    CCO_RESOLVE(GetUserPublicInfoW);
    CCO_RESOLVE(GetServicePolicysA);
    CCO_RESOLVE(GetServicePolicysW);
    CCO_RESOLVE(SearchUserA);
    CCO_RESOLVE(SearchUserW);
    CCO_RESOLVE(GetAccountListA);
    CCO_RESOLVE(GetAccountListW);
#undef CCO_RESOLVE
    Resolve(api.module, &api.GetRostBaseHandle, MAKEINTRESOURCEA(27));
    return api;
}

StubApi& Stub() {
    static StubApi api;
    if (api.module) return api;
    // The same file ClientCore finds by its bare name: one module in the process.
    api.module = vantor::LoadProgramLibrary(L"zumbase.dll");
    Resolve(api.module, &api.Reset, "ZumStub_Reset");
    Resolve(api.module, &api.LoadScript, "ZumStub_LoadScript");
    Resolve(api.module, &api.Set, "ZumStub_Set");
    Resolve(api.module, &api.GetLog, "ZumStub_GetLog");
    Resolve(api.module, &api.ClearLog, "ZumStub_ClearLog");
    return api;
}

std::string ZumLog() {
    StubApi& s = Stub();
    if (!s.GetLog) return std::string();
    int n = s.GetLog(nullptr, 0);
    std::string log(static_cast<size_t>(n) + 1, '\0');
    s.GetLog(&log[0], n + 1);
    log.resize(static_cast<size_t>(n));
    return log;
}

bool LogHas(const std::string& line) { return ("\n" + ZumLog()).find("\n" + line + "\n") != std::string::npos; }

int CountCalls(const std::string& function) {
    std::string log = "\n" + ZumLog();
    int n = 0;
    for (size_t at = log.find("\n" + function + "("); at != std::string::npos;
         at = log.find("\n" + function + "(", at + 1)) {
        ++n;
    }
    return n;
}

std::string A(const char* utf8) { return testkit::Ansi(utf8); }
std::wstring W(const char* utf8) { return testkit::Wide(utf8); }

bool RunChild(const std::wstring& dir, const char* mode, const char* filter, const wchar_t* zumbase) {
    std::wstring exe = testkit::CopyThisExeTo(dir);
    if (exe.empty()) return false;
    if (!testkit::CopyFromProgramDir(dir, L"ClientCore.dll")) return false;
    if (zumbase && !testkit::CopyFromProgramDir(dir, zumbase, L"zumbase.dll")) return false;

    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=" + vantor::AnsiToWide(filter), dir,
                                     {{L"CCO_TEST_CHILD", vantor::AnsiToWide(mode)},
                                      {L"CCO_TEST_PARENT", testkit::ProgramDir()}});
    return code == 0 && GetFileAttributesW((dir + L"child-done").c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ChildMode(const char* mode) {
    char value[64] = {};
    GetEnvironmentVariableA("CCO_TEST_CHILD", value, sizeof value);
    return strcmp(value, mode) == 0;
}

std::wstring ParentProgramDir() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(L"CCO_TEST_PARENT", value, MAX_PATH);
    return value;
}

void ChildDone() { testkit::WriteFileBytes(testkit::ProgramDir() + L"child-done", "done"); }

}  // namespace cctest
