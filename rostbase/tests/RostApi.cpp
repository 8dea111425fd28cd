#include "RostApi.h"

#include "ModulePath.h"
#include "TestSupport.h"

RostApi& RostApi::Get() {
    static RostApi api = [] {
        RostApi a;
        a.module = vantor::LoadProgramLibrary(L"RostBase.dll");
#define ROST_RESOLVE(n)                                                                     \
    a.n = vantor::ProcAddress<decltype(&RostBase_##n)>(a.module, "RostBase_" #n);           \
    if (a.n) ++a.resolved;
        ROST_CALLS(ROST_RESOLVE)
#undef ROST_RESOLVE
        return a;
    }();
    return api;
}

std::wstring FreshAccount(const wchar_t* name) {
    std::wstring dir = testkit::FreshDir(name);
    std::wstring base = testkit::ProgramDir();
    std::wstring relative = dir.substr(base.size());
    if (!relative.empty() && relative.back() == L'\\') relative.pop_back();
    return relative;
}

std::wstring ContactFileOf(const std::wstring& account) {
    return testkit::ProgramDir() + account + L"\\rostledger.xml";
}
