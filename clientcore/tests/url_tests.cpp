// Page addresses, notices and the configuration files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "CcoTestApi.h"
#include "TestSupport.h"
#include "Text.h"

using namespace cctest;

namespace {

class Urls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Cco().module);
        ASSERT_NE(nullptr, Stub().Reset);
        Stub().Reset();
    }
};

std::string ProgramFolderA() {
    std::string dir = vantor::WideToAnsi(testkit::ProgramDir());
    return dir.substr(0, dir.size() - 1);
}

bool AllBytes(const void* p, size_t n, unsigned char value) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) {
        if (b[i] != value) return false;
    }
    return true;
}

TEST_F(Urls, RemoteAddressesFromConfigurationAndPlatform) {
    RemoteUrlInfoA a;
    memset(&a, 0x5A, sizeof a);
    EXPECT_EQ(7, Cco().GetRemoteUrlA(0, &a));
    EXPECT_EQ(7, Cco().GetRemoteUrlA(5, &a));
    EXPECT_EQ(7, Cco().GetRemoteUrlA(1, nullptr));
    EXPECT_TRUE(AllBytes(&a, sizeof a, 0x5A));

    EXPECT_EQ(0, Cco().GetRemoteUrlA(3, &a));
    EXPECT_STREQ("http://127.0.0.1:8600/readpay/index.htm", a.url);
    EXPECT_TRUE(AllBytes(a.text, sizeof a.text + sizeof a.raw, 0x5A)) << "only the address is written";
    EXPECT_EQ(0, Cco().GetRemoteUrlA(4, &a));
    EXPECT_STREQ("http://127.0.0.1:8600/onlinehelp//index.html", a.url) << "no suite id before a login";
    EXPECT_EQ(0, CountCalls("Zum_GetDIYInfo"));

    Stub().Set("DIY", "indexurl", A("http://127.0.0.1/首页.htm").c_str());
    Stub().Set("DIY", "indexurl.text", A("首页").c_str());
    Stub().Set("DIY", "indexurl.raw", "0123456789");
    EXPECT_EQ(0, Cco().GetRemoteUrlA(1, &a));
    EXPECT_EQ(A("http://127.0.0.1/首页.htm"), a.url);
    EXPECT_EQ(A("首页"), a.text);
    EXPECT_EQ(0, memcmp(a.raw, "0123456789", 10));
    EXPECT_TRUE(LogHas("Zum_GetDIYInfo(indexurl,1)=2147483647")) << ZumLog();

    RemoteUrlInfoW w;
    memset(&w, 0x5A, sizeof w);
    EXPECT_EQ(0, Cco().GetRemoteUrlW(1, &w));
    EXPECT_EQ(W("http://127.0.0.1/首页.htm"), w.url);
    EXPECT_EQ(W("首页"), w.text);
    EXPECT_EQ(0, memcmp(w.raw, "0123456789", 10));
    EXPECT_EQ(0, Cco().GetRemoteUrlW(3, &w));
    EXPECT_EQ(L"http://127.0.0.1:8600/readpay/index.htm", std::wstring(w.url));

    // The W form keeps the caller's second text when the platform has none.
    Stub().Set("DIY", "payfeeurl.text", "");
    memset(&w, 0, sizeof w);
    w.text[0] = L'K';
    EXPECT_EQ(0, Cco().GetRemoteUrlW(2, &w));
    EXPECT_EQ(L"web\\payfee.htm", std::wstring(w.url));
    EXPECT_EQ(L'K', w.text[0]);

    // A platform failure: mapped code, its text, nothing written.
    Stub().Set("Fail", "Zum_GetDIYInfo", "-7");
    Stub().Set("Errors", "Zum_GetDIYInfo", A("地址未配置").c_str());
    memset(&a, 0x5A, sizeof a);
    memset(&w, 0x5A, sizeof w);
    EXPECT_EQ(39993, Cco().GetRemoteUrlA(2, &a));
    EXPECT_EQ(A("地址未配置"), Cco().GetLastMsg());
    EXPECT_EQ(39993, Cco().GetRemoteUrlW(1, &w));
    EXPECT_TRUE(AllBytes(&a, sizeof a, 0x5A));
    EXPECT_TRUE(AllBytes(&w, sizeof w, 0x5A));
}

TEST_F(Urls, BulletinAdvertisingAndNoticesBeforeALogin) {
    char a[CCO_URL_OUT_CHARS];
    WCHAR w[CCO_URL_OUT_CHARS];
    EXPECT_EQ(1, Cco().GetBulletinUrlA(a));
    EXPECT_EQ(ProgramFolderA() + "\\web\\Callboard\\index.htm", a);
    EXPECT_EQ(1, Cco().GetBulletinUrlW(w));
    EXPECT_EQ(vantor::AnsiToWide(ProgramFolderA() + "\\web\\Callboard\\index.htm"), w);
    EXPECT_EQ(1, Cco().GetAdvertisingUrlA(a));
    EXPECT_STREQ("http://127.0.0.1:8600/ad//index.htm", a);
    EXPECT_EQ(1, Cco().GetAdvertisingUrlW(w));
    EXPECT_EQ(L"http://127.0.0.1:8600/ad//index.htm", std::wstring(w));
    EXPECT_EQ(0, Cco().GetBulletinUrlA(nullptr));
    EXPECT_EQ(0, Cco().GetAdvertisingUrlW(nullptr));

    UINT n = 9;
    EXPECT_EQ(0, Cco().GetVantorMessenger(nullptr, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(20, Cco().GetVantorMessenger(nullptr, nullptr));
    EXPECT_EQ(0, CountCalls("Zum_GetNotice")) << "no platform call before a login";
}

TEST(UrlsProcess, MissingFilesKeysAndOverlongValues) {
    EXPECT_TRUE(RunChild(testkit::FreshDir(L"cco-config"), "config", "ConfigChild.*", L"zumbase.dll"));
}

void WriteConfig(const std::wstring& file, const std::string& text) {
    std::wstring dir = testkit::ProgramDir() + L"config\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    ASSERT_TRUE(testkit::WriteFileBytes(dir + file, text));
}

TEST(ConfigChild, MissingFilesKeysAndOverlongValues) {
    if (!ChildMode("config")) GTEST_SKIP() << "child run only";
    CcoApi& c = Cco();
    std::string folder = vantor::WideToAnsi(testkit::ProgramDir());
    folder.pop_back();

    // No configuration at all: defaults, and the platform is still asked.
    ASSERT_EQ(0, c.IsAlive(nullptr));
    EXPECT_TRUE(LogHas("Zum_SetServerURL()=2147483647")) << ZumLog();
    EXPECT_TRUE(LogHas("Zum_Connect(HQ730,)=2147483647")) << ZumLog();
    RemoteUrlInfoA r = {};
    EXPECT_EQ(0, c.GetRemoteUrlA(3, &r));
    EXPECT_STREQ("", r.url);
    EXPECT_EQ(0, c.GetRemoteUrlA(4, &r));
    EXPECT_STREQ("onlinehelp//index.html", r.url);
    char out[CCO_URL_OUT_CHARS + 16];
    memset(out, 0x5A, sizeof out);
    EXPECT_EQ(1, c.GetBulletinUrlA(out));
    EXPECT_EQ(folder + "\\web\\Callboard\\index.htm", out);

    // Present files, keys missing: each default on its own.
    WriteConfig(L"commprof.cfg", "[CommonUrl]\r\nAdUrl=http://ad/\r\n");
    WriteConfig(L"version.cfg", "[Product]\r\nbuild=7\r\n");
    Stub().ClearLog();
    ASSERT_EQ(0, c.IsAlive(nullptr));
    EXPECT_TRUE(LogHas("Zum_Connect(HQ730,)=2147483647")) << ZumLog();
    EXPECT_EQ(1, c.GetAdvertisingUrlA(out));
    EXPECT_STREQ("http://ad//index.htm", out);

    // Values longer than their buffers are cut, never written past the caller's record.
    const std::string longUrl(400, 'u'), longType(100, 't'), longVersion(80, '9'), help(300, 'h'), ad(300, 'a');
    WriteConfig(L"commprof.cfg", "[CommonUrl]\r\nZumUrl=" + longUrl + "\r\nonlinehelp=" + help + "\r\nAdUrl=" + ad +
                                     "\r\nReadPayUrl=" + A("http://127.0.0.1/缴费说明.htm") +
                                     "\r\n[ClientType]\r\ncClientType=" + longType + "\r\n");
    WriteConfig(L"version.cfg", "[Product]\r\nversion=" + longVersion + "\r\n");
    Stub().ClearLog();
    ASSERT_EQ(0, c.IsAlive(nullptr));
    EXPECT_TRUE(LogHas("Zum_SetServerURL(" + std::string(259, 'u') + ")=2147483647")) << ZumLog();
    EXPECT_TRUE(LogHas("Zum_Connect(" + std::string(63, 't') + "," + std::string(63, '9') + ")=2147483647"));

    memset(&r, 0x5A, sizeof r);
    EXPECT_EQ(0, c.GetRemoteUrlA(4, &r));
    EXPECT_EQ(std::string(259, 'h'), std::string(r.url));
    EXPECT_EQ(0x5A, static_cast<unsigned char>(r.text[0]));
    RemoteUrlInfoW rw;
    memset(&rw, 0x5A, sizeof rw);
    EXPECT_EQ(0, c.GetRemoteUrlW(4, &rw));
    EXPECT_EQ(std::wstring(259, L'h'), std::wstring(rw.url));
    EXPECT_EQ(0, c.GetRemoteUrlA(3, &r));
    EXPECT_EQ(A("http://127.0.0.1/缴费说明.htm"), r.url);
    EXPECT_EQ(0, c.GetRemoteUrlW(3, &rw));
    EXPECT_EQ(W("http://127.0.0.1/缴费说明.htm"), rw.url);

    memset(out, 0x5A, sizeof out);
    EXPECT_EQ(1, c.GetAdvertisingUrlA(out));
    EXPECT_EQ(std::string(259, 'a') + "/index.htm", out);
    EXPECT_EQ(0x5A, static_cast<unsigned char>(out[CCO_URL_OUT_CHARS]));
    ChildDone();
}

}  // namespace
