#include "ServerModule.h"

#include "ModulePath.h"

namespace kitbase {

namespace {

LONG g_objects = 0;
LONG g_locks = 0;

}  // namespace

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }

void CountServerLock(bool lock) {
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}

HRESULT CanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

HRESULT ClassObject(REFCLSID asked, REFCLSID served, IClassFactory& factory, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (asked != served) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

std::wstring ClassKey(REFCLSID clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

std::wstring LibraryPath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(vantor::ThisModule(), path, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? std::wstring(path, n) : std::wstring();
}

bool ReadRegText(HKEY key, const wchar_t* name, std::wstring* out) {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    *out = value;
    return true;
}

bool WriteRegText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace kitbase
