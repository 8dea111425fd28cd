// Reference counting and QueryInterface for the library's small one-interface objects.
#pragma once

#include <objbase.h>

namespace filesend {

// Answers IUnknown and *Iid with the one interface; deleted at the last Release.
template <typename Interface, const IID* Iid>
class SingleInterfaceObject : public Interface {
public:
    virtual ~SingleInterfaceObject() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == *Iid) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

private:
    LONG refs_ = 1;
};

}  // namespace filesend
