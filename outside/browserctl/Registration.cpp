// Registration in place of the system's own browser control: the class's in-process
// server is pointed at this library, and the server it replaced is kept beside it, so that
// unregistering puts the system's own back.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>

#include "ModulePath.h"
#include "Module.h"

namespace {

const wchar_t kReplacedValue[] = L"BrowserCtlReplaced";

std::wstring ServerKey() {
    wchar_t clsid[40] = {};
    StringFromGUID2(browserctl::kWebBrowserClsid, clsid, 40);
    return std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
}

std::wstring ThisPath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(vantor::ThisModule(), path, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? std::wstring(path, n) : std::wstring();
}

bool ReadText(HKEY key, const wchar_t* name, std::wstring* out) {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    *out = value;
    return true;
}

bool WriteText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

extern "C" HRESULT WINAPI DllRegisterServer() {
    std::wstring self = ThisPath();
    HKEY key = nullptr;
    if (self.empty() || RegCreateKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, nullptr, 0,
                                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    std::wstring current, replaced;
    bool ok = true;
    // Registering twice keeps the first server it replaced.
    if (ReadText(key, nullptr, &current) && lstrcmpiW(current.c_str(), self.c_str()) != 0 &&
        !ReadText(key, kReplacedValue, &replaced))
        ok = WriteText(key, kReplacedValue, current);
    ok = ok && WriteText(key, nullptr, self) && WriteText(key, L"ThreadingModel", L"Apartment");
    RegCloseKey(key);
    return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ServerKey().c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return S_OK;
    std::wstring current, replaced;
    bool ok = true;
    if (ReadText(key, nullptr, &current) && lstrcmpiW(current.c_str(), ThisPath().c_str()) == 0) {
        if (ReadText(key, kReplacedValue, &replaced)) ok = WriteText(key, nullptr, replaced);
        else ok = RegDeleteValueW(key, nullptr) == ERROR_SUCCESS;
    }
    if (ok) RegDeleteValueW(key, kReplacedValue);
    RegCloseKey(key);
    return ok ? S_OK : SELFREG_E_CLASS;
}
