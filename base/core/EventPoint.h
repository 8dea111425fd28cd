// One connection point of an object that fires its events through IDispatch::Invoke.
// Sinks may unadvise while an event reaches them: firing runs over a copy of the list,
// each sink held meanwhile.
#pragma once

#include <ocidl.h>

#include <vector>

#include "Sync.h"

namespace vantor {

class EventPoint final : public IConnectionPoint {
public:
    // `owner` counts this object's references and answers GetConnectionPointContainer;
    // `events` is the dispatch interface the sinks implement.
    EventPoint(IConnectionPointContainer* owner, const IID& events) : owner_(owner), events_(events) {}
    ~EventPoint();
    EventPoint(const EventPoint&) = delete;
    EventPoint& operator=(const EventPoint&) = delete;

    // Invokes the event on every sink advised when it starts.
    void Fire(DISPID event, DISPPARAMS* params);
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
    const IID events_;
    CriticalSection lock_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace vantor
