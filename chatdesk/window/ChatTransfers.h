// The file transfers of one chat window: the offers it makes and shows, the answers, the
// send threads and the receive jobs, each shown by a file-transfer control in the
// display. The window owns one and hands it its messages and its routed handlers.
//
// Transfers are listed under the window lock; control calls, file work and sends happen
// outside it. Each transfer raises the window's transfer count once and lowers it once.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ReceiveJob.h"
#include "SendJob.h"
#include "TransferControl.h"
#include "TransferFiles.h"

namespace chatdesk {

class ChatDialog;

// Messages of the transfers (the control's events are in ControlEventSink.h).
constexpr UINT kMsgOfferFile = WM_USER + 2006;      // lParam: const wchar_t* path
constexpr UINT kMsgShowOffer = WM_USER + 2012;      // wParam: length, lParam: the "004S"
constexpr UINT kMsgPeerCancelled = WM_USER + 2013;  // wParam: length, lParam: the "020S"
constexpr UINT kMsgPeerRejected = WM_USER + 2014;   // wParam: came over the direct link

class ChatTransfers {
public:
    explicit ChatTransfers(ChatDialog& window);
    ~ChatTransfers();
    ChatTransfers(const ChatTransfers&) = delete;
    ChatTransfers& operator=(const ChatTransfers&) = delete;

    // The window's messages for transfers (user-interface thread); true when handled.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Routed messages (receive threads).
    void OnFileOffer(const uint8_t* msg, size_t length);
    void OnFileOfferReply(const uint8_t* msg, size_t length, bool directLink);
    void OnFileBlock(const uint8_t* msg, size_t length);
    void OnFileBlockAck(const uint8_t* msg, size_t length);
    void OnFileCancel(const uint8_t* msg, size_t length);

    // The window closes: receive jobs end (".im" kept, the peer told), senders stop at
    // their next block. Before the window's wait for the last transfer.
    void WindowClosing();
    // After the direct link is closed: the send threads are over when this returns.
    void EndThreads();

    // Transfers listed now (for tests).
    size_t Count() const;

private:
    struct Transfer {
        bool sending = false;
        std::string stamp;
        TransferControl control;
        SinkHold events;  // ended when the transfer leaves the list
        std::wstring path;  // sending: the file offered
        uint64_t size = 0;  // sending: its size then
        std::unique_ptr<ReceiveJob> receive;
        std::string ownId, peerId;  // receiving: the ids each block's answer carries
        std::shared_ptr<SendJob> send;  // once accepted
        bool noticeSent = false;        // the user's cancel told the peer
        std::atomic<int> counted{0};    // 0 not counted, 1 counted, 2 lowered
    };
    using TransferPtr = std::shared_ptr<Transfer>;
    class ThreadSide;

    // User-interface thread.
    void OnChooseCommand();
    void OnDropFiles(HDROP drop);
    void OnOffer(const wchar_t* path);
    void OnShowOffer(const uint8_t* msg, size_t length);
    void OnAccepted(const std::string& savePath, const std::string& stamp, IUnknown* control);
    void OnRejected(IUnknown* control);
    void OnReceiveCancelled(IUnknown* control);
    void OnSendCancelled(IUnknown* control);
    void OnPeerRejected(bool directLink);
    void OnPeerCancelled();
    bool HaveLink();
    bool AtLimit() const;
    void Append(const CHARFORMATA& format, const std::string& text);

    // Any thread.
    TransferPtr ByStamp(const std::string& stamp, bool sending) const;
    TransferPtr ByControl(IUnknown* control) const;
    void Remove(const TransferPtr& transfer);
    void Counted(Transfer& transfer) { transfer.counted = 1; }
    void Lower(Transfer& transfer);
    void SendToPeer(const std::vector<uint8_t>& bytes);
    void SendReply(bool accepted, const std::string& stamp, uint32_t resume);
    void SendAck(const std::string& stamp, bool stop, const Transfer* transfer);
    void StartSend(const TransferPtr& transfer, uint32_t resume);
    static DWORD WINAPI SendThread(void* start);
    void RunSend(const TransferPtr& transfer);

    ChatDialog& window_;
    DiskSendFiles sendFiles_;
    DiskReceiveFiles receiveFiles_;
    std::vector<TransferPtr> transfers_;  // under the window lock
    std::vector<HANDLE> threads_;         // under the window lock
};

}  // namespace chatdesk
