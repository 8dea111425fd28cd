#include "SettingsDialog.h"

#include <commdlg.h>

#include "CommonKit.h"
#include "Handles.h"
#include "ModulePath.h"
#include "SettingIds.h"
#include "Text.h"
#include "outside/OrderHub.h"

extern HINSTANCE g_settingInstance;

namespace setting {

namespace {
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring TabDeckDir() { return vantor::ProgramPath(L"resource\\TabDeck\\"); }

COLORREF ParseColour(const std::wstring& text) {
    int r = 0, g = 0, b = 0;
    swscanf(text.c_str(), L"%d,%d,%d", &r, &g, &b);
    return RGB(r, g, b);
}

std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                     size_t chars) {
    std::wstring value(chars, L'\0');
    DWORD n = GetPrivateProfileStringW(section, key, fallback, &value[0], static_cast<DWORD>(chars), file.c_str());
    value.resize(n);
    return value;
}
}  // namespace

void SendAction(PlugId target, int command, INT_PTR parameter) {
    vantor::UniqueModule hub(vantor::LoadProgramLibrary(L"OrderHub.dll"));
    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(hub.get(), "OrderHub_Action");
    if (action) action(target, command, parameter);
}

bool RunKeyHoldsStartup() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    BYTE value[260];
    DWORD size = sizeof value;
    bool found = RegQueryValueExW(key, L"Tutorum", nullptr, nullptr, value, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

SettingsDialog::SettingsDialog(HMODULE container, HostContext context, INT_PTR reserved)
    : CSkinFrame(true, SKINFRAME_BUTTON_CLOSE),
      container_(container),
      context_(context),
      reserved_(reserved),
      list_(TabDeckDir() + L"config.cfg", TabDeckDir() + L"local\\") {}

SettingsDialog::~SettingsDialog() = default;

bool SettingsDialog::CreateOnDesktop() { return Create(g_settingInstance, IDD_SETTINGS, GetDesktopWindow()); }

INT_PTR SettingsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CSkinFrame::DialogProc(message, wParam, lParam);
}

bool SettingsDialog::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    SetWindowTextW(m_hWnd, L"设置");
    ok_.SubclassWnd(GetDlgItem(m_hWnd, IDC_OK));
    cancel_.SubclassWnd(GetDlgItem(m_hWnd, IDC_CANCEL));
    apply_.SubclassWnd(GetDlgItem(m_hWnd, IDC_APPLY));
    choose_.SubclassWnd(GetDlgItem(m_hWnd, IDC_CHOOSE_PICTURE));
    LoadCustomSkin();

    FillList();
    std::wstring start = list_.InitialPreview();
    if (start.empty() || !PreviewFile(start)) PreviewBuiltIn(0);

    CenterWindow(m_hWnd, nullptr);

    runAtStart_.SubclassWnd(GetDlgItem(m_hWnd, IDC_RUN_AT_START));
    runAtStart_.SetBtnStyle(GLASSKIT_STYLE_CHECK);
    if (RunKeyHoldsStartup()) CheckDlgButton(m_hWnd, IDC_RUN_AT_START, BST_CHECKED);

    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    CreateDirectoryW((TabDeckDir() + L"local").c_str(), nullptr);
    return true;
}

void SettingsDialog::FillList() {
    HWND box = GetDlgItem(m_hWnd, IDC_BACKGROUNDS);
    SendMessageW(box, LB_RESETCONTENT, 0, 0);
    list_.Load();
    for (const Background& entry : list_.entries()) {
        SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    }
    if (list_.InitialSelection() >= 0) SendMessageW(box, LB_SETCURSEL, list_.InitialSelection(), 0);
}

void SettingsDialog::OnDestroy() {
    runAtStart_.UnsubclassWnd();
    choose_.UnsubclassWnd();
    apply_.UnsubclassWnd();
    cancel_.UnsubclassWnd();
    ok_.UnsubclassWnd();
}

void SettingsDialog::OnCommand(UINT notifyCode, UINT controlId, HWND control) {
    switch (controlId) {
    case IDC_OK:
        if (notifyCode != BN_CLICKED) return;
        Apply();
        OnClose();
        SetRunAtStart(IsDlgButtonChecked(m_hWnd, IDC_RUN_AT_START) == BST_CHECKED);
        return;
    case IDC_APPLY:
        if (notifyCode == BN_CLICKED) Apply();
        return;
    case IDC_CANCEL:
        if (notifyCode == BN_CLICKED) OnClose();
        return;
    case IDC_BACKGROUNDS:
        if (notifyCode == LBN_SELCHANGE) OnSelectionChanged();
        return;
    case IDC_CHOOSE_PICTURE:
        if (notifyCode == BN_CLICKED) ChoosePicture();
        return;
    case IDC_DEFAULT_BACKGROUND:
        SendAction(PLUG_TABDECK, 4, 0);
        return;
    }
    CSkinFrame::OnCommand(notifyCode, controlId, control);
}

bool SettingsDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE) {
        OnClose();
        return true;
    }
    return CSkinFrame::OnSysCommand(command, lParam);
}

// The pane stays: closing only tells the pane owner, which decides what to show.
void SettingsDialog::OnClose() { SendAction(PLUG_PANE_OWNER, 1, 0); }

bool SettingsDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    switch (item->CtlID) {
    case IDC_OK: return ok_.IsSubclass() && ok_.DrawItem(item);
    case IDC_CANCEL: return cancel_.IsSubclass() && cancel_.DrawItem(item);
    case IDC_APPLY: return apply_.IsSubclass() && apply_.DrawItem(item);
    case IDC_CHOOSE_PICTURE: return choose_.IsSubclass() && choose_.DrawItem(item);
    case IDC_RUN_AT_START: return runAtStart_.IsSubclass() && runAtStart_.DrawItem(item);
    }
    return false;
}

void SettingsDialog::LoadCustomSkin() {
    std::wstring skin = ReadIni(vantor::ProgramPath(L"config\\uiprof.cfg"), L"Global", L"SkinName", L"", 64);
    if (skin.empty()) return;
    std::wstring folder = vantor::ProgramPath(L"Skins\\" + skin + L"\\");
    std::wstring file = folder + L"CommWnd.skn";
    std::string normal = vantor::WideToAnsi(folder + ReadIni(file, L"Button", L"btn_bk_n", L"", 260));
    std::string hover = vantor::WideToAnsi(folder + ReadIni(file, L"Button", L"btn_bk_h", L"", 260));
    COLORREF textNormal = ParseColour(ReadIni(file, L"Button", L"txt_clr_n", L"0,0,0", 64));
    COLORREF textHover = ParseColour(ReadIni(file, L"Button", L"txt_clr_h", L"0,0,0", 64));
    for (CKnobKit* button : {&ok_, &cancel_, &apply_, &choose_}) {
        button->SetBkgndImage(normal.c_str(), hover.c_str(), nullptr, nullptr);
        button->SetTextColor(textNormal, textHover);
    }
}

RECT SettingsDialog::PreviewRect() const {
    RECT rect = {};
    GetWindowRect(GetDlgItem(m_hWnd, IDC_PREVIEW), &rect);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void SettingsDialog::OnDraw(HDC dc) {
    if (preview_ && preview_->IsOpen()) preview_->Draw(dc, PreviewRect(), 0);
}

bool SettingsDialog::PreviewFile(const std::wstring& path) {
    // A picture that cannot be read leaves the one shown in place.
    auto probe = std::make_unique<PictKit>();
    if (!probe->Open(path.c_str())) return false;
    preview_ = std::move(probe);
    RECT rect = PreviewRect();
    InvalidateRect(m_hWnd, &rect, TRUE);
    return true;
}

void SettingsDialog::PreviewBuiltIn(int index) {
    std::wstring path = list_.BuiltInPath(index);
    if (!path.empty()) PreviewFile(path);
}

void SettingsDialog::OnSelectionChanged() {
    int position = static_cast<int>(SendDlgItemMessageW(m_hWnd, IDC_BACKGROUNDS, LB_GETCURSEL, 0, 0));
    if (position < 0 || position >= static_cast<int>(list_.entries().size())) return;
    const Background& entry = list_.entries()[static_cast<size_t>(position)];
    if (entry.local) {
        PreviewFile(list_.LocalPath(entry.text));
    } else {
        PreviewBuiltIn(entry.index);
    }
}

void SettingsDialog::ChoosePicture() {
    wchar_t path[260] = L"";
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = m_hWnd;
    open.lpstrFilter = L"图片文件(*.bmp *.jpg)\0*.bmp;*.jpg\0";
    open.lpstrFile = path;
    open.nMaxFile = 260;
    // The process keeps its current folder whatever folder the user browsed.
    open.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&open)) return;
    int position = list_.AddLocalCopy(path);
    if (position < 0) return;
    HWND box = GetDlgItem(m_hWnd, IDC_BACKGROUNDS);
    SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list_.entries().back().text.c_str()));
    SendMessageW(box, LB_SETCURSEL, position, 0);
    InvalidateRect(box, nullptr, TRUE);
    PreviewFile(list_.LocalPath(list_.entries().back().text));
}

void SettingsDialog::Apply() {
    int position = static_cast<int>(SendDlgItemMessageW(m_hWnd, IDC_BACKGROUNDS, LB_GETCURSEL, 0, 0));
    Choice choice;
    if (!list_.ChoiceFor(position, &choice)) return;
    if (choice.command == 7) {
        // The tab manager takes the name as 8-bit text of up to 260 characters.
        char name[260] = {};
        vantor::CopyField(name, vantor::WideToAnsi(choice.name).c_str());
        SendAction(PLUG_TABDECK, 7, reinterpret_cast<INT_PTR>(name));
    } else {
        SendAction(PLUG_TABDECK, 4, choice.index);
    }
    list_.Write(choice);
}

// Whether the client runs at start-up is not changed from here: the box only shows what
// the Run key says.
void SettingsDialog::SetRunAtStart(bool) {}

}  // namespace setting
