// The text side of the chat window: sending what the user composed through the send
// queue, showing sent and received texts, receipts, refused texts with their offline
// offer, the character formats with the font dialog, and the emoticons of the display.
#include <winsock2.h>
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "CharFormats.h"
#include "ChatDialog.h"
#include "DebugOut.h"
#include "Emoticons.h"
#include "ImClock.h"
#include "ImService.h"
#include "ModulePath.h"
#include "PictureData.h"
#include "ProgramFolder.h"
#include "ReceivedText.h"
#include "RecordStore.h"
#include "Text.h"
#include "TextLines.h"
#include "TextTransport.h"

namespace chatdesk {

namespace {

constexpr DWORD kLinkAttemptWaitMs = 20000;
constexpr int kEmoticonPixels = 18;
// The first character of every emoticon code.
constexpr char kEmoticonLead = '|';

std::string IdText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

std::string Narrow(const std::wstring& text) { return vantor::WideToAnsi(text); }

LONG FindForward(HWND edit, const std::wstring& text, LONG from, LONG to) {
    FINDTEXTW find = {};
    find.chrg.cpMin = from;
    find.chrg.cpMax = to;
    find.lpstrText = text.c_str();
    return static_cast<LONG>(SendMessageW(edit, EM_FINDTEXTW, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
}

void SetLinkEffect(HWND edit, LONG at, LONG chars, bool link, const CHARFORMATA& base) {
    CHARRANGE range = {at, at + chars};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format = base;
    if (link) {
        format.dwMask = CFM_LINK;
        format.dwEffects = CFE_LINK;
    } else {
        // The display format's mask without effects takes the link away.
        format.dwEffects = 0;
        format.dwMask |= CFM_LINK;
    }
    SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void CaretToEnd(HWND edit) {
    SendMessageW(edit, EM_SETSEL, -1, -1);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

// Whether the text stands at the position. Searched for rather than read back: the 1.0
// control's range reads count bytes where they should count characters.
bool TextAt(HWND edit, LONG at, const std::wstring& text) {
    return FindForward(edit, text, at, at + static_cast<LONG>(text.size())) == at;
}

// The emoticon whose code stands at the position, or -1.
int EmoticonAt(HWND edit, LONG at) {
    for (int index = 0; index < vantor::imkit::kEmoticonCount; ++index) {
        wchar_t code[vantor::imkit::kEmoticonCodeChars] = {};
        if (vantor::imkit::CodeByIndex(index, code) && TextAt(edit, at, code)) return index;
    }
    return -1;
}

// `mayHoldCode`: whether the text holds the character every emoticon code starts with;
// a text without it leaves the display's own search out.
template <typename Appender>
int AppendWith(HWND owner, HWND edit, const CHARFORMATA& format, bool replace, bool mayHoldCode,
               Appender replaceSelection) {
    if (!edit) return 0;
    DisplayBatch batch(edit);
    int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    SendMessageW(edit, EM_SETSEL, -1, -1);
    CHARFORMATA selection = format;
    SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&selection));
    replaceSelection();
    if (replace && mayHoldCode && owner)
        SendMessageW(owner, kMsgReplaceEmoticons, static_cast<WPARAM>(lines), reinterpret_cast<LPARAM>(edit));
    // A batch around this one scrolls once at its end.
    if (!batch.HeldOutside()) CaretToEnd(edit);
    return lines;
}

}  // namespace

//--- Appends, links and emoticons of any RichEdit

DisplayBatch::DisplayBatch(HWND edit)
    : edit_(edit), held_(edit && (GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE) != 0) {
    if (held_) SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
}

DisplayBatch::~DisplayBatch() {
    if (!held_ || !IsWindow(edit_)) return;
    SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    CaretToEnd(edit_);
    // The frame too: the scroll bar moved while nothing was drawn.
    RedrawWindow(edit_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int AppendText(HWND owner, HWND edit, const std::string& text, const CHARFORMATA& format, bool replace) {
    // Checked bytewise: a double-byte character may carry the byte as its second half,
    // which only costs the search.
    bool mayHoldCode = text.find(kEmoticonLead) != std::string::npos;
    return AppendWith(owner, edit, format, replace, mayHoldCode, [&] {
        SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    });
}

int AppendWideText(HWND owner, HWND edit, const std::wstring& text, const CHARFORMATA& format, bool replace) {
    bool mayHoldCode = text.find(static_cast<wchar_t>(kEmoticonLead)) != std::wstring::npos;
    return AppendWith(owner, edit, format, replace, mayHoldCode, [&] {
        SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    });
}

bool InsertEmoticonPicture(HWND edit, int index, HICON icon) {
    if (!edit || !icon) return false;
    vantor::ComPtr<IRichEditOle> ole;
    SendMessageW(edit, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(ole.put()));
    if (!ole) return false;
    HDC screen = GetDC(edit);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kEmoticonPixels, kEmoticonPixels);
    ReleaseDC(edit, screen);
    if (!dc || !bitmap) {
        if (dc) DeleteDC(dc);
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, kEmoticonPixels, kEmoticonPixels};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, kEmoticonPixels, kEmoticonPixels, 0, nullptr, DI_NORMAL);
    SelectObject(dc, old);
    DeleteDC(dc);
    HRESULT hr = E_FAIL;
    try {
        hr = InsertPicture(ole.get(), bitmap, static_cast<DWORD>(index));
    } catch (...) {
        hr = E_FAIL;
    }
    DeleteObject(bitmap);
    if (FAILED(hr)) vantor::DebugLine(L"插入表情失败\n");
    return SUCCEEDED(hr);
}

void ReplaceEmoticonCodes(HWND edit, int lineCount) {
    if (!edit) return;
    // A read-only display takes no objects: it is opened for the replacement only.
    bool readOnly = (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0;
    if (readOnly) SendMessageW(edit, EM_SETREADONLY, FALSE, 0);
    DisplayBatch batch(edit);
    const std::wstring lead(1, static_cast<wchar_t>(kEmoticonLead));
    LONG from = static_cast<LONG>(SendMessageW(edit, EM_LINEINDEX, lineCount > 0 ? lineCount - 1 : 0, 0));
    if (from < 0) from = 0;
    for (LONG at = FindForward(edit, lead, from, -1); at >= 0; at = FindForward(edit, lead, from, -1)) {
        int index = EmoticonAt(edit, at);
        HICON icon = index >= 0 ? vantor::imkit::EmoticonIcon(index) : nullptr;
        bool replaced = false;
        if (icon) {
            CHARRANGE range = {at, at + 3};
            SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
            replaced = InsertEmoticonPicture(edit, index, icon);
        }
        // The picture now stands where the code began.
        from = replaced ? at : at + 1;
    }
    if (readOnly) SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
    CaretToEnd(edit);
}

//--- Records

std::wstring ChatDialog::RecordPath(const std::string& ownId) const {
    if (ownId.empty() || key_.empty()) return std::wstring();
    std::wstring folder = vantor::imkit::ProgramFolder();
    CreateDirectoryW((folder + L"\\" + vantor::AnsiToWide(ownId)).c_str(), nullptr);
    return RecordFilePath(folder, vantor::AnsiToWide(ownId), vantor::AnsiToWide(key_));
}

void ChatDialog::RecordText(const uint8_t* message, size_t length, bool formatted) {
    ChatRecordBytes record;
    if (!BuildChatRecord(message, length, formatted, &record)) return;
    std::wstring path = RecordPath(service_->Contacts().OwnId());
    if (!path.empty()) records_.Add(path, record);
}

//--- The queue's way out

bool ChatDialog::TextTransport::SendDirect(const uint8_t* bytes, size_t length) {
    ConnectionRef link = window_.service_->DirectLinkOf(&window_);
    return link.get() && window_.service_->DirectSend(link.get(), bytes, length);
}

bool ChatDialog::TextTransport::SendRelay(const uint8_t* bytes, size_t length) {
    return window_.service_->RelaySend(bytes, length);
}

void ChatDialog::TextTransport::WaitForLinkAttempt() {
    // The attempt thread's handle is the window's; this thread only waits for its end.
    WaitForSingleObject(window_.attemptDone_.get(), kLinkAttemptWaitMs);
}

void ChatDialog::TextTransport::Record(const QueueRecord& record) {
    window_.RecordText(record.message, record.length, RecordFormatted(record));
}

void ChatDialog::TextTransport::TextTaken() { window_.flags_ &= ~kFlagTyped; }

void ChatDialog::TextTransport::ShowNotice(TextNotice notice, const std::string& text) {
    std::string line = Narrow(NoticeLine(notice, vantor::AnsiToWide(text)));
    SendMessageW(window_.m_hWnd, kMsgShowNotice, 0, reinterpret_cast<LPARAM>(&line));
}

void ChatDialog::TextTransport::Debug(const wchar_t* line) { vantor::DebugLine(L"%ls", line); }

void ChatDialog::TextTransport::QueueEnded() { PostMessageW(window_.m_hWnd, kMsgQueueEnded, 0, 0); }

//--- Life of the texts

void ChatDialog::StartTexts() {
    transport_.reset(new TextTransport(*this));
    texts_.reset(new SendQueue(*transport_));
    FriendInfoA own = {};
    service_->Contacts().OwnRecord(&own);
    ChatFormatStore store = ChatFormatStore::InProgramFolder();
    store.LoadOwn(key_, IdText(own.id, sizeof own.id), &ownFormat_);
    store.LoadPeer(key_, &peerFormat_);
    HWND compose = GetDlgItem(m_hWnd, kComposeId);
    if (compose) SendMessageA(compose, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&ownFormat_));
    // Records an earlier run could not write go in first.
    records_.Start();
    std::wstring path = RecordPath(IdText(own.id, sizeof own.id));
    if (!path.empty()) records_.Watch(path);
    textThread_.Start(*texts_);
}

void ChatDialog::StopTexts() { textThread_.Stop(); }

void ChatDialog::TextsTick() {
    if (!texts_) return;
    std::vector<std::string> late;
    try {
        late = texts_->Tick();
    } catch (...) {
        vantor::DebugLine(L"Exception occur !\n");
    }
    for (const std::string& text : late)
        AppendText(m_hWnd, Display(), Narrow(NoticeLine(TextNotice::TimedOut, vantor::AnsiToWide(text))),
                   displayFormat_, true);
}

//--- Sending

void ChatDialog::FinishPeerFetch() {
    if (!fetchThread_) return;
    EndThread(&fetchThread_);
    // The record it brought, now: a status stored from a half-filled peer would overwrite
    // the friend's record in the contact book.
    SendMessageW(m_hWnd, kMsgFetchEnded, 0, 0);
}

void ChatDialog::SendComposed() {
    FinishPeerFetch();
    HWND compose = GetDlgItem(m_hWnd, kComposeId);
    ComposeRequest request;
    int chars = GetWindowTextLengthW(compose);
    // Room for two bytes a character: the RichEdit answers through its 8-bit text.
    request.text.assign(2 * static_cast<size_t>(chars) + 2, L'\0');
    request.text.resize(GetWindowTextW(compose, &request.text[0], 2 * chars + 2));
    if (request.text.size() > kComposeLimit) request.text.resize(kComposeLimit);
    if (composeOle_) {
        LONG count = composeOle_->GetObjectCount();
        for (LONG i = 0; i < count; ++i) {
            REOBJECT object = {};
            object.cbStruct = sizeof object;
            if (FAILED(composeOle_->GetObject(i, &object, REO_GETOBJ_NO_INTERFACES))) continue;
            request.objects.push_back({static_cast<size_t>(object.cp), static_cast<long>(object.dwUser)});
            // The object's stand-in character in the text (a space here) gives way to its code.
            if (object.cp >= 0 && static_cast<size_t>(object.cp) < request.text.size())
                request.text[static_cast<size_t>(object.cp)] = kObjectPlaceholder;
        }
    }
    FriendInfoA own = {};
    service_->Contacts().OwnRecord(&own);
    request.ownId = IdText(own.id, sizeof own.id);
    request.peerId = key_;
    request.ownStatus = own.status.status;
    request.now = LocalImTime();
    request.formatted = form_.Next();
    request.format = WireFormatOf(ownFormat_);
    TextCodePage codePage;
    codePage.narrow = Narrow;
    codePage.isLeadByte = IsLeadByte;
    ComposedText text = ComposeChatText(request, codePage, [](long index) {
        wchar_t code[vantor::imkit::kEmoticonCodeChars] = {};
        return vantor::imkit::CodeByIndex(static_cast<int>(index), code) ? std::wstring(code) : std::wstring();
    });
    if (!texts_ || !texts_->Enqueue(text.message.data(), text.message.size(), text.textOffset)) return;
    SetWindowTextW(compose, L"");
    // The emptied compose box's change notice has disabled it already: a second call
    // costs the window manager's round trips all the same.
    HWND sendButton = GetDlgItem(m_hWnd, kSendButton);
    if (IsWindowEnabled(sendButton)) EnableWindow(sendButton, FALSE);

    std::string nickname = IdText(own.nickname, sizeof own.nickname);
    DisplayBatch batch(Display());
    AppendText(m_hWnd, Display(), Narrow(SentHeader(vantor::AnsiToWide(nickname), request.now)), displayFormat_,
               false);
    AppendText(m_hWnd, Display(), text.wireText + "\r\n", ownFormat_, true);
}

//--- Receiving

void ChatDialog::OnChatText(ImConnection*, const uint8_t* msg, size_t length, bool formatted) {
    ReceivedText text;
    if (!DecodeReceivedText(msg, length, &text) || text.formatted != formatted) {
        vantor::DebugLine(L"ChatDesk: a damaged chat text was dropped\n");
        return;
    }
    RecordText(msg, length, formatted);
    SendMessageW(m_hWnd, kMsgShowReceived, 0, reinterpret_cast<LPARAM>(&text));
}

void ChatDialog::OnChatTextReceipt(const uint8_t* msg, size_t length) {
    if (!texts_) return;
    char result = 0;
    std::string stamp;
    if (texts_->TakeReceipt(msg, length, &result, &stamp) || !result) return;
    SendMessageW(m_hWnd, kMsgFailedText, static_cast<unsigned char>(result), reinterpret_cast<LPARAM>(&stamp));
}

void ChatDialog::OnOfflineStoreReply(const uint8_t* msg, size_t length) {
    if (!texts_) return;
    SendQueue::StoreAnswer answer = texts_->TakeStoreReply(msg, length);
    if (answer.found && !answer.stored) transport_->ShowNotice(TextNotice::StoreFailed, answer.text);
}

//--- The window's text messages

bool ChatDialog::TextMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    *result = TRUE;
    switch (message) {
    case kMsgShowReceived: {
        const auto& text = *reinterpret_cast<const ReceivedText*>(lParam);
        // A window made hidden for a link request shows what it is given.
        if (!IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOW);
        FinishPeerFetch();
        if (text.formatted) {
            ApplyWireFormat(text.format, &peerFormat_);
            ChatFormatStore::InProgramFolder().SavePeer(key_, peerFormat_);
        }
        std::wstring name = vantor::AnsiToWide(PeerName(PeerCopy()));
        DisplayBatch batch(Display());
        AppendText(m_hWnd, Display(), Narrow(ReceivedHeader(name, text.stamp)), displayFormat_, false);
        AppendText(m_hWnd, Display(), text.body, peerFormat_, true);
        ShowTyping('2');
        if (text.peerStatus >= 0 && text.peerStatus != PeerCopy().status.status)
            TakePeerStatus(static_cast<uint16_t>(text.peerStatus));
        return true;
    }
    case kMsgShowNotice:
        AppendText(m_hWnd, Display(), *reinterpret_cast<const std::string*>(lParam), displayFormat_, true);
        return true;
    case kMsgFailedText: {
        if (!texts_) return true;
        const std::string& stamp = *reinterpret_cast<const std::string*>(lParam);
        SendQueue::Failure failure = texts_->FailedText(static_cast<char>(wParam), stamp);
        if (!failure.found) return true;
        if (!IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOW);
        AppendText(m_hWnd, Display(), Narrow(NoticeLine(TextNotice::Refused, vantor::AnsiToWide(failure.text))),
                   displayFormat_, true);
        if (failure.dropLink) {
            ConnectionRef link = service_->DirectLinkOf(this);
            if (link.get()) {
                service_->SetDirectLink(this, nullptr);
                service_->CloseConnection(link.get());
            }
            FriendInfoA peer;
            {
                vantor::Lock lock(peerLock_);
                ++peerChanges_;
                FriendStatus& status = Peer().status;
                status.localIp = status.publicIp = 0;
                status.localPort = status.publicPort = 0;
                peer = Peer();
            }
            FriendStatus fresh = {};
            if (service_->Contacts().ServerStatus(peer.id, &fresh)) {
                vantor::Lock lock(peerLock_);
                ++peerChanges_;
                Peer().status = fresh;
            }
            return true;
        }
        HWND display = Display();
        DisplayBatch batch(display);
        int lines = AppendWideText(m_hWnd, display, kOfferLine, displayFormat_, false);
        LONG lineStart = static_cast<LONG>(SendMessageW(display, EM_LINEINDEX, lines > 0 ? lines - 1 : 0, 0));
        LONG sendAt = FindForward(display, kOfferSendLink, lineStart < 0 ? 0 : lineStart, -1);
        LONG giveUpAt = sendAt >= 0 ? FindForward(display, kOfferGiveUpLink, sendAt, -1) : -1;
        CHARFORMATA none = {};
        none.cbSize = sizeof none;
        if (sendAt >= 0) SetLinkEffect(display, sendAt, kOfferLinkChars, true, none);
        if (giveUpAt >= 0) SetLinkEffect(display, giveUpAt, kOfferLinkChars, true, none);
        CaretToEnd(display);
        if (sendAt >= 0) texts_->SetOfferKey(stamp, static_cast<size_t>(sendAt));
        return true;
    }
    case kMsgInsertEmoticon:
        if (!InsertEmoticonPicture(GetDlgItem(m_hWnd, kComposeId), static_cast<int>(wParam),
                                   reinterpret_cast<HICON>(lParam)))
            vantor::DebugLine(L"插入表情失败\n");
        SetFocus(GetDlgItem(m_hWnd, kComposeId));
        return true;
    case kMsgReplaceEmoticons:
        ReplaceEmoticonCodes(reinterpret_cast<HWND>(lParam), static_cast<int>(wParam));
        return true;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!header || header->code != EN_LINK || header->hwndFrom != Display()) return false;
        auto* link = reinterpret_cast<ENLINK*>(lParam);
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
        if (link->msg != WM_LBUTTONUP || !texts_) return true;
        HWND display = Display();
        LONG at = link->chrg.cpMin;
        OfferLink which = TextAt(display, at, kOfferSendLink)     ? OfferLink::Send
                          : TextAt(display, at, kOfferGiveUpLink) ? OfferLink::GiveUp
                                                                  : OfferLink::None;
        if (which == OfferLink::Send) {
            SetLinkEffect(display, at, kOfferLinkChars, false, displayFormat_);
            LONG other = FindForward(display, kOfferGiveUpLink, at, at + kOfferLinkSpan);
            if (other >= 0) SetLinkEffect(display, other, kOfferLinkChars, false, displayFormat_);
            CaretToEnd(display);
            texts_->SendOffer(static_cast<size_t>(at));
        } else if (which == OfferLink::GiveUp) {
            SetLinkEffect(display, at, kOfferLinkChars, false, displayFormat_);
            LONG from = at > static_cast<LONG>(kOfferLinkSpan) ? at - static_cast<LONG>(kOfferLinkSpan) : 0;
            LONG other = FindForward(display, kOfferSendLink, from, at);
            if (other >= 0) SetLinkEffect(display, other, kOfferLinkChars, false, displayFormat_);
            CaretToEnd(display);
            if (other >= 0) texts_->GiveUpOffer(static_cast<size_t>(other));
        }
        SetFocus(GetDlgItem(m_hWnd, kComposeId));
        return true;
    }
    default:
        return false;
    }
}

//--- The own format

void ChatDialog::ChooseOwnFont() {
    HWND compose = GetDlgItem(m_hWnd, kComposeId);
    HDC dc = GetDC(Display());
    FontChoice start = FontChoiceOf(ownFormat_, GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(Display(), dc);
    CHOOSEFONTA choose = {};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = m_hWnd;
    choose.lpLogFont = &start.font;
    choose.Flags = start.flags;
    choose.rgbColors = start.colour;
    if (ChooseFontA(&choose)) {
        start.colour = choose.rgbColors;
        ownFormat_ = FormatOfChoice(start, choose.iPointSize);
        FriendInfoA record = {};
        service_->Contacts().OwnRecord(&record);
        ChatFormatStore::InProgramFolder().SaveOwn(key_, IdText(record.id, sizeof record.id), ownFormat_);
        form_.FontChosen();
        SendMessageA(compose, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&ownFormat_));
    }
    SetFocus(compose);
}

}  // namespace chatdesk
