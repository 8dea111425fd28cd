// How a chat window's send queue reaches the network, the records and the display.
#pragma once

#include "ChatDialog.h"

namespace chatdesk {

// Private messages of the texts.
constexpr UINT kMsgInsertEmoticon = WM_USER + 2003;   // wParam: index, lParam: icon
constexpr UINT kMsgReplaceEmoticons = WM_USER + 2004; // wParam: line count before the append, lParam: the RichEdit
constexpr UINT kMsgFailedText = WM_USER + 2017;       // wParam: result, lParam: const std::string* stamp
constexpr UINT kMsgShowReceived = WM_USER + 2023;     // lParam: const ReceivedText*
constexpr UINT kMsgShowNotice = WM_USER + 2024;       // lParam: const std::string* line (ANSI)

class ChatDialog::TextTransport : public ChatTransport {
public:
    explicit TextTransport(ChatDialog& window) : window_(window) {}

    bool SendDirect(const uint8_t* bytes, size_t length) override;
    bool SendRelay(const uint8_t* bytes, size_t length) override;
    void WaitForLinkAttempt() override;
    void Record(const QueueRecord& record) override;
    void TextTaken() override;
    void ShowNotice(TextNotice notice, const std::string& text) override;
    void Debug(const wchar_t* line) override;
    void QueueEnded() override;

private:
    ChatDialog& window_;
};

// Holds the repaints of a RichEdit while appends and format changes go in: it is
// repainted once at the end, scrolled to its last line. A repaint after each step (the
// control scrolls and paints its whole window) was most of an append's cost once the
// text no longer fitted. Batches inside a batch leave the repaint to the outer one; a
// hidden control is left as it is.
class DisplayBatch {
public:
    explicit DisplayBatch(HWND edit);
    ~DisplayBatch();
    DisplayBatch(const DisplayBatch&) = delete;
    DisplayBatch& operator=(const DisplayBatch&) = delete;
    // The control's repaints were held already (by a batch around this one) or it is hidden.
    bool HeldOutside() const { return edit_ && !held_; }

private:
    HWND edit_;
    bool held_;
};

// Appends 8-bit text at the end of a RichEdit in `format` (mode 0); with `replace` the
// owner is sent WM_USER+2004 for the lines added when they may hold an emoticon code.
// The line count before the append.
int AppendText(HWND owner, HWND edit, const std::string& text, const CHARFORMATA& format, bool replace);
// The same for UTF-16 text.
int AppendWideText(HWND owner, HWND edit, const std::wstring& text, const CHARFORMATA& format, bool replace);
// Emoticon codes from the first character of line `lineCount - 1` on become pictures.
void ReplaceEmoticonCodes(HWND edit, int lineCount);
// An emoticon's picture at the RichEdit's caret with its index as the user value.
bool InsertEmoticonPicture(HWND edit, int index, HICON icon);

}  // namespace chatdesk
