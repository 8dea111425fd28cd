#include "ChatTransfers.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>

#include "ChatDialog.h"
#include "ControlEventSink.h"
#include "DebugOut.h"
#include "ImClock.h"
#include "ImMessages.h"
#include "ImService.h"
#include "ImText.h"
#include "ProgramFolder.h"
#include "PumpingJoin.h"
#include "Text.h"
#include "TransferRules.h"

namespace chatdesk {

namespace {

constexpr DWORD kChooseLinkWaitMs = 15000;
const wchar_t kNoLinkText[] = L"您和对方不在同一个防火墙内，不能进行文件传输！";

std::string Ansi(const wchar_t* text) { return vantor::WideToAnsi(text); }

std::string NewStamp() { return MakeImStamp(LocalImTime()); }

}  // namespace

// What the send job needs of the window and the control, on the send thread.
class ChatTransfers::ThreadSide : public BlockLink, public SendObserver {
public:
    ThreadSide(ChatDialog& window, TransferControl& control, const SendJob& job)
        : window_(window), control_(control), stop_{kFileBlockSize, [&job] { return job.StopSeen(); }} {}
    ~ThreadSide() override { vantor::DebugText(lines_.Take()); }

    // The blocks may take as long as the peer keeps taking them, until the job's stop.
    bool SendBlocks(const uint8_t* messages, size_t count) override {
        ConnectionRef link = window_.Service().DirectLinkOf(&window_);
        return link.get() && window_.Service().NetworkStarted() &&
               link->SendAll(messages, count * kFileBlockSize, SendWait::WhileMoving, &stop_);
    }
    void SendCancel() override { window_.SendCancelNotice(); }
    void Progress(double percent) override { control_.Progress(percent); }
    void Complete() override {
        vantor::DebugText(lines_.Take());
        control_.Complete();
    }
    void Failed() override {
        vantor::DebugText(lines_.Take());
        control_.Failed();
    }
    void Cancelled() override {
        vantor::DebugText(lines_.Take());
        control_.Cancel();
    }
    // The lines of several sends go together.
    void Trace(const wchar_t* lines) override { vantor::DebugText(lines_.Add(L"%ls", lines)); }

private:
    ChatDialog& window_;
    TransferControl& control_;
    const SendStop stop_;
    vantor::DebugBatch lines_;
};

ChatTransfers::ChatTransfers(ChatDialog& window) : window_(window) {}

ChatTransfers::~ChatTransfers() { EndThreads(); }

size_t ChatTransfers::Count() const {
    vantor::Lock lock(window_.Lock());
    return transfers_.size();
}

bool ChatTransfers::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) != kFileButton || HIWORD(wParam) != BN_CLICKED) return false;
        OnChooseCommand();
        return true;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return true;
    case kMsgOfferFile:
        OnOffer(reinterpret_cast<const wchar_t*>(lParam));
        return true;
    case kMsgShowOffer:
        OnShowOffer(reinterpret_cast<const uint8_t*>(lParam), wParam);
        return true;
    case kMsgRecvAccepted: {
        auto* texts = reinterpret_cast<const ControlAcceptTexts*>(wParam);
        if (texts) OnAccepted(texts->savePath, texts->stamp, reinterpret_cast<IUnknown*>(lParam));
        return true;
    }
    case kMsgRecvRejected:
        OnRejected(reinterpret_cast<IUnknown*>(lParam));
        return true;
    case kMsgRecvCancelled:
        OnReceiveCancelled(reinterpret_cast<IUnknown*>(lParam));
        return true;
    case kMsgSendCancelled:
        OnSendCancelled(reinterpret_cast<IUnknown*>(lParam));
        return true;
    case kMsgPeerCancelled:
        OnPeerCancelled();
        return true;
    case kMsgPeerRejected:
        OnPeerRejected(wParam != 0);
        return true;
    default:
        return false;
    }
}

//--- Choosing and offering

bool ChatTransfers::HaveLink() {
    if (window_.Service().DirectLinkOf(&window_).get()) return true;
    if (window_.flags_ & kFlagRetryLink) {
        window_.StartLinkAttempt();
        vantor::WaitPumping(window_.attemptDone_.get(), kChooseLinkWaitMs);
        if (window_.Service().DirectLinkOf(&window_).get()) return true;
    }
    MessageBoxW(window_.Window(), kNoLinkText, L"即时聊天", MB_ICONEXCLAMATION);
    return false;
}

bool ChatTransfers::AtLimit() const { return kTransferLimit != 0 && window_.TransferCount() >= kTransferLimit; }

void ChatTransfers::OnChooseCommand() {
    if (!HaveLink()) return;
    if (AtLimit()) {
        MessageBoxW(window_.Window(), L"已经有文件进行传输了！", vantor::imkit::DialogCaption().c_str(), MB_OK);
        return;
    }
    window_.CountTransfer(true);
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_.Window();
    dialog.lpstrFilter = L"所有文件\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER;
    if (GetOpenFileNameW(&dialog))
        SendMessageW(window_.Window(), kMsgOfferFile, 0, reinterpret_cast<LPARAM>(path));
    else
        window_.CountTransfer(false);
}

void ChatTransfers::OnDropFiles(HDROP drop) {
    if (!drop) return;
    if (HaveLink()) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            if (AtLimit()) {
                MessageBoxW(window_.Window(), L"已经有文件进行传输了！", vantor::imkit::DialogCaption().c_str(), MB_OK);
                break;
            }
            wchar_t path[MAX_PATH] = {};
            if (!DragQueryFileW(drop, i, path, MAX_PATH)) continue;
            window_.CountTransfer(true);
            SendMessageW(window_.Window(), kMsgOfferFile, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    DragFinish(drop);
}

void ChatTransfers::Append(const CHARFORMATA& format, const std::string& text) {
    HWND display = window_.Display();
    if (!display) return;
    CHARFORMATA copy = format;
    SendMessageW(display, EM_SETSEL, -1, -1);
    SendMessageA(display, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&copy));
    SendMessageA(display, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(display, EM_SCROLLCARET, 0, 0);
}

// The count was raised for this file when it was chosen or dropped.
void ChatTransfers::OnOffer(const wchar_t* path) {
    if (!path || !*path) {
        window_.CountTransfer(false);
        return;
    }
    uint64_t size = 0;
    bool known = QueryFileSize(path, &size);
    if (!CanOfferFile(known, size)) {
        MessageBoxW(window_.Window(), kFileTooLargeText, vantor::imkit::DialogCaption().c_str(), MB_ICONEXCLAMATION);
        window_.CountTransfer(false);
        return;
    }
    FriendInfoA own = {};
    window_.Service().Contacts().OwnRecord(&own);
    Append(window_.DisplayFormat(), "<" + vantor::FieldText(own.nickname) + Ansi(L"> 发送：\r\n"));

    auto transfer = std::make_shared<Transfer>();
    transfer->sending = true;
    transfer->stamp = NewStamp();
    transfer->path = path;
    transfer->size = size;
    FriendInfoA peer = window_.PeerCopy();
    transfer->control = InsertTransferControl(window_.Window(), window_.Display(), window_.DisplayOle(), true,
                                              vantor::AnsiToWide(vantor::FieldText(peer.nickname)), path,
                                              FormatFileSize(size), vantor::AnsiToWide(transfer->stamp),
                                              &transfer->events);
    HWND compose = GetDlgItem(window_.Window(), kComposeId);
    if (!transfer->control) {
        Append(window_.DisplayFormat(), Ansi(L"发送文件失败"));
        SetFocus(compose);
        window_.CountTransfer(false);
        return;
    }
    Counted(*transfer);
    {
        vantor::Lock lock(window_.Lock());
        transfers_.push_back(transfer);
    }
    SetFocus(compose);

    FileOffer offer;
    offer.stamp = transfer->stamp;
    offer.offererId = window_.Service().Contacts().OwnId();
    offer.receiverId = vantor::FieldText(peer.id);
    offer.path = vantor::WideToAnsi(path);
    offer.size = size;
    SendToPeer(BuildFileOffer(offer));
}

//--- Offers received and their answers

void ChatTransfers::OnFileOffer(const uint8_t* msg, size_t length) {
    // Sent, not posted: the message lies in the receive buffer.
    if (window_.Window()) SendMessageW(window_.Window(), kMsgShowOffer, length, reinterpret_cast<LPARAM>(msg));
}

void ChatTransfers::OnShowOffer(const uint8_t* msg, size_t length) {
    FileOffer offer;
    if (!msg || !ReadFileOffer(msg, length, &offer)) return;
    vantor::DebugLine(L"接收到了文件传输的请求了！\n");
    // A window made hidden for a link request shows the offer it is given.
    if (!IsWindowVisible(window_.Window())) ShowWindow(window_.Window(), SW_SHOW);
    FriendInfoA peer = window_.PeerCopy();
    std::string who = vantor::FieldText(peer.nickname);
    if (who.empty()) who = vantor::FieldText(peer.id);
    Append(window_.peerFormat_, "<" + who + Ansi(L"> 发送：\n"));

    auto transfer = std::make_shared<Transfer>();
    transfer->stamp = offer.stamp;
    uint32_t total = static_cast<uint32_t>(offer.size);
    transfer->control = InsertTransferControl(window_.Window(), window_.Display(), window_.DisplayOle(), false,
                                              vantor::AnsiToWide(who), vantor::AnsiToWide(offer.path),
                                              FormatFileSize(total, 0), vantor::AnsiToWide(offer.stamp),
                                              &transfer->events);
    if (!transfer->control) {
        vantor::DebugLine(L"插入文件传输对象失败了！\n");
        return;
    }
    TransferOrigin origin;
    origin.offererId = offer.offererId;
    origin.name = offer.path;
    origin.total = total;
    transfer->receive = std::make_unique<ReceiveJob>(receiveFiles_, origin);
    transfer->ownId = window_.Service().Contacts().OwnId();
    transfer->peerId = vantor::FieldText(peer.id);
    vantor::Lock lock(window_.Lock());
    transfers_.push_back(transfer);
}

void ChatTransfers::OnAccepted(const std::string& savePath, const std::string& stamp, IUnknown* control) {
    TransferPtr transfer = ByStamp(stamp, false);
    if (!transfer || !transfer->receive) return;
    uint32_t resume = 0;
    bool ready;
    {
        // Set up before the answer goes out: the first block may follow it at once.
        vantor::Lock lock(window_.Lock());
        ready = transfer->receive->Accept(vantor::AnsiToWide(savePath), &resume);
        if (ready) {
            window_.CountTransfer(true);
            Counted(*transfer);
        }
    }
    if (!ready) {
        // The ".im" beside the chosen path can't be written: nothing can be received.
        transfer->control.Cancel();
        Remove(transfer);
        SendReply(false, std::string(), 0);
        return;
    }
    SendReply(true, stamp, resume);
}

void ChatTransfers::OnRejected(IUnknown* control) {
    SendReply(false, std::string(), 0);
    TransferPtr transfer = ByControl(control);
    if (transfer) Remove(transfer);
}

void ChatTransfers::OnReceiveCancelled(IUnknown* control) {
    window_.SendCancelNotice();
    TransferPtr transfer = ByControl(control);
    if (!transfer) return;
    if (transfer->receive) transfer->receive->Cancel();
    Lower(*transfer);
    Remove(transfer);
}

void ChatTransfers::OnSendCancelled(IUnknown* control) {
    TransferPtr transfer = ByControl(control);
    if (!transfer || !transfer->sending) return;
    bool running = false;
    bool tell = false;
    {
        vantor::Lock lock(window_.Lock());
        if (transfer->send) {
            transfer->send->Cancel();
            running = true;
        }
        tell = !transfer->noticeSent;
        transfer->noticeSent = true;
    }
    // One cancel notice for the user's cancel, offered or running.
    if (tell) window_.SendCancelNotice();
    if (running) return;  // the send thread lowers the count as it ends
    Lower(*transfer);
    Remove(transfer);
}

void ChatTransfers::OnFileOfferReply(const uint8_t* msg, size_t length, bool directLink) {
    FileOfferReply reply;
    if (!ReadFileOfferReply(msg, length, &reply)) return;
    if (!reply.accepted) {
        if (length > 144 && msg[144] != '1') return;
        vantor::DebugLine(L"对方拒绝了自己的文件传输\n");
        if (window_.Window()) SendMessageW(window_.Window(), kMsgPeerRejected, directLink ? 1 : 0, 0);
        return;
    }
    vantor::DebugLine(L"对方同意了自己的文件传输\n");
    TransferPtr transfer = ByStamp(reply.stamp, true);
    if (!transfer) return;
    {
        vantor::Lock lock(window_.Lock());
        if (transfer->send) return;  // answered before
    }
    if (!transfer->control.SendWaiting()) {
        window_.SendCancelNotice();
        return;
    }
    StartSend(transfer, reply.resume);
}

void ChatTransfers::OnPeerRejected(bool directLink) {
    for (TransferControl& control : TransferControlsNewestFirst(window_.DisplayOle())) {
        if (!control.SendWaiting()) continue;
        control.Reject();
        TransferPtr transfer = ByControl(control.Identity());
        if (transfer) {
            Lower(*transfer);
            Remove(transfer);
        }
        break;
    }
    if (directLink) return;
    if (window_.PeerCopy().status.status != 0)
        Append(window_.DisplayFormat(), Ansi(L"您与对方处于不同防火墙之后不能发送文件！\n"));
    else
        Append(window_.DisplayFormat(), Ansi(L"对方不在线，无法进行文件传输！\n"));
}

void ChatTransfers::OnFileCancel(const uint8_t* msg, size_t length) {
    if (window_.Window()) SendMessageW(window_.Window(), kMsgPeerCancelled, length, reinterpret_cast<LPARAM>(msg));
}

void ChatTransfers::OnPeerCancelled() {
    std::vector<TransferControl> controls = TransferControlsNewestFirst(window_.DisplayOle());
    TransferControl* found = nullptr;
    for (TransferControl& control : controls)
        if (control.InTransfer()) {
            found = &control;
            break;
        }
    if (!found)
        for (TransferControl& control : controls)
            if (control.RequestWaiting()) {
                found = &control;
                break;
            }
    if (!found) return;
    TransferPtr transfer = ByControl(found->Identity());
    if (transfer) {
        vantor::Lock lock(window_.Lock());
        if (transfer->send) transfer->send->Cancel();
    }
    found->Cancel();
    if (!transfer) return;
    if (transfer->receive) transfer->receive->Cancel();
    Lower(*transfer);
    Remove(transfer);
}

//--- Blocks

void ChatTransfers::OnFileBlock(const uint8_t* msg, size_t length) {
    std::string stamp;
    uint32_t number = 0, count = 0;
    const uint8_t* data = nullptr;
    if (!ReadBlockForReceive(msg, length, &stamp, &number, &count, &data)) return;
    bool stopped = window_.transferStop_.load();
    TransferPtr transfer = stopped ? nullptr : ByStamp(stamp, false);
    BlockResult result;
    if (transfer && transfer->receive) {
        ReceiveJob& job = *transfer->receive;
        if (job.State() == ReceiveState::Receiving && job.Received() >= job.Total())
            vantor::DebugLine(L"已经传输完毕了\n");
        result = job.OnBlock(number, count, data);
    }
    SendAck(stamp, stopped || !transfer || result.stopSender(), transfer.get());
    if (!transfer) return;
    switch (result.outcome) {
    case BlockOutcome::Written:
        transfer->control.Progress(result.progress);
        return;
    case BlockOutcome::Passed:
        return;
    case BlockOutcome::Complete:
        transfer->control.Progress(result.progress);
        transfer->control.Complete();
        break;
    case BlockOutcome::Rejected:
    case BlockOutcome::Failed:
        window_.SendCancelNotice();
        transfer->control.Cancel();
        break;
    case BlockOutcome::Ignored:
        return;
    }
    Lower(*transfer);
    Remove(transfer);
}

void ChatTransfers::OnFileBlockAck(const uint8_t* msg, size_t length) {
    FileBlockAck ack;
    if (!ReadFileBlockAck(msg, length, &ack) || !ack.stop) return;
    TransferPtr transfer = ByStamp(ack.stamp, true);
    if (!transfer) return;
    vantor::Lock lock(window_.Lock());
    if (transfer->send) transfer->send->Cancel();
}

//--- The send thread

void ChatTransfers::StartSend(const TransferPtr& transfer, uint32_t resume) {
    SendOffer offer;
    offer.stamp = transfer->stamp;
    offer.offererId = window_.Service().Contacts().OwnId();
    offer.receiverId = vantor::FieldText(window_.PeerCopy().id);
    offer.path = transfer->path;
    offer.offeredSize = transfer->size;
    offer.resume = resume;
    auto job = std::make_shared<SendJob>(offer, &window_.transferStop_);
    vantor::Lock lock(window_.Lock());
    if (transfer->send) return;
    transfer->send = job;
    // Handles of threads that have ended go first.
    threads_.erase(std::remove_if(threads_.begin(), threads_.end(),
                                  [](HANDLE thread) {
                                      if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) return false;
                                      CloseHandle(thread);
                                      return true;
                                  }),
                   threads_.end());
    auto* start = new std::pair<ChatTransfers*, TransferPtr>(this, transfer);
    HANDLE thread = CreateThread(nullptr, 0, SendThread, start, 0, nullptr);
    if (thread) {
        threads_.push_back(thread);
        return;
    }
    delete start;
    transfer->send.reset();
}

DWORD WINAPI ChatTransfers::SendThread(void* start) {
    auto* pair = static_cast<std::pair<ChatTransfers*, TransferPtr>*>(start);
    pair->first->RunSend(pair->second);
    delete pair;
    return 0;
}

void ChatTransfers::RunSend(const TransferPtr& transfer) {
    vantor::DebugLine(L"启动了一个文件发送线程了... \n");
    std::shared_ptr<SendJob> job;
    {
        vantor::Lock lock(window_.Lock());
        job = transfer->send;
    }
    ThreadSide side(window_, transfer->control, *job);
    SendEnd end = job->Run(sendFiles_, side, side);
    Remove(transfer);
    Lower(*transfer);
    if (end == SendEnd::Stopped) vantor::DebugLine(L"发送文件线程被主动中断了\n");
    vantor::DebugLine(L"文件发送线程结束了！\n");
}

//--- Closing

void ChatTransfers::WindowClosing() {
    window_.transferStop_ = true;
    std::vector<TransferPtr> all;
    {
        vantor::Lock lock(window_.Lock());
        all = transfers_;
        for (const TransferPtr& transfer : all)
            if (transfer->send) transfer->send->Cancel();
    }
    for (const TransferPtr& transfer : all) {
        if (transfer->sending) {
            bool running;
            {
                vantor::Lock lock(window_.Lock());
                running = transfer->send != nullptr;
            }
            if (running) continue;  // its thread lowers the count
        } else if (transfer->receive && transfer->receive->Cancel()) {
            window_.SendCancelNotice();
        }
        Lower(*transfer);
        Remove(transfer);
    }
}

void ChatTransfers::EndThreads() {
    std::vector<HANDLE> threads;
    {
        vantor::Lock lock(window_.Lock());
        threads.swap(threads_);
    }
    for (HANDLE thread : threads) {
        vantor::WaitPumping(thread);
        CloseHandle(thread);
    }
    std::vector<TransferPtr> left;
    {
        vantor::Lock lock(window_.Lock());
        left.swap(transfers_);
    }
    for (const TransferPtr& transfer : left) transfer->events.End();
}

//--- The list and the count

ChatTransfers::TransferPtr ChatTransfers::ByStamp(const std::string& stamp, bool sending) const {
    vantor::Lock lock(window_.Lock());
    for (const TransferPtr& transfer : transfers_)
        if (transfer->sending == sending && transfer->stamp == stamp) return transfer;
    return nullptr;
}

ChatTransfers::TransferPtr ChatTransfers::ByControl(IUnknown* control) const {
    if (!control) return nullptr;
    vantor::Lock lock(window_.Lock());
    for (const TransferPtr& transfer : transfers_)
        if (transfer->control.Is(control)) return transfer;
    return nullptr;
}

void ChatTransfers::Remove(const TransferPtr& transfer) {
    {
        vantor::Lock lock(window_.Lock());
        transfers_.erase(std::remove(transfers_.begin(), transfers_.end(), transfer), transfers_.end());
    }
    // Its control raises no more events the window wants.
    transfer->events.End();
}

void ChatTransfers::Lower(Transfer& transfer) {
    int counted = 1;
    if (transfer.counted.compare_exchange_strong(counted, 2)) window_.CountTransfer(false);
}

// Directly when linked; what the link did not take (busy with blocks for the limit, or
// broken) goes by the server, so that the peer still hears it.
void ChatTransfers::SendToPeer(const std::vector<uint8_t>& bytes) {
    ConnectionRef link = window_.Service().DirectLinkOf(&window_);
    if (link.get() && window_.Service().DirectSend(link.get(), bytes.data(), bytes.size())) return;
    window_.Service().RelaySend(bytes.data(), bytes.size());
}

void ChatTransfers::SendReply(bool accepted, const std::string& stamp, uint32_t resume) {
    FileOfferReply reply;
    reply.stamp = stamp;
    reply.replierId = window_.Service().Contacts().OwnId();
    reply.offererId = vantor::FieldText(window_.PeerCopy().id);
    reply.accepted = accepted;
    reply.resume = resume;
    SendToPeer(BuildFileOfferReply(reply));
}

// Every block is answered: the ids come from the transfer, looked up once when the
// offer was shown, rather than from the contact book each time.
void ChatTransfers::SendAck(const std::string& stamp, bool stop, const Transfer* transfer) {
    FileBlockAck ack;
    ack.stamp = stamp;
    ack.ackerId = transfer ? transfer->ownId : window_.Service().Contacts().OwnId();
    ack.offererId = transfer ? transfer->peerId : vantor::FieldText(window_.PeerCopy().id);
    ack.stop = stop;
    SendToPeer(BuildFileBlockAck(ack));
}

}  // namespace chatdesk
