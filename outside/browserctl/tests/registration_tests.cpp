// Registering the stand-in in place of the system's browser control, and putting the
// system's own back: other programs of the prefix must find the system's control again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"

namespace {

const wchar_t kServerKey[] = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

std::wstring Value(const wchar_t* name) {
    wchar_t text[MAX_PATH * 2] = L"";
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return L"(none)";
    return text;
}

bool SameFile(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

TEST(BrowserCtlRegistration, ReplacesTheSystemsControlAndPutsItBack) {
    std::wstring path = testkit::ProgramDir() + L"BrowserCtl.dll";
    HMODULE library = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, library);
    auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
    auto unreg = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "DllUnregisterServer")));
    ASSERT_TRUE(reg && unreg);
    wchar_t full[MAX_PATH * 2] = L"";
    GetModuleFileNameW(library, full, MAX_PATH * 2);

    // The run's fixture registered it already; the server it replaced is kept beside it.
    ASSERT_TRUE(SameFile(full, Value(nullptr))) << Value(nullptr);
    std::wstring system = Value(L"BrowserCtlReplaced");
    ASSERT_NE(L"(none)", system);
    EXPECT_FALSE(SameFile(full, system));

    EXPECT_EQ(S_OK, unreg());
    EXPECT_EQ(system, Value(nullptr));
    EXPECT_EQ(L"(none)", Value(L"BrowserCtlReplaced"));
    // Unregistering again leaves the system's own alone.
    EXPECT_EQ(S_OK, unreg());
    EXPECT_EQ(system, Value(nullptr));

    // Registering twice still remembers the system's server, not itself.
    EXPECT_EQ(S_OK, reg());
    EXPECT_EQ(S_OK, reg());
    EXPECT_TRUE(SameFile(full, Value(nullptr)));
    EXPECT_EQ(system, Value(L"BrowserCtlReplaced"));
    EXPECT_EQ(L"Apartment", Value(L"ThreadingModel"));
    FreeLibrary(library);
}

}  // namespace
