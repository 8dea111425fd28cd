#include "MemberFormDialog.h"

#include <commctrl.h>
#include <richedit.h>

#include "CommonKit.h"
#include "Handles.h"
#include "MemberFormIds.h"
#include "ModulePath.h"
#include "Text.h"
#include "VantorMessages.h"
#include "VantorResults.h"
#include "outside/RostLedger.h"

namespace memberform {

namespace {
const wchar_t kConfig[] = L"resource\\memberform\\config.cfg";
const wchar_t kBoxCaption[] = L"MemberForm";
const DWORD kAfterSaleService = 19;

typedef int(WINAPI* PFN_Cco_ApplyServiceA)(int serviceId, const char* parameters, ServicePolicyInfoA* out);
typedef const char*(WINAPI* PFN_Cco_GetLastMsg)(void);

std::string ReadTextFile(const std::wstring& path) {
    vantor::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::string();
    DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size > (4u << 20)) return std::string();
    std::string text(size, '\0');
    DWORD got = 0;
    if (size && !ReadFile(file.get(), &text[0], size, &got, nullptr)) return std::string();
    text.resize(got);
    return text;
}

HBRUSH HollowBrush() { return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH)); }
}  // namespace

MemberFormDialog::MemberFormDialog(HMODULE container, HostContext context, INT_PTR reserved)
    : policy_(), container_(container), context_(context), reserved_(reserved) {}

MemberFormDialog::~MemberFormDialog() = default;

bool MemberFormDialog::Create(HINSTANCE module) {
    return vantor::LinkedDialog<MemberFormDialog>::Create(module, IDD_MEMBERFORM, GetDesktopWindow(), this) != nullptr;
}

INT_PTR MemberFormDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Initialise();
        // The form is made hidden: a default focus would activate it and take the keys from
        // the user's window. Its first field gets the focus when the form is shown and activated.
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PROVINCE && HIWORD(wParam) == CBN_SELCHANGE) FillCities();
        if (LOWORD(wParam) == IDC_SUBMIT) Submit();
        return TRUE;
    case WM_CLOSE:
        // Without a pane owner the post would become a message of this thread.
        if (HWND owner = _TabPlug_GetSafeHwnd(container_, PLUG_PANE_OWNER)) PostMessageW(owner, UM_PANE_CLOSED, 0, 0);
        return TRUE;
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window_, &client);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (!background_.IsOpen() || !background_.Draw(dc, client, 0)) {
            FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        }
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    case WM_DRAWITEM:
        return send_.DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(HollowBrush());
    case WM_DESTROY:
        send_.UnsubclassWnd();
        picture_.Detach();
        vantor::LinkedDialog<MemberFormDialog>::Unlink(window_);
        delete this;
        return TRUE;
    }
    return FALSE;
}

std::wstring MemberFormDialog::ResourcePath(const wchar_t* section, const wchar_t* key) const {
    wchar_t name[20] = L"";
    if (!_GetProfileStringW(section, key, name, 20, kConfig)) return std::wstring();
    return vantor::ProgramPath(std::wstring(L"resource\\memberform\\") + name);
}

void MemberFormDialog::Initialise() {
    SendDlgItemMessageW(window_, IDC_SEX, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"男"));
    SendDlgItemMessageW(window_, IDC_SEX, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"女"));
    // The lists come first: emptying a drop-down combo box also empties its edit, which
    // would lose the account's province and city.
    FillLists();
    FillFromAccount();
    PlaceBesideNoticePane();

    wchar_t caption[128] = L"";
    if (_GetProfileStringW(L"Dialog", L"Caption", caption, 128, L"config\\uiprof.cfg")) SetWindowTextW(window_, caption);

    AddExplanations();
    const std::pair<int, const wchar_t*> hints[] = {{IDC_NAME, L"请输入姓名"},
                                                    {IDC_SERIAL, L"请输入序列号"},
                                                    {IDC_AREA_CODE, L"区号"},
                                                    {IDC_TELEPHONE, L"电话号码"},
                                                    {IDC_EXTENSION, L"分机"}};
    for (size_t i = 0; i < 5; ++i) hints_[i].Attach(GetDlgItem(window_, hints[i].first), hints[i].second);

    picture_.Attach(GetDlgItem(window_, IDC_PICTURE));
    picture_.Load(ResourcePath(L"gif", L"pic"));
    picture_.Start();

    background_.Open(ResourcePath(L"pic", L"bk_pic").c_str());

    std::string button = vantor::WideToAnsi(ResourcePath(L"pic", L"btn_send_bk"));
    send_.SetBkgndImage(button.c_str(), button.c_str(), button.c_str(), button.c_str());
    send_.SetTextColor(RGB(106, 106, 106), RGB(65, 168, 255));
    send_.SubclassWnd(GetDlgItem(window_, IDC_SUBMIT));
}

void MemberFormDialog::FillFromAccount() {
    vantor::UniqueModule ledger(vantor::LoadProgramLibrary(L"RostLedger.dll"));
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    account_ = current ? current(context_) : nullptr;
    if (!account_) return;
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger.get(), "RostLedger_GetFriendInfoA");
    FriendInfoA record = {};
    if (info && info(context_, account_, &record)) {
        SetDlgItemTextA(window_, IDC_NAME, vantor::FieldText(record.name).c_str());
        int sex = SexEntry(record.sex);
        if (sex >= 0) SendDlgItemMessageW(window_, IDC_SEX, CB_SETCURSEL, sex, 0);
        SetDlgItemTextA(window_, IDC_PROVINCE, vantor::FieldText(record.province).c_str());
        SetDlgItemTextA(window_, IDC_CITY, vantor::FieldText(record.city).c_str());
        SetDlgItemTextA(window_, IDC_TELEPHONE, vantor::FieldText(record.phone).c_str());
    }
    auto policy = vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyA>(
        ledger.get(), "RostLedger_QueryFriendServicePolicyA");
    if (policy) policy(context_, account_, kAfterSaleService, &policy_);
}

void MemberFormDialog::PlaceBesideNoticePane() {
    HWND notice = _TabPlug_GetSafeHwnd(container_, PLUG_NOTICE_PANE);
    RECT pane;
    if (!notice || !GetWindowRect(notice, &pane)) return;
    RECT client;
    GetClientRect(window_, &client);
    SetWindowPos(window_, nullptr, pane.left - client.right - 8, pane.top - 33, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MemberFormDialog::AddExplanations() {
    const struct {
        int area;
        const wchar_t* text;
        const wchar_t* redFrom;
    } texts[] = {
        {IDC_TEXT_AREA_1,
         L"为保证您的权益，Vantor实行唯一会员管理。您只需注册一遍，即可成为Vantor客户服务中心会员，并将您的产品信息留在Vantor客户信息库中。",
         L"即可成为"},
        {IDC_TEXT_AREA_2,
         L"Vantor提醒您，请务必准确、完整填写注册信息并及时完成注册。您的身份一经验证，您才能够享受包含售后咨询、维修在内的Vantor厂商承诺的标准服务业务。同时您作为Vantor客户服务中心会员，可以以优惠的价格购买Vantor商城中的各类商品，并享受其他所有Vantor举办的Vantor会员活动。",
         L"您才能够享受"},
    };
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    for (const auto& t : texts) {
        HWND area = GetDlgItem(window_, t.area);
        RECT rect = {};
        GetWindowRect(area, &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        HWND edit = CreateWindowExW(WS_EX_TRANSPARENT, L"RichEdit20A", L"",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                        ES_READONLY,
                                    0, 0, 0, 0, window_, nullptr, instance, nullptr);
        if (!edit) continue;
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(edit, EM_SETEVENTMASK, 0, ENM_SCROLL | ENM_KEYEVENTS | ENM_MOUSEEVENTS);
        SetWindowTextW(edit, t.text);
        std::wstring whole = t.text;
        CHARFORMAT2W red = {};
        red.cbSize = sizeof red;
        red.dwMask = CFM_COLOR;
        red.crTextColor = RGB(255, 0, 0);
        SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(whole.find(t.redFrom)), -1);
        SendMessageW(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&red));
        SendMessageW(edit, EM_SETSEL, 0, 0);
        MoveWindow(edit, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
    }
}

void MemberFormDialog::FillLists() {
    HWND province = GetDlgItem(window_, IDC_PROVINCE);
    SendMessageW(province, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : ParseProvinces(ReadTextFile(vantor::ProgramPath(L"config\\province.txt")))) {
        SendMessageA(province, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    cities_ = ParseCities(ReadTextFile(vantor::ProgramPath(L"config\\city.txt")));
    HWND types = GetDlgItem(window_, IDC_PRODUCT_TYPE);
    SendMessageW(types, CB_RESETCONTENT, 0, 0);
    for (const MachineType& type : ParseMachineTypes(ReadTextFile(vantor::ProgramPath(L"config\\MachineType.txt")))) {
        LRESULT at = SendMessageA(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type.name.c_str()));
        if (at >= 0) SendMessageA(types, CB_SETITEMDATA, static_cast<WPARAM>(at), type.number);
    }
}

void MemberFormDialog::FillCities() {
    HWND province = GetDlgItem(window_, IDC_PROVINCE);
    LRESULT selected = SendMessageA(province, CB_GETCURSEL, 0, 0);
    std::string name;
    if (selected >= 0) {
        LRESULT length = SendMessageA(province, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
        if (length >= 0) {
            std::string text(static_cast<size_t>(length) + 1, '\0');
            SendMessageA(province, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&text[0]));
            name = text.c_str();
            name.resize(vantor::WholeCharsPrefix(name.c_str(), name.size(), 31));
        }
    }
    HWND city = GetDlgItem(window_, IDC_CITY);
    SendMessageW(city, CB_RESETCONTENT, 0, 0);
    auto found = cities_.find(name);
    if (found == cities_.end()) return;
    for (const std::string& c : found->second) SendMessageA(city, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.c_str()));
    SendMessageW(city, CB_SETCURSEL, 0, 0);
}

std::string MemberFormDialog::Text(int id) const {
    char text[260] = "";
    GetDlgItemTextA(window_, id, text, 260);
    return text;
}

MemberFields MemberFormDialog::ReadFields() const {
    MemberFields f;
    f.user = vantor::FieldText(policy_.codes[0]);
    f.password = vantor::FieldText(policy_.codes[1]);
    f.realName = Text(IDC_NAME);
    f.sex = Text(IDC_SEX);
    f.province = Text(IDC_PROVINCE);
    f.city = Text(IDC_CITY);
    f.areaCode = Text(IDC_AREA_CODE);
    f.telephone = Text(IDC_TELEPHONE);
    f.extension = Text(IDC_EXTENSION);
    f.serial = Text(IDC_SERIAL);
    f.productType = Text(IDC_PRODUCT_TYPE);
    SYSTEMTIME date = {};
    if (SendDlgItemMessageW(window_, IDC_BUY_DATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&date)) != GDT_VALID) {
        GetLocalTime(&date);
    }
    f.year = date.wYear;
    f.month = date.wMonth;
    f.day = date.wDay;
    return f;
}

void MemberFormDialog::Submit() {
    MemberFields fields = ReadFields();
    std::wstring refused = FieldThatCannotBeSent(fields);
    if (!refused.empty()) {
        std::wstring message = L"“" + refused + L"”中不能含有“&”或“=”，请修改后再注册。";
        MessageBoxW(window_, message.c_str(), kBoxCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    vantor::UniqueModule core(vantor::LoadProgramLibrary(L"ClientCore.dll"));
    auto apply = vantor::ProcAddress<PFN_Cco_ApplyServiceA>(core.get(), "Cco_ApplyServiceA");
    if (!apply) return;
    std::string text = BuildFormText(fields);
    if (apply(static_cast<int>(kAfterSaleService), text.c_str(), &policy_) == CCO_OK) return;
    auto lastMsg = vantor::ProcAddress<PFN_Cco_GetLastMsg>(core.get(), "Cco_GetLastMsg");
    const char* reason = lastMsg ? lastMsg() : nullptr;
    std::wstring message = L"会员注册失败";
    if (reason && *reason) message += L"——" + vantor::AnsiToWide(reason);
    message += L"！";
    MessageBoxW(window_, message.c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

}  // namespace memberform
