// Load and update timings of a 5,000-friend contact book, next to bare MSXML 3.0 work on
// the same text. Run from the staged program folder; prints milliseconds and ratios.
#include <windows.h>

#include <cstdio>
#include <string>

#include "../tests/RostApi.h"
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

std::wstring Book() {
    const wchar_t* surnames = L"张王李赵刘陈杨黄周吴";
    std::wstring text = L"<AddressList version=\"1.0\"><FriendList id=\"1\">";
    int n = 0;
    for (int root = 0; root < 2; ++root) {
        text += root ? L"<Group id=\"11\" name=\"网上好友\">" : L"<Group id=\"10\" name=\"电话好友\">";
        for (int g = 0; g < 25; ++g) {
            text += L"<Group id=\"" + std::to_wstring(root * 100 + g + 100) + L"\" name=\"分组" + std::to_wstring(g) + L"\">";
            for (int f = 0; f < 100; ++f, ++n) {
                std::wstring id = std::to_wstring(13900000000LL + n);
                std::wstring who = std::wstring(1, surnames[n % 10]) + L"先生" + std::to_wstring(n);
                text += L"<Friend id=\"" + id + L"\" nickname=\"" + who + L"\" name=\"" + who +
                        L"\" sex=\"1\" birthday=\"19800101\" email=\"u" + std::to_wstring(n) +
                        L"@mail.cn\" voip=\"8" + std::to_wstring(n) + L"\" phone=\"010" + std::to_wstring(n) +
                        L"\" mobile=\"" + id + L"\" xlt=\"x" + std::to_wstring(n) +
                        L"\" province=\"11\" city=\"北京市海淀区\" age=\"35\"><ServicePolicy id=\"9\" name=\"在线服务\" "
                        L"code0=\"key=value\" status=\"1\"/></Friend>";
            }
            text += L"</Group>";
        }
        text += L"</Group>";
    }
    return text + L"</FriendList><BlackList id=\"0\"/></AddressList>";
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
    std::wstring text = Book();
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
