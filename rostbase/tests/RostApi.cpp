#include "RostApi.h"

#include <atomic>

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
    // An account names one folder right under the program folder.
    static std::atomic<int> counter{0};
    std::wstring account = std::wstring(L"rbtest-") + name + L"-" + std::to_wstring(++counter);
    std::wstring dir = testkit::ProgramDir() + account;
    testkit::RemoveTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return account;
}

std::wstring ContactFileOf(const std::wstring& account) {
    return testkit::ProgramDir() + account + L"\\rostledger.xml";
}

GroupHandle GroupById(RostBaseHandle h, const wchar_t* id) {
    struct Search {
        RostBaseHandle h;
        const wchar_t* id;
        GroupHandle found;
    } search = {h, id, nullptr};
    RostApi::Get().EnumGroup(h, 3, [](GroupHandle g, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(u);
        GroupInfoW info = {};
        RostApi::Get().GetGroupInfoW(s->h, g, &info);
        if (lstrcmpW(info.id, s->id) == 0 && !s->found) s->found = g;
        return TRUE;
    }, reinterpret_cast<UINT_PTR>(&search));
    return search.found;
}
