// The record viewer: a small tool window below a chat window that lists the chat records
// kept with its peer, newest first.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "ChatRecord.h"
#include "ContactRecords.h"

namespace chatdesk {

class ChatDialog;

constexpr int kViewerDialog = 104;
constexpr int kViewerEditId = 1010;

class RecordViewer {
public:
    // The viewer of the chat window's records (hidden, owned by the chat window), or null.
    static RecordViewer* Create(ChatDialog& chat);
    // Destroys the window and frees the object.
    void Destroy();
    HWND Window() const { return window_; }
    COLORREF FrameColour() const { return frameColour_; }

private:
    explicit RecordViewer(ChatDialog& chat) : chat_(chat) {}
    ~RecordViewer() = default;

    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void LoadRecords();
    void Append(const std::string& text, bool replaceEmoticons);
    void Layout();
    void PaintFrame(HDC dc);

    ChatDialog& chat_;
    HWND window_ = nullptr;
    COLORREF frameColour_ = RGB(0x7F, 0x7F, 0x7F);
};

}  // namespace chatdesk
