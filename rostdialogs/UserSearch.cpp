#include "UserSearch.h"

#include <commctrl.h>

#include "DebugOut.h"
#include "DialogIds.h"
#include "IniFile.h"
#include "Module.h"
#include "PumpingJoin.h"
#include "Services.h"
#include "Text.h"
#include "Verbs.h"

namespace rostdialogs {

namespace {

const UINT kSearchEnded = WM_USER + 1700;    // 2724
const UINT kPreviousPage = WM_USER + 1701;   // 2725
const UINT kNextPage = WM_USER + 1702;       // 2726
const DWORD kOnlineService = 9;

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void InsertColumn(HWND list, int index, const wchar_t* title, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void MoveBy(HWND parent, HWND child, int dy) {
    RECT r = ChildRect(parent, child);
    MoveWindow(child, r.left, r.top + dy, r.right - r.left, r.bottom - r.top, TRUE);
}

}  // namespace

// ---- fields pane

bool SearchFieldsPane::OnInitDialog() {
    ContactDialog::OnInitDialog();
    provinces_.Load(ReadFileBytes(vantor::ini::ProgramFile(L"config\\province.txt")));
    HWND province = Item(IDC_FIELD_PROVINCE);
    SendMessageW(province, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
    for (const std::string& name : provinces_.names)
        SendMessageW(province, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(vantor::AnsiToWide(name).c_str()));
    HWND sex = Item(IDC_FIELD_SEX);
    for (int value : {0, 1, 2}) SendMessageW(sex, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SexChoice(value).c_str()));
    HookDialog(m_hWnd, true);
    return true;
}

void SearchFieldsPane::OnDestroy() { HookDialog(m_hWnd, false); }

HBRUSH SearchFieldsPane::OnCtlColorDlg(HDC dc, HWND) {
    // The pane shows the search dialog's background through.
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

SearchFields SearchFieldsPane::Fields(bool shown) const {
    SearchFields f;
    f.shown = shown;
    if (!shown) return f;
    f.account = ItemTextA(IDC_FIELD_ACCOUNT);
    f.nickname = ItemTextA(IDC_FIELD_NICKNAME);
    f.provinceCode = provinces_.CodeOf(ItemTextA(IDC_FIELD_PROVINCE));
    f.sex = ItemTextA(IDC_FIELD_SEX);
    return f;
}

// ---- result page

SearchResultPage::~SearchResultPage() {
    if (statusBrush_) DeleteObject(statusBrush_);
}

bool SearchResultPage::OnInitDialog() {
    ContactDialog::OnInitDialog();
    Services& s = LiveServices();
    FriendHandle account = s.CurrentAccount(owner_->Book());
    onlineService_ = account && s.HasService(owner_->Book(), account, kOnlineService);
    HWND list = Item(IDC_RESULT_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE | LVS_EX_TWOCLICKACTIVATE);
    InsertColumn(list, 0, L"号码", 85);
    InsertColumn(list, 1, L"昵称", 90);
    InsertColumn(list, 2, L"性别", 40);
    InsertColumn(list, 3, L"省份", 60);
    InsertColumn(list, 4, L"城市", 60);
    previous_.SubclassWnd(Item(IDC_RESULT_PREVIOUS));
    next_.SubclassWnd(Item(IDC_RESULT_NEXT));
    SetWindowPos(Item(IDC_RESULT_STATUS), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND box = Item(IDC_RESULT_ONLINE);
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    onlineOnly_.SubclassWnd(box);
    onlineOnly_.SetBtnStyle(GLASSKIT_STYLE_CHECK);
    // Every search goes to the presence server, whatever the account's services.
    EnableWindow(box, FALSE);
    statusBrush_ = nullptr;
    return true;
}

void SearchResultPage::OnDestroy() {
    if (previous_.IsSubclass()) previous_.UnsubclassWnd();
    if (next_.IsSubclass()) next_.UnsubclassWnd();
    if (onlineOnly_.IsSubclass()) onlineOnly_.UnsubclassWnd();
}

void SearchResultPage::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != STN_CLICKED) return;
    HWND dialog = owner_->GetSafeHwnd();
    if (controlId == IDC_RESULT_PREVIOUS) PostMessageW(dialog, kPreviousPage, 0, 0);
    if (controlId == IDC_RESULT_NEXT) PostMessageW(dialog, kNextPage, 0, 0);
    if (controlId == IDM_ADD_TO_FRIENDS) AddChosenFriend();
}

void SearchResultPage::OnNotify(WPARAM, LPARAM lParam) {
    auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == IDC_RESULT_LIST && header->code == NM_RCLICK) ShowRowMenu();
}

void SearchResultPage::ShowRowMenu() {
    HWND list = Item(IDC_RESULT_LIST);
    DWORD at = GetMessagePos();
    POINT screen = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    LVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(list, &hit.pt);
    int row = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0) return;
    chosenRow_ = row;
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    HMENU menu = LoadMenuW(Self(), MAKEINTRESOURCEW(IDM_RESULT_MENU));
    if (!menu) return;
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_hWnd, nullptr);
    DestroyMenu(menu);
}

FriendInfoA SearchResultPage::ChosenRecord() const {
    HWND list = Item(IDC_RESULT_LIST);
    auto cell = [&](int column) {
        wchar_t text[128] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(list, LVM_GETITEMTEXTW, chosenRow_, reinterpret_cast<LPARAM>(&item));
        return std::wstring(text);
    };
    FriendInfoA record = {};
    vantor::CopyField(record.id, vantor::WideToAnsi(cell(0)).c_str());
    vantor::CopyField(record.nickname, vantor::WideToAnsi(cell(1)).c_str());
    record.sex = cell(2) == L"男" ? 1 : 2;
    // A row without a known province name shows the record's own province text.
    std::string province = vantor::WideToAnsi(cell(3));
    std::string code = owner_->Fields().Provinces().CodeOf(province);
    vantor::CopyField(record.province, (code.empty() ? province : code).c_str());
    vantor::CopyField(record.city, vantor::WideToAnsi(cell(4)).c_str());
    if (OnlineOnly()) record.status.status = 1;
    return record;
}

void SearchResultPage::AddChosenFriend() {
    HWND list = Item(IDC_RESULT_LIST);
    if (!onlineService_ || chosenRow_ < 0 || chosenRow_ >= SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return;
    AskFriendship(LiveServices(), owner_->Book(), owner_->GetSafeHwnd(), ChosenRecord());
}

HBRUSH SearchResultPage::OnCtlColorStatic(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) == IDC_RESULT_STATUS) {
        SetTextColor(dc, RGB(0, 0, 255));
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    return ContactDialog::OnCtlColorStatic(dc, control);
}

bool SearchResultPage::OnDrawItem(LPDRAWITEMSTRUCT item) {
    if (onlineOnly_.IsSubclass() && item->hwndItem == onlineOnly_.GetSafeHwnd()) return onlineOnly_.DrawItem(item);
    return false;
}

void SearchResultPage::Clear() {
    SendMessageW(Item(IDC_RESULT_LIST), LVM_DELETEALLITEMS, 0, 0);
    chosenRow_ = -1;
    cleared_ = true;
}

void SearchResultPage::ShowStatus(const wchar_t* text) {
    HWND status = Item(IDC_RESULT_STATUS);
    ShowWindow(status, SW_HIDE);
    SetWindowTextW(status, text);
    ShowWindow(status, SW_SHOW);
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void SearchResultPage::HideStatus() {
    HWND status = Item(IDC_RESULT_STATUS);
    SetWindowTextW(status, L"");
    ShowWindow(status, SW_HIDE);
}

bool SearchResultPage::OnlineOnly() const {
    return SendMessageW(Item(IDC_RESULT_ONLINE), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SearchResultPage::AddRow(const FriendInfoA& record, const ProvinceList& provinces) {
    if (cleared_.exchange(false)) HideStatus();
    HWND list = Item(IDC_RESULT_LIST);
    std::wstring id = vantor::AnsiToWide(vantor::FieldText(record.id));
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(id.c_str());
    int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    std::string code = vantor::FieldText(record.province);
    std::string province = provinces.NameOf(code);
    if (province.empty()) province = code;
    SetCell(list, row, 1, vantor::AnsiToWide(vantor::FieldText(record.nickname)));
    SetCell(list, row, 2, SexColumn(record.sex));
    SetCell(list, row, 3, vantor::AnsiToWide(province));
    SetCell(list, row, 4, vantor::AnsiToWide(vantor::FieldText(record.city)));
}

// ---- search dialog

UserSearchDialog::UserSearchDialog(HostContext book)
    : ContactDialog(IDD_USER_SEARCH, true),
      book_(book),
      fields_(new SearchFieldsPane),
      results_(new SearchResultPage(this)) {}

UserSearchDialog::~UserSearchDialog() {
    if (worker_) CloseHandle(worker_);
    delete fields_;
    delete results_;
}

INT_PTR UserSearchDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kSearchEnded:
        if (worker_) {
            vantor::JoinPumping(worker_);
            CloseHandle(worker_);
            worker_ = nullptr;
        }
        if (closeWhenDone_) {
            DestroyWindow(m_hWnd);
            return 1;
        }
        EnableButtons(true);
        // A refusal, or an answered page without rows: there are no more records.
        if (result_ != 0 || (answered_ && rowsFound_ == 0))
            results_->ShowStatus(L"已经没有您要搜索的记录。");
        else
            results_->HideStatus();
        return 1;
    case kPreviousPage:
        if (worker_ || page_ == 0) return 1;
        --page_;
        StartSearch();
        return 1;
    case kNextPage:
        if (worker_) return 1;
        ++page_;
        StartSearch();
        return 1;
    case WM_SIZE:
        if (m_skinned) MakeRgnEffect();
        break;
    }
    return ContactDialog::DialogProc(message, wParam, lParam);
}

bool UserSearchDialog::OnInitDialog() {
    ContactDialog::OnInitDialog();
    SetWindowTextW(m_hWnd, DialogCaption().c_str());
    SkinButtons({{&close_, IDC_SEARCH_CLOSE}, {&advanced_, IDC_SEARCH_ADVANCED}, {&clear_, IDC_SEARCH_CLEAR},
                 {&find_, IDC_SEARCH_FIND}});
    ApplyButtonSkin({&close_, &advanced_, &clear_, &find_});
    fields_->CSkinFrame::Create(Self(), IDD_SEARCH_FIELDS, m_hWnd);
    ShowWindow(fields_->GetSafeHwnd(), SW_HIDE);
    if (results_->CSkinFrame::Create(Self(), IDD_SEARCH_RESULTS, m_hWnd)) {
        RECT frame = ChildRect(m_hWnd, Item(IDC_SEARCH_FRAME));
        MoveWindow(results_->GetSafeHwnd(), frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                   TRUE);
        ShowWindow(results_->GetSafeHwnd(), SW_SHOW);
    }
    Centre();
    return true;
}

void UserSearchDialog::OnDestroy() {
    UnskinButtons({&close_, &advanced_, &clear_, &find_});
    if (IsWindow(fields_->GetSafeHwnd())) DestroyWindow(fields_->GetSafeHwnd());
    if (IsWindow(results_->GetSafeHwnd())) DestroyWindow(results_->GetSafeHwnd());
}

void UserSearchDialog::OnClose() {
    if (!worker_) UnskinButtons({&close_, &advanced_, &clear_, &find_});
    ContactDialog::OnClose();
}

bool UserSearchDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE && worker_) {
        // The worker still adds rows to the page: the dialog goes when it has ended.
        closeWhenDone_ = true;
        ShowWindow(m_hWnd, SW_HIDE);
        return true;
    }
    return ContactDialog::OnSysCommand(command, lParam);
}

void UserSearchDialog::ReleaseModule() {
    if (SearchDialogSlot() == this) SearchDialogSlot() = nullptr;
}

void UserSearchDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != 0) return;
    switch (controlId) {
    case IDC_SEARCH_FIND:
        page_ = 0;
        StartSearch();
        break;
    case IDC_SEARCH_CLEAR:
        results_->Clear();
        break;
    case IDC_SEARCH_ADVANCED:
        ToggleFields();
        break;
    case IDC_SEARCH_CLOSE:
        PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        break;
    }
}

void UserSearchDialog::ToggleFields() {
    HWND pane = fields_->GetSafeHwnd();
    HWND page = results_->GetSafeHwnd();
    RECT paneRect = ChildRect(m_hWnd, pane);
    int height = paneRect.bottom - paneRect.top;
    RECT window;
    GetWindowRect(m_hWnd, &window);
    if (!fieldsShown_) {
        RECT separator = ChildRect(m_hWnd, Item(IDC_SEARCH_SEPARATOR));
        RECT pageRect = ChildRect(m_hWnd, page);
        MoveWindow(pane, pageRect.left, separator.bottom, pageRect.right - pageRect.left, height, TRUE);
        MoveBy(m_hWnd, page, height);
        MoveBy(m_hWnd, Item(IDC_SEARCH_FRAME), height);
        SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top + height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(pane, SW_SHOW);
        SetItemText(IDC_SEARCH_ADVANCED, L"高级<<");
    } else {
        ShowWindow(pane, SW_HIDE);
        MoveBy(m_hWnd, page, -height);
        MoveBy(m_hWnd, Item(IDC_SEARCH_FRAME), -height);
        SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetItemText(IDC_SEARCH_ADVANCED, L"高级>>");
    }
    fieldsShown_ = !fieldsShown_;
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void UserSearchDialog::EnableButtons(bool on) {
    for (int id : {IDC_SEARCH_FIND, IDC_SEARCH_CLEAR, IDC_SEARCH_ADVANCED, IDC_SEARCH_CLOSE})
        EnableWindow(Item(id), on ? TRUE : FALSE);
}

void UserSearchDialog::StartSearch() {
    result_ = 0;
    if (worker_) return;
    answered_ = false;
    rowsFound_ = 0;
    results_->Clear();
    results_->ShowStatus(L"正在搜索，请稍候......");
    auto* job = new Job{this, SearchQuery(fields_->Fields(fieldsShown_)), page_, results_->OnlineOnly()};
    worker_ = StartWorker(Work, job);
    if (!worker_) {
        delete job;
        return;
    }
    EnableButtons(false);
}

int __stdcall UserSearchDialog::SearchResultProc(FriendInfoA record, UINT_PTR context) {
    auto* dialog = reinterpret_cast<UserSearchDialog*>(context);
    ++dialog->rowsFound_;
    dialog->results_->AddRow(record, dialog->fields_->Provinces());
    return 1;
}

void UserSearchDialog::Work(void* raw) {
    Job* job = static_cast<Job*>(raw);
    UserSearchDialog* dialog = job->dialog;
    if (job->online) {
        int result = LiveServices().PsSearch(job->query.c_str(), job->page, SearchResultProc,
                                             reinterpret_cast<UINT_PTR>(dialog));
        // A missing presence client leaves the result at 0: no status, no rows.
        if (result != kPresenceMissing) {
            dialog->result_ = result;
            dialog->answered_ = true;
        }
    }
    HWND window = dialog->GetSafeHwnd();
    delete job;
    PostMessageW(window, kSearchEnded, 0, 0);
}

bool UserSearchDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    return DrawButtons(item, {&close_, &advanced_, &clear_, &find_});
}

void UserSearchDialog::LoadCustomSkin() { ApplyButtonSkin({&close_, &advanced_, &clear_, &find_}); }

}  // namespace rostdialogs
