// The host program as the client's libraries meet it: one main window that connects to
// the service platform, logs in while a progress bar shows each step, lists what the login
// produced, and fills its right side with the tab container. Closing it unloads the
// container, then logs off.
//
//   HostDemo.exe [/presence <http address>] [/account <id>] [/shot <file.bmp>]
//                [/pane <plug id> <file.bmp>] [/chat <friend id> <text> [/at <x>,<y>]]
//
// /presence points the presence client at another server for this run only.
// /account logs in as another account of the service platform (its stand-in's customer).
// /shot runs unattended: after the login the window is saved as a bitmap, and the program
// logs off and ends; its exit code tells whether everything worked.
// /pane (needs /shot) then has the tab manager choose that plug-in's tab (a service pane:
// -14 self-service, -19 after-sale), saves the pane's window once its page had time to
// load, and closes the pane as its user would.
// /chat (needs /shot) chats with a friend after the login: the chat service opens the chat,
// the text is sent, and once the friend's text has arrived (or the wait for it is over) the
// /shot file gets the picture of the chat window instead of the main window; /at moves the
// chat window there first (so that two hosts on one screen keep their chat windows apart).
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "ContainerHost.h"
#include "DemoChat.h"
#include "DemoSession.h"
#include "ModulePath.h"
#include "Text.h"
#include "WindowPicture.h"
#include "outside/TabDeck.h"

using hostdemo::ChatResult;
using hostdemo::ContainerHost;
using hostdemo::DemoSession;
using hostdemo::PresenceOverride;
using hostdemo::ReportNode;
using hostdemo::SaveWindowPicture;

namespace {

enum ExitCode {
    EXIT_OK = 0,
    EXIT_USAGE = 2,
    EXIT_NO_KERNEL = 3,
    EXIT_NO_CONNECTION = 4,
    EXIT_LOGIN_FAILED = 5,
    EXIT_SHOT_FAILED = 6,
    EXIT_LOGOFF_FAILED = 7,
    EXIT_BAD_PRESENCE = 8,
    EXIT_NO_FRIEND = 9,   // /chat: the friend is not in the account's contacts
    EXIT_NO_CHAT = 10,    // /chat: no chat service, or its window did not open
    EXIT_NO_ANSWER = 11,  // /chat: the friend's text did not arrive
    EXIT_NO_PANE = 12,    // /pane: the pane did not open or stay open, or its picture failed
};

const UINT WM_APP_START = WM_APP + 1;
const UINT WM_APP_CHAT = WM_APP + 2;
const UINT_PTR SHOT_TIMER = 1;
// Time for the tab window and its plug-ins to paint before the picture is taken.
const UINT SHOT_DELAY_MS = 1500;
// Time for the chat window to paint after it was raised, before its picture.
const DWORD CHAT_PAINT_MS = 500;
// Time for a service pane to load its page and paint, and to go after its close.
const DWORD PANE_LOAD_MS = 2500;
const DWORD PANE_CLOSE_MS = 500;
const DWORD PANE_PAINT_MS = 300;
const int TITLE_HEIGHT = 48;
const int MARGIN = 16;
const COLORREF TITLE_COLOUR = RGB(0, 94, 160);

const wchar_t kMainClass[] = L"VantorHostDemo";
const wchar_t kPaneClass[] = L"VantorHostDemoPane";

struct App {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND status = nullptr;
    HWND progress = nullptr;
    HWND tree = nullptr;
    HWND pane = nullptr;
    HFONT font = nullptr;
    HFONT titleFont = nullptr;
    std::wstring folder;
    std::wstring shotPath;
    std::wstring presenceUrl;
    std::string account;
    std::string chatPeer;
    std::wstring chatText;
    PlugId panePlug = 0;
    std::wstring paneShotPath;
    bool chatPlaced = false;
    POINT chatAt = {};
    DemoSession session;
    ContainerHost container;
    PresenceOverride presence;
    bool busy = false;
    bool closeWanted = false;
    std::wstring paneText = L"登录后在这里显示标签页";
    int exitCode = EXIT_OK;
};

App g_app;

// --- fonts: a face that holds Chinese characters, whichever the machine has

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFace(HDC dc, const wchar_t* face) {
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

HFONT MakeFont(int height, int weight) {
    HDC dc = GetDC(nullptr);
    const wchar_t* face = L"";
    for (const wchar_t* candidate : {L"Microsoft YaHei", L"SimSun", L"WenQuanYi Micro Hei", L"NSimSun"}) {
        if (HasFace(dc, candidate)) {
            face = candidate;
            break;
        }
    }
    ReleaseDC(nullptr, dc);
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// --- layout and report

void Layout() {
    RECT rc;
    GetClientRect(g_app.main, &rc);
    int width = rc.right, height = rc.bottom;
    int top = TITLE_HEIGHT + 8;
    MoveWindow(g_app.status, MARGIN, top, width - 2 * MARGIN, 22, TRUE);
    MoveWindow(g_app.progress, MARGIN, top + 26, width - 2 * MARGIN, 16, TRUE);
    int body = top + 52;
    int bodyHeight = height - body - MARGIN > 0 ? height - body - MARGIN : 0;
    int treeWidth = (width - 3 * MARGIN) * 2 / 5;
    MoveWindow(g_app.tree, MARGIN, body, treeWidth, bodyHeight, TRUE);
    int paneWidth = width - treeWidth - 3 * MARGIN;
    MoveWindow(g_app.pane, 2 * MARGIN + treeWidth, body, paneWidth > 0 ? paneWidth : 0, bodyHeight, TRUE);
    RECT pane;
    GetClientRect(g_app.pane, &pane);
    g_app.container.Fit(pane.right, pane.bottom);
}

void SetStatus(const std::wstring& text) { SetWindowTextW(g_app.status, text.c_str()); }

void AddNode(HTREEITEM parent, const ReportNode& node) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(node.text.c_str());
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(g_app.tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    for (const ReportNode& child : node.children) AddNode(item, child);
    if (item && !node.children.empty()) SendMessageW(g_app.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

void ShowReport(const std::vector<ReportNode>& report) {
    SendMessageW(g_app.tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    for (const ReportNode& node : report) AddNode(TVI_ROOT, node);
    HTREEITEM first = reinterpret_cast<HTREEITEM>(SendMessageW(g_app.tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    if (first) SendMessageW(g_app.tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(first));
}

// Keeps the window alive while the kernel works on this thread during the login.
void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// --- the session

void Fail(int code, const std::wstring& text) {
    g_app.exitCode = code;
    SetStatus(text);
    g_app.paneText = L"未登录";
    InvalidateRect(g_app.pane, nullptr, TRUE);
}

void PumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        PumpPending();
        Sleep(20);
    }
}

// The pane of /pane opened through the tab manager, its picture, and its close.
bool SavePanePicture() {
    std::wstring id = std::to_wstring(g_app.panePlug);
    const wchar_t* texts[3] = {id.c_str(), L"", L""};
    if (!g_app.container.Command(PLUG_TABDECK, TABDECK_CMD_OPEN_SERVICE, reinterpret_cast<INT_PTR>(texts))) return false;
    PumpFor(PANE_LOAD_MS);
    HWND pane = g_app.container.PlugWindow(g_app.panePlug);
    if (!pane || !IsWindowVisible(pane)) return false;
    // Repainted, and time for the page to be drawn, before the picture.
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    PumpFor(PANE_PAINT_MS);
    bool saved = SaveWindowPicture(pane, g_app.paneShotPath, false);
    // Closed as its user closes it: the pane tells its owner, which hides it.
    PostMessageW(pane, WM_CLOSE, 0, 0);
    PumpFor(PANE_CLOSE_MS);
    return saved && !IsWindowVisible(pane);
}

// The after-sale pane shows its own window when the container makes it at start-up; it
// is closed first, as its user closes it, so the picture shows the main window.
const PlugId kAfterSalePlug = -19;

void CloseStartUpPanes() {
    HWND pane = g_app.container.PlugWindow(kAfterSalePlug);
    if (!pane || !IsWindowVisible(pane)) return;
    // The tab manager hides the pane it shows when the pane owner hears of the close.
    std::wstring id = std::to_wstring(kAfterSalePlug);
    const wchar_t* texts[3] = {id.c_str(), L"", L""};
    g_app.container.Command(PLUG_TABDECK, TABDECK_CMD_OPEN_SERVICE, reinterpret_cast<INT_PTR>(texts));
    PumpFor(PANE_CLOSE_MS);
    PostMessageW(pane, WM_CLOSE, 0, 0);
    PumpFor(PANE_CLOSE_MS);
}

// The contact list's tab, shown for the main picture: its friend tree is what a user
// looks at first once signed in.
const PlugId kContactListPlug = -1;

void ShowContactList() {
    std::wstring id = std::to_wstring(kContactListPlug);
    const wchar_t* texts[3] = {id.c_str(), L"", L""};
    g_app.container.Command(PLUG_TABDECK, TABDECK_CMD_OPEN_SERVICE, reinterpret_cast<INT_PTR>(texts));
    PumpFor(PANE_CLOSE_MS);
}

void FinishUnattended() {
    if (g_app.shotPath.empty()) return;
    CloseStartUpPanes();
    ShowContactList();
    if (!SaveWindowPicture(g_app.main, g_app.shotPath) && g_app.exitCode == EXIT_OK) g_app.exitCode = EXIT_SHOT_FAILED;
    if (g_app.panePlug && !SavePanePicture() && g_app.exitCode == EXIT_OK) g_app.exitCode = EXIT_NO_PANE;
    DestroyWindow(g_app.main);
}

void RunSession() {
    g_app.busy = true;
    if (!g_app.presenceUrl.empty() && !g_app.presence.Apply(g_app.folder, g_app.presenceUrl)) {
        Fail(EXIT_BAD_PRESENCE, L"在线服务器地址无法写入配置：" + g_app.presenceUrl);
    } else if (!g_app.session.Open(g_app.folder)) {
        Fail(EXIT_NO_KERNEL, g_app.session.LastMessage());
    } else {
        SetStatus(L"正在连接服务平台... ...");
        PumpPending();
        hostdemo::PrepareDemoPlatform(g_app.folder, g_app.account);
        int connected = g_app.session.Connect();
        if (connected != 0) {
            Fail(EXIT_NO_CONNECTION, L"无法连接服务平台 (" + std::to_wstring(connected) + L") " + g_app.session.LastMessage());
        } else {
            int result = g_app.session.Login([](int step, const std::wstring& text) {
                SendMessageW(g_app.progress, PBM_SETPOS, static_cast<WPARAM>(step), 0);
                SetStatus(L"第 " + std::to_wstring(step) + L" 步：" + text);
                UpdateWindow(g_app.main);
                PumpPending();
                return !g_app.closeWanted;
            });
            if (result != 0) {
                std::wstring why = result == 10 ? L"登录已取消" : L"登录失败 (" + std::to_wstring(result) + L") ";
                Fail(EXIT_LOGIN_FAILED, why + g_app.session.LastMessage());
            } else {
                hostdemo::LoginView view = g_app.session.Collect();
                ShowReport(hostdemo::BuildReport(view));
                SendMessageW(g_app.progress, PBM_SETPOS, 10, 0);
                SetStatus(L"登录成功：" + view.account + (view.nickname.empty() ? L"" : L" (" + view.nickname + L")"));
                if (g_app.container.Load(g_app.folder, reinterpret_cast<HostContext>(g_app.session.Store()), g_app.pane)) {
                    g_app.paneText = g_app.container.HasTabs() ? L"" : L"标签页管理器没有加载";
                    // The home pane opens its first board's first column: the page of a held service.
                    g_app.container.OpenBoard(L"1004", L"0");
                } else {
                    g_app.paneText = L"程序目录中没有可用的 PlugHost.dll";
                }
                Layout();
                g_app.container.SetInfoPaneWidth(120);
                InvalidateRect(g_app.pane, nullptr, TRUE);
            }
        }
    }
    g_app.busy = false;
    if (g_app.closeWanted) {
        DestroyWindow(g_app.main);
    } else if (!g_app.chatPeer.empty() && g_app.session.LoggedIn()) {
        PostMessageW(g_app.main, WM_APP_CHAT, 0, 0);
    } else if (!g_app.shotPath.empty()) {
        SetTimer(g_app.main, SHOT_TIMER, SHOT_DELAY_MS, nullptr);
    }
}

// The chat window in its place (/at) and on top of the others, then its picture.
bool SaveChatPicture(HWND chat) {
    if (g_app.chatPlaced) SetWindowPos(chat, nullptr, g_app.chatAt.x, g_app.chatAt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(chat, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    // The chat window paints on the service's thread: time for it to finish.
    RedrawWindow(chat, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < CHAT_PAINT_MS) {
        PumpPending();
        Sleep(20);
    }
    return SaveWindowPicture(chat, g_app.shotPath, false);
}

// The chat of /chat, then the chat window's picture; the program ends either way.
void RunDemoChat() {
    g_app.busy = true;
    hostdemo::ChatPlan plan;
    plan.peer = g_app.chatPeer;
    plan.text = g_app.chatText;
    SetStatus(L"正在与 " + vantor::AnsiToWide(plan.peer) + L" 聊天... ...");
    HWND chat = nullptr;
    ChatResult result = hostdemo::RunChat(g_app.container, g_app.session.Store(), plan,
                                          [] {
                                              PumpPending();
                                              return !g_app.closeWanted;
                                          },
                                          &chat);
    g_app.busy = false;
    switch (result) {
    case ChatResult::Answered:
        if (!SaveChatPicture(chat)) g_app.exitCode = EXIT_SHOT_FAILED;
        break;
    case ChatResult::NoFriend:
        g_app.exitCode = EXIT_NO_FRIEND;
        break;
    case ChatResult::NoAnswer:
        // The picture shows what came instead.
        g_app.exitCode = EXIT_NO_ANSWER;
        if (IsWindow(chat)) SaveChatPicture(chat);
        break;
    case ChatResult::Cancelled:
        break;
    default:
        g_app.exitCode = EXIT_NO_CHAT;
        break;
    }
    DestroyWindow(g_app.main);
}

// Container first, then the logoff: the plug-ins use the contact store and the presence
// client without holding them.
void EndSession() {
    g_app.container.Unload();
    if (g_app.session.LoggedIn()) {
        int result = g_app.session.Logoff();
        if (result != 0 && g_app.exitCode == EXIT_OK) g_app.exitCode = EXIT_LOGOFF_FAILED;
    }
    g_app.session.Close();
    g_app.presence.Restore();
}

// --- window procedures

LRESULT CALLBACK PaneProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT rc;
        GetClientRect(wnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
        if (!g_app.paneText.empty()) {
            HGDIOBJ old = SelectObject(dc, g_app.font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
            DrawTextW(dc, g_app.paneText.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SelectObject(dc, old);
        }
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_SIZE) {
        g_app.container.Fit(LOWORD(lp), HIWORD(lp));
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void PaintTitle(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    RECT band = {0, 0, rc.right, TITLE_HEIGHT};
    HBRUSH brush = CreateSolidBrush(TITLE_COLOUR);
    FillRect(dc, &band, brush);
    DeleteObject(brush);
    HGDIOBJ old = SelectObject(dc, g_app.titleFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    band.left = MARGIN;
    DrawTextW(dc, L"Vantor 服务客户端", -1, &band, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        g_app.main = wnd;
        HINSTANCE inst = g_app.instance;
        g_app.status = CreateWindowExW(0, L"STATIC", L"正在启动... ...", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0,
                                       0, 0, wnd, nullptr, inst, nullptr);
        g_app.progress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, wnd, nullptr, inst, nullptr);
        // The kernel reports steps 3 to 10.
        SendMessageW(g_app.progress, PBM_SETRANGE32, 2, 10);
        SendMessageW(g_app.progress, PBM_SETPOS, 2, 0);
        g_app.tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_LINESATROOT | TVS_HASBUTTONS,
                                     0, 0, 0, 0, wnd, nullptr, inst, nullptr);
        g_app.pane = CreateWindowExW(WS_EX_CLIENTEDGE, kPaneClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                                     0, wnd, nullptr, inst, nullptr);
        for (HWND child : {g_app.status, g_app.tree}) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_app.font), TRUE);
        Layout();
        return 0;
    }
    case WM_SIZE:
        Layout();
        InvalidateRect(wnd, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        PaintTitle(wnd);
        return 0;
    case WM_APP_START:
        RunSession();
        return 0;
    case WM_APP_CHAT:
        RunDemoChat();
        return 0;
    case WM_TIMER:
        if (wp == SHOT_TIMER) {
            KillTimer(wnd, SHOT_TIMER);
            FinishUnattended();
        }
        return 0;
    case WM_CLOSE:
        // A close during the login cancels it at its next step; the window goes afterwards.
        if (g_app.busy) {
            g_app.closeWanted = true;
            return 0;
        }
        DestroyWindow(wnd);
        return 0;
    case WM_DESTROY:
        KillTimer(wnd, SHOT_TIMER);
        EndSession();
        PostQuitMessage(g_app.exitCode);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

// --- command line

bool ReadCommandLine() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return false;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if ((_wcsicmp(arg.c_str(), L"/shot") == 0 || _wcsicmp(arg.c_str(), L"-shot") == 0) && hasValue) {
            wchar_t full[MAX_PATH * 4] = {};
            DWORD n = GetFullPathNameW(argv[++i], ARRAYSIZE(full), full, nullptr);
            ok = n > 0 && n < ARRAYSIZE(full);
            g_app.shotPath = full;
        } else if ((_wcsicmp(arg.c_str(), L"/presence") == 0 || _wcsicmp(arg.c_str(), L"-presence") == 0) && hasValue) {
            g_app.presenceUrl = argv[++i];
            ok = PresenceOverride::Acceptable(g_app.presenceUrl);
        } else if ((_wcsicmp(arg.c_str(), L"/account") == 0 || _wcsicmp(arg.c_str(), L"-account") == 0) && hasValue) {
            ok = hostdemo::AcceptableAccount(argv[++i], &g_app.account);
        } else if ((_wcsicmp(arg.c_str(), L"/chat") == 0 || _wcsicmp(arg.c_str(), L"-chat") == 0) && i + 2 < argc) {
            ok = hostdemo::AcceptableAccount(argv[++i], &g_app.chatPeer);
            g_app.chatText = argv[++i];
            ok = ok && hostdemo::AcceptableChatText(g_app.chatText);
        } else if ((_wcsicmp(arg.c_str(), L"/pane") == 0 || _wcsicmp(arg.c_str(), L"-pane") == 0) && i + 2 < argc) {
            g_app.panePlug = static_cast<PlugId>(_wtoi(argv[++i]));
            wchar_t full[MAX_PATH * 4] = {};
            DWORD n = GetFullPathNameW(argv[++i], ARRAYSIZE(full), full, nullptr);
            ok = g_app.panePlug != 0 && n > 0 && n < ARRAYSIZE(full);
            g_app.paneShotPath = full;
        } else if ((_wcsicmp(arg.c_str(), L"/at") == 0 || _wcsicmp(arg.c_str(), L"-at") == 0) && hasValue) {
            ok = swscanf(argv[++i], L"%ld,%ld", &g_app.chatAt.x, &g_app.chatAt.y) == 2;
            g_app.chatPlaced = true;
        } else {
            ok = false;
        }
    }
    LocalFree(argv);
    // The chat runs unattended: it needs the picture's file; a place without a chat is a slip.
    if (!g_app.chatPeer.empty() && g_app.shotPath.empty()) ok = false;
    if (g_app.panePlug && (g_app.shotPath.empty() || !g_app.chatPeer.empty())) ok = false;
    if (g_app.chatPlaced && g_app.chatPeer.empty()) ok = false;
    return ok;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    g_app.instance = instance;
    g_app.folder = vantor::ProgramDir();
    if (!ReadCommandLine()) {
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (err && err != INVALID_HANDLE_VALUE) {
            const char text[] =
                "usage: HostDemo.exe [/presence <http address>] [/account <id>] [/shot <file.bmp>]\n"
                "                    [/pane <plug id> <file.bmp>] [/chat <friend id> <text> [/at <x>,<y>]]\n"
                "                    (/pane and /chat need /shot; not both)\n";
            DWORD written = 0;
            WriteFile(err, text, sizeof text - 1, &written, nullptr);
        }
        return EXIT_USAGE;
    }

    // The tab plug-ins register drop targets on this thread.
    HRESULT ole = OleInitialize(nullptr);

    // The member form takes its rich-edit and date-picker window classes from its host.
    LoadLibraryW(L"riched20.dll");
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    g_app.font = MakeFont(14, FW_NORMAL);
    g_app.titleFont = MakeFont(20, FW_BOLD);

    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = PaneProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kPaneClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = MainProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc);

    HWND wnd = CreateWindowExW(0, kMainClass, L"Vantor 服务客户端", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 960, 640,
                               nullptr, nullptr, instance, nullptr);
    if (!wnd) {
        if (SUCCEEDED(ole)) OleUninitialize();
        return EXIT_NO_KERNEL;
    }
    ShowWindow(wnd, g_app.shotPath.empty() ? show : SW_SHOWNORMAL);
    UpdateWindow(wnd);
    if (!g_app.shotPath.empty()) SetForegroundWindow(wnd);
    PostMessageW(wnd, WM_APP_START, 0, 0);

    MSG msg;
    int code = g_app.exitCode;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT) code = static_cast<int>(msg.wParam);
    DeleteObject(g_app.font);
    DeleteObject(g_app.titleFont);
    if (SUCCEEDED(ole)) OleUninitialize();
    return code;
}
