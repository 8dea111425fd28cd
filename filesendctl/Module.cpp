// The in-process server: class objects for the control and its page, and the counts
// that decide when the library may be unloaded.
#include <windows.h>
#include <ole2.h>

#include <new>

#include "ComObject.h"
#include "Control.h"
#include "FileSendCtl.h"
#include "Module.h"
#include "PropPage.h"

namespace filesend {

namespace {

HINSTANCE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

typedef HRESULT (*CreateFn)(REFIID riid, void** out);

class ClassFactory final : public vantor::ComObject<IClassFactory> {
public:
    explicit ClassFactory(CreateFn create) : ComObject(1), create_(create) { ObjectCreated(); }
    ~ClassFactory() { ObjectDestroyed(); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        LockModule(lock != FALSE);
        return S_OK;
    }

private:
    bool Answers(REFIID iid) const override { return iid == IID_IClassFactory; }

    CreateFn create_;
};

}  // namespace

HINSTANCE Module() { return g_module; }
void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }
void LockModule(bool lock) {
    if (lock)
        InterlockedIncrement(&g_locks);
    else
        InterlockedDecrement(&g_locks);
}
bool ModuleInUse() { return g_objects > 0 || g_locks > 0; }

}  // namespace filesend

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        filesend::g_module = instance;
        DisableThreadLibraryCalls(instance);
        filesend::FileSendControl::RegisterClasses();
    } else if (reason == DLL_PROCESS_DETACH) {
        filesend::FileSendControl::UnregisterClasses();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    filesend::CreateFn create = nullptr;
    if (clsid == CLSID_FileSendCtl)
        create = &filesend::FileSendControl::Create;
    else if (clsid == CLSID_FileSendCtlPropPage)
        create = &filesend::CreatePropertyPage;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = new (std::nothrow) filesend::ClassFactory(create);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return filesend::ModuleInUse() ? S_FALSE : S_OK; }
