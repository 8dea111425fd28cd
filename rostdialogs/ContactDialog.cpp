#include "ContactDialog.h"

#include "KnobSkin.h"
#include "CommonKit.h"
#include "DebugOut.h"
#include "IniFile.h"
#include "Module.h"
#include "Text.h"
#include "DialogItems.h"

namespace rostdialogs {

ContactDialog::ContactDialog(UINT templateId, bool skinned, unsigned long captionButtons)
    : CSkinFrame(skinned, captionButtons), templateId_(templateId) {}

RECT ChildRect(HWND parent, HWND child) {
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

INT_PTR ContactDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        OnNotify(wParam, lParam);
        return 0;
    }
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

void ContactDialog::OnNcDestroy() {
    if (!selfDelete_) return;
    vantor::DebugLine(L"释放自身空间\n");
    ReleaseModule();
    delete this;
    // The use goes back last: it may unload this library.
    GiveUse();
}

void ContactDialog::OnNotify(WPARAM, LPARAM) {}

void ContactDialog::ReleaseModule() {}

bool ContactDialog::Create(HWND parent) { return CSkinFrame::Create(Self(), templateId_, parent); }

int ContactDialog::DoModal(HWND parent) { return CSkinFrame::DoModal(Self(), templateId_, parent); }

bool ContactDialog::Show(int showCommand) {
    ShowWindow(m_hWnd, showCommand);
    return IsWindow(m_hWnd) != FALSE;
}

bool ContactDialog::Move(int left, int top, int right, int bottom, bool repaint) {
    return MoveWindow(m_hWnd, left, top, right - left, bottom - top, repaint) != FALSE;
}

bool ContactDialog::Destroy() { return DestroyWindow(m_hWnd) != FALSE; }

void ContactDialog::Centre() { CenterWindow(m_hWnd, nullptr); }

std::wstring ContactDialog::ItemText(int id) const { return vantor::imkit::WindowText(Item(id)); }

std::string ContactDialog::ItemTextA(int id) const { return vantor::WideToAnsi(ItemText(id)); }

void ContactDialog::SetItemText(int id, const wchar_t* text) { SetDlgItemTextW(m_hWnd, id, text); }

void ContactDialog::SkinButtons(std::initializer_list<std::pair<CKnobKit*, int>> buttons) {
    vantor::imkit::SubclassKnobs(m_hWnd, buttons);
}

void ContactDialog::ApplyButtonSkin(std::initializer_list<CKnobKit*> buttons) { vantor::imkit::ApplyKnobSkin(buttons); }

void ContactDialog::UnskinButtons(std::initializer_list<CKnobKit*> buttons) { vantor::imkit::UnsubclassKnobs(buttons); }

bool ContactDialog::DrawButtons(LPDRAWITEMSTRUCT item, std::initializer_list<CKnobKit*> buttons) {
    return vantor::imkit::DrawKnob(item, buttons);
}

}  // namespace rostdialogs
