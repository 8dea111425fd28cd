// Listens to one file-transfer control embedded in a chat display and turns its events
// into messages to the chat window. The sink disconnects itself after every event but
// an accept; the window holds each sink (SinkHold) and disconnects it when the transfer
// ends, however it ends, so neither the sink nor the control it holds outlives it.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <string>

#include "ComObject.h"

namespace chatdesk {

// Messages the sink sends to the chat window; lParam is the control's IUnknown.
constexpr UINT kMsgSendCancelled = WM_USER + 2005;
constexpr UINT kMsgRecvAccepted = WM_USER + 2008;  // wParam: const ControlAcceptTexts*
constexpr UINT kMsgRecvRejected = WM_USER + 2009;
constexpr UINT kMsgRecvCancelled = WM_USER + 2010;

// The accept event's two texts, in argument order, as 8-bit text.
struct ControlAcceptTexts {
    std::string savePath;
    std::string stamp;
};

class ControlEventSink : public vantor::ComObject<IDispatch> {
public:
    // Connects a new sink to the control's event point; null when the control has none or
    // refused. The sink is owned by that connection.
    static ControlEventSink* Connect(HWND receiver, IUnknown* control);

    // Unadvise, then the sink's own reference goes (it dies when nothing else holds it).
    // Once only, from any thread.
    void Disconnect();

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    ControlEventSink(HWND receiver, IUnknown* control);
    ~ControlEventSink() override;
    bool Answers(REFIID riid) const override;

    HWND receiver_;
    IUnknown* control_;
    DWORD cookie_ = 0;
    std::atomic<bool> connected_{false};
};

// The window's hold on one sink: ending it, or dropping the hold, disconnects the sink.
class SinkHold {
public:
    SinkHold() = default;
    explicit SinkHold(ControlEventSink* sink);
    ~SinkHold() { End(); }
    SinkHold(const SinkHold&) = delete;
    SinkHold& operator=(const SinkHold&) = delete;
    SinkHold(SinkHold&& other) noexcept : sink_(other.sink_.exchange(nullptr)) {}
    SinkHold& operator=(SinkHold&& other) noexcept;

    explicit operator bool() const { return sink_.load() != nullptr; }
    void End();

private:
    std::atomic<ControlEventSink*> sink_{nullptr};
};

}  // namespace chatdesk
