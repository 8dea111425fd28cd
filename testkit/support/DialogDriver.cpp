#include "DialogDriver.h"

#include <vector>

namespace testkit {

namespace {

struct Search {
    std::wstring title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTitled(HWND window, LPARAM raw) {
    auto* search = reinterpret_cast<Search*>(raw);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (Text(window) == search->title) search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Titled(const std::wstring& title, bool visibleOnly) {
    Search search{title, visibleOnly, {}};
    EnumWindows(CollectTitled, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsMessageBox(HWND window) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    // The box's text sits in a static of id 0xFFFF.
    return lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, 0xFFFF) != nullptr;
}

struct BoxSearch {
    HWND owner;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM raw) {
    auto* search = reinterpret_cast<BoxSearch*>(raw);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsMessageBox(window)) return TRUE;
    if (search->owner && GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    search->found = window;
    return FALSE;
}

// The text the window holds, read without a message to its thread.
std::wstring StoredText(HWND window) {
    wchar_t buffer[1024] = {};
    int copied = window ? InternalGetWindowText(window, buffer, ARRAYSIZE(buffer)) : 0;
    return std::wstring(buffer, copied > 0 ? copied : 0);
}

}  // namespace

std::wstring Text(HWND window) {
    if (!window) return std::wstring();
    wchar_t buffer[1024] = {};
    // Sent with a time-out: a window of a busy thread must not hang the test.
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             2000, &copied))
        return std::wstring();
    return std::wstring(buffer, copied);
}

std::wstring Text(HWND dialog, int controlId) { return Text(GetDlgItem(dialog, controlId)); }

HWND FindWindowByTitle(const std::wstring& title, DWORD ms, bool visibleOnly) {
    HWND found = nullptr;
    PumpUntilDone(
        [&] {
            std::vector<HWND> windows = Titled(title, visibleOnly);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        ms);
    return found;
}

int CountWindowsByTitle(const std::wstring& title, bool visibleOnly) {
    return static_cast<int>(Titled(title, visibleOnly).size());
}

bool Click(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    return button && PostMessageW(button, BM_CLICK, 0, 0);
}

bool SetText(HWND dialog, int controlId, const std::wstring& text) {
    HWND control = GetDlgItem(dialog, controlId);
    return control && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Type(HWND dialog, int controlId, const std::wstring& text) {
    HWND edit = GetDlgItem(dialog, controlId);
    if (!edit) return false;
    for (wchar_t c : text) {
        int end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        SendMessageW(edit, WM_CHAR, c, 1);
    }
    return true;
}

bool Pick(HWND dialog, int controlId, const std::wstring& item) {
    HWND list = GetDlgItem(dialog, controlId);
    if (!list) return false;
    LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item.c_str()));
    if (index == CB_ERR) return false;
    SendMessageW(list, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

MessageBoxSeen WaitMessageBox(DWORD ms, HWND owner) {
    MessageBoxSeen seen;
    PumpUntilDone(
        [&] {
            BoxSearch search{owner};
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
            seen.window = search.found;
            return seen.window != nullptr;
        },
        ms);
    if (seen.window) {
        // Read from the windows themselves: a WM_GETTEXT to the box's busy thread can time out.
        seen.caption = StoredText(seen.window);
        seen.text = StoredText(GetDlgItem(seen.window, 0xFFFF));
    }
    return seen;
}

bool DismissMessageBox(const MessageBoxSeen& box, DWORD ms) {
    if (!box.window) return false;
    HWND button = GetDlgItem(box.window, IDOK);
    if (!button) button = GetDlgItem(box.window, IDCANCEL);
    if (button)
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(box.window, WM_COMMAND, IDOK, 0);
    return PumpUntilDone([&] { return !IsWindow(box.window); }, ms);
}

// --- file dialogs

FileDialogAnswer::FileDialogAnswer(std::function<void(HWND)> answer) : ui_(GetCurrentThreadId()) {
    thread_ = std::thread([this, answer] {
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && !dialog; ++i) {
            Sleep(20);
            EnumThreadWindows(ui_, Take, reinterpret_cast<LPARAM>(&dialog));
        }
        if (!dialog) return;
        Sleep(200);
        answer(dialog);
        found_ = true;
    });
}

bool FileDialogAnswer::Found() {
    if (thread_.joinable()) thread_.join();
    return found_;
}

HWND FileDialogAnswer::NameEdit(HWND dialog) {
    HWND edit = GetDlgItem(dialog, 0x480);
    return edit ? edit : GetDlgItem(dialog, 0x47c);
}

std::wstring FileDialogAnswer::Proposed(HWND dialog) {
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(NameEdit(dialog), text, MAX_PATH);
    return text;
}

void FileDialogAnswer::Confirm(HWND dialog, const std::wstring& path) {
    SetWindowTextW(NameEdit(dialog), path.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

BOOL CALLBACK FileDialogAnswer::Take(HWND window, LPARAM out) {
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window) || !NameEdit(window)) return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
}

bool ClickFirstLink(HWND control) {
    if (!control) return false;
    LPARAM at = MAKELPARAM(6, 55);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
    return true;
}

}  // namespace testkit
