#include <winsock2.h>

#include "PresenceDialog.h"

#include "CommonKit.h"
#include "DebugOut.h"
#include "DialogHook.h"
#include "PresencePlug.h"
#include "ProgramFolder.h"
#include "PumpingJoin.h"
#include "Text.h"
#include "DialogItems.h"

namespace presence {

namespace {

struct ThreadStart {
    void (*run)(PresenceDialog* dialog);
    PresenceDialog* dialog;
};

DWORD WINAPI DialogThread(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.run(start.dialog);
    return 0;
}

}  // namespace

HANDLE StartDialogThread(void (*run)(PresenceDialog* dialog), PresenceDialog* dialog) {
    ThreadStart* start = new ThreadStart{run, dialog};
    HANDLE thread = CreateThread(nullptr, 0, DialogThread, start, 0, nullptr);
    if (!thread) delete start;
    return thread;
}

PresenceDialog::PresenceDialog(PresencePlug* plug, UINT templateId, unsigned long captionButtons)
    : CSkinFrame(true, captionButtons), plug_(plug), templateId_(templateId) {}

PresenceDialog::~PresenceDialog() = default;

bool PresenceDialog::Open() {
    if (!Create(PresencePlug::ResourceModule(), templateId_, GetDesktopWindow())) {
        vantor::DebugLine(L"PresenceTab: dialog %u could not be made\n", templateId_);
        delete this;
        return false;
    }
    ShowWindow(m_hWnd, SW_SHOW);
    return true;
}

int PresenceDialog::RunModal(HWND parent) {
    return DoModal(PresencePlug::ResourceModule(), templateId_, parent);
}

INT_PTR PresenceDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        OnNotify(wParam, lParam);
        return 0;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

bool PresenceDialog::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    // Centred over the owner, or on the work area when there is none to see.
    CenterWindow(m_hWnd, nullptr);
    if (!IsModal()) {
        hooked_ = vantor::imkit::InstallDialogHook(m_hWnd) != vantor::imkit::kHookLibraryMissing;
        if (plug_) plug_->DialogOpened(this);
    }
    return true;
}

void PresenceDialog::OnDestroy() {
    if (hooked_) vantor::imkit::UninstallDialogHook(m_hWnd);
    hooked_ = false;
    if (plug_ && !IsModal()) plug_->DialogClosed(this);
}

void PresenceDialog::OnNcDestroy() {
    if (IsModal()) return;
    if (modalDepth_ > 0) {
        freeAfterModal_ = true;
        return;
    }
    vantor::DebugLine(L"释放自身空间\n");
    delete this;
}

void PresenceDialog::OnCommand(UINT, UINT, HWND) {}

void PresenceDialog::OnNotify(WPARAM, LPARAM) {}

bool PresenceDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) != SC_CLOSE || IsModal()) return CSkinFrame::OnSysCommand(command, lParam);
    CloseNow();
    return true;
}

void PresenceDialog::CloseNow() {
    if (closing_) return;
    closing_ = true;
    // The window may go while the threads are waited for; the object stays until then.
    if (!RunNested([this] { EndThreads(); })) return;
    DestroyWindow(m_hWnd);
}

bool PresenceDialog::Join(HANDLE* thread) {
    HANDLE taken = *thread;
    *thread = nullptr;
    if (!taken) return true;
    return RunNested([taken] {
        vantor::WaitPumping(taken);
        CloseHandle(taken);
    });
}

bool PresenceDialog::RunNested(const std::function<void()>& modal) {
    ++modalDepth_;
    modal();
    --modalDepth_;
    if (modalDepth_ == 0 && freeAfterModal_) {
        vantor::DebugLine(L"释放自身空间\n");
        delete this;
        return false;
    }
    return true;
}

std::wstring PresenceDialog::ItemText(int id) const { return vantor::imkit::WindowText(Item(id)); }

void PresenceDialog::SetItemTextA(int id, const char* text) {
    SetDlgItemTextW(m_hWnd, id, vantor::AnsiToWide(text ? text : "").c_str());
}

void PresenceDialog::EnableItems(std::initializer_list<int> ids, bool on) {
    for (int id : ids) EnableWindow(Item(id), on ? TRUE : FALSE);
}

void PresenceDialog::ErrorBox(const wchar_t* text) {
    std::wstring caption = vantor::imkit::DialogCaption();
    MessageBoxW(m_hWnd, text, caption.c_str(), MB_OK | MB_ICONERROR);
}

void PresenceDialog::DrawSmallIcon(HDC dc, int id) { vantor::imkit::DrawSmallIconAt(m_hWnd, dc, Item(id)); }

}  // namespace presence
