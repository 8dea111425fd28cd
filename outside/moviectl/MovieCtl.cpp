// The in-process server of the movie control stand-in: its class factory and its
// registration under the movie control's class id (regsvr32, in a test prefix only).
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "MovieControl.h"
#include "ServerModule.h"
#include "outside/MovieControl.h"

using moviectl::g_module;
using moviectl::MovieControl;

namespace {

kitbase::ClassFactory<MovieControl, IOleObject> g_factory;

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return false;
    bool written = kitbase::WriteRegText(k, name, value);
    RegCloseKey(k);
    return written;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return kitbase::ClassObject(clsid, kMovieControlClsid, g_factory, iid, out);
}

STDAPI DllCanUnloadNow() { return kitbase::CanUnloadNow(); }

STDAPI DllRegisterServer() {
    std::wstring path = kitbase::LibraryPath();
    if (path.empty()) return SELFREG_E_CLASS;
    std::wstring key = kitbase::ClassKey(kMovieControlClsid);
    bool ok = SetValue(key, nullptr, L"Movie control (test stand-in)") &&
              SetValue(key + L"\\InprocServer32", nullptr, path) &&
              SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, kitbase::ClassKey(kMovieControlClsid).c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"
