// One file-transfer control embedded in a chat display, reached through its dispatch
// interface. A call the control does not take fails quietly: the answers are then false
// or empty.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <richedit.h>
#include <richole.h>

#include <string>
#include <vector>

#include "ControlEventSink.h"
#include "Handles.h"

namespace chatdesk {

class TransferControl {
public:
    TransferControl() = default;
    explicit TransferControl(vantor::ComPtr<IDispatch> dispatch);

    explicit operator bool() const { return static_cast<bool>(dispatch_); }
    // The control's identity (its IUnknown), as its events name it.
    IUnknown* Identity() const { return identity_.get(); }
    bool Is(IUnknown* other) const;

    void SetSending(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                    const std::wstring& stamp) { Texts(1, who, file, size, stamp); }
    void SetReceiving(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                      const std::wstring& stamp) { Texts(2, who, file, size, stamp); }
    void Cancel() { Call(3); }
    void Reject() { Call(4); }
    void Progress(double percent);
    void Complete() { Call(8); }
    bool InTransfer() const { return Answer(9); }
    bool SendWaiting() const { return Answer(10); }
    void Failed() { Call(11); }
    bool RequestWaiting() const { return Answer(12); }

private:
    bool Invoke(DISPID id, VARIANT* args, UINT count, VARIANT* result) const;
    void Call(DISPID id) { Invoke(id, nullptr, 0, nullptr); }
    bool Answer(DISPID id) const;
    void Texts(DISPID id, const std::wstring& who, const std::wstring& file, const std::wstring& size,
               const std::wstring& stamp);

    vantor::ComPtr<IDispatch> dispatch_;
    vantor::ComPtr<IUnknown> identity_;
};

// Inserts a new control at the end of the display and shows the transfer in it (sending
// or receiving), with its events going to `receiver` through the sink left in `events`.
// Empty, with no sink, when the storage, the control or its insertion failed.
TransferControl InsertTransferControl(HWND receiver, HWND display, IRichEditOle* ole, bool sending,
                                      const std::wstring& who, const std::wstring& file,
                                      const std::wstring& size, const std::wstring& stamp, SinkHold* events);

// Closes every embedded object of the display (the window that shows it goes).
void CloseDisplayObjects(IRichEditOle* ole);

// The display's file-transfer controls, the newest (last) first.
std::vector<TransferControl> TransferControlsNewestFirst(IRichEditOle* ole);

}  // namespace chatdesk
