#include "TransferState.h"

#include <cwchar>

namespace filesend {

namespace {

const wchar_t kCancelLabel[] = L"取消";
const wchar_t kAcceptLabel[] = L"同意";
const wchar_t kRejectLabel[] = L"拒绝";

std::vector<std::wstring> LabelsOf(int state) {
    switch (state) {
    case kWaitingForPeer:
    case kSending:
    case kAccepted:
    case kReceiving:
        return {kCancelLabel};
    case kOfferReceived:
        return {kAcceptLabel, kRejectLabel};
    default:
        return {};
    }
}

std::wstring Format(const wchar_t* format, double value) {
    wchar_t line[256];
    swprintf(line, 256, format, value);
    return line;
}

}  // namespace

void TransferState::Store(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                          const std::wstring* dateTime) {
    who_ = who;
    file_ = file;
    size_ = size;
    if (dateTime) dateTime_ = *dateTime;
}

// Entering a state with links shows that state's labels; an end state keeps the labels
// of the state before, so the user still sees what was offered.
void TransferState::Enter(int state, int linkCount) {
    state_ = state;
    linkCount_ = linkCount;
    if (linkCount > 0) labels_ = LabelsOf(state);
}

void TransferState::SetTransFile(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                                 const std::wstring* dateTime) {
    if (side_ == kReceiverSide) return;
    side_ = kSenderSide;
    Store(who, file, size, dateTime);
    Enter(kWaitingForPeer, 1);
}

void TransferState::SetAcceptFile(const std::wstring& who, const std::wstring& file, const std::wstring& size,
                                  const std::wstring* dateTime) {
    if (side_ == kSenderSide) return;
    side_ = kReceiverSide;
    Store(who, file, size, dateTime);
    Enter(kOfferReceived, 2);
}

bool TransferState::Cancel() {
    switch (state_) {
    case kWaitingForPeer:
    case kSending:
        Enter(kSendCancelled, 0);
        return true;
    case kOfferReceived:
    case kAccepted:
    case kReceiving:
        Enter(kCancelled, 0);
        return true;
    default:
        return false;
    }
}

bool TransferState::Reject() {
    if (state_ != kWaitingForPeer) return false;
    Enter(kCancelled, 0);
    return true;
}

bool TransferState::SetProgress(double percent) {
    progress_ = percent;
    if (state_ == kWaitingForPeer) {
        Enter(kSending, 1);
        return true;
    }
    if (state_ == kAccepted) {
        Enter(kReceiving, 1);
        return true;
    }
    return false;
}

bool TransferState::Complete() {
    if (state_ == kSending) {
        Enter(kSent, 0);
        return true;
    }
    if (state_ == kReceiving) {
        Enter(kReceived, 0);
        return true;
    }
    return false;
}

bool TransferState::Fail() {
    if (state_ != kWaitingForPeer && state_ != kSending) return false;
    Enter(kFailed, 0);
    return true;
}

std::wstring TransferState::TransmitFileName() const {
    switch (state_) {
    case kWaitingForPeer:
    case kSending:
    case kOfferReceived:
    case kAccepted:
    case kReceiving:
        return file_;
    default:
        return std::wstring();
    }
}

bool TransferState::IsTransmitFile(const wchar_t* dateTime) const {
    return dateTime != nullptr && dateTime_ == dateTime;
}

ClickOutcome TransferState::Click(int index) {
    ClickOutcome outcome;
    if (index < 0 || index >= linkCount_) return outcome;
    switch (state_) {
    case kWaitingForPeer:
    case kSending:
        Enter(kSendCancelled, 0);
        outcome.event = kSendCanceledEvent;
        outcome.changed = true;
        break;
    case kOfferReceived:
        if (index == 0) {
            outcome.askSavePath = true;
        } else {
            Enter(kRejected, 0);
            outcome.event = kRecvRejectEvent;
            outcome.changed = true;
        }
        break;
    case kAccepted:
    case kReceiving:
        Enter(kCancelled, 0);
        outcome.event = kRecvCanceledEvent;
        outcome.changed = true;
        break;
    default:
        break;
    }
    return outcome;
}

bool TransferState::Accept() {
    if (state_ != kOfferReceived) return false;
    Enter(kAccepted, 1);
    return true;
}

std::wstring TransferState::Message() const {
    switch (state_) {
    case kWaitingForPeer: return L"正在等待" + who_ + L"接收";
    case kSending:
    case kReceiving: return Format(L"已经传输 %.2f%%", progress_);
    case kSendCancelled:
    case kCancelled: return L"文件传输被取消了";
    case kOfferReceived: return L"处理文件传输请求";
    case kAccepted: return L"准备接受文件";
    case kRejected: return L"已经取消";
    case kSent: return L"文件传输完毕";
    case kReceived: return L"文件已经成功接受";
    case kFailed: return L"文件传输失败";
    default: return std::wstring();
    }
}

}  // namespace filesend
