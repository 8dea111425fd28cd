// The browser's one connection point, DWebBrowserEvents2: the advised sinks and the call of
// one event on each of them.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <utility>
#include <vector>

#include "Handles.h"

namespace browserctl {

class EventPoint : public IConnectionPoint {
public:
    // The container is the browser, which owns this point and outlives it.
    explicit EventPoint(IConnectionPointContainer* container) : container_(container) {}

    // Calls the event on every sink advised when it starts; a sink may unadvise meanwhile.
    void Fire(DISPID id, DISPPARAMS* params);
    void DisconnectAll() { sinks_.clear(); }

    // IUnknown: lives inside the browser, whose references it borrows.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_->Release(); }
    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

private:
    IConnectionPointContainer* container_;
    std::vector<std::pair<DWORD, vantor::ComPtr<IDispatch>>> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace browserctl
