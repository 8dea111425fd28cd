// A COM object of one interface, made on the heap: its QueryInterface and the reference
// count that deletes it when the last reference goes.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vantor {

template <typename Interface>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && !Answers(iid)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG count = InterlockedDecrement(&refs_);
        if (count == 0) delete this;
        return count;
    }

protected:
    // The count starts at `refs`: 0 for an object handed straight to its first holder.
    explicit ComObject(LONG refs = 0) : refs_(refs) {}
    virtual ~ComObject() = default;
    // Whether the interface (or one it derives from) is asked for; IUnknown is answered here.
    virtual bool Answers(REFIID iid) const = 0;

private:
    LONG refs_;
};

}  // namespace vantor
