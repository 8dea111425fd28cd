// ClientCore and the zumbase stand-in as the tests reach them: both loaded from the program
// folder, every call resolved by name (or by ordinal where it has no name).
#pragma once

#include <windows.h>
#include <string>

#include "ClientCore.h"
#include "outside/zumbase.h"

namespace cctest {

struct CcoApi {
    HMODULE module = nullptr;
#define CCO_MEMBER(name) decltype(&::Cco_##name) name = nullptr
    CCO_MEMBER(LoginA);
    CCO_MEMBER(LoginW);
    CCO_MEMBER(Logoff);
    CCO_MEMBER(ApplyServiceA);
    CCO_MEMBER(ApplyServiceW);
    CCO_MEMBER(IsAlive);
    CCO_MEMBER(IsForceUpdate);
    CCO_MEMBER(GetLastMsg);
    CCO_MEMBER(GetMessengerUrlA);
    CCO_MEMBER(GetMessengerUrlW);
    CCO_MEMBER(GetVantorMessenger);
    CCO_MEMBER(GetBulletinUrlA);
    CCO_MEMBER(GetBulletinUrlW);
    CCO_MEMBER(GetAdvertisingUrlA);
    CCO_MEMBER(GetAdvertisingUrlW);
    CCO_MEMBER(GetRemoteUrlA);
    CCO_MEMBER(GetRemoteUrlW);
    CCO_MEMBER(GetServiceSuiteId);
    CCO_MEMBER(GetRostBaseHandle);
    CCO_MEMBER(RegisterUserA);
    CCO_MEMBER(RegisterUserW);
    CCO_MEMBER(GetUserPublicInfoA);
    CCO_MEMBER(GetUserPublicInfoW);
    CCO_MEMBER(GetServicePolicysA);
    CCO_MEMBER(GetServicePolicysW);
    CCO_MEMBER(SearchUserA);
    CCO_MEMBER(SearchUserW);
    CCO_MEMBER(GetAccountListA);
    CCO_MEMBER(GetAccountListW);
#undef CCO_MEMBER
};

struct StubApi {
    HMODULE module = nullptr;
    decltype(&::ZumStub_Reset) Reset = nullptr;
    decltype(&::ZumStub_LoadScript) LoadScript = nullptr;
    decltype(&::ZumStub_Set) Set = nullptr;
    decltype(&::ZumStub_GetLog) GetLog = nullptr;
    decltype(&::ZumStub_ClearLog) ClearLog = nullptr;
};

// ClientCore.dll of the program folder, loaded once per process.
CcoApi& Cco();
// The stand-in that ClientCore loaded (loaded first when it has not done so yet); a null
// module when there is no zumbase beside the program.
StubApi& Stub();

// The stand-in's call log, one "name(arguments)=result" line each.
std::string ZumLog();
bool LogHas(const std::string& line);
int CountCalls(const std::string& function);

// Texts for A calls (ANSI code page) and W calls, from UTF-8 literals.
std::string A(const char* utf8);
std::wstring W(const char* utf8);

// Runs this test program again as a child in `dir` (copied there with ClientCore.dll and,
// when given, the stand-in file `zumbase` as zumbase.dll), limited to the tests of `filter`
// in child mode `mode`. True when the child passed and reached its end.
bool RunChild(const std::wstring& dir, const char* mode, const char* filter, const wchar_t* zumbase);
// In a child: whether this run is the child of the given mode.
bool ChildMode(const char* mode);
// In a child: the folder of the parent's program (the staged program folder).
std::wstring ParentProgramDir();
// In a child: marks that the child reached its end.
void ChildDone();

}  // namespace cctest
