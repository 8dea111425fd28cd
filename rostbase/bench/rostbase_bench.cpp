// Load and update timings of a 5,000-friend contact book, next to bare MSXML 3.0 work on
// the same text. Run from the staged program folder; prints milliseconds and ratios.
#include <windows.h>

#include <cstdio>
#include <string>

#include "../tests/RostApi.h"
#include "BenchBook.h"
#include "Handles.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"

namespace {

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main() {
    vantor::ScopedCom com;
    RostApi& api = RostApi::Get();
    if (api.resolved != 71) {
        std::printf("RostBase.dll not found\n");
        return 1;
    }
    std::wstring dir = testkit::FreshDir(L"rb_bench");
    std::wstring account = dir.substr(testkit::ProgramDir().size());
    account.pop_back();
    std::wstring path = dir + L"rostledger.xml";
    std::wstring text = testkit::BenchmarkBook();
    std::string bytes = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + vantor::EncodeText(text, 936);
    testkit::WriteFileBytes(path, bytes);
    std::printf("contact file: %zu bytes, 5000 friends\n", bytes.size());

    const int rounds = 5;
    double bare = 1e9, store = 1e9, bareSave = 1e9, modify = 1e9;
    for (int i = 0; i < rounds; ++i) {
        double t0 = Now();
        vantor::xml::XmlDoc doc;
        doc.LoadText(text);
        double t1 = Now();
        VARIANT target;
        VariantInit(&target);
        target.vt = VT_BSTR;
        target.bstrVal = SysAllocString((dir + L"bare.xml").c_str());
        doc.get()->save(target);
        VariantClear(&target);
        double t2 = Now();
        bare = std::min(bare, t1 - t0);
        bareSave = std::min(bareSave, t2 - t0);

        double t3 = Now();
        RostBaseHandle h = api.LoadW(account.c_str());
        double t4 = Now();
        store = std::min(store, t4 - t3);
        FriendHandle e = api.IsUserInFriendsW(h, L"13900004999", nullptr);
        FriendInfoW info = {};
        api.GetFriendInfoW(h, e, &info);
        wsprintfW(info.nickname, L"改名%d", i);
        double t5 = Now();
        BOOL ok = api.ModifyFriendW(h, e, &info);
        double t6 = Now();
        modify = std::min(modify, t6 - t5);
        api.Unload(h);
        if (!ok || !e) std::printf("modification failed\n");
    }
    std::printf("bare MSXML load of the text:       %8.1f ms\n", bare);
    std::printf("RostBase_LoadW of the file:        %8.1f ms  (%.2fx the bare load; goal 1.5x)\n", store, store / bare);
    std::printf("bare MSXML load and save:          %8.1f ms\n", bareSave);
    std::printf("one friend modified, file updated: %8.1f ms  (%.2fx the bare load and save; goal 2x)\n", modify,
                modify / bareSave);
    return 0;
}
