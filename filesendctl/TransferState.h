// What one file-transfer control shows and allows: its state, the links it offers and
// the line it prints, and every change a method call or a click makes. Plain data, no
// window and no lock: the control guards it.
#pragma once

#include <string>
#include <vector>

namespace filesend {

enum TransferStateId : int {
    kWaitingForPeer = 0,  // sender: offer sent
    kSending = 1,
    kSendCancelled = 2,   // the sending user cancelled
    kOfferReceived = 3,   // receiver: accept or reject
    kAccepted = 4,        // waiting for the first data
    kRejected = 5,        // the receiving user rejected
    kReceiving = 6,
    kCancelled = 7,       // cancelled while receiving, by a call, or the peer refused
    kSent = 8,
    kReceived = 9,
    kFailed = 10,         // sending failed
};

// Events the control fires, numbered as in its event interface; kNoEvent fires nothing.
enum TransferEvent : int {
    kNoEvent = 0,
    kSendCanceledEvent = 1,
    kRecvAcceptEvent = 2,
    kRecvRejectEvent = 3,
    kRecvCanceledEvent = 4,
};

// What a click on a link asks of the control.
struct ClickOutcome {
    TransferEvent event = kNoEvent;
    bool askSavePath = false;  // "同意": the save dialog decides; see Accept()
    bool changed = false;
};

class TransferState {
public:
    // Method calls. A null date-time keeps the stored one. The first of SetTransFile and
    // SetAcceptFile fixes the control's side: the other one then changes nothing.
    void SetTransFile(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                      const std::wstring* dateTime);
    void SetAcceptFile(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                       const std::wstring* dateTime);
    bool Cancel();
    bool Reject();
    bool SetProgress(double percent);  // true when the state moved
    bool Complete();
    bool Fail();

    // Answers.
    std::wstring TransmitFileName() const;
    bool IsTransmitFile(const wchar_t* dateTime) const;
    bool IsInTransfering() const { return state_ == kSending || state_ == kReceiving; }
    bool IsSendWaiting() const { return state_ == kWaitingForPeer; }
    bool IsRequestWaiting() const {
        return state_ == kWaitingForPeer || state_ == kOfferReceived || state_ == kAccepted;
    }

    // The user released the button over link `index` (0-based).
    ClickOutcome Click(int index);
    // The save dialog confirmed a path after "同意"; false when the offer is no longer open.
    bool Accept();

    // Display.
    int State() const { return state_; }
    int LinkCount() const { return linkCount_; }
    // Labels drawn under the status box: in an end state those of the state before,
    // drawn but no longer clickable.
    const std::vector<std::wstring>& LinkLabels() const { return labels_; }
    std::wstring Message() const;
    bool ShowsProgressBar() const { return IsInTransfering(); }
    double Progress() const { return progress_; }
    bool HasFile() const { return !file_.empty(); }

    const std::wstring& Who() const { return who_; }
    const std::wstring& File() const { return file_; }
    const std::wstring& Size() const { return size_; }
    const std::wstring& DateTime() const { return dateTime_; }

private:
    void Store(const std::wstring& who, const std::wstring& file, const std::wstring& size,
               const std::wstring* dateTime);
    void Enter(int state, int linkCount);

    enum Side { kNoSide, kSenderSide, kReceiverSide };
    Side side_ = kNoSide;  // fixed by the first SetTransFile or SetAcceptFile
    int state_ = kWaitingForPeer;
    int linkCount_ = 0;
    std::vector<std::wstring> labels_;
    double progress_ = 0.0;
    std::wstring who_, file_, size_, dateTime_;
};

}  // namespace filesend
