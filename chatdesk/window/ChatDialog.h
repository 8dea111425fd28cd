// The chat window: one skinned dialog per peer with the conversation display, the
// compose box and the buttons; it owns the direct link to the peer, the record viewer
// and the threads that try the link and fetch the peer's record.
//
// The service makes it (hidden) on its user-interface thread and hands it the messages
// routed to its peer; those handlers run on receive threads and reach the window only
// by posting or sending to it.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <atomic>
#include <memory>

#include "ChatRules.h"
#include "ChatWindow.h"
#include "Handles.h"
#include "OleHost.h"
#include "QueueThread.h"
#include "RecordWriter.h"
#include "SendQueue.h"
#include "TextCompose.h"
#include "SkinFrame.h"
#include "Sync.h"
#include "outside/KnobKit.h"

namespace chatdesk {

class ChatTransfers;
class RecordViewer;

// Dialog template and control ids.
constexpr int kChatDialog = 101;
constexpr int kDisplayId = 1000;
constexpr int kComposeId = 1001;
constexpr int kRecordsButton = 1002;
constexpr int kSendButton = 1003;
constexpr int kCloseButton = 1004;
constexpr int kEmoticonButton = 1005;
constexpr int kFontButton = 1006;
constexpr int kFileButton = 1007;
constexpr int kTypingLabel = 1009;
constexpr int kNameArea = 1011;
constexpr int kComposeLimit = 800;

// Private messages of the chat window.
constexpr UINT kMsgAttemptEnded = WM_USER + 2000;
constexpr UINT kMsgQueueEnded = WM_USER + 2007;
constexpr UINT kMsgFetchEnded = WM_USER + 2011;
constexpr UINT kMsgPointerOverDisplay = WM_USER + 2016;
constexpr UINT kMsgShowTyping = WM_USER + 2020;  // wParam: the state character

constexpr UINT_PTR kTypingNoticeTimer = 320;
constexpr UINT_PTR kTypingShownTimer = 321;
constexpr UINT_PTR kReceiptTimer = 322;
constexpr UINT kTypingNoticeMs = 4000;
constexpr UINT kTypingShownMs = 10000;
constexpr UINT kReceiptTickMs = 1000;
// The longest wait for the last transfer while closing.
constexpr DWORD kLastTransferWaitMs = 10000;

constexpr DWORD kFlagRetryLink = 0x80000000;

class ChatDialog : public CSkinFrame, public ChatWindow, private OleHost {
public:
    ChatDialog();
    ~ChatDialog() override;

    // ChatWindow
    bool CreateDialogWindow(ImService& service) override;
    HWND Window() const override { return m_hWnd; }
    void DestroyDialogWindow() override;
    void StartLinkAttempt() override;
    void TakeLinkRequest(const std::string& requesterId, uint32_t address, uint16_t port) override;
    void StartPeerFetch() override;
    bool RecordViewOpen() const override { return viewer_ != nullptr; }
    void OpenRecordView() override;
    void TakeRecord(const FriendInfoA& record) override;
    void OnTypingNotice(const uint8_t* msg, size_t length) override;
    void LinkDropped() override;
    uint32_t PeerPublicAddress() override;
    // A copy of the peer record, taken under the lock that guards it.
    FriendInfoA PeerCopy();

    // File transfers (ChatTransfers does the work).
    void OnFileOffer(ImConnection* via, const uint8_t* msg, size_t length) override;
    void OnFileOfferReply(const uint8_t* msg, size_t length, bool directLink) override;
    void OnFileBlock(ImConnection* via, const uint8_t* msg, size_t length) override;
    void OnFileBlockAck(const uint8_t* msg, size_t length) override;
    void OnFileCancel(const uint8_t* msg, size_t length) override;
    ChatTransfers* Transfers() const { return fileTransfers_.get(); }

    // Reached by the texts and the transfers.
    ImService& Service() const { return *service_; }
    IRichEditOle* DisplayOle() const { return displayOle_.get(); }
    HWND Display() const { return GetDlgItem(m_hWnd, kDisplayId); }
    const CHARFORMATA& DisplayFormat() const { return displayFormat_; }
    // Appends 8-bit text at the end of the display in the display format.
    void AppendDisplay(const std::string& text);
    // Shows or clears the typing label ('0' shows, '2' clears); user-interface thread.
    void ShowTyping(char state);
    // Stores a status the peer reported, when the peer is a friend.
    void TakePeerStatus(uint16_t status);
    // A file-transfer cancel notice to the peer: directly when linked, else (or when the
    // direct send failed) relayed.
    bool SendCancelNotice();
    vantor::CriticalSection& Lock() { return lock_; }
    LONG TransferCount() const { return transfers_; }
    // Lowering it to 0 sets the last-transfer-ended event.
    void CountTransfer(bool more) {
        if (more)
            InterlockedIncrement(&transfers_);
        else if (InterlockedDecrement(&transfers_) <= 0)
            SetEvent(lastTransferEnded_.get());
    }
    bool ThreadsRunning() const { return attemptThread_ || fetchThread_; }

    //--- The chat texts (ChatTexts.cpp)
    void OnChatText(ImConnection* via, const uint8_t* msg, size_t length, bool formatted) override;
    void OnChatTextReceipt(const uint8_t* msg, size_t length) override;
    void OnOfflineStoreReply(const uint8_t* msg, size_t length) override;
    // The outgoing texts and the texts waiting for a receipt.
    SendQueue& Texts() { return *texts_; }
    const CHARFORMATA& OwnFormat() const { return ownFormat_; }
    // The record file of the conversation for the own id (its folder made); empty without one.
    std::wstring RecordPath(const std::string& ownId) const;
    const CHARFORMATA& PeerFormat() const { return peerFormat_; }

    // CSkinFrame
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnNcDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void UnloadCustomSkin() override {}
    void OnDraw(HDC dc) override;

private:
    //--- The chat texts (ChatTexts.cpp)
    class TextTransport;
    void StartTexts();
    void StopTexts();
    // Adds a chat text as it travelled (plain or formatted) to the records of the
    // conversation (any thread): kept at once, written into the file by the writer.
    void RecordText(const uint8_t* message, size_t length, bool formatted);
    // The text messages of the window; true when handled (the result in *result).
    bool TextMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);
    void SendComposed();
    void ChooseOwnFont();
    void TextsTick();
    // Waits for a running peer-record fetch and takes its record before anything uses the peer.
    void FinishPeerFetch();
    void TakeFetchedRecord();
    std::unique_ptr<TextTransport> transport_;
    std::unique_ptr<SendQueue> texts_;
    QueueThread textThread_;
    RecordWriter records_;
    TextFormChoice form_;

    // OleHost
    HWND HostWindow() const override { return m_hWnd; }
    HRESULT NewStorage(IStorage** storage) override;

    void SetUpCompose();
    void SetUpDisplay();
    void OnTimer(UINT_PTR id);
    void OnRecordsCommand();
    void OnSendCommand();
    void OnEmoticonCommand();
    void OnEnter(HWND focus);
    void PlaceViewer();
    void SendTypingNotice(char state);

    static DWORD WINAPI AttemptThread(void* self);
    static DWORD WINAPI FetchThread(void* self);
    // Steps of a direct-link attempt: the link (or none) becomes the window's.
    bool TryDirectLink();
    void EndThread(HANDLE* thread);
    static LRESULT CALLBACK ComposeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK DisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ImService* service_ = nullptr;
    std::string key_;  // the registry key: the peer id at creation

    HANDLE fetchThread_ = nullptr;
    HANDLE attemptThread_ = nullptr;
    vantor::UniqueHandle attemptDone_;  // manual reset; set while no attempt thread runs
    vantor::UniqueHandle lastTransferEnded_;
    volatile LONG transfers_ = 0;
    std::atomic<bool> transferStop_{false};
    std::atomic<DWORD> flags_{0};

    CHARFORMATA ownFormat_ = {};
    CHARFORMATA peerFormat_ = {};
    CHARFORMATA displayFormat_ = {};

    vantor::ComPtr<IOleInPlaceFrame> frame_;
    vantor::ComPtr<IRichEditOleCallback> callback_;
    vantor::ComPtr<IRichEditOle> displayOle_;
    vantor::ComPtr<IRichEditOle> composeOle_;

    CKnobKit sendButton_, closeButton_, recordsButton_, fileButton_;
    RecordViewer* viewer_ = nullptr;

    vantor::CriticalSection lock_;  // the window lock

    vantor::CriticalSection peerLock_;  // the peer record and the fetched one
    FriendInfoA fetched_ = {};
    // Under peerLock_: each write of the peer record counts, so a fetch that began before
    // one cannot put its older status or address over it.
    unsigned peerChanges_ = 0;
    unsigned fetchBegan_ = 0;
    bool hookInstalled_ = false;
    bool registered_ = false;  // the service knows the window: it deletes itself at the end

    friend class ChatTransfers;
    std::unique_ptr<ChatTransfers> fileTransfers_;
};

class ChatDialogFactory : public ChatWindowFactory {
public:
    ChatWindow* MakeChatWindow() override { return new ChatDialog; }
    OfflineView* MakeOfflineView() override;
};

}  // namespace chatdesk
