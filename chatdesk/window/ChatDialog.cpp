#include "ChatDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "ChatSkin.h"
#include "ChatTransfers.h"
#include "CommonKit.h"
#include "DebugOut.h"
#include "DialogHook.h"
#include "DisplayObjects.h"
#include "EmoticonPicker.h"
#include "ImClock.h"
#include "ImMessages.h"
#include "ImService.h"
#include "InPlaceFrame.h"
#include "OleCallback.h"
#include "ProgramFolder.h"
#include "PumpingJoin.h"
#include "RecordViewer.h"
#include "Text.h"
#include "TextTransport.h"

namespace chatdesk {

namespace {

const char kOldProcProperty[] = "RichEditOldWndProc";
constexpr UINT kMsgStartAttempt = WM_USER + 2021;
constexpr UINT kMsgOpenRecords = WM_USER + 2022;
constexpr DWORD kAttemptWaitMs = 15000;

std::string Field(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

LRESULT CallOld(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto old = reinterpret_cast<WNDPROC>(GetPropA(window, kOldProcProperty));
    return old ? CallWindowProcW(old, window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void Subclass(HWND window, WNDPROC proc) {
    if (!window || GetPropA(window, kOldProcProperty)) return;
    SetPropA(window, kOldProcProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_WNDPROC)));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
}

void Unsubclass(HWND window) {
    if (!window) return;
    HANDLE old = GetPropA(window, kOldProcProperty);
    if (!old) return;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(window, kOldProcProperty);
}

vantor::ComPtr<IRichEditOle> OleOf(HWND edit) {
    vantor::ComPtr<IRichEditOle> ole;
    if (edit) SendMessageW(edit, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(ole.put()));
    return ole;
}

}  // namespace

ChatDialog::ChatDialog()
    : CSkinFrame(true, SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE),
      records_(RecordStore(SystemRecordFiles(), LocalImTime)),
      attemptDone_(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      lastTransferEnded_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      fileTransfers_(new ChatTransfers(*this)) {
    ownFormat_.cbSize = peerFormat_.cbSize = displayFormat_.cbSize = sizeof(CHARFORMATA);
}

ChatDialog::~ChatDialog() = default;

bool ChatDialog::CreateDialogWindow(ImService& service) {
    service_ = &service;
    key_ = Field(Peer().id, sizeof Peer().id);
    if (!Create(service.Settings().instance, kChatDialog, GetDesktopWindow())) return false;
    if (!service.Register(key_, this)) {
        // Not ours to delete: the caller discards the object.
        HWND window = m_hWnd;
        registered_ = false;
        DestroyWindow(window);
        m_hWnd = nullptr;
        return false;
    }
    registered_ = true;
    return true;
}

void ChatDialog::DestroyDialogWindow() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

FriendInfoA ChatDialog::PeerCopy() {
    vantor::Lock lock(peerLock_);
    return Peer();
}

uint32_t ChatDialog::PeerPublicAddress() {
    vantor::Lock lock(peerLock_);
    return Peer().status.publicIp;
}

//--- Initialisation and destruction

bool ChatDialog::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    SetWindowTextW(m_hWnd, ChatCaption(PeerCopy()).c_str());

    sendButton_.SubclassWnd(GetDlgItem(m_hWnd, kSendButton));
    closeButton_.SubclassWnd(GetDlgItem(m_hWnd, kCloseButton));
    recordsButton_.SubclassWnd(GetDlgItem(m_hWnd, kRecordsButton));
    fileButton_.SubclassWnd(GetDlgItem(m_hWnd, kFileButton));
    LoadCustomSkin();

    SetUpCompose();
    SetUpDisplay();
    StartTexts();
    EnableWindow(GetDlgItem(m_hWnd, kSendButton), FALSE);

    wchar_t line[128];
    wsprintfW(line, L"聊天窗口句柄：0x%08x，记录RichEdit控件句柄：0x%08x\n",
              static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_hWnd)),
              static_cast<unsigned>(reinterpret_cast<UINT_PTR>(Display())));
    vantor::DebugLine(line);

    // Centred on the owner, or on the work area, and kept inside the work area.
    CenterWindow(m_hWnd, nullptr);

    hookInstalled_ = vantor::imkit::InstallDialogHook(m_hWnd) != vantor::imkit::kHookLibraryMissing;
    SetTimer(m_hWnd, kReceiptTimer, kReceiptTickMs, nullptr);
    // The caret waits in the compose box, not in the first control (the display).
    SetFocus(GetDlgItem(m_hWnd, kComposeId));
    return false;
}

void ChatDialog::SetUpCompose() {
    HWND compose = GetDlgItem(m_hWnd, kComposeId);
    if (!compose) return;
    composeOle_ = OleOf(compose);
    if (composeOle_) composeOle_->SetHostNames("ChatDesk", "Send");
    DragAcceptFiles(compose, TRUE);
    Subclass(compose, ComposeProc);
    SendMessageW(compose, EM_EXLIMITTEXT, 0, kComposeLimit);
    SendMessageA(compose, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&displayFormat_));
    ownFormat_ = peerFormat_ = displayFormat_;
    SendMessageW(compose, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SCROLLEVENTS | ENM_KEYEVENTS | ENM_MOUSEEVENTS | ENM_LINK);
    SendMessageA(compose, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&ownFormat_));
}

void ChatDialog::SetUpDisplay() {
    HWND display = Display();
    if (!display) return;
    SetWindowLongW(display, GWL_STYLE, GetWindowLongW(display, GWL_STYLE) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    Subclass(display, DisplayProc);
    frame_ = vantor::ComPtr<IOleInPlaceFrame>(new InPlaceFrame(*this));
    callback_ = vantor::ComPtr<IRichEditOleCallback>(new RichEditOleCallback(*this, frame_.get()));
    SendMessageW(display, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(callback_.get()));
    displayOle_ = OleOf(display);
    if (displayOle_) displayOle_->SetHostNames("ChatDesk", "Record");
    SendMessageW(display, EM_SETEVENTMASK, 0, ENM_SCROLLEVENTS | ENM_MOUSEEVENTS | ENM_LINK);
    SendMessageA(display, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&displayFormat_));
}

void ChatDialog::OnDestroy() {
    KillTimer(m_hWnd, kReceiptTimer);
    KillTimer(m_hWnd, kTypingNoticeTimer);
    KillTimer(m_hWnd, kTypingShownTimer);
    if (service_) vantor::imkit::ParkEmoticonPicker(m_hWnd, service_->Window());
    if (hookInstalled_) vantor::imkit::UninstallDialogHook(m_hWnd);
    hookInstalled_ = false;
    EndThread(&attemptThread_);
    // The fetch thread writes into this object: it ends before the object can.
    EndThread(&fetchThread_);
    sendButton_.UnsubclassWnd();
    closeButton_.UnsubclassWnd();
    recordsButton_.UnsubclassWnd();
    fileButton_.UnsubclassWnd();

    fileTransfers_->WindowClosing();
    if (transfers_ > 0) {
        transferStop_ = true;
        vantor::WaitPumping(lastTransferEnded_.get(), kLastTransferWaitMs);
    }
    StopTexts();

    Unsubclass(GetDlgItem(m_hWnd, kComposeId));
    Unsubclass(Display());
    if (service_) {
        ConnectionRef link = service_->DirectLinkOf(this);
        if (link.get()) service_->CloseConnection(link.get());
        fileTransfers_->EndThreads();
        if (registered_) service_->Unregister(key_, this);
    }
    // No text can come any more: what the window recorded goes into the file now.
    records_.Stop();
    if (viewer_) {
        viewer_->Destroy();
        viewer_ = nullptr;
    }
    // The controls let go of their sites and the shared active slot before the display goes.
    CloseDisplayObjects(displayOle_.get());
    composeOle_ = vantor::ComPtr<IRichEditOle>();
    displayOle_ = vantor::ComPtr<IRichEditOle>();
}

void ChatDialog::OnNcDestroy() {
    if (registered_) delete this;
}

void ChatDialog::EndThread(HANDLE* thread) {
    if (!*thread) return;
    // An unusable handle ends the wait and is left as it is.
    if (!vantor::WaitPumping(*thread) && GetLastError() == ERROR_INVALID_HANDLE) return;
    CloseHandle(*thread);
    *thread = nullptr;
}

HRESULT ChatDialog::NewStorage(IStorage** storage) { return MakeGlobalStorage(storage); }

//--- Messages

INT_PTR ChatDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR handled = 0;
    if (TextMessage(message, wParam, lParam, &handled)) return handled;
    if (fileTransfers_->OnMessage(message, wParam, lParam)) return TRUE;
    switch (message) {
    case kMsgAttemptEnded:
        EndThread(&attemptThread_);
        return TRUE;
    case kMsgQueueEnded:
        return TRUE;  // stopping the texts waits for the queue thread and closes its handle
    case kMsgFetchEnded: {
        EndThread(&fetchThread_);
        TakeFetchedRecord();
        SetWindowTextW(m_hWnd, ChatCaption(PeerCopy()).c_str());
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return TRUE;
    }
    case kMsgOpenRecords:
        if (!viewer_) OnRecordsCommand();
        return TRUE;
    case kMsgStartAttempt:
        StartLinkAttempt();
        return TRUE;
    case kMsgPointerOverDisplay: {
        POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ActivateControlAt(Display(), displayOle_.get(), point);
        return TRUE;
    }
    case kMsgShowTyping:
        ShowTyping(static_cast<char>(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_MOVE:
        PlaceViewer();
        break;
    case WM_KEYUP:
        if (wParam != VK_RETURN) break;
        OnEnter(GetFocus());
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->code == EN_MSGFILTER) {
            auto* filter = reinterpret_cast<MSGFILTER*>(lParam);
            if (filter->msg == WM_KEYUP && filter->wParam == VK_RETURN) OnEnter(header->hwndFrom);
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

void ChatDialog::OnEnter(HWND focus) {
    if (!focus) return;
    if (focus == GetDlgItem(m_hWnd, kComposeId)) {
        SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(kSendButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(m_hWnd, kSendButton)));
    } else if (focus == Display()) {
        SetFocus(focus);
    }
}

LRESULT CALLBACK ChatDialog::ComposeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) return SendMessageW(GetParent(window), WM_DROPFILES, wParam, lParam);
    return CallOld(window, message, wParam, lParam);
}

LRESULT CALLBACK ChatDialog::DisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE) SendMessageW(GetParent(window), kMsgPointerOverDisplay, wParam, lParam);
    LRESULT result = CallOld(window, message, wParam, lParam);
    switch (message) {
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_MOUSEWHEEL:
    case WM_SIZE:
    case WM_KEYDOWN:
    case EM_REPLACESEL:
    case EM_SCROLLCARET:
    case EM_LINESCROLL:
    case EM_SCROLL: {
        // Active controls are children of the display here: keep them on their objects. A
        // display without children has none to keep (most appends of a chat).
        if (!GetWindow(window, GW_CHILD)) break;
        vantor::ComPtr<IRichEditOle> ole = OleOf(window);
        if (ole) KeepControlsOnObjects(window, ole.get());
        break;
    }
    default:
        break;
    }
    return result;
}

void ChatDialog::OnCommand(UINT notifyCode, UINT controlId, HWND control) {
    switch (controlId) {
    case kComposeId:
        if (notifyCode == EN_CHANGE) {
            bool hasText = GetWindowTextLengthW(GetDlgItem(m_hWnd, kComposeId)) > 0;
            EnableWindow(GetDlgItem(m_hWnd, kSendButton), hasText);
            if (TypingChanged(flags_, hasText)) {
                SetTimer(m_hWnd, kTypingNoticeTimer, kTypingNoticeMs, nullptr);
            }
        }
        return;
    case kRecordsButton:
        if (notifyCode == BN_CLICKED) OnRecordsCommand();
        return;
    case kSendButton:
        if (notifyCode == BN_CLICKED && IsWindowEnabled(GetDlgItem(m_hWnd, kSendButton))) OnSendCommand();
        return;
    case kCloseButton:
        if (notifyCode != BN_CLICKED) return;
        if (transfers_ < 1)
            PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            MessageBoxW(m_hWnd, L"有文件正在传输，请先中断传输！", L"即时聊天", MB_ICONEXCLAMATION);
        return;
    case kEmoticonButton:
        if (notifyCode == BN_CLICKED) OnEmoticonCommand();
        return;
    case kFontButton:
        if (notifyCode == BN_CLICKED) ChooseOwnFont();
        return;
    default:
        CSkinFrame::OnCommand(notifyCode, controlId, control);
        return;
    }
}

void ChatDialog::OnRecordsCommand() {
    if (viewer_) {
        ShowWindow(viewer_->Window(), SW_HIDE);
        viewer_->Destroy();
        viewer_ = nullptr;
        return;
    }
    viewer_ = RecordViewer::Create(*this);
    if (!viewer_) return;
    PlaceViewer();
    ShowWindow(viewer_->Window(), SW_SHOWNOACTIVATE);
    SetFocus(GetDlgItem(m_hWnd, kComposeId));
}

void ChatDialog::PlaceViewer() {
    if (!viewer_ || !m_hWnd) return;
    RECT chat, own;
    GetWindowRect(m_hWnd, &chat);
    GetWindowRect(viewer_->Window(), &own);
    RECT to = ViewerRect(chat, own.bottom - own.top);
    MoveWindow(viewer_->Window(), to.left, to.top, to.right - to.left, to.bottom - to.top, TRUE);
}

void ChatDialog::OpenRecordView() {
    // Asked twice before the first is handled, the viewer still opens once.
    if (!viewer_ && m_hWnd) PostMessageW(m_hWnd, kMsgOpenRecords, 0, 0);
}

void ChatDialog::OnSendCommand() {
    bool linked = service_->DirectLinkOf(this).get() != nullptr;
    if (!linked && (flags_ & kFlagRetryLink)) StartLinkAttempt();
    if (!service_->LoggedIn() && !linked) {
        MessageBoxW(m_hWnd, L"聊天服务器链接失败，不能聊天，请稍候重试！", L"即时聊天", MB_ICONEXCLAMATION);
        return;
    }
    SendComposed();
    SetFocus(GetDlgItem(m_hWnd, kComposeId));
}

void ChatDialog::OnEmoticonCommand() {
    HWND picker = vantor::imkit::OpenEmoticonPicker(m_hWnd);
    if (!picker) return;
    RECT button, size;
    GetWindowRect(GetDlgItem(m_hWnd, kEmoticonButton), &button);
    GetWindowRect(picker, &size);
    POINT at = PickerPosition(button, {size.right - size.left, size.bottom - size.top}, 0);
    ScreenToClient(m_hWnd, &at);
    SetWindowPos(picker, HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetFocus(picker);
}

bool ChatDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    if (!item) return false;
    switch (item->CtlID) {
    case kSendButton:
        return sendButton_.IsSubclass() && sendButton_.DrawItem(item);
    case kCloseButton:
        return closeButton_.IsSubclass() && closeButton_.DrawItem(item);
    case kRecordsButton:
        return recordsButton_.IsSubclass() && recordsButton_.DrawItem(item);
    case kFileButton:
        return fileButton_.IsSubclass() && fileButton_.DrawItem(item);
    default:
        return false;
    }
}

void ChatDialog::LoadCustomSkin() {
    ChatButtonSkin skin = ReadChatButtonSkin(vantor::imkit::ProgramFolder());
    if (!skin.present) return;
    for (CKnobKit* button : {&sendButton_, &closeButton_, &recordsButton_, &fileButton_}) {
        button->SetBkgndImage(skin.normalImage.empty() ? nullptr : skin.normalImage.c_str(),
                              skin.hoverImage.empty() ? nullptr : skin.hoverImage.c_str(), nullptr, nullptr);
        button->SetTextColor(skin.normalText, skin.hoverText);
    }
}

void ChatDialog::OnDraw(HDC dc) {
    HWND area = GetDlgItem(m_hWnd, kNameArea);
    if (!area) return;
    RECT rect;
    GetWindowRect(area, &rect);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    FriendInfoA peer = PeerCopy();
    if (service_ && service_->StatusPictureCount() > 5) {
        ImageList_Draw(service_->StatusPictures(), StatusPicture(peer.status.status), dc, rect.left, rect.top,
                       ILD_TRANSPARENT);
        rect.left += 24;
    }
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    int mode = SetBkMode(dc, TRANSPARENT);
    std::string name = PeerName(peer);
    DrawTextA(dc, name.c_str(), static_cast<int>(name.size()), &rect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetBkMode(dc, mode);
    SelectObject(dc, font);
}

//--- Timers, typing, receipts

void ChatDialog::OnTimer(UINT_PTR id) {
    switch (id) {
    case kTypingNoticeTimer:
        KillTimer(m_hWnd, kTypingNoticeTimer);
        if (TypingTimerFired(flags_)) SendTypingNotice('0');
        return;
    case kTypingShownTimer:
        KillTimer(m_hWnd, kTypingShownTimer);
        ShowTyping('2');
        return;
    case kReceiptTimer:
        TextsTick();
        return;
    default:
        return;
    }
}

void ChatDialog::SendTypingNotice(char state) {
    TypingNotice notice;
    notice.senderId = service_->Contacts().OwnId();
    notice.receiverId = Field(PeerCopy().id, sizeof Peer().id);
    notice.state = state;
    ImBytes bytes = BuildTypingNotice(notice);
    ConnectionRef link = service_->DirectLinkOf(this);
    if (link.get() && service_->DirectSend(link.get(), bytes.data(), bytes.size())) return;
    service_->RelaySend(bytes.data(), bytes.size());
}

void ChatDialog::OnTypingNotice(const uint8_t* msg, size_t length) {
    TypingNotice notice;
    if (!ReadTypingNotice(msg, length, &notice)) return;
    PostMessageW(m_hWnd, kMsgShowTyping, static_cast<unsigned char>(notice.state), 0);
}

void ChatDialog::ShowTyping(char state) {
    HWND label = GetDlgItem(m_hWnd, kTypingLabel);
    if (state == '0') {
        KillTimer(m_hWnd, kTypingShownTimer);
        SetWindowTextW(label, TypingLabel(PeerCopy()).c_str());
        SetTimer(m_hWnd, kTypingShownTimer, kTypingShownMs, nullptr);
    } else if (state == '2') {
        SetWindowTextW(label, L"");
    }
    if (label) {
        RECT rect;
        GetWindowRect(label, &rect);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        InvalidateRect(m_hWnd, &rect, TRUE);
    }
}

void ChatDialog::AppendDisplay(const std::string& text) { AppendText(m_hWnd, Display(), text, displayFormat_, false); }

void ChatDialog::TakePeerStatus(uint16_t status) {
    // The friend's record as the contact book keeps it: the window's copy may be only half
    // filled (a window made for a link request or a text), and would overwrite it.
    FriendInfoA record = {};
    lstrcpynA(record.id, key_.c_str(), sizeof record.id);
    service_->Contacts().PeerRecord(key_, &record);
    lstrcpynA(record.id, key_.c_str(), sizeof record.id);
    record.status.status = status;
    if (!service_->Contacts().ModifyFriend(record)) return;
    vantor::Lock lock(peerLock_);
    ++peerChanges_;
    Peer().status.status = status;
}

bool ChatDialog::SendCancelNotice() {
    FileCancel cancel;
    cancel.cancellerId = service_->Contacts().OwnId();
    cancel.otherId = Field(PeerCopy().id, sizeof Peer().id);
    ImBytes bytes = BuildFileCancel(cancel);
    // A notice the direct link did not take goes by the server: the peer must hear it.
    ConnectionRef link = service_->DirectLinkOf(this);
    if (link.get() && service_->DirectSend(link.get(), bytes.data(), bytes.size())) return true;
    return service_->RelaySend(bytes.data(), bytes.size());
}

//--- The direct link and the peer record

void ChatDialog::LinkDropped() {
    transferStop_ = true;
    flags_ |= kFlagRetryLink;
}

void ChatDialog::StartLinkAttempt() {
    if (!m_hWnd) return;
    // Thread handles belong to the window's own thread.
    if (GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId()) {
        PostMessageW(m_hWnd, kMsgStartAttempt, 0, 0);
        return;
    }
    if (attemptThread_ || service_->DirectLinkOf(this).get()) return;
    ResetEvent(attemptDone_.get());
    attemptThread_ = CreateThread(nullptr, 0, AttemptThread, this, 0, nullptr);
    if (!attemptThread_) SetEvent(attemptDone_.get());
}

void ChatDialog::TakeLinkRequest(const std::string& requesterId, uint32_t address, uint16_t port) {
    {
        vantor::Lock lock(peerLock_);
        ++peerChanges_;
        lstrcpynA(Peer().id, requesterId.c_str(), sizeof Peer().id);
        Peer().status.publicIp = address;
        Peer().status.publicPort = port;
    }
    StartLinkAttempt();
}

DWORD WINAPI ChatDialog::AttemptThread(void* self) {
    auto* window = static_cast<ChatDialog*>(self);
    bool linked = window->TryDirectLink();
    PeerLinkReply reply;
    reply.ownId = window->service_->Contacts().OwnId();
    reply.peerId = Field(window->PeerCopy().id, sizeof window->Peer().id);
    reply.linked = linked;
    ImBytes bytes = BuildPeerLinkReply(reply);
    window->service_->RelaySend(bytes.data(), bytes.size());
    HWND hwnd = window->m_hWnd;
    SetEvent(window->attemptDone_.get());
    PostMessageW(hwnd, kMsgAttemptEnded, 0, 0);
    return 0;
}

bool ChatDialog::TryDirectLink() {
    FriendInfoA own = {};
    service_->Contacts().OwnRecord(&own);
    FriendInfoA peer = PeerCopy();
    uint32_t target = LinkTarget(own.status, peer.status);
    uint16_t port = service_->ListenPort();
    ImConnection* link = target && port ? service_->Connect(target, port) : nullptr;
    service_->SetDirectLink(this, link);
    if (link) {
        link->Release();
        vantor::DebugLine(L"P2P链接成功建立\n");
        return true;
    }
    vantor::DebugLine(L"P2P链接建立失败\n");
    return false;
}

// The record the fetch brought. Written since the fetch began, the window's record is the
// newer one: the fetch then only fills what is still empty in it.
void ChatDialog::TakeFetchedRecord() {
    vantor::Lock lock(peerLock_);
    FriendInfoA& peer = Peer();
    if (peerChanges_ == fetchBegan_) {
        std::string id = Field(peer.id, sizeof peer.id);
        peer = fetched_;
        lstrcpynA(peer.id, id.c_str(), sizeof peer.id);
    } else {
        FillEmptyFields(&peer, fetched_);
    }
    ++peerChanges_;
}

void ChatDialog::StartPeerFetch() {
    if (fetchThread_ || !m_hWnd) return;
    fetchThread_ = CreateThread(nullptr, 0, FetchThread, this, 0, nullptr);
}

DWORD WINAPI ChatDialog::FetchThread(void* self) {
    auto* window = static_cast<ChatDialog*>(self);
    FriendInfoA record;
    {
        vantor::Lock lock(window->peerLock_);
        record = window->Peer();
        window->fetchBegan_ = window->peerChanges_;
    }
    window->service_->Contacts().PeerRecord(Field(record.id, sizeof record.id), &record);
    {
        vantor::Lock lock(window->peerLock_);
        window->fetched_ = record;
    }
    PostMessageW(window->m_hWnd, kMsgFetchEnded, 0, 0);
    return 0;
}

void ChatDialog::TakeRecord(const FriendInfoA& record) {
    bool redraw = false;
    bool moved = false;
    {
        vantor::Lock lock(peerLock_);
        ++peerChanges_;
        FriendInfoA& peer = Peer();
        if (peer.status.status != record.status.status) peer.status.status = record.status.status;
        if (strncmp(peer.nickname, record.nickname, sizeof peer.nickname) != 0) {
            memcpy(peer.nickname, record.nickname, sizeof peer.nickname);
            redraw = true;
        }
        if (peer.status.publicIp != record.status.publicIp) {
            moved = true;
            peer.status.localIp = record.status.localIp;
            peer.status.localPort = record.status.localPort;
            peer.status.publicIp = record.status.publicIp;
            peer.status.publicPort = record.status.publicPort;
        }
        memcpy(peer.name, record.name, sizeof peer.name);
        memcpy(peer.birthday, record.birthday, sizeof peer.birthday);
        memcpy(peer.province, record.province, sizeof peer.province);
        memcpy(peer.city, record.city, sizeof peer.city);
        peer.age = record.age;
        peer.sex = record.sex;
        memcpy(peer.voip, record.voip, sizeof peer.voip);
        memcpy(peer.mobile, record.mobile, sizeof peer.mobile);
        memcpy(peer.phone, record.phone, sizeof peer.phone);
        memcpy(peer.xlt, record.xlt, sizeof peer.xlt);
        memcpy(peer.email, record.email, sizeof peer.email);
    }
    if (moved) {
        ConnectionRef link = service_->DirectLinkOf(this);
        if (link.get()) {
            service_->SetDirectLink(this, nullptr);
            service_->CloseConnection(link.get());
        }
        // A running attempt thread finishes first; its handle stays the window's.
        WaitForSingleObject(attemptDone_.get(), kAttemptWaitMs);
        TryDirectLink();
    }
    if (redraw && m_hWnd) InvalidateRect(m_hWnd, nullptr, FALSE);
}

//--- File transfers

void ChatDialog::OnFileOffer(ImConnection*, const uint8_t* msg, size_t length) { fileTransfers_->OnFileOffer(msg, length); }
void ChatDialog::OnFileOfferReply(const uint8_t* msg, size_t length, bool directLink) {
    fileTransfers_->OnFileOfferReply(msg, length, directLink);
}
void ChatDialog::OnFileBlock(ImConnection*, const uint8_t* msg, size_t length) { fileTransfers_->OnFileBlock(msg, length); }
void ChatDialog::OnFileBlockAck(const uint8_t* msg, size_t length) { fileTransfers_->OnFileBlockAck(msg, length); }
void ChatDialog::OnFileCancel(const uint8_t* msg, size_t length) { fileTransfers_->OnFileCancel(msg, length); }

}  // namespace chatdesk
