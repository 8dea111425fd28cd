#include "ContactDialog.h"

#include "CommonKit.h"
#include "DebugOut.h"
#include "IniFile.h"
#include "Module.h"
#include "Text.h"

namespace rostdialogs {

namespace {

COLORREF ReadColour(const std::wstring& file, const wchar_t* key) {
    std::wstring text = vantor::ini::ReadString(file, L"Button", key, L"0,0,0", 64);
    int r = 0, g = 0, b = 0;
    if (swscanf(text.c_str(), L"%d,%d,%d", &r, &g, &b) != 3) r = g = b = 0;
    return RGB(r, g, b);
}

}  // namespace

ButtonSkin ReadButtonSkin() {
    ButtonSkin skin;
    std::wstring skinName =
        vantor::ini::ReadString(vantor::ini::ProgramFile(L"config\\uiprof.cfg"), L"Global", L"SkinName", L"", 260);
    std::wstring folder = vantor::ini::ProgramFile(L"Skins\\" + skinName + L"\\");
    std::wstring file = folder + L"CommWnd.skn";
    std::wstring normal = vantor::ini::ReadString(file, L"Button", L"btn_bk_n", L"", 260);
    std::wstring hover = vantor::ini::ReadString(file, L"Button", L"btn_bk_h", L"", 260);
    if (!normal.empty()) skin.normal = vantor::WideToAnsi(folder + normal);
    if (!hover.empty()) skin.hover = vantor::WideToAnsi(folder + hover);
    skin.textNormal = ReadColour(file, L"txt_clr_n");
    skin.textHover = ReadColour(file, L"txt_clr_h");
    return skin;
}

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

std::wstring ContactDialog::ItemText(int id) const {
    HWND item = Item(id);
    int length = item ? GetWindowTextLengthW(item) : 0;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (item) GetWindowTextW(item, &text[0], length + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::string ContactDialog::ItemTextA(int id) const { return vantor::WideToAnsi(ItemText(id)); }

void ContactDialog::SetItemText(int id, const wchar_t* text) { SetDlgItemTextW(m_hWnd, id, text); }

void ContactDialog::SkinButtons(std::initializer_list<std::pair<CKnobKit*, int>> buttons) {
    for (const auto& b : buttons) b.first->SubclassWnd(Item(b.second));
}

void ContactDialog::ApplyButtonSkin(std::initializer_list<CKnobKit*> buttons) {
    ButtonSkin skin = ReadButtonSkin();
    for (CKnobKit* b : buttons) {
        b->SetBkgndImage(skin.normal.empty() ? nullptr : skin.normal.c_str(),
                         skin.hover.empty() ? nullptr : skin.hover.c_str(), nullptr, nullptr);
        b->SetTextColor(skin.textNormal, skin.textHover);
    }
}

void ContactDialog::UnskinButtons(std::initializer_list<CKnobKit*> buttons) {
    for (CKnobKit* b : buttons)
        if (b->IsSubclass()) b->UnsubclassWnd();
}

bool ContactDialog::DrawButtons(LPDRAWITEMSTRUCT item, std::initializer_list<CKnobKit*> buttons) {
    for (CKnobKit* b : buttons)
        if (b->IsSubclass() && item->hwndItem == b->GetSafeHwnd()) return b->DrawItem(item);
    return false;
}

}  // namespace rostdialogs
