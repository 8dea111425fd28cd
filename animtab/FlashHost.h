// The host of the movie control: sets the movie up before activation, loads and plays the
// configured movie after it, and hands the movie's commands to the command handler.
#pragma once

#include <string>

#include "AnimTabPlug.h"
#include "OleControlHost.h"

namespace animtab {

class FlashHost : public OleControlHost {
public:
    explicit FlashHost(AnimTabPlug* plug) : plug_(plug), sink_(this) {}
    ~FlashHost() override;

    bool OnBeforeActivate() override;
    bool OnAfterActivate() override;

    // A movie-load call on layer 0; null loads the configured movie.
    bool LoadMovie(const wchar_t* path);
    bool version8() const { return version8_; }

    HRESULT DispatchTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT DispatchTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT DispatchIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT DispatchInvoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    // The event sink on the control's event interface; its count never deletes it.
    class Sink : public IDispatch {
    public:
        explicit Sink(FlashHost* host) : host_(host) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP GetTypeInfoCount(UINT* count) override { return host_->DispatchTypeInfoCount(count); }
        STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return host_->DispatchTypeInfo(i, l, t); }
        STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
            return host_->DispatchIDsOfNames(iid, n, c, l, d);
        }
        STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID l, WORD f, DISPPARAMS* p, VARIANT* r, EXCEPINFO* e,
                            UINT* a) override {
            return host_->DispatchInvoke(id, iid, l, f, p, r, e, a);
        }

    private:
        FlashHost* host_;
    };

    AnimTabPlug* plug_;
    Sink sink_;
    vantor::ComPtr<IConnectionPointContainer> points_;
    vantor::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    bool version8_ = false;
};

}  // namespace animtab
