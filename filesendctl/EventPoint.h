// The control's one connection point, for _DFileSendCtlEvents. Sinks may unadvise while
// an event reaches them: firing runs over a copy of the list, each sink held meanwhile.
#pragma once

#include <ocidl.h>

#include <vector>

#include "Sync.h"

namespace filesend {

class EventPoint final : public IConnectionPoint {
public:
    // owner counts this object's references and answers GetConnectionPointContainer.
    explicit EventPoint(IConnectionPointContainer* owner) : owner_(owner) {}
    ~EventPoint();

    // Invokes the event on every sink; arguments in DISPPARAMS order (last one first).
    void Fire(DISPID event, VARIANT* args, UINT argCount);
    void UnadviseAll();

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    IConnectionPointContainer* owner_;
    vantor::CriticalSection lock_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace filesend
