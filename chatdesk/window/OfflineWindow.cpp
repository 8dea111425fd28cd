#include "OfflineWindow.h"

#include <cstring>

#include "CharFormats.h"
#include "CommonKit.h"
#include "ChatRules.h"
#include "DebugOut.h"
#include "ImService.h"
#include "ModulePath.h"
#include "ReceivedText.h"
#include "Text.h"
#include "TextLines.h"
#include "TextTransport.h"
#include "outside/OrderHub.h"

namespace chatdesk {

namespace {

constexpr PlugId kCountTarget = -3;
constexpr int kCountCommand = 2;

// The count goes to the command center only when the process has it loaded already; it is
// held for the call, so that an unload on another thread cannot free it under the call.
void ReportCount(LONG count) {
    vantor::UniqueModule hub(vantor::HoldLoadedFile(L"OrderHub.dll"));
    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(hub.get(), "OrderHub_Action");
    if (action) action(kCountTarget, kCountCommand, count);
}

}  // namespace

OfflineWindow::OfflineWindow() : CSkinFrame(true, SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE) {
    displayFormat_.cbSize = messageFormat_.cbSize = sizeof(CHARFORMATA);
}

bool OfflineWindow::Create(ImService& service) {
    service_ = &service;
    return CSkinFrame::Create(service.Settings().instance, kOfflineDialog, GetDesktopWindow());
}

void OfflineWindow::Show() {
    if (!m_hWnd) return;
    ShowWindow(m_hWnd, SW_SHOW);
    SetForegroundWindow(m_hWnd);
}

void OfflineWindow::DestroyView() {
    if (!m_hWnd) {
        delete this;
        return;
    }
    destroying_ = true;
    DestroyWindow(m_hWnd);  // the object goes with the window
}

void OfflineWindow::OnNcDestroy() {
    CSkinFrame::OnNcDestroy();
    m_hWnd = nullptr;
    if (destroying_) delete this;
}

bool OfflineWindow::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    SetWindowTextW(m_hWnd, L"留言消息");
    HWND edit = GetDlgItem(m_hWnd, kOfflineEditId);
    if (edit) {
        SendMessageA(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&displayFormat_));
        messageFormat_ = displayFormat_;
        SetWindowLongW(edit, GWL_STYLE, GetWindowLongW(edit, GWL_STYLE) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        SendMessageW(edit, EM_SETEVENTMASK, 0, ENM_LINK | ENM_MOUSEEVENTS | ENM_SCROLLEVENTS);
        SendMessageA(edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&displayFormat_));
    }
    // Over the window its owner names (or the owner), else over the work area; kept inside it.
    CenterWindow(m_hWnd, nullptr);
    return true;
}

bool OfflineWindow::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE) {
        // Closing only hides: the messages stay for the next showing.
        ShowWindow(m_hWnd, SW_HIDE);
        return true;
    }
    return CSkinFrame::OnSysCommand(command, lParam);
}

INT_PTR OfflineWindow::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kMsgReplaceEmoticons:
        ReplaceEmoticonCodes(reinterpret_cast<HWND>(lParam), static_cast<int>(wParam));
        return TRUE;
    case kMsgShowOffline:
        Take(*reinterpret_cast<const ReceivedOffline*>(lParam), *reinterpret_cast<const std::string*>(wParam));
        return TRUE;
    case WM_CLOSE:
        ShowWindow(m_hWnd, SW_HIDE);
        return TRUE;
    default:
        return CSkinFrame::DialogProc(message, wParam, lParam);
    }
}

void OfflineWindow::ShowMessage(const uint8_t* msg, size_t length, bool formatted) {
    ReceivedOffline message;
    if (!DecodeOfflineMessage(msg, length, &message) || message.formatted != formatted) {
        vantor::DebugLine(L"ChatDesk: a damaged offline message was dropped\n");
        return;
    }
    if (!m_hWnd) return;
    // The sender's record may come from the client kernel, which can be slow: it is looked
    // up here, on the receive thread, never on the window's.
    FriendInfoA sender = {};
    lstrcpynA(sender.id, message.senderId.c_str(), sizeof sender.id);
    if (service_) service_->Contacts().PeerRecord(message.senderId, &sender);
    lstrcpynA(sender.id, message.senderId.c_str(), sizeof sender.id);
    std::string name = PeerName(sender);
    SendMessageW(m_hWnd, kMsgShowOffline, reinterpret_cast<WPARAM>(&name), reinterpret_cast<LPARAM>(&message));
}

void OfflineWindow::Take(const ReceivedOffline& message, const std::string& sender) {
    LONG count = InterlockedIncrement(&count_);
    std::wstring name = vantor::AnsiToWide(sender);
    Append(vantor::WideToAnsi(OfflineHeader(name, message.stamp)), displayFormat_, false);
    if (message.formatted) {
        ApplyWireFormat(message.format, &messageFormat_);
        Append(message.body, messageFormat_, true);
    } else {
        Append(message.body, displayFormat_, true);
    }
    ReportCount(count);
}

void OfflineWindow::Append(const std::string& text, const CHARFORMATA& format, bool replace) {
    AppendText(m_hWnd, GetDlgItem(m_hWnd, kOfflineEditId), text, format, replace);
}

}  // namespace chatdesk

namespace chatdesk {

OfflineView* ChatDialogFactory::MakeOfflineView() { return new OfflineWindow; }

}  // namespace chatdesk
