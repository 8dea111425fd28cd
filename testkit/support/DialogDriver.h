// Driving dialogs the way a user would, for tests: find a window by its title, click a
// button, type or set a text, pick a list item, and read and dismiss a message box.
// Actions are posted or sent to the controls so that they run in the owning thread's
// message loop; the waits pump the calling thread's messages meanwhile.
//
// (skinframe/tests' WindowDriver moves the real mouse and reads pixels; this one works
// through control messages and needs neither focus nor the pointer.)
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testkit {

// Runs the calling thread's messages until `done()` holds or `ms` have passed.
template <typename Done>
bool PumpUntilDone(Done done, DWORD ms = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > ms) return done();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A top-level window of this process with exactly this title (visible or not), waiting up
// to `ms`; null when none came.
HWND FindWindowByTitle(const std::wstring& title, DWORD ms = 5000, bool visibleOnly = true);
// Top-level windows of this process with this title.
int CountWindowsByTitle(const std::wstring& title, bool visibleOnly = true);

// Posts a click of the button (BM_CLICK): it runs in the button's own thread.
bool Click(HWND dialog, int controlId);
// Replaces a control's text (an edit then announces EN_CHANGE).
bool SetText(HWND dialog, int controlId, const std::wstring& text);
// Types the characters one by one at the end of an edit, as the keyboard would.
bool Type(HWND dialog, int controlId, const std::wstring& text);
std::wstring Text(HWND dialog, int controlId);
std::wstring Text(HWND window);
// Selects the entry of a combo box with exactly this text and tells the dialog
// (CBN_SELCHANGE); false when there is none.
bool Pick(HWND dialog, int controlId, const std::wstring& item);

// A message box shown by this process (on any of its threads).
struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    explicit operator bool() const { return window != nullptr; }
};
// The first message box that appears within `ms`; `owner` when given must own it.
MessageBoxSeen WaitMessageBox(DWORD ms = 5000, HWND owner = nullptr);
// Presses its OK (or only) button and waits until it is gone.
bool DismissMessageBox(const MessageBoxSeen& box, DWORD ms = 5000);

// Runs `answer` on a helper thread with the first file dialog of this thread, while this
// thread sits in the call that shows it.
class FileDialogAnswer {
public:
    explicit FileDialogAnswer(std::function<void(HWND)> answer);
    ~FileDialogAnswer() { Found(); }
    FileDialogAnswer(const FileDialogAnswer&) = delete;
    FileDialogAnswer& operator=(const FileDialogAnswer&) = delete;
    bool Found();
    static HWND NameEdit(HWND dialog);
    static std::wstring Proposed(HWND dialog);
    static void Confirm(HWND dialog, const std::wstring& path);

private:
    static BOOL CALLBACK Take(HWND window, LPARAM out);
    DWORD ui_;
    std::thread thread_;
    std::atomic<bool> found_{false};
};

// Clicks the first link of a file-transfer control's window: "同意" on an offer, "取消"
// on a running transfer.
bool ClickFirstLink(HWND control);

}  // namespace testkit
