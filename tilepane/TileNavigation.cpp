// Pane commands: board navigation, service pages and sign-up, remote, games and classroom
// pages, background pictures.
#include <windows.h>

#include "ClientCore.h"
#include "CommonKit.h"
#include "DebugOut.h"
#include "GameLaunch.h"
#include "ModulePath.h"
#include "SignUp.h"
#include "Text.h"
#include "TilePaneIds.h"
#include "TilePaneWindow.h"
#include "WebAddress.h"
#include "outside/RostLedger.h"

namespace tilepane {
namespace {

const wchar_t kTileConfigW[] = L"resource\\tilepane\\config.cfg";
const wchar_t kClassroomCaption[] = L"Vantor课堂";
const wchar_t kOffline[] = L"当前网络未连接，请您从右下角任务栏中退出Pelo，重新连接网络之后再尝试";

std::wstring ProfileW(const wchar_t* section, const wchar_t* key, const wchar_t* file, DWORD chars = 256) {
    std::wstring value(chars, L'\0');
    if (!_GetProfileStringW(section, key, &value[0], chars, file)) return std::wstring();
    value.resize(wcslen(value.c_str()));
    return value;
}

void Store(WCHAR (&field)[256], const wchar_t* text) { vantor::CopyField(field, text ? text : L""); }

}  // namespace

void TilePaneWindow::Navigate(const std::string& url) {
    if (browser_) browser_->Navigate(url.c_str());
}

void TilePaneWindow::RunCommand(int command, INT_PTR parameter) {
    switch (command) {
    case 3: BoardNavigation(reinterpret_cast<const BoardCommand*>(parameter)); break;
    case 6: SetBackground(static_cast<int>(parameter)); break;
    case 7:
        if (parameter) SetLocalBackground(vantor::AnsiToWide(reinterpret_cast<const char*>(parameter)));
        break;
    case 8:
        if (parameter) SetLocalBackground(reinterpret_cast<const wchar_t*>(parameter));
        break;
    default: OpenRemotePage(command); break;
    }
}

bool TilePaneWindow::Online() {
    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger, "RostLedger_GetFriendInfoA");
    FriendInfoA record = {};
    FriendHandle account = current && context_ ? current(context_) : nullptr;
    bool online = account && info && info(context_, account, &record) && record.status.status != 0;
    if (ledger) FreeLibrary(ledger);
    return online;
}

void TilePaneWindow::BoardNavigation(const BoardCommand* command) {
    historyEnabled_ = true;
    BoardCommand own = {lastBoard_[0], lastBoard_[1], lastBoard_[2]};
    if (command && command->board != lastBoard_[0]) {
        Store(lastBoard_[0], command->board);
        Store(lastBoard_[1], command->column);
        Store(lastBoard_[2], command->extra);
    }
    if (!command) command = &own;
    std::wstring board = lastBoard_[0];
    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    if (ledger) {
        if (!Online()) {
            MessageBoxW(window_, kOffline, kClassroomCaption, MB_OK);
            FreeLibrary(ledger);
            return;
        }
        _TabPlug_Show(container_, PLUG_HOME_PANE, 0);
        BoardColumn column = SplitColumn(ProfileW(board.c_str(), lastBoard_[1], kTileConfigW));
        auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
        auto subjects =
            vantor::ProcAddress<PFN_RostLedger_GetFriendServiceSubjectsW>(ledger, "RostLedger_GetFriendServiceSubjectsW");
        FriendHandle account = current ? current(context_) : nullptr;
        DWORD count = 0;
        if (subjects && subjects(context_, account, board.c_str(), nullptr, &count)) {
            std::vector<ServiceSubjectInfoW> list(count);
            if (count && subjects(context_, account, board.c_str(), list.data(), &count)) {
                for (DWORD i = 0; i < count && i < list.size(); ++i) {
                    if (vantor::FieldText(list[i].caption) != column.subject) continue;
                    navigateError_ = false;
                    ShrinkBrowser();
                    OpenServicePage(static_cast<int>(list[i].number), vantor::FieldText(list[i].extra));
                }
            }
        } else if (board == L"1000") {
            OpenGamesPage();
        } else if (board == L"999") {
            OpenClassroomPage(column.item);
        }
        blocks_.CheckBoard(board);
        FreeLibrary(ledger);
    }
    _TabPlug_Show(container_, PLUG_HOME_PANE, 0);
}

void TilePaneWindow::OpenServicePage(int type, const std::wstring& address) {
    clearHistoryPending_ = true;
    if (browser_) browser_->ClearTraveLog();
    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto query = vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyW>(ledger,
                                                                               "RostLedger_QueryFriendServicePolicyW");
    std::unique_ptr<ServicePolicyInfoW> policy(new ServicePolicyInfoW());
    bool held = current && query && query(context_, current(context_), static_cast<DWORD>(type), policy.get()) &&
                policy->flags[4] != 0;
    if (ledger) FreeLibrary(ledger);
    if (!held) {
        if (suppressedSignUp_ == type) {
            // Signed up a moment ago and still not held: asking again would never end.
            vantor::DebugLine(L"TilePane: 服务 %d 注册之后仍未开通", type);
            return;
        }
        PostMessageW(window_, UM_TILE_APPLY, static_cast<WPARAM>(type), 0);
        return;
    }
    ShowLoadBar(true);
    Navigate("about:blank");
    std::string url;
    if (UsesSubjectAddress(type)) {
        url = vantor::WideToAnsi(address);
    } else {
        char value[128] = {};
        if (_GetProfileStringA("web_site", std::to_string(type).c_str(), value, sizeof value,
                               "resource\\tilepane\\config.cfg")) {
            url = value;
        }
    }
    Navigate(url);
    lastUrl_ = url;
}

void TilePaneWindow::OnApply(int type) {
    if (closing_) return;
    // Each apply holds a reference of its own: a second one may come while the first one's
    // sign-up window is up. The outermost one's is the one Destroy ends the sign-up with.
    HMODULE library = vantor::LoadProgramLibrary(L"SignUp.dll");
    auto doRegister = vantor::ProcAddress<PFN_DoRegister>(library, "DoRegister");
    if (!doRegister) {
        if (library) FreeLibrary(library);
        return;
    }
    bool outermost = inSignUp_ == 0;
    if (outermost) signUp_ = library;
    ++inSignUp_;
    int result = doRegister(type, context_, container_, window_);
    --inSignUp_;
    if (closing_) {
        FreeLibrary(library);
        if (!outermost) return;  // the outermost apply, still running, ends the pane
        // The pane was closed during the sign-up: it goes now that DoRegister is done.
        signUp_ = nullptr;
        DestroyWindow(window_);
        delete this;
        return;
    }
    if (result == SIGNUP_APPLIED) {
        suppressedSignUp_ = type;
        BoardCommand again = {lastBoard_[0], lastBoard_[1], lastBoard_[2]};
        BoardNavigation(&again);
        suppressedSignUp_ = 0;
    }
    if (outermost) signUp_ = nullptr;
    FreeLibrary(library);
}

void TilePaneWindow::OpenGamesPage() {
    char html[64] = {};
    if (!_GetProfileStringA("LocalGame", "html", html, sizeof html, "resource\\SplashMgr\\config.cfg")) {
        vantor::DebugLine(L"TilePane: 没有设置游戏页面");  // no games page to open
        return;
    }
    gamesListPending_ = true;
    navigateError_ = false;
    ShowLoadBar(true);
    ShrinkBrowser();
    std::string path = vantor::WideToAnsi(vantor::ProgramDir()) + "resource\\SplashMgr\\" + html;
    Navigate(path);
    lastUrl_ = path;
    clearHistoryPending_ = true;
}

void TilePaneWindow::OpenClassroomPage(const std::wstring& item) {
    SetWindowPos(GetDlgItem(window_, IDC_TILE_ERROR), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::wstring path = gamelaunch::ClassroomPath(gamelaunch::ReadClassroomDir(), item);
    if (path.empty() || !browser_) return;  // no page item: nothing to open
    browser_->Navigate("about:blank");
    browser_->Navigate(path.c_str());
    clearHistoryPending_ = true;
}

void TilePaneWindow::OpenRemotePage(int command) {
    historyEnabled_ = command != 2;
    if (command != 2) _TabPlug_Show(container_, PLUG_HOME_PANE, 0);
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    auto remote = vantor::ProcAddress<decltype(&Cco_GetRemoteUrlA)>(core, "Cco_GetRemoteUrlA");
    RemoteUrlInfoA info = {};
    int result = remote ? remote(RemotePageKind(command), &info) : -1;
    if (core) FreeLibrary(core);
    if (result != 0) {
        if (commandRetries_.Fail()) PostMessageW(window_, WM_COMMAND, IDC_TILE_RENEWAL, 0);
        return;
    }
    std::string url = vantor::FieldText(info.url);
    if (command == 2) {
        vantor::OpenWebAddress(window_, url);
        return;
    }
    navigateError_ = false;
    ShrinkBrowser();
    ShowLoadBar(true);
    Navigate("about:blank");
    Navigate(url);
    lastUrl_ = url;
    clearHistoryPending_ = true;
    commandRetries_.Reset();
}

void TilePaneWindow::RepaintWithInfoPane() {
    InvalidateRect(window_, nullptr, TRUE);
    HWND info = _TabPlug_GetSafeHwnd(container_, PLUG_INFO_PANE);
    if (info) InvalidateRect(info, nullptr, TRUE);
}

bool TilePaneWindow::SetBackground(int number) {
    const char* file = "resource\\TabDeck\\config.cfg";
    if (number == -1) {
        int def = 0;
        _GetProfileIntA("bkgnd", "def", &def, file);
        number = def;
    }
    char name[256] = {};
    if (!_GetProfileStringA("bkgnd", std::to_string(number).c_str(), name, sizeof name, file)) return false;
    background_.Open((vantor::WideToAnsi(vantor::ProgramDir()) + "resource\\TabDeck\\" + name).c_str());
    RepaintWithInfoPane();
    return true;
}

bool TilePaneWindow::SetLocalBackground(const std::wstring& name) {
    std::wstring path = vantor::ProgramDir() + L"resource\\TabDeck\\local\\" + name;
    PictKit probe;
    if (!probe.Open(path.c_str())) return false;  // the picture shown stays
    background_.Open(path.c_str());
    RepaintWithInfoPane();
    return true;
}

}  // namespace tilepane
