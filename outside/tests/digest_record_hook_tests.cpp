// Md5, Toolcrate and HookRelay, each loaded by file name from the program folder as their
// callers do.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ContactRecords.h"
#include "Handles.h"
#include "ModulePath.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "outside/HookRelay.h"
#include "outside/Md5.h"
#include "outside/Toolcrate.h"

namespace {

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return vantor::ProcAddress<Fn>(module, name);
}

std::string Digest(HMODULE md5, const std::string& text, size_t chunk) {
    MD5_CTX ctx;
    Proc<PFN_MD5Init>(md5, "MD5Init")(&ctx);
    auto update = Proc<PFN_MD5Update>(md5, "MD5Update");
    for (size_t at = 0; at < text.size(); at += chunk) {
        size_t n = std::min(chunk, text.size() - at);
        update(&ctx, reinterpret_cast<const unsigned char*>(text.data() + at), static_cast<unsigned>(n));
    }
    unsigned char digest[16];
    Proc<PFN_MD5Final>(md5, "MD5Final")(digest, &ctx);
    char hex[33] = {};
    Proc<PFN_BIN2BCDlower>(md5, "BIN2BCDlower")(digest, hex, 32);
    return hex;
}

TEST(Md5, GivesTheStandardDigestsInAnyChunking) {
    vantor::UniqueModule md5(vantor::LoadProgramLibrary(L"Md5.dll"));
    ASSERT_TRUE(md5);
    const std::pair<const char*, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(v.second, Digest(md5.get(), v.first, 1000)) << v.first;
        EXPECT_EQ(v.second, Digest(md5.get(), v.first, 7)) << v.first;
    }
    // A file read in 512-byte blocks and a tail, as the upgrade monitor does.
    std::string big(512 * 3 + 100, 'x');
    EXPECT_EQ(Digest(md5.get(), big, 512), Digest(md5.get(), big, big.size()));

    // Fewer digits than 32 asked: nothing written past them.
    unsigned char digest[16];
    memset(digest, 0xAB, sizeof(digest));
    char out[8];
    memset(out, '#', sizeof(out));
    Proc<PFN_BIN2BCDlower>(md5.get(), "BIN2BCDlower")(digest, out, 5);
    EXPECT_EQ(std::string("abababa#", 8).substr(0, 5) + "###", std::string(out, 8));
    // Null arguments change nothing and do not crash.
    Proc<PFN_MD5Init>(md5.get(), "MD5Init")(nullptr);
    Proc<PFN_MD5Update>(md5.get(), "MD5Update")(nullptr, nullptr, 3);
    Proc<PFN_MD5Final>(md5.get(), "MD5Final")(nullptr, nullptr);
}

TEST(Toolcrate, ConvertsTheWideRecordFieldByField) {
    vantor::UniqueModule lib(vantor::LoadProgramLibrary(L"Toolcrate.dll"));
    ASSERT_TRUE(lib);
    auto convert = Proc<PFN_CopyAddressFriendW2A>(lib.get(), "CopyAddressFriendW2A");
    ASSERT_NE(nullptr, convert);

    FriendInfoW in;
    ZeroMemory(&in, sizeof(in));
    wcscpy(in.id, L"10001");
    wcscpy(in.city, testkit::Wide("电话好友").c_str());
    // A field that fills its whole width without a terminator.
    for (int i = 0; i < 24; ++i) in.name[i] = L'n';
    // Twelve Chinese characters need 24 bytes: only eleven fit in 23.
    wcscpy(in.nickname, testkit::Wide("北京北京北京北京北京北京").c_str());
    in.age = 33;
    in.sex = 2;
    wcscpy(in.email, L"a@b.c");
    in.status.status = 1;
    in.status.publicIp = 0x0100007F;
    in.status.publicPort = 4000;

    FriendInfoA out;
    memset(&out, 0x5A, sizeof(out));
    ASSERT_TRUE(convert(&in, &out));
    EXPECT_STREQ("10001", out.id);
    EXPECT_EQ(testkit::Ansi("北京北京北京北京北京北"), out.nickname);
    EXPECT_EQ(std::string(23, 'n'), out.name);
    EXPECT_EQ(testkit::Ansi("电话好友"), out.city);
    EXPECT_EQ(0, out.voip[0]);
    EXPECT_EQ(0, out.voip[15]) << "the rest of each field is zeroed";
    EXPECT_EQ(33, out.age);
    EXPECT_EQ(2, out.sex);
    EXPECT_STREQ("a@b.c", out.email);
    EXPECT_EQ(0, memcmp(&in.status, &out.status, sizeof(FriendStatus)));
    EXPECT_FALSE(convert(nullptr, &out));
    EXPECT_FALSE(convert(&in, nullptr));
}

INT_PTR CALLBACK PlainDialog(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST(HookRelay, GivesAHookedDialogTabNavigationAndStaysLoadedWhileHooked) {
    const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
    std::vector<WORD> tpl = testkit::DialogTemplate(
        200, 100, {{100, 0x0081, edit, 10, 10, 100, 14, L""}, {101, 0x0081, edit, 10, 40, 100, 14, L""}});
    HWND dlg = CreateDialogIndirectW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()),
                                     nullptr, PlainDialog);
    ASSERT_NE(nullptr, dlg);
    HWND first = GetDlgItem(dlg, 100);
    HWND second = GetDlgItem(dlg, 101);

    // Without the hook a plain message loop leaves Tab to the edit box.
    SetFocus(first);
    PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    testkit::PumpFor(100);
    EXPECT_EQ(first, GetFocus());

    HMODULE lib = vantor::LoadProgramLibrary(L"HookRelay.dll");
    ASSERT_NE(nullptr, lib);
    auto install = Proc<PFN_HookRelay_InstallHook>(lib, "HookRelay_InstallHook");
    EXPECT_EQ(1, install(dlg));
    EXPECT_EQ(1, install(dlg)) << "a second install of the same dialog is harmless";
    EXPECT_EQ(0, install(nullptr));
    FreeLibrary(lib);  // as the contact dialogs do right after installing
    ASSERT_NE(nullptr, GetModuleHandleW(L"HookRelay.dll")) << "unloaded under a live hook";

    SetFocus(first);
    PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    testkit::PumpFor(100);
    EXPECT_EQ(second, GetFocus());

    lib = vantor::LoadProgramLibrary(L"HookRelay.dll");
    auto uninstall = Proc<PFN_HookRelay_UninstallHook>(lib, "HookRelay_UninstallHook");
    EXPECT_EQ(1, uninstall(dlg));
    EXPECT_EQ(0, uninstall(dlg));
    FreeLibrary(lib);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"HookRelay.dll"));

    SetFocus(first);
    PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    testkit::PumpFor(100);
    EXPECT_EQ(first, GetFocus());
    DestroyWindow(dlg);
}

}  // namespace
