// What the in-process servers among the stand-ins share: the count of live objects and
// server locks that DllCanUnloadNow answers from, one static class factory per class,
// and the registry texts of their registration.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

namespace kitbase {

// Every object the library hands out counts itself while it lives.
void ObjectCreated();
void ObjectDestroyed();
// IClassFactory::LockServer of the library's factories.
void CountServerLock(bool lock);
// DllCanUnloadNow's answer: S_OK with no object alive and no lock held, else S_FALSE.
HRESULT CanUnloadNow();

// The class factory of T, kept as one static object: its references don't count,
// LockServer does. A new T starts with one reference, taken back once `Interface` (the
// base through which T is IUnknown) has handed out the one asked for.
template <typename T, typename Interface = T>
class ClassFactory : public IClassFactory {
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
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Interface* object = static_cast<Interface*>(new T);
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        CountServerLock(lock != FALSE);
        return S_OK;
    }
};

// DllGetClassObject for a library serving one class.
HRESULT ClassObject(REFCLSID asked, REFCLSID served, IClassFactory& factory, REFIID iid, void** out);

// "CLSID\{...}" under HKEY_CLASSES_ROOT.
std::wstring ClassKey(REFCLSID clsid);
// The full path of the library this code is linked into; empty when it cannot be had.
std::wstring LibraryPath();
// A REG_SZ (or REG_EXPAND_SZ) value of an open key; false when absent or of another type.
bool ReadRegText(HKEY key, const wchar_t* name, std::wstring* out);
bool WriteRegText(HKEY key, const wchar_t* name, const std::wstring& value);

}  // namespace kitbase
