// Which platform addresses the client hands to the shell.
#include <gtest/gtest.h>

#include "WebAddress.h"

using vantor::IsWebAddress;

TEST(WebAddress, OnlyHttpAndHttpsAddressesAreOpened) {
    EXPECT_TRUE(IsWebAddress("http://127.0.0.1/pay/index.aspx?id=1"));
    EXPECT_TRUE(IsWebAddress("HTTPS://pay.example/"));
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
    EXPECT_FALSE(vantor::OpenWebAddress(nullptr, "cmd.exe")) << "refused without asking the shell";
}
