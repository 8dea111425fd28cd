// The main job's window as its user meets it: the demo host's session and container in a
// host window of this test, each tab chosen in turn, the settings dialog and the
// self-service pane opened and closed, the compact view laid out; a picture of each under
// the staged program folder's "screenshots". The test runs as a child in a copy of the
// staged program folder whose addresses name the main job's pages, served by the tests'
// nginx, so that every pane shows its page.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <sstream>
#include <string>
#include <vector>

#include "ContainerHost.h"
#include "DemoSession.h"
#include "DemoPagesServed.h"
#include "ModulePath.h"
#include "Screenshot.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/TabDeck.h"

namespace {

// Set for the child: the staged program folder.
const wchar_t kStageVariable[] = L"MAINWINDOW_TEST_STAGE";
const PlugId kSettings = 51;
const PlugId kSelfService = -14;
const int kSettingsCancel = 1008;
const int kCompactSwitch = 1001;

std::wstring Folder() { return testkit::ProgramDir(); }

std::wstring Stage() {
    wchar_t stage[MAX_PATH * 2] = {};
    return GetEnvironmentVariableW(kStageVariable, stage, ARRAYSIZE(stage)) ? stage : std::wstring();
}

std::wstring PresenceUrl() {
    int port = atoi(testkit::ReadFileBytes(Folder() + L"hostdemo-presence.port").c_str());
    return port > 0 ? L"http://127.0.0.1:" + std::to_wstring(port) + L"/web/" : std::wstring();
}

std::vector<PlugId> ConfiguredTabs() {
    wchar_t list[1024] = {};
    GetPrivateProfileStringW(L"UI", L"TabPlugs", L"", list, 1024, (Folder() + L"config\\pruv2.cfg").c_str());
    std::vector<PlugId> ids;
    std::wstringstream pieces(list);
    for (std::wstring piece; std::getline(pieces, piece, L',');) ids.push_back(_wtoi(piece.c_str()));
    return ids;
}

PlugId CompactTab() {
    return static_cast<PlugId>(
        GetPrivateProfileIntW(L"compact", L"plug", 0, (Folder() + L"resource\\TabDeck\\config.cfg").c_str()));
}

void Shoot(HWND window, const std::wstring& name) {
    std::wstring shots = Stage() + L"screenshots\\";
    CreateDirectoryW(shots.c_str(), nullptr);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(300);
    EXPECT_TRUE(testkit::SaveBitmapFile(testkit::CaptureWindow(window), shots + name)) << name.c_str();
}

RECT ScreenRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

// What of a pane of its own its user would not see: a window region that leaves part of its
// rectangle out, or a visible control reaching past its client area. Empty when it shows whole.
std::string OutOfSight(HWND window) {
    std::ostringstream seen;
    RECT at = ScreenRect(window), shaped = {};
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(window, region) != ERROR && GetRgnBox(region, &shaped) != ERROR &&
        (shaped.right < at.right - at.left || shaped.bottom < at.bottom - at.top)) {
        seen << "shaped to " << shaped.right << "x" << shaped.bottom << " of " << at.right - at.left << "x"
             << at.bottom - at.top << "; ";
    }
    DeleteObject(region);
    RECT client;
    GetClientRect(window, &client);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT placed = ScreenRect(child);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
        if (IsWindowVisible(child) && (placed.right > client.right || placed.bottom > client.bottom)) {
            seen << "control " << GetDlgCtrlID(child) << " reaches " << placed.right << "," << placed.bottom
                 << " of " << client.right << "," << client.bottom << "; ";
        }
    }
    return seen.str();
}

// The host window: a title bar and one pane that holds the tab manager.
class HostWindow {
public:
    HostWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"MainWindowTestHost";
        RegisterClassW(&wc);
        top_ = CreateWindowExW(0, wc.lpszClassName, L"Vantor 服务客户端", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                               760, 600, nullptr, nullptr, wc.hInstance, nullptr);
        RECT client;
        GetClientRect(top_, &client);
        pane_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right,
                                client.bottom, top_, nullptr, wc.hInstance, nullptr);
        ShowWindow(top_, SW_SHOWNORMAL);
        SetForegroundWindow(top_);
    }
    ~HostWindow() { DestroyWindow(top_); }
    HWND top() const { return top_; }
    HWND pane() const { return pane_; }

private:
    HWND top_ = nullptr;
    HWND pane_ = nullptr;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (Stage().empty()) GTEST_SKIP() << "runs in a program folder of its own";
        ASSERT_FALSE(PresenceUrl().empty()) << "the demo presence server is not running";
        OleInitialize(nullptr);
        LoadLibraryW(L"riched20.dll");
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        ASSERT_TRUE(presence_.Apply(Folder(), PresenceUrl()));
        ASSERT_TRUE(session_.Open(Folder())) << vantor::WideToAnsi(session_.LastMessage());
        // As the demo host: the boards the home pane links, the self-service page beside
        // the other service pages.
        ASSERT_TRUE(hostdemo::PrepareDemoPlatform(Folder(), ""));
        ASSERT_EQ(0, session_.Connect()) << vantor::WideToAnsi(session_.LastMessage());
        ASSERT_EQ(0, session_.Login([](int, const std::wstring&) { return true; }));
        ASSERT_TRUE(container_.Load(Folder(), reinterpret_cast<HostContext>(session_.Store()), host_.pane()));
        RECT client;
        GetClientRect(host_.pane(), &client);
        container_.Fit(client.right, client.bottom);
        testkit::PumpFor(1500);
        deck_ = container_.PlugWindow(PLUG_TABDECK);
        ASSERT_NE(nullptr, deck_);
        strip_ = FindWindowExW(deck_, nullptr, WC_TABCONTROLW, nullptr);
        ASSERT_NE(nullptr, strip_);
        page_ = GetParent(container_.PlugWindow(PLUG_BOARD_PANE));
    }

    void TearDown() override {
        if (Stage().empty()) return;
        container_.Unload();
        if (session_.LoggedIn()) {
            EXPECT_EQ(0, session_.Logoff());
        }
        session_.Close();
        presence_.Restore();
        OleUninitialize();
    }

    // As a click on the tab does it.
    void Choose(int index) {
        SendMessageW(strip_, TCM_SETCURSEL, index, 0);
        NMHDR change = {strip_, static_cast<UINT_PTR>(GetDlgCtrlID(strip_)), static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(deck_, WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
        testkit::PumpFor(1200);
    }
    int Chosen() const { return static_cast<int>(SendMessageW(strip_, TCM_GETCURSEL, 0, 0)); }
    int IndexOf(PlugId id) const {
        std::vector<PlugId> ids = ConfiguredTabs();
        for (size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] == id) return static_cast<int>(i);
        }
        return -1;
    }

    HostWindow host_;
    hostdemo::PresenceOverride presence_;
    hostdemo::DemoSession session_;
    hostdemo::ContainerHost container_;
    HWND deck_ = nullptr;
    HWND strip_ = nullptr;
    HWND page_ = nullptr;
};

}  // namespace

TEST_F(MainWindow, EveryTabShowsItsPaneAndThePanesClose) {
    std::vector<PlugId> ids = ConfiguredTabs();
    ASSERT_EQ(ids.size(), static_cast<size_t>(TabCtrl_GetItemCount(strip_)));
    // Every tab lies wholly inside the strip: none is cut off or needs scrolling to.
    RECT strip;
    GetClientRect(strip_, &strip);
    for (size_t i = 0; i < ids.size(); ++i) {
        RECT item = {};
        SendMessageW(strip_, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_TRUE(item.left >= 0 && item.right <= strip.right && item.top >= 0 && item.bottom <= strip.bottom)
            << "tab " << ids[i] << " at " << item.left << "," << item.top << "-" << item.right << "," << item.bottom;
    }
    Shoot(host_.top(), L"mainwindow-home.bmp");

    PlugId compact = CompactTab();
    HWND info = container_.PlugWindow(PLUG_INFO_PANE);
    for (size_t i = 0; i < ids.size(); ++i) {
        PlugId id = ids[i];
        Choose(static_cast<int>(i));
        HWND window = container_.PlugWindow(id);
        ASSERT_NE(nullptr, window) << "tab " << id;
        EXPECT_TRUE(IsWindowVisible(window)) << "tab " << id;
        std::wstring name = L"mainwindow-tab" + std::to_wstring(id) + L".bmp";
        if (id == compact) {
            // The compact view lays the information pane out under its title strip.
            info = container_.PlugWindow(PLUG_INFO_PANE);
            ASSERT_NE(nullptr, info);
            EXPECT_EQ(window, GetParent(info));
            RECT client, placed = ScreenRect(info);
            GetClientRect(window, &client);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
            EXPECT_EQ(GetSystemMetrics(SM_CYSIZE), placed.top);
            EXPECT_EQ(client.right, placed.right - placed.left);
            EXPECT_EQ(client.bottom, placed.bottom);
            Shoot(window, L"mainwindow-compact.bmp");
            // Its switch button returns to the tab window: the pane goes back to the page.
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCompactSwitch, BN_CLICKED), 0);
            testkit::PumpFor(500);
            EXPECT_FALSE(IsWindowVisible(window));
            EXPECT_EQ(page_, GetParent(info));
            EXPECT_EQ(static_cast<int>(i - 1), Chosen()) << "the tab chosen before";
        } else if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
            // A pane of its own over the page's place on the screen.
            RECT page;
            GetClientRect(page_, &page);
            MapWindowPoints(page_, nullptr, reinterpret_cast<POINT*>(&page), 2);
            RECT at = ScreenRect(window);
            EXPECT_EQ(page.left, at.left) << "tab " << id;
            EXPECT_EQ(page.top, at.top) << "tab " << id;
            EXPECT_EQ("", OutOfSight(window)) << "tab " << id;
            Shoot(window, name);
        } else {
            Shoot(host_.top(), name);
        }
    }
    Choose(0);

    // The settings dialog closes by its cancel button and by its close box.
    int settings = IndexOf(kSettings);
    ASSERT_GE(settings, 0);
    HWND dialog = container_.PlugWindow(kSettings);
    for (int way = 0; way < 2; ++way) {
        Choose(settings);
        ASSERT_TRUE(IsWindowVisible(dialog));
        if (way == 0) {
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kSettingsCancel, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, kSettingsCancel)));
        } else {
            SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        testkit::PumpFor(800);
        EXPECT_FALSE(IsWindowVisible(dialog)) << "way " << way;
        EXPECT_EQ(0, Chosen()) << "back on the first tab";
    }

    // The self-service pane shows the platform's page and closes as its user closes it.
    int self = IndexOf(kSelfService);
    ASSERT_GE(self, 0);
    Choose(self);
    HWND pane = container_.PlugWindow(kSelfService);
    ASSERT_TRUE(IsWindowVisible(pane));
    testkit::PumpFor(1500);
    Shoot(pane, L"mainwindow-selfservice.bmp");
    PostMessageW(pane, WM_CLOSE, 0, 0);
    testkit::PumpFor(800);
    EXPECT_FALSE(IsWindowVisible(pane));
    EXPECT_EQ(0, Chosen());
    Shoot(host_.top(), L"mainwindow-after-close.bmp");
}

TEST(MainWindowRun, InACopyOfTheProgramFolderWithItsPagesServed) {
    if (!Stage().empty()) GTEST_SKIP();
    std::string pages = testkit::PublishPages(L"hostdemo");
    ASSERT_FALSE(pages.empty());
    testkit::PrivateFolder folder;
    folder.name = L"mainwindow";
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((Folder() + L"*.dll").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        folder.files.push_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    folder.files.push_back(L"hostdemo-presence.port");
    folder.trees = {L"config", L"resource", L"Skins", L"Container"};
    folder.written = {{L"config\\commprof.cfg", hostdemotest::AddressesServedAt(Folder(), pages)}};
    EXPECT_EQ(0, testkit::RunThisExeInPrivateFolder(folder, {{kStageVariable, Folder()}}));
}

