#include "EventPoint.h"

#include <olectl.h>

namespace vantor {

EventPoint::~EventPoint() { UnadviseAll(); }

void EventPoint::UnadviseAll() {
    std::vector<Sink> gone;
    {
        Lock hold(lock_);
        gone.swap(sinks_);
    }
    for (const Sink& s : gone) s.sink->Release();
}

void EventPoint::Fire(DISPID event, DISPPARAMS* params) {
    std::vector<IDispatch*> targets;
    {
        Lock hold(lock_);
        for (const Sink& s : sinks_) {
            s.sink->AddRef();
            targets.push_back(s.sink);
        }
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    for (IDispatch* sink : targets) {
        VARIANT result;
        VariantInit(&result);
        sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, &result, nullptr,
                     nullptr);
        VariantClear(&result);
        sink->Release();
    }
}

STDMETHODIMP EventPoint::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = events_;
    return S_OK;
}

STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    *out = owner_;
    owner_->AddRef();
    return S_OK;
}

STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events))))
        return CONNECT_E_CANNOTCONNECT;
    if (!events) return CONNECT_E_CANNOTCONNECT;
    Lock hold(lock_);
    *cookie = nextCookie_++;
    sinks_.push_back({*cookie, events});
    return S_OK;
}

STDMETHODIMP EventPoint::Unadvise(DWORD cookie) {
    IDispatch* gone = nullptr;
    {
        Lock hold(lock_);
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie == cookie) {
                gone = it->sink;
                sinks_.erase(it);
                break;
            }
        }
    }
    if (!gone) return CONNECT_E_NOCONNECTION;
    gone->Release();
    return S_OK;
}

STDMETHODIMP EventPoint::EnumConnections(IEnumConnections** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

}  // namespace vantor
