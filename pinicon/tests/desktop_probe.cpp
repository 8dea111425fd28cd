// PinIcon inside a Wine desktop whose taskbar holds a notification area: the tray icon,
// its menus through a real right click, the icon on new windows of the owner's thread only
// (not of another thread, not of another process), and what DeleteTray leaves behind.
// Started by pinicon_tests through "explorer /desktop=..."; results go to the GoogleTest
// report named by --gtest_output, a picture of the desktop with the open tray menu to
// "screenshots\pinicon-menu.bmp".
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Handles.h"
#include "ModulePath.h"
#include "PinIcon.h"
#include "Screenshot.h"
#include "TestSupport.h"

namespace {

const UINT kOpenCommand = 40001;
const UINT kSettingsCommand = 40002;
const UINT kQuitCommand = 40003;
const COLORREF kIconColour = RGB(255, 0, 255);
const wchar_t kOwnerClass[] = L"PinIconProbeOwner";

struct PinIconLibrary {
    vantor::UniqueModule module{vantor::LoadProgramLibrary(L"PinIcon.dll")};
    CreateTrayProc create = vantor::ProcAddress<CreateTrayProc>(module.get(), "CreateTray");
    HandleMessageProc handle = vantor::ProcAddress<HandleMessageProc>(module.get(), "HandleMessage");
    DeleteTrayProc remove = vantor::ProcAddress<DeleteTrayProc>(module.get(), "DeleteTray");
};

PinIconLibrary* g_lib = nullptr;
HPINTRAY g_ownerTray = nullptr;  // the tray whose notices the owner hands on
std::vector<WPARAM> g_commands;
std::vector<LPARAM> g_notices;
int g_nulls = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PINICON_NOTIFY:
            g_notices.push_back(lParam);
            return g_lib->handle(g_ownerTray, wParam, lParam);
        case WM_COMMAND:
            g_commands.push_back(wParam);
            return 0;
        case WM_NULL:
            ++g_nulls;
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A 32 x 32 icon: a yellow frame around a colour found nowhere else on the desktop.
HICON NewIcon(COLORREF core) {
    testkit::Canvas colour(32, 32, RGB(255, 220, 0));
    RECT inner = {4, 4, 28, 28};
    vantor::UniqueGdi<HBRUSH> brush(CreateSolidBrush(core));
    FillRect(colour.dc(), &inner, brush.get());
    HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(colour.dc(), OBJ_BITMAP));
    vantor::UniqueGdi<HBITMAP> mask(CreateBitmap(32, 32, 1, 1, nullptr));
    HDC maskDc = CreateCompatibleDC(nullptr);
    {
        vantor::ScopedSelect select(maskDc, mask.get());
        PatBlt(maskDc, 0, 0, 32, 32, BLACKNESS);
    }
    DeleteDC(maskDc);
    ICONINFO info = {TRUE, 0, 0, mask.get(), bitmap};
    return CreateIconIndirect(&info);
}

// Popup 0 is another menu of the host; popup 1 is the tray menu.
HMENU NewMenu() {
    HMENU menu = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 100, L"文件");
    HMENU tray = CreatePopupMenu();
    AppendMenuW(tray, MF_STRING, kOpenCommand, L"打开主窗口");
    AppendMenuW(tray, MF_STRING, kSettingsCommand, L"系统设置");
    AppendMenuW(tray, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(tray, MF_STRING, kQuitCommand, L"退出");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(tray), L"托盘");
    return menu;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND NewDialog(const wchar_t* caption = nullptr) {
    std::vector<WORD> layout = testkit::DialogTemplate(160, 50, {});
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(layout.data()),
                                             nullptr, PlainDialogProc, 0);
    if (dialog && caption) {
        SetWindowLongPtrW(dialog, GWL_STYLE, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU);
        SetWindowTextW(dialog, caption);
        SetWindowPos(dialog, nullptr, 420, 120, 320, 120, SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    return dialog;
}

HICON SmallIcon(HWND window) { return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)); }
HICON BigIcon(HWND window) { return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)); }

template <typename Done>
bool PumpUntil(Done done, DWORD ms) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        testkit::PumpFor(20);
    }
    return true;
}

HWND WaitForMenuWindow(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu && IsWindowVisible(menu)) return menu;
        Sleep(20);
    }
    return nullptr;
}

void Key(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    Sleep(60);
}

void Click(POINT at, bool right) {
    SetCursorPos(at.x, at.y);
    Sleep(60);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input[0], sizeof(INPUT));
    Sleep(60);
    SendInput(1, &input[1], sizeof(INPUT));
}

testkit::Capture CaptureDesktop() { return testkit::CaptureWindow(GetDesktopWindow()); }

// Where the notification area shows the icon: a pixel of its colour on the taskbar.
bool FindTrayIcon(POINT* at) {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT bar;
    if (!taskbar || !GetWindowRect(taskbar, &bar)) return false;
    testkit::Capture screen = CaptureDesktop();
    for (int y = bar.top; y < bar.bottom && y < screen.height; ++y)
        for (int x = bar.right - 1; x >= bar.left && x >= 0; --x)
            if (x < screen.width && screen.At(x, y) == kIconColour) {
                *at = {x, y};
                return true;
            }
    return false;
}

bool ShellStillHas(PinIconTray copy) {
    return Shell_NotifyIconA(NIM_MODIFY, reinterpret_cast<NOTIFYICONDATAA*>(&copy)) != FALSE;
}

class PinDesktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static PinIconLibrary lib;
        g_lib = &lib;
        WNDCLASSEXW cls = {sizeof(cls)};
        cls.lpfnWndProc = OwnerProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        cls.lpszClassName = kOwnerClass;
        RegisterClassExW(&cls);
        owner = CreateWindowExW(0, kOwnerClass, L"托盘的主人", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 60, 300, 160,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        // The desktop's taskbar comes up a little after the program has started.
        DWORD start = GetTickCount();
        while (!FindWindowW(L"Shell_TrayWnd", nullptr) && GetTickCount() - start < 15000) testkit::PumpFor(50);
        testkit::PumpFor(300);
    }
    void SetUp() override {
        ASSERT_TRUE(g_lib->create && g_lib->handle && g_lib->remove);
        ASSERT_NE(nullptr, owner);
        g_commands.clear();
        g_notices.clear();
        g_nulls = 0;
        g_ownerTray = nullptr;
    }
    static HWND owner;
};
HWND PinDesktop::owner = nullptr;

TEST_F(PinDesktop, NotificationAreaTakesIcons) {
    ASSERT_NE(nullptr, FindWindowW(L"Shell_TrayWnd", nullptr)) << "the desktop has a taskbar";
    NOTIFYICONDATAA plain = {};
    plain.cbSize = NOTIFYICONDATAA_V1_SIZE;
    plain.hWnd = owner;
    plain.uID = 7;
    plain.uFlags = NIF_ICON;
    plain.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &plain));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &plain));
}

TEST_F(PinDesktop, TrayIconGoesToNewWindowsOfTheOwnersThreadOnly) {
    HICON icon = NewIcon(kIconColour);
    HMENU menu = NewMenu();
    HPINTRAY tray = g_lib->create(owner, icon, menu);
    ASSERT_NE(nullptr, tray);
    EXPECT_EQ(NOTIFYICONDATAA_V1_SIZE, tray->cbSize);
    EXPECT_EQ(owner, tray->hWnd);
    EXPECT_EQ(0u, tray->uID);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON), tray->uFlags);
    EXPECT_EQ(1524u, tray->uCallbackMessage);
    EXPECT_EQ(icon, tray->hIcon);
    EXPECT_EQ(menu, GetPropW(owner, L"tray_menu_handle"));
    EXPECT_TRUE(ShellStillHas(*tray));

    HWND dialog = NewDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(icon, SmallIcon(dialog));
    EXPECT_EQ(icon, BigIcon(dialog));
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(icon, SmallIcon(plain));
    EXPECT_EQ(icon, BigIcon(plain));
    DestroyWindow(plain);
    DestroyWindow(dialog);

    HICON otherThread = reinterpret_cast<HICON>(1);
    std::thread([&] {
        HWND mine = NewDialog();
        otherThread = SmallIcon(mine) ? SmallIcon(mine) : BigIcon(mine);
        DestroyWindow(mine);
    }).join();
    EXPECT_EQ(nullptr, otherThread) << "a window of another thread keeps its own icon";

    std::wstring report = testkit::FreshDir(L"pinicon") + L"other.txt";
    DWORD code = testkit::RunProgram(testkit::ThisExePath(), L"--other-dialog " + report, testkit::ProgramDir());
    EXPECT_EQ(0u, code);
    EXPECT_EQ("small=0 big=0", testkit::ReadFileBytes(report)) << "a window of another program keeps its own icon";

    EXPECT_TRUE(g_lib->remove(tray));
}

TEST_F(PinDesktop, RightClickOnTheIconOpensTheTrayMenuAndItsCommandReachesTheOwner) {
    HMENU menu = NewMenu();
    g_ownerTray = g_lib->create(owner, NewIcon(kIconColour), menu);
    ASSERT_NE(nullptr, g_ownerTray);
    HWND dialog = NewDialog(L"新窗口带托盘图标");
    testkit::PumpFor(500);
    POINT icon = {};
    ASSERT_TRUE(FindTrayIcon(&icon)) << "the icon shows in the notification area";

    std::atomic<HMENU> shown{nullptr};
    std::thread chooser([&] {
        HWND menuWindow = WaitForMenuWindow(5000);
        if (!menuWindow) return;
        shown = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        Sleep(300);
        CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
        testkit::SaveBitmapFile(CaptureDesktop(), testkit::ProgramDir() + L"screenshots\\pinicon-menu.bmp");
        Key(VK_DOWN);
        Key(VK_DOWN);
        Key(VK_RETURN);
    });
    Click(icon, true);
    bool chosen = PumpUntil([] { return !g_commands.empty(); }, 8000);
    chooser.join();
    ASSERT_FALSE(g_notices.empty()) << "the shell sent the owner its notice";
    EXPECT_NE(g_notices.end(), std::find(g_notices.begin(), g_notices.end(), WM_RBUTTONUP));
    EXPECT_EQ(GetSubMenu(menu, 1), shown.load()) << "the tray menu is popup 1";
    ASSERT_TRUE(chosen);
    EXPECT_EQ(kSettingsCommand, g_commands[0]);
    testkit::PumpFor(100);
    EXPECT_GE(g_nulls, 1) << "a message follows the menu";

    // Called directly, with a click outside the menu instead of a choice.
    g_commands.clear();
    std::atomic<bool> opened{false};
    std::thread outside([&] {
        opened = WaitForMenuWindow(5000) != nullptr;
        Sleep(200);
        Click({700, 300}, false);
    });
    SetCursorPos(300, 400);
    EXPECT_EQ(0, g_lib->handle(g_ownerTray, 0, WM_RBUTTONUP));
    outside.join();
    EXPECT_TRUE(opened.load());
    testkit::PumpFor(200);
    EXPECT_TRUE(g_commands.empty());

    DestroyWindow(dialog);
    EXPECT_TRUE(g_lib->remove(g_ownerTray));
    g_ownerTray = nullptr;
}

TEST_F(PinDesktop, DoubleClickRunsTheFirstCommandAndOtherNoticesDoNothing) {
    HPINTRAY tray = g_lib->create(owner, NewIcon(RGB(0, 128, 255)), NewMenu());
    ASSERT_NE(nullptr, tray);
    EXPECT_EQ(-1, g_lib->handle(tray, 0, WM_LBUTTONDBLCLK));
    ASSERT_EQ(1u, g_commands.size()) << "sent at once, not posted";
    EXPECT_EQ(kOpenCommand, g_commands[0]);
    EXPECT_EQ(-1, g_lib->handle(tray, 0, WM_MOUSEMOVE));
    EXPECT_EQ(-1, g_lib->handle(tray, 0, WM_LBUTTONDOWN));
    EXPECT_EQ(-1, g_lib->handle(nullptr, 0, WM_RBUTTONUP));
    testkit::PumpFor(100);
    EXPECT_EQ(1u, g_commands.size());
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    EXPECT_FALSE(menuWindow && IsWindowVisible(menuWindow)) << "no menu shown";
    EXPECT_TRUE(g_lib->remove(tray));

    // A menu without a second popup has no tray menu: nothing to show or run.
    HMENU single = CreateMenu();
    AppendMenuW(single, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"文件");
    tray = g_lib->create(owner, NewIcon(RGB(0, 128, 255)), single);
    ASSERT_NE(nullptr, tray);
    EXPECT_EQ(-1, g_lib->handle(tray, 0, WM_RBUTTONUP));
    EXPECT_EQ(-1, g_lib->handle(tray, 0, WM_LBUTTONDBLCLK));
    EXPECT_EQ(1u, g_commands.size());
    EXPECT_TRUE(g_lib->remove(tray));
}

TEST_F(PinDesktop, DeleteTrayTakesIconMenuAndHookAway) {
    HICON icon = NewIcon(kIconColour);
    HMENU menu = NewMenu();
    HPINTRAY tray = g_lib->create(owner, icon, menu);
    ASSERT_NE(nullptr, tray);
    PinIconTray copy = *tray;
    EXPECT_TRUE(g_lib->remove(tray));
    EXPECT_FALSE(ShellStillHas(copy)) << "the icon left the notification area";
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_EQ(nullptr, GetPropW(owner, L"tray_menu_handle"));
    ICONINFO info = {};
    EXPECT_FALSE(GetIconInfo(icon, &info)) << "the icon was destroyed";
    HWND dialog = NewDialog();
    EXPECT_EQ(nullptr, SmallIcon(dialog));
    EXPECT_EQ(nullptr, BigIcon(dialog));
    DestroyWindow(dialog);
    EXPECT_FALSE(g_lib->remove(tray)) << "already deleted";
    EXPECT_FALSE(g_lib->remove(nullptr));
    EXPECT_EQ(nullptr, g_lib->create(nullptr, icon, menu));
}

TEST_F(PinDesktop, NewWindowsTakeTheLatestLiveTraysIcon) {
    HWND second = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HICON first = NewIcon(RGB(0, 200, 0));
    HICON later = NewIcon(RGB(0, 0, 200));
    HPINTRAY one = g_lib->create(owner, first, NewMenu());
    HPINTRAY two = g_lib->create(second, later, NewMenu());
    ASSERT_TRUE(one && two);
    EXPECT_EQ(nullptr, g_lib->create(owner, NewIcon(RGB(0, 0, 0)), NewMenu())) << "one icon per owner";

    HWND dialog = NewDialog();
    EXPECT_EQ(later, SmallIcon(dialog));
    DestroyWindow(dialog);
    EXPECT_TRUE(g_lib->remove(two));
    dialog = NewDialog();
    EXPECT_EQ(first, SmallIcon(dialog));
    EXPECT_EQ(first, BigIcon(dialog));
    DestroyWindow(dialog);
    EXPECT_TRUE(g_lib->remove(one));
    dialog = NewDialog();
    EXPECT_EQ(nullptr, SmallIcon(dialog));
    DestroyWindow(dialog);
    DestroyWindow(second);
}

// A dialog of a second program, made while the first one's tray is alive.
int ReportOtherDialog(const wchar_t* report) {
    HWND dialog = NewDialog();
    std::string text = "small=" + std::to_string(SmallIcon(dialog) != nullptr) +
                       " big=" + std::to_string(BigIcon(dialog) != nullptr);
    DestroyWindow(dialog);
    return testkit::WriteFileBytes(report, text) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--other-dialog") return ReportOtherDialog(testkit::Wide(argv[2]).c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
