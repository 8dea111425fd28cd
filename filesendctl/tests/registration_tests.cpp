// Unregistration removes everything registration wrote; registering again restores it.
// Runs alone with every test that creates the control (they share a resource lock).
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "FileSendCtl.h"
#include "TestSupport.h"

namespace {

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

typedef HRESULT(STDAPICALLTYPE* ServerCall)();

// The library's own registration exports, as regsvr32 calls them.
HRESULT CallServer(const char* name) {
    HMODULE module = LoadLibraryW((testkit::ProgramDir() + L"FileSendCtl.dll").c_str());
    if (!module) return E_FAIL;
    auto call = reinterpret_cast<ServerCall>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT hr = call ? call() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

std::vector<std::wstring> WrittenKeys() {
    return {
        L"CLSID\\" + GuidText(CLSID_FileSendCtl),
        L"CLSID\\" + GuidText(CLSID_FileSendCtlPropPage),
        L"" FILESENDCTL_PROGID,
        L"" FILESENDCTL_PAGE_PROGID,
        L"TypeLib\\" + GuidText(LIBID_FILESENDCTLLib),
        L"Interface\\" + GuidText(DIID__DFileSendCtl),
        L"Interface\\" + GuidText(DIID__DFileSendCtlEvents),
    };
}

}  // namespace

TEST(FileSendCtlRegistration, UnregisteringLeavesNothingAndRegisteringRestores) {
    OleInitialize(nullptr);
    for (const std::wstring& key : WrittenKeys()) EXPECT_TRUE(KeyExists(key)) << std::string(key.begin(), key.end());

    ASSERT_EQ(S_OK, CallServer("DllUnregisterServer"));
    for (const std::wstring& key : WrittenKeys()) EXPECT_FALSE(KeyExists(key)) << std::string(key.begin(), key.end());
    CLSID clsid = {};
    EXPECT_NE(S_OK, CLSIDFromProgID(L"" FILESENDCTL_PROGID, &clsid));
    IUnknown* control = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_FileSendCtl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                    reinterpret_cast<void**>(&control)));
    // A second unregistration finds nothing to remove and still succeeds.
    EXPECT_EQ(S_OK, CallServer("DllUnregisterServer"));

    ASSERT_EQ(S_OK, CallServer("DllRegisterServer"));
    for (const std::wstring& key : WrittenKeys()) EXPECT_TRUE(KeyExists(key)) << std::string(key.begin(), key.end());
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FileSendCtl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&control)));
    control->Release();
    OleUninitialize();
}
