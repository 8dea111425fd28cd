// Registration in place of the system's own browser control: the class's in-process
// server is pointed at this library, and the server it replaced is kept beside it, so that
// unregistering puts the system's own back.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>

#include "Module.h"
#include "ServerModule.h"

namespace {

const wchar_t kReplacedValue[] = L"BrowserCtlReplaced";

std::wstring ServerKey() { return kitbase::ClassKey(browserctl::kWebBrowserClsid) + L"\\InprocServer32"; }

}  // namespace

extern "C" HRESULT WINAPI DllRegisterServer() {
    std::wstring self = kitbase::LibraryPath();
    HKEY key = nullptr;
    if (self.empty() || RegCreateKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, nullptr, 0,
                                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    std::wstring current, replaced;
    bool ok = true;
    // Registering twice keeps the first server it replaced.
    if (kitbase::ReadRegText(key, nullptr, &current) && lstrcmpiW(current.c_str(), self.c_str()) != 0 &&
        !kitbase::ReadRegText(key, kReplacedValue, &replaced))
        ok = kitbase::WriteRegText(key, kReplacedValue, current);
    ok = ok && kitbase::WriteRegText(key, nullptr, self) && kitbase::WriteRegText(key, L"ThreadingModel", L"Apartment");
    RegCloseKey(key);
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return S_OK;
    std::wstring current, replaced;
    bool ok = true;
    if (kitbase::ReadRegText(key, nullptr, &current) && lstrcmpiW(current.c_str(), kitbase::LibraryPath().c_str()) == 0) {
        if (kitbase::ReadRegText(key, kReplacedValue, &replaced)) ok = kitbase::WriteRegText(key, nullptr, replaced);
        else ok = RegDeleteValueW(key, nullptr) == ERROR_SUCCESS;
    }
    if (ok) RegDeleteValueW(key, kReplacedValue);
    RegCloseKey(key);
    return ok ? S_OK : SELFREG_E_CLASS;
}
