// The library's entry points: the class factory of the browser and the unload check.
#include <windows.h>
#include <ole2.h>

#include "BrowserControl.h"
#include "Module.h"

namespace browserctl {

const CLSID kWebBrowserClsid = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

namespace {

kitbase::ClassFactory<BrowserControl> g_factory;

}  // namespace

}  // namespace browserctl

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
    // The window class points into this image: it goes with the library (unless the whole
    // process is ending).
    if (reason == DLL_PROCESS_DETACH && !reserved) browserctl::BrowserControl::UnregisterWindowClass();
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return kitbase::ClassObject(clsid, browserctl::kWebBrowserClsid, browserctl::g_factory, iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return kitbase::CanUnloadNow(); }
