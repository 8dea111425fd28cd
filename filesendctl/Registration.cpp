// Self-registration: the control's class, both ProgIDs and the type library under
// HKEY_CLASSES_ROOT; unregistration removes every key it wrote.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <string>

#include "FileSendCtl.h"
#include "Module.h"

namespace {

const wchar_t kControlName[] = L"FileSendCtl Control";
const wchar_t kPageName[] = L"FileSendCtl Property Page";
const wchar_t kControlProgId[] = L"" FILESENDCTL_PROGID;
const wchar_t kPageProgId[] = L"" FILESENDCTL_PAGE_PROGID;
// OLEMISC_ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST | INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE
const wchar_t kMiscStatus[] = L"131473";

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(filesend::Module(), path, MAX_PATH);
    return path;
}

bool RegisterClassKeys(REFCLSID clsid, const wchar_t* name, const wchar_t* progId, const std::wstring& path) {
    std::wstring key = L"CLSID\\" + GuidText(clsid);
    return SetValue(key, nullptr, name) && SetValue(key + L"\\InprocServer32", nullptr, path) &&
           SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
           SetValue(key + L"\\ProgID", nullptr, progId) && SetValue(progId, nullptr, name) &&
           SetValue(std::wstring(progId) + L"\\CLSID", nullptr, GuidText(clsid));
}

bool RegisterControlKeys(const std::wstring& path) {
    std::wstring key = L"CLSID\\" + GuidText(CLSID_FileSendCtl);
    return RegisterClassKeys(CLSID_FileSendCtl, kControlName, kControlProgId, path) &&
           SetValue(key + L"\\Control", nullptr, L"") && SetValue(key + L"\\MiscStatus", nullptr, L"0") &&
           SetValue(key + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
           SetValue(key + L"\\TypeLib", nullptr, GuidText(LIBID_FILESENDCTLLib)) &&
           SetValue(key + L"\\Version", nullptr, L"1.0");
}

void RemoveKeys() {
    DeleteTree(L"CLSID\\" + GuidText(CLSID_FileSendCtl));
    DeleteTree(L"CLSID\\" + GuidText(CLSID_FileSendCtlPropPage));
    DeleteTree(kControlProgId);
    DeleteTree(kPageProgId);
}

// A library that is not registered (any more) is nothing to remove.
HRESULT RemoveTypeLibrary() {
    BSTR path = nullptr;
    if (FAILED(QueryPathOfRegTypeLib(LIBID_FILESENDCTLLib, FILESENDCTL_LIB_MAJOR, FILESENDCTL_LIB_MINOR, 0, &path)))
        return S_OK;
    SysFreeString(path);
    SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    return UnRegisterTypeLib(LIBID_FILESENDCTLLib, FILESENDCTL_LIB_MAJOR, FILESENDCTL_LIB_MINOR, 0, kind);
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    if (!RegisterControlKeys(path) || !RegisterClassKeys(CLSID_FileSendCtlPropPage, kPageName, kPageProgId, path)) {
        RemoveKeys();
        return SELFREG_E_CLASS;
    }
    ITypeLib* lib = nullptr;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib))) {
        RemoveKeys();
        return SELFREG_E_TYPELIB;
    }
    lib->Release();
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RemoveKeys();
    return FAILED(RemoveTypeLibrary()) ? SELFREG_E_TYPELIB : S_OK;
}
