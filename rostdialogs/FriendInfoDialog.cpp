#include "FriendInfoDialog.h"

#include <commctrl.h>

#include "DialogIds.h"
#include "Forms.h"
#include "Module.h"
#include "PumpingJoin.h"
#include "Text.h"

namespace rostdialogs {

namespace {

const UINT kSaveEnded = WM_USER + 1703;   // 2727: wParam 1 saved; lParam 1 the name was empty

// Limits of what can be typed, in bytes.
const size_t kNameLimit = 20;
const size_t kEmailLimit = 30;
const size_t kPhoneLimit = 15;

void AddSexChoices(HWND list) {
    for (int sex : {0, 1, 2}) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SexChoice(sex).c_str()));
}

}  // namespace

FriendInfoDialog::FriendInfoDialog(HostContext book, GroupHandle group, FriendHandle entry, bool view)
    : ContactDialog(IDD_FRIEND_INFO, true) {
    target_.view = view;
    target_.book = book;
    target_.group = group;
    target_.entry = entry;
}

FriendInfoDialog::~FriendInfoDialog() {
    if (worker_) CloseHandle(worker_);
}

INT_PTR FriendInfoDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSaveEnded) {
        if (worker_) {
            vantor::JoinPumping(worker_);
            CloseHandle(worker_);
            worker_ = nullptr;
        }
        EnableWindow(Item(IDC_FRIEND_SAVE), TRUE);
        EnableWindow(Item(IDC_FRIEND_CLOSE), TRUE);
        if (closeWhenDone_) {
            DestroyWindow(m_hWnd);
            return 1;
        }
        if (lParam == 1) SetFocus(Item(IDC_FRIEND_NAME));
        if (wParam == 1 && !target_.view) PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return 1;
    }
    return ContactDialog::DialogProc(message, wParam, lParam);
}

bool FriendInfoDialog::OnInitDialog() {
    ContactDialog::OnInitDialog();
    AddSexChoices(Item(IDC_FRIEND_SEX));
    SkinButtons({{&close_, IDC_FRIEND_CLOSE}, {&save_, IDC_FRIEND_SAVE}, {&search_, IDC_FRIEND_SEARCH}});
    ApplyButtonSkin({&close_, &save_, &search_});
    HookDialog(m_hWnd, true);
    ShowWindow(Item(IDC_FRIEND_SEARCH), SW_HIDE);
    if (!target_.view) {
        SetWindowTextW(m_hWnd, L"新增电话好友");
        SetItemText(IDC_FRIEND_SAVE, L"添加");
        if (!target_.group) target_.group = LiveServices().OffRootGroup(target_.book);
    } else {
        SetWindowTextW(m_hWnd, L"用户信息");
        SetItemText(IDC_FRIEND_SAVE, L"修改");
        ShowFriend();
    }
    Centre();
    return true;
}

void FriendInfoDialog::ShowFriend() {
    Services& s = LiveServices();
    FriendInfoA info = {};
    GroupInfoA group = {};
    s.ReadFriend(target_.book, target_.entry, &info);
    s.ReadGroupA(target_.book, target_.group, &group);
    target_.friendId = vantor::FieldText(info.id);
    target_.groupId = vantor::FieldText(group.id);
    std::string name = info.nickname[0] ? vantor::FieldText(info.nickname) : vantor::FieldText(info.name);
    SetWindowTextW(Item(IDC_FRIEND_NAME), vantor::AnsiToWide(name).c_str());
    SetWindowTextW(Item(IDC_FRIEND_EMAIL), vantor::AnsiToWide(vantor::FieldText(info.email)).c_str());
    SendMessageW(Item(IDC_FRIEND_SEX), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(SexChoice(info.sex).c_str()));
    if (info.sex != 1 && info.sex != 2) SendMessageW(Item(IDC_FRIEND_SEX), CB_SETCURSEL, 0, 0);
    SYSTEMTIME date;
    if (ParseBirthday(vantor::FieldText(info.birthday), &date))
        SendMessageW(Item(IDC_FRIEND_BIRTHDAY), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&date));
    SetWindowTextW(Item(IDC_FRIEND_VOIP), vantor::AnsiToWide(vantor::FieldText(info.voip)).c_str());
    SetWindowTextW(Item(IDC_FRIEND_MOBILE), vantor::AnsiToWide(vantor::FieldText(info.mobile)).c_str());
    SetWindowTextW(Item(IDC_FRIEND_PHONE), vantor::AnsiToWide(vantor::FieldText(info.phone)).c_str());
    SetWindowTextW(Item(IDC_FRIEND_XLT), vantor::AnsiToWide(vantor::FieldText(info.xlt)).c_str());
    // What was shown is no change of the user's.
    birthdayChanged_ = false;
}

void FriendInfoDialog::OnDestroy() {
    HookDialog(m_hWnd, false);
    UnskinButtons({&close_, &save_, &search_});
}

void FriendInfoDialog::LimitEdit(int id, size_t maxBytes) {
    std::string text = ItemTextA(id);
    if (text.size() <= maxBytes) return;
    HWND edit = Item(id);
    SetWindowTextW(edit, vantor::AnsiToWide(CutWhole(text, maxBytes)).c_str());
    int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, end, end);
}

void FriendInfoDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode == EN_CHANGE) {
        switch (controlId) {
        case IDC_FRIEND_NAME: LimitEdit(controlId, kNameLimit); break;
        case IDC_FRIEND_EMAIL: LimitEdit(controlId, kEmailLimit); break;
        case IDC_FRIEND_VOIP:
        case IDC_FRIEND_MOBILE:
        case IDC_FRIEND_PHONE:
        case IDC_FRIEND_XLT: LimitEdit(controlId, kPhoneLimit); break;
        }
        return;
    }
    if (notifyCode != BN_CLICKED) return;
    if (controlId == IDC_FRIEND_SAVE) StartSave();
    if (controlId == IDC_FRIEND_CLOSE) PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

bool FriendInfoDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE && worker_) {
        // The worker still uses the dialog: it goes when the worker has ended.
        closeWhenDone_ = true;
        ShowWindow(m_hWnd, SW_HIDE);
        return true;
    }
    return ContactDialog::OnSysCommand(command, lParam);
}

void FriendInfoDialog::OnNotify(WPARAM, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header && header->idFrom == IDC_FRIEND_BIRTHDAY && header->code == DTN_DATETIMECHANGE) birthdayChanged_ = true;
}

void FriendInfoDialog::StartSave() {
    if (worker_) return;
    auto* job = new Job{this, target_, FriendForm()};
    job->form.nickname = ItemTextA(IDC_FRIEND_NAME);
    job->form.sex = ItemText(IDC_FRIEND_SEX);
    job->form.birthdayChanged = birthdayChanged_;
    GetLocalTime(&job->form.birthday);
    SendMessageW(Item(IDC_FRIEND_BIRTHDAY), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&job->form.birthday));
    job->form.email = ItemTextA(IDC_FRIEND_EMAIL);
    job->form.voip = ItemTextA(IDC_FRIEND_VOIP);
    job->form.mobile = ItemTextA(IDC_FRIEND_MOBILE);
    job->form.phone = ItemTextA(IDC_FRIEND_PHONE);
    job->form.xlt = ItemTextA(IDC_FRIEND_XLT);
    worker_ = StartWorker(Work, job);
    if (!worker_) {
        delete job;
        return;
    }
    EnableWindow(Item(IDC_FRIEND_SAVE), FALSE);
    EnableWindow(Item(IDC_FRIEND_CLOSE), FALSE);
}

void FriendInfoDialog::Work(void* raw) {
    Job* job = static_cast<Job*>(raw);
    HWND window = job->dialog->GetSafeHwnd();
    SaveOutcome outcome = SaveFriend(LiveServices(), job->target, job->form, window);
    delete job;
    PostMessageW(window, kSaveEnded, outcome == SaveOutcome::Saved ? 1 : 0, outcome == SaveOutcome::EmptyName ? 1 : 0);
}

bool FriendInfoDialog::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawButtons(item, {&close_, &save_, &search_}); }

void FriendInfoDialog::LoadCustomSkin() { ApplyButtonSkin({&close_, &save_, &search_}); }

}  // namespace rostdialogs
