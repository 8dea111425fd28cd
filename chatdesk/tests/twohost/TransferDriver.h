// What the transfer tests do as a user would: files written and read whole, a received
// offer accepted through its control and the save dialog, the status lines the controls
// paint.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "TransferControl.h"

namespace cdtest {

using testkit::FileDialogAnswer;

// `size` bytes that differ from block to block.
std::string Pattern(size_t size, int seed);
bool WriteWhole(const std::wstring& path, const std::string& bytes);
bool ReadWhole(const std::wstring& path, std::string* bytes);
bool Exists(const std::wstring& path);
// The size of a file, -1 when it is missing.
long long SizeOf(const std::wstring& path);

HWND ControlWindow(const chatdesk::TransferControl& control);

// The first control of the display whose IsTransmitFile answers true for the stamp; empty if none.
chatdesk::TransferControl FindTransferControl(IRichEditOle* ole, const std::string& stamp);

// Clicks the control's first link: "同意" on an offer, "取消" on a running transfer.
bool ClickFirstLink(const chatdesk::TransferControl& control);

// Clicks the control's "同意" and answers the save dialog with `path`; the name the
// dialog proposed comes back in `proposed`.
bool AcceptWith(const chatdesk::TransferControl& control, const std::wstring& path, std::wstring* proposed = nullptr);

// The status lines the file-transfer controls of this process have painted since the
// first instance was made (the controls' own library, its calls to DrawTextW watched).
class PaintedLines {
public:
    PaintedLines();
    bool Seen(const std::wstring& line) const;
    // Pumps this thread's messages until `line` was painted.
    bool WaitFor(const std::wstring& line, DWORD timeoutMs) const;
    bool Watching() const { return watching_; }

private:
    bool watching_ = false;
};

}  // namespace cdtest
