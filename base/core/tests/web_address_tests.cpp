// How the client reads web addresses, and which ones it hands to the shell.
#include <gtest/gtest.h>

#include "DeviceName.h"
#include "WebAddress.h"

using vantor::IsWebAddress;
using vantor::SplitWebAddress;
using vantor::WebAddressParts;

TEST(WebAddress, OnlyHttpAndHttpsAddressesAreOpened) {
    EXPECT_TRUE(IsWebAddress("http://127.0.0.1/pay/index.aspx?id=1"));
    EXPECT_TRUE(IsWebAddress("HTTPS://pay.example/"));
    EXPECT_TRUE(IsWebAddress("http://pay.example"));
    EXPECT_FALSE(IsWebAddress("C:\\Windows\\System32\\calc.exe"));
    EXPECT_FALSE(IsWebAddress("file:///C:/Windows/System32/calc.exe"));
    EXPECT_FALSE(IsWebAddress("\\\\host\\share\\run.exe"));
    EXPECT_FALSE(IsWebAddress("calc"));
    EXPECT_FALSE(IsWebAddress("javascript:alert(1)"));
    EXPECT_FALSE(IsWebAddress(" http://127.0.0.1/")) << "leading blank";
    EXPECT_FALSE(IsWebAddress("http://"));
    EXPECT_FALSE(IsWebAddress("http:///etc"));
    EXPECT_FALSE(IsWebAddress("http://127.0.0.1/a\" --other-option"));
    EXPECT_FALSE(IsWebAddress("http://127.0.0.1/a b"));
    // A scheme followed by no host.
    for (const char* hostless : {"http://?x", "http://:80/", "http://@/", "http://#a", "https://:443"}) {
        EXPECT_FALSE(IsWebAddress(hostless)) << hostless;
    }
    EXPECT_FALSE(vantor::OpenWebAddress(nullptr, "cmd.exe")) << "refused without asking the shell";
}

TEST(WebAddress, OneReadingOfHostPortAndPath) {
    struct Case {
        const wchar_t* address;
        const wchar_t* scheme;
        const wchar_t* host;
        unsigned port;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"http://up.test/files/a.dll", L"http", L"up.test", 0, L"/files/a.dll"},
        {L"HTTP://Up.Test:8080/x?y=1#z", L"http", L"Up.Test", 8080, L"/x?y=1"},
        // The host ends at "?" and "#" too: nothing behind them names a port or a host.
        {L"http://up.test#:6082/x", L"http", L"up.test", 0, L"/"},
        {L"http://up.test?:6082/x", L"http", L"up.test", 0, L"/?:6082/x"},
        {L"https://up.test", L"https", L"up.test", 0, L"/"},
        {L"127.0.0.1:8080/x", L"", L"127.0.0.1", 8080, L"/x"},
        {L"http://[::1]:81/x", L"http", L"[::1]", 81, L"/x"},
        {L"http://[::1]/x", L"http", L"[::1]", 0, L"/x"},
    };
    for (const Case& c : cases) {
        WebAddressParts parts;
        ASSERT_TRUE(SplitWebAddress(c.address, &parts)) << c.address;
        EXPECT_EQ(c.scheme, parts.scheme) << c.address;
        EXPECT_EQ(c.host, parts.host) << c.address;
        EXPECT_EQ(c.port, parts.port) << c.address;
        EXPECT_EQ(c.path, parts.path) << c.address;
    }
    for (const wchar_t* bad : {L"http://", L"http://:80/", L"http://?x", L"http://@/", L"http://a@b/",
                               L"http://up.test:/x", L"http://up.test:0/x", L"http://up.test:65536/x",
                               L"http://up.test:8o/x", L"http://%75p.test/", L"http://up.test\\@x/", L"http://a b/",
                               L"ftp://up.test/x", L"file:///C:/x", L"javascript:alert(1)"}) {
        WebAddressParts parts;
        EXPECT_FALSE(SplitWebAddress(bad, &parts)) << bad;
    }
}

TEST(DeviceNames, EveryDeviceInAnyCaseAndWithAnyExtension) {
    for (const wchar_t* device : {L"CON", L"prn", L"Aux", L"nul.txt", L"NUL .tar.gz", L"conin$", L"CONOUT$.log",
                                  L"clock$", L"COM0", L"com9.dll", L"LPT0", L"lpt5", L"COM\u00B9", L"lpt\u00B3.txt"}) {
        EXPECT_TRUE(vantor::IsDeviceName(device)) << device;
    }
    for (const wchar_t* file : {L"", L"CONSOLE.txt", L"COM10", L"LPT", L"com\u00B4", L"nul_", L"auxx.dll",
                                L"x.con", L"clock", L"a.nul"}) {
        EXPECT_FALSE(vantor::IsDeviceName(file)) << file;
    }
}
