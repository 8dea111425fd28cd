// The library's entry points: the class factory of the browser and the unload check.
#include <windows.h>
#include <ole2.h>

#include "BrowserControl.h"
#include "Module.h"

namespace browserctl {

const CLSID kWebBrowserClsid = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

namespace {

LONG g_objects = 0;
LONG g_locks = 0;

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory: its references don't count; LockServer does.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        BrowserControl* control = new BrowserControl;
        HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }

}  // namespace browserctl

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
    // The window class points into this image: it goes with the library (unless the whole
    // process is ending).
    if (reason == DLL_PROCESS_DETACH && !reserved) browserctl::BrowserControl::UnregisterWindowClass();
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != browserctl::kWebBrowserClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return browserctl::g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return browserctl::g_objects == 0 && browserctl::g_locks == 0 ? S_OK : S_FALSE;
}
