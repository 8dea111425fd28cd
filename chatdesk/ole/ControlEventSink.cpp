#include "ControlEventSink.h"

#include <ocidl.h>

#include "DebugOut.h"
#include "FileSendCtl.h"

namespace chatdesk {

namespace {

IConnectionPoint* EventPointOf(IUnknown* control) {
    IConnectionPointContainer* container = nullptr;
    if (!control || FAILED(control->QueryInterface(IID_IConnectionPointContainer,
                                                   reinterpret_cast<void**>(&container))))
        return nullptr;
    IConnectionPoint* point = nullptr;
    container->FindConnectionPoint(DIID__DFileSendCtlEvents, &point);
    container->Release();
    return point;
}

std::string Narrow(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    std::string out;
    if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) && text.bstrVal) {
        int wide = static_cast<int>(SysStringLen(text.bstrVal));
        int n = WideCharToMultiByte(CP_ACP, 0, text.bstrVal, wide, nullptr, 0, nullptr, nullptr);
        out.resize(n > 0 ? n : 0);
        if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.bstrVal, wide, &out[0], n, nullptr, nullptr);
    }
    VariantClear(&text);
    return out;
}

}  // namespace

// The connection's reference is the first.
ControlEventSink::ControlEventSink(HWND receiver, IUnknown* control)
    : ComObject(1), receiver_(receiver), control_(control) {
    control_->AddRef();
}

ControlEventSink::~ControlEventSink() { control_->Release(); }

ControlEventSink* ControlEventSink::Connect(HWND receiver, IUnknown* control) {
    IConnectionPoint* point = EventPointOf(control);
    if (!point) return nullptr;
    auto* sink = new ControlEventSink(receiver, control);
    HRESULT hr = point->Advise(static_cast<IDispatch*>(sink), &sink->cookie_);
    point->Release();
    if (FAILED(hr)) {
        sink->Release();
        return nullptr;
    }
    sink->connected_ = true;
    return sink;
}

void ControlEventSink::Disconnect() {
    if (!connected_.exchange(false)) return;
    if (IConnectionPoint* point = EventPointOf(control_)) {
        point->Unadvise(cookie_);
        point->Release();
    }
    Release();
}

bool ControlEventSink::Answers(REFIID riid) const {
    return riid == IID_IDispatch || riid == DIID__DFileSendCtlEvents;
}

STDMETHODIMP ControlEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ControlEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                      UINT*) {
    vantor::DebugLine(L"接收到了一个控件的事件\n");
    // The window's handlers may release the control: keep this sink alive for the call.
    AddRef();
    LPARAM control = reinterpret_cast<LPARAM>(control_);
    switch (id) {
    case DISPID_FSC_ON_SEND_TRANSFER_CANCELED:
        SendMessageW(receiver_, kMsgSendCancelled, 0, control);
        Disconnect();
        break;
    case DISPID_FSC_ON_RECV_TRANSFER_ACCEPT: {
        // DISPPARAMS holds the arguments last first.
        ControlAcceptTexts texts;
        if (params && params->cArgs >= 2) {
            texts.savePath = Narrow(params->rgvarg[params->cArgs - 1]);
            texts.stamp = Narrow(params->rgvarg[params->cArgs - 2]);
        }
        SendMessageW(receiver_, kMsgRecvAccepted, reinterpret_cast<WPARAM>(&texts), control);
        break;
    }
    case DISPID_FSC_ON_RECV_TRANSFER_REJECT:
        SendMessageW(receiver_, kMsgRecvRejected, 0, control);
        Disconnect();
        break;
    case DISPID_FSC_ON_RECV_TRANSFER_CANCELED:
        SendMessageW(receiver_, kMsgRecvCancelled, 0, control);
        Disconnect();
        break;
    default:
        Disconnect();
        break;
    }
    Release();
    return S_OK;
}

SinkHold::SinkHold(ControlEventSink* sink) : sink_(sink) {
    if (sink) sink->AddRef();
}

SinkHold& SinkHold::operator=(SinkHold&& other) noexcept {
    if (this != &other) {
        End();
        sink_ = other.sink_.exchange(nullptr);
    }
    return *this;
}

void SinkHold::End() {
    ControlEventSink* sink = sink_.exchange(nullptr);
    if (!sink) return;
    sink->Disconnect();
    sink->Release();
}

}  // namespace chatdesk
