// The settings pane: its background list as a model over a scratch folder, and the pane
// itself in the rig, where its Apply reaches the recording tab manager and its close the
// recording pane owner (plug -13).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "BackgroundList.h"
#include "DialogDriver.h"
#include "PaneChild.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

using setting::BackgroundList;
using setting::Choice;

namespace {

const int kSettingPlug = 51;

std::string Settings(int count, int def, const std::string& keys, const std::string& custom = "") {
    return "[bkgnd]\r\ncount=" + std::to_string(count) + "\r\ndef=" + std::to_string(def) + "\r\n" + keys +
           "[custbkgnd]\r\nname=" + custom + "\r\n";
}

std::wstring Ini(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t value[260] = L"";
    GetPrivateProfileStringW(section, key, L"", value, 260, file.c_str());
    return value;
}

struct ModelFolder {
    std::wstring dir = testkit::FreshDir(L"setting-model");
    std::wstring local = dir + L"local\\";
    std::wstring settings = dir + L"config.cfg";
    ModelFolder() { CreateDirectoryW(local.c_str(), nullptr); }
};

TEST(BackgroundList, BuiltInsKeepTheirIndexAndLocalPicturesTheirKind) {
    ModelFolder f;
    // Key 1 is empty: the entries after it move up but keep their own index.
    testkit::WriteFileBytes(f.settings, Settings(3, 2, "0=blue.bmp\r\n1=\r\n2=green.jpg\r\n"));
    testkit::WriteFileBytes(f.local + L"my.bmp", testkit::SolidBitmap(4, 4, RGB(1, 2, 3)));
    testkit::WriteFileBytes(f.local + L"THUMBS.DB", "x");
    BackgroundList list(f.settings, f.local);
    list.Load();
    ASSERT_EQ(3u, list.entries().size());
    EXPECT_EQ(L"blue", list.entries()[0].text);
    EXPECT_EQ(L"green", list.entries()[1].text);
    EXPECT_EQ(2, list.entries()[1].index);
    EXPECT_FALSE(list.entries()[1].local);
    EXPECT_EQ(L"my.bmp", list.entries()[2].text);
    EXPECT_TRUE(list.entries()[2].local);
    EXPECT_EQ(1, list.InitialSelection()) << "the entry of index def, not position def";
    EXPECT_EQ(f.dir + L"green.jpg", list.InitialPreview());

    // The local picture stands below position 4 and is still applied as a local picture.
    Choice choice;
    ASSERT_TRUE(list.ChoiceFor(2, &choice));
    EXPECT_EQ(7, choice.command);
    EXPECT_EQ(L"my.bmp", choice.name);
    ASSERT_TRUE(list.Write(choice));
    EXPECT_EQ(L"-1", Ini(f.settings, L"bkgnd", L"def"));
    EXPECT_EQ(L"my.bmp", Ini(f.settings, L"custbkgnd", L"name"));

    ASSERT_TRUE(list.ChoiceFor(1, &choice));
    EXPECT_EQ(4, choice.command);
    EXPECT_EQ(2, choice.index);
    ASSERT_TRUE(list.Write(choice));
    EXPECT_EQ(L"2", Ini(f.settings, L"bkgnd", L"def"));
    EXPECT_EQ(L"my.bmp", Ini(f.settings, L"custbkgnd", L"name")) << "the custom name stays";
    EXPECT_FALSE(list.ChoiceFor(-1, &choice));
    EXPECT_FALSE(list.ChoiceFor(3, &choice));
}

TEST(BackgroundList, QuotedNamesAreListedAsTheyAreOpened) {
    ModelFolder f;
    testkit::WriteFileBytes(f.settings, Settings(4, 0, "0='sky.jpg'\r\n1=\"sea.bmp\"\r\n2='odd.bmp\"\r\n3=''\r\n"));
    BackgroundList list(f.settings, f.local);
    list.Load();
    ASSERT_EQ(3u, list.entries().size()) << "a value of two quotes is empty";
    EXPECT_EQ(L"sky", list.entries()[0].text);
    EXPECT_EQ(f.dir + L"sky.jpg", list.BuiltInPath(0));
    EXPECT_EQ(L"sea", list.entries()[1].text);
    EXPECT_EQ(f.dir + L"sea.bmp", list.BuiltInPath(1));
    // Quotes of two kinds enclose nothing: the name is read as it stands, both ways.
    EXPECT_EQ(L"'odd", list.entries()[2].text);
    EXPECT_EQ(f.dir + L"'odd.bmp\"", list.BuiltInPath(2));
    EXPECT_EQ(L"", list.BuiltInPath(3));
}

DWORD WINAPI LoadList(void* list) {
    static_cast<BackgroundList*>(list)->Load();
    return 0;
}

TEST(BackgroundList, AHugeCountIsReadAtOnce) {
    ModelFolder f;
    testkit::WriteFileBytes(f.settings, Settings(2147483647, 7, "0=blue.bmp\r\n7=red.bmp\r\n2147483646=last.bmp\r\n"));
    // Left to its thread (and to the process) when it does not end in time.
    auto* list = new BackgroundList(f.settings, f.local);
    HANDLE loading = CreateThread(nullptr, 0, &LoadList, list, 0, nullptr);
    ASSERT_NE(nullptr, loading);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(loading, 5000)) << "the list is still being read";
    CloseHandle(loading);
    ASSERT_EQ(3u, list->entries().size());
    EXPECT_EQ(L"red", list->entries()[1].text);
    EXPECT_EQ(1, list->InitialSelection());
    EXPECT_EQ(2147483646, list->entries()[2].index);
    delete list;
}

TEST(BackgroundList, CustomBackgroundPreviewFallsBackToBuiltInZero) {
    ModelFolder f;
    testkit::WriteFileBytes(f.settings, Settings(2, -1, "0=blue.bmp\r\n1=red.bmp\r\n"));
    BackgroundList list(f.settings, f.local);
    list.Load();
    EXPECT_EQ(-1, list.InitialSelection());
    EXPECT_EQ(f.dir + L"blue.bmp", list.InitialPreview()) << "no custom name";

    testkit::WriteFileBytes(f.settings, Settings(2, -1, "0=blue.bmp\r\n1=red.bmp\r\n", "gone.bmp"));
    list.Load();
    EXPECT_EQ(f.dir + L"blue.bmp", list.InitialPreview()) << "a custom picture that is not there";

    testkit::WriteFileBytes(f.local + L"mine.bmp", "x");
    list.Load();
    testkit::WriteFileBytes(f.settings, Settings(2, -1, "0=blue.bmp\r\n1=red.bmp\r\n", "mine.bmp"));
    EXPECT_EQ(f.local + L"mine.bmp", list.InitialPreview());
    EXPECT_EQ(-1, list.InitialSelection()) << "a custom picture selects no entry";
}

TEST(BackgroundList, ChosenPicturesAreCopiedNeverOverAnExistingFile) {
    ModelFolder f;
    testkit::WriteFileBytes(f.settings, Settings(1, 0, "0=blue.bmp\r\n"));
    std::wstring source = testkit::FreshDir(L"setting-source") + L"photo.jpg";
    testkit::WriteFileBytes(source, "new");
    BackgroundList list(f.settings, f.local);
    list.Load();
    EXPECT_EQ(1, list.AddLocalCopy(source));
    EXPECT_EQ("new", testkit::ReadFileBytes(f.local + L"photo.jpg"));
    EXPECT_TRUE(list.entries()[1].local);

    testkit::WriteFileBytes(source, "newer");
    EXPECT_EQ(-1, list.AddLocalCopy(source)) << "an existing name adds nothing";
    EXPECT_EQ(2u, list.entries().size());
    EXPECT_EQ("new", testkit::ReadFileBytes(f.local + L"photo.jpg"));
    EXPECT_FALSE(setting::IsListedLocalName(L"thumbs.DB"));
    EXPECT_FALSE(setting::IsListedLocalName(L".."));
    EXPECT_TRUE(setting::IsListedLocalName(L"Thumbs.db.bmp"));
}

// ---- The pane in the rig -------------------------------------------------------------

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Select(HWND dialog, int position) {
    HWND list = GetDlgItem(dialog, 1010);
    SendMessageW(list, LB_SETCURSEL, position, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1010, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

std::wstring ListText(HWND dialog, int position) {
    wchar_t text[260] = L"";
    SendDlgItemMessageW(dialog, 1010, LB_GETTEXT, position, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST(SettingsPaneChild, AppliesByKindAndTellsThePaneOwner) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    panetest::Container container;
    HWND dialog = container.Window(kSettingPlug);
    ASSERT_TRUE(dialog);
    wchar_t title[32] = L"";
    GetWindowTextW(dialog, title, 32);
    EXPECT_STREQ(L"设置", title);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "created hidden";
    EXPECT_EQ(nullptr, GetParent(dialog));
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);

    ASSERT_EQ(3, SendDlgItemMessageW(dialog, 1010, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(L"蓝天", ListText(dialog, 0));
    EXPECT_EQ(L"green", ListText(dialog, 1));
    EXPECT_EQ(L"my.bmp", ListText(dialog, 2));
    EXPECT_EQ(1, SendDlgItemMessageW(dialog, 1010, LB_GETCURSEL, 0, 0)) << "def 2 selects built-in 2";

    ShowWindow(dialog, SW_SHOWNORMAL);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(testkit::CaptureWindow(dialog).Holds(RGB(60, 180, 90))) << "the preview of the entry listed";
    Select(dialog, 2);
    EXPECT_TRUE(panetest::SaveShot(dialog, L"setting"));
    // A picture that can no longer be read keeps the preview that is shown.
    const COLORREF orange = RGB(230, 120, 40);
    EXPECT_TRUE(testkit::CaptureWindow(dialog).Holds(orange));
    std::wstring mine = testkit::ProgramDir() + L"resource\\TabDeck\\local\\my.bmp";
    std::string picture = testkit::ReadFileBytes(mine);
    ASSERT_TRUE(testkit::WriteFileBytes(mine, "not a picture"));
    Select(dialog, 2);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(testkit::CaptureWindow(dialog).Holds(orange)) << "the preview stays";
    ASSERT_TRUE(testkit::WriteFileBytes(mine, picture));
    Click(dialog, 1007);
    EXPECT_TRUE(panetest::TraceHas("TabDeck.dll CustomBackground my.bmp"));
    std::wstring settings = testkit::ProgramDir() + L"resource\\TabDeck\\config.cfg";
    EXPECT_EQ(L"-1", Ini(settings, L"bkgnd", L"def"));
    EXPECT_EQ(L"my.bmp", Ini(settings, L"custbkgnd", L"name"));

    Select(dialog, 0);
    Click(dialog, 1007);
    EXPECT_TRUE(panetest::TraceHas("TabDeck.dll Background 0"));
    EXPECT_EQ(L"0", Ini(settings, L"bkgnd", L"def"));

    // Closing only tells the pane owner; the window stays.
    EXPECT_EQ(0, panetest::TraceCount("plug-13.dll DoCommand 1 "));
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(1, panetest::TraceCount("plug-13.dll DoCommand 1 "));
    EXPECT_TRUE(IsWindow(dialog));

    // OK without a selection applies nothing and still closes.
    int backgrounds = panetest::TraceCount("TabDeck.dll Background");
    SendDlgItemMessageW(dialog, 1010, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Click(dialog, 1009);
    EXPECT_EQ(2, panetest::TraceCount("plug-13.dll DoCommand 1 "));
    EXPECT_EQ(backgrounds, panetest::TraceCount("TabDeck.dll Background"));
    EXPECT_EQ(L"0", Ini(settings, L"bkgnd", L"def"));
}

// The program folder has no command center; the folder the host runs in holds one.
TEST(SettingsPaneChild, KeepsTheCurrentFolderAndLoadsNothingFromIt) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    std::wstring elsewhere = testkit::ProgramDir() + L"elsewhere";
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.c_str()));
    panetest::Container container;
    HWND dialog = container.Window(kSettingPlug);
    ASSERT_TRUE(dialog);
    ShowWindow(dialog, SW_SHOWNORMAL);

    // A picture chosen in another folder is taken; the current folder stays.
    {
        testkit::FileDialogAnswer answer([](HWND open) {
            testkit::FileDialogAnswer::Confirm(open, testkit::ProgramDir() + L"pictures\\sky.bmp");
        });
        Click(dialog, 1012);
        EXPECT_TRUE(answer.Found());
    }
    EXPECT_EQ(L"sky.bmp", ListText(dialog, 3));
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_STREQ(elsewhere.c_str(), current);

    // Apply finds no command center in the program folder and writes the settings itself.
    Select(dialog, 0);
    Click(dialog, 1007);
    EXPECT_EQ(0, panetest::TraceCount("TabDeck.dll Background")) << "the command center of the current folder";
    EXPECT_EQ(L"0", Ini(testkit::ProgramDir() + L"resource\\TabDeck\\config.cfg", L"bkgnd", L"def"));
}

TEST(SettingsPaneChild, ApplyWritesTheSettingsWithoutTheCommandCenter) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    HMODULE module = LoadLibraryW((testkit::ProgramDir() + L"setting.dll").c_str());
    ASSERT_TRUE(module);
    auto create = reinterpret_cast<PFN_TabPlug_Create>(GetProcAddress(module, TABPLUG_CREATE_NAME));
    auto hwnd = reinterpret_cast<PFN_TabPlug_GetSafeHwnd>(GetProcAddress(module, TABPLUG_GETSAFEHWND_NAME));
    auto destroy = reinterpret_cast<PFN_TabPlug_Destroy>(GetProcAddress(module, TABPLUG_DESTROY_NAME));
    TabPlugHandle plug = create(nullptr, nullptr, 0, 0);
    ASSERT_TRUE(plug);
    HWND dialog = hwnd(plug);
    EXPECT_EQ(-1, SendDlgItemMessageW(dialog, 1010, LB_GETCURSEL, 0, 0)) << "custom background: no selection";
    Select(dialog, 1);
    Click(dialog, 1007);
    std::wstring settings = testkit::ProgramDir() + L"resource\\TabDeck\\config.cfg";
    EXPECT_EQ(L"2", Ini(settings, L"bkgnd", L"def")) << "green keeps its index";
    Click(dialog, 1008);
    EXPECT_EQ(1, destroy(plug));
    EXPECT_EQ(0, destroy(nullptr));
    FreeLibrary(module);
}

// Quoted as a hand-edited settings file may have it.
std::string BuiltIns() { return "0=" + testkit::Ansi("蓝天.bmp") + "\r\n1=\r\n2='green.bmp'\r\n"; }

void StagePictures(testkit::PaneRig& rig) {
    rig.Write(L"resource\\TabDeck\\" + testkit::Wide("蓝天.bmp"), testkit::SolidBitmap(120, 110, RGB(70, 130, 220)));
    rig.Write(L"resource\\TabDeck\\green.bmp", testkit::SolidBitmap(120, 110, RGB(60, 180, 90)));
    CreateDirectoryW((rig.dir() + L"resource\\TabDeck\\local").c_str(), nullptr);
    rig.Write(L"resource\\TabDeck\\local\\my.bmp", testkit::SolidBitmap(120, 110, RGB(230, 120, 40)));
    rig.Write(L"resource\\TabDeck\\local\\THUMBS.DB", "cache");
}

TEST(SettingsPane, InTheRig) {
    testkit::PaneRig rig(L"setting-rig");
    rig.Pane(kSettingPlug, L"setting.dll");
    rig.Write(L"resource\\TabDeck\\config.cfg", Settings(3, 2, BuiltIns()));
    StagePictures(rig);
    EXPECT_EQ(0u, panetest::RunChild(rig, "SettingsPaneChild.AppliesByKindAndTellsThePaneOwner"));
}

TEST(SettingsPane, InAHostRunningInAnotherFolder) {
    testkit::PaneRig rig(L"setting-elsewhere");
    rig.Pane(kSettingPlug, L"setting.dll");
    CreateDirectoryW((rig.dir() + L"elsewhere").c_str(), nullptr);
    ASSERT_TRUE(MoveFileW((rig.dir() + L"OrderHub.dll").c_str(), (rig.dir() + L"elsewhere\\OrderHub.dll").c_str()));
    rig.Write(L"resource\\TabDeck\\config.cfg", Settings(3, 2, BuiltIns()));
    StagePictures(rig);
    CreateDirectoryW((rig.dir() + L"pictures").c_str(), nullptr);
    rig.Write(L"pictures\\sky.bmp", testkit::SolidBitmap(120, 110, RGB(90, 160, 230)));
    EXPECT_EQ(0u, panetest::RunChild(rig, "SettingsPaneChild.KeepsTheCurrentFolderAndLoadsNothingFromIt"));
}

TEST(SettingsPane, WithoutTheCommandCenter) {
    testkit::PaneRig rig(L"setting-alone");
    DeleteFileW((rig.dir() + L"OrderHub.dll").c_str());
    ASSERT_TRUE(rig.Copy(L"setting.dll"));
    rig.Write(L"resource\\TabDeck\\config.cfg", Settings(3, -1, BuiltIns()));
    StagePictures(rig);
    EXPECT_EQ(0u, panetest::RunChild(rig, "SettingsPaneChild.ApplyWritesTheSettingsWithoutTheCommandCenter"));
}

}  // namespace
