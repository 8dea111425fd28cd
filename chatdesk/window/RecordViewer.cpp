#include "RecordViewer.h"

#include <richedit.h>

#include <cstring>

#include "ChatDialog.h"
#include "ChatSkin.h"
#include "ImClock.h"
#include "ImService.h"
#include "ProgramFolder.h"
#include "RecordStore.h"
#include "Text.h"
#include "TextTransport.h"

namespace chatdesk {

namespace {

constexpr int kFrameWidth = 2;

}  // namespace

RecordViewer* RecordViewer::Create(ChatDialog& chat) {
    auto* viewer = new RecordViewer(chat);
    HWND window = CreateDialogParamW(chat.Service().Settings().instance, MAKEINTRESOURCEW(kViewerDialog),
                                     chat.Window(), Proc, reinterpret_cast<LPARAM>(viewer));
    if (!window) {
        delete viewer;
        return nullptr;
    }
    return viewer;
}

void RecordViewer::Destroy() {
    if (window_) DestroyWindow(window_);
    delete this;
}

INT_PTR CALLBACK RecordViewer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordViewer*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<RecordViewer*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->OnInit();
        return FALSE;
    }
    if (!self) return FALSE;
    switch (message) {
    case WM_SIZE:
        self->Layout();
        return TRUE;
    case WM_ERASEBKGND:
        self->PaintFrame(reinterpret_cast<HDC>(wParam));
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return TRUE;
    case kMsgReplaceEmoticons:
        // The chat window replaces the emoticon codes of the lines added.
        SendMessageW(self->chat_.Window(), kMsgReplaceEmoticons, wParam, lParam);
        return TRUE;
    case WM_DESTROY:
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void RecordViewer::OnInit() {
    frameColour_ = ReadViewerFrameColour(vantor::imkit::ProgramFolder());
    Layout();
    LoadRecords();
}

void RecordViewer::LoadRecords() {
    ImService& service = chat_.Service();
    FriendInfoA own = {};
    service.Contacts().OwnRecord(&own);
    FriendInfoA peer = chat_.PeerCopy();
    std::wstring path = chat_.RecordPath(std::string(own.id, strnlen(own.id, sizeof own.id)));
    if (path.empty()) return;
    RecordStore store(SystemRecordFiles(), LocalImTime);
    DisplayBatch batch(GetDlgItem(window_, kViewerEditId));
    for (const ChatRecordBytes& bytes : store.List(path)) {
        ChatRecordView record = ReadChatRecord(bytes.data());
        Append(ViewerHeader(record, peer, own), false);
        Append(record.text + "\r\n", true);
    }
}

void RecordViewer::Append(const std::string& text, bool replaceEmoticons) {
    AppendText(window_, GetDlgItem(window_, kViewerEditId), text, chat_.DisplayFormat(), replaceEmoticons);
}

void RecordViewer::Layout() {
    HWND edit = GetDlgItem(window_, kViewerEditId);
    if (!edit) return;
    RECT client;
    GetClientRect(window_, &client);
    MoveWindow(edit, kFrameWidth, kFrameWidth, client.right - 2 * kFrameWidth, client.bottom - 2 * kFrameWidth, TRUE);
    InvalidateRect(window_, nullptr, TRUE);
}

void RecordViewer::PaintFrame(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    HBRUSH brush = CreateSolidBrush(frameColour_);
    RECT edges[4] = {{0, 0, client.right, kFrameWidth},
                     {0, client.bottom - kFrameWidth, client.right, client.bottom},
                     {0, 0, kFrameWidth, client.bottom},
                     {client.right - kFrameWidth, 0, client.right, client.bottom}};
    for (const RECT& edge : edges) FillRect(dc, &edge, brush);
    DeleteObject(brush);
}

}  // namespace chatdesk
