#include "TipDayDialog.h"

#include "DebugOut.h"
#include "DialogIds.h"
#include "Module.h"
#include "TipDaySetting.h"

namespace rostdialogs {

namespace {

TipDayDialog* g_tipDay = nullptr;

}  // namespace

TipDayDialog::TipDayDialog() : ContactDialog(IDD_TIP_DAY, true, SKINFRAME_BUTTON_CLOSE) {}

TipDayDialog*& TipDayDialog::Slot() { return g_tipDay; }

bool TipDayDialog::OnInitDialog() {
    ContactDialog::OnInitDialog();
    SetWindowTextW(m_hWnd, L"软件介绍");
    SkinButtons({{&close_, IDC_TIPDAY_CLOSE}});
    ApplyButtonSkin({&close_});
    Centre();
    ShowPage();
    dontShow_.SubclassWnd(Item(IDC_TIPDAY_DONT_SHOW));
    dontShow_.SetBtnStyle(GLASSKIT_STYLE_CHECK);
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return true;
}

void TipDayDialog::ShowPage() {
    InitSdkSurfView(Self());
    if (!browser_ && !CSdkSurfView::Create(Self(), &browser_, m_hWnd, 0, nullptr)) {
        vantor::DebugLine(L"RostDialogs: 软件介绍的浏览器创建失败\n");
        browser_ = nullptr;
        return;
    }
    browser_->SetUIHandler(&handler_);
    RECT area = ChildRect(m_hWnd, Item(IDC_TIPDAY_PAGE));
    MoveWindow(browser_->m_hWnd, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    ShowWindow(browser_->m_hWnd, SW_SHOW);
    std::wstring page = TipDayPage();
    if (!page.empty()) browser_->Navigate(page.c_str());
}

void TipDayDialog::OnDestroy() {
    if (dontShow_.IsSubclass()) dontShow_.UnsubclassWnd();
    UnskinButtons({&close_});
    // The browser belongs to its window, which goes with this one.
    browser_ = nullptr;
    InitSdkSurfView(Self());
}

void TipDayDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != BN_CLICKED) return;
    if (controlId == IDC_TIPDAY_CLOSE) PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (controlId == IDC_TIPDAY_DONT_SHOW) {
        StoreTipDay(SendMessageW(Item(IDC_TIPDAY_DONT_SHOW), BM_GETCHECK, 0, 0) == BST_CHECKED);
    }
}

bool TipDayDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    if (dontShow_.IsSubclass() && item->hwndItem == dontShow_.GetSafeHwnd()) return dontShow_.DrawItem(item);
    return DrawButtons(item, {&close_});
}

void TipDayDialog::ReleaseModule() {
    if (g_tipDay == this) g_tipDay = nullptr;
}

void ShowTipDay() {
    TakeUse();
    if (!TipDayWanted()) {
        GiveUse();
        return;
    }
    if (TipDayDialog* open = TipDayDialog::Slot()) {
        SetForegroundWindow(open->GetSafeHwnd());
        GiveUse();
        return;
    }
    auto* dialog = new TipDayDialog();
    dialog->SetSelfDelete(true);
    TipDayDialog::Slot() = dialog;
    if (!dialog->Create(GetDesktopWindow())) {
        TipDayDialog::Slot() = nullptr;
        delete dialog;
        GiveUse();
        return;
    }
    ShowWindow(dialog->GetSafeHwnd(), SW_SHOW);
    SetForegroundWindow(dialog->GetSafeHwnd());
}

}  // namespace rostdialogs
