// The movie's service settings, the command tokens and the movie path, without a window.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Handles.h"
#include "MovieCommand.h"
#include "ModulePath.h"
#include "MoviePath.h"
#include "ServiceSettings.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"

namespace {

using animtab::ServiceFacts;
using vantor::xml::XmlDoc;

const wchar_t kNavigation[] =
    L"<config><navigation>"
    L"<service1><service status=\"1\"/></service1><service2><service status=\"0\"/></service2>"
    L"<service3><service status=\"1\"/></service3><service4><service status=\"1\"/></service4>"
    L"<service5><service status=\"1\"/></service5><service6><service status=\"1\"/></service6>"
    L"<service7><service status=\"0\"/></service7><service8><service status=\"1\"/></service8>"
    L"<service9><service status=\"0\"/></service9>"
    L"</navigation></config>";

// "1" or "0" for service1..service9, "-" where the entry has no status.
std::string Statuses(const XmlDoc& doc) {
    std::string all;
    for (int i = 1; i <= 9; ++i) {
        auto node = doc.SelectSingleNode(L"config/navigation/service" + std::to_wstring(i) + L"/service");
        std::wstring status = node ? node.AttributeOr(L"status", L"-") : L"-";
        all += status == L"1" ? '1' : status == L"0" ? '0' : '-';
    }
    return all;
}

class ServiceStatuses : public ::testing::Test {
protected:
    vantor::ScopedCom com_;
};

TEST_F(ServiceStatuses, FollowInstalledProgramsAndTheAccountsBoards) {
    XmlDoc doc;
    ASSERT_TRUE(doc.LoadText(kNavigation));
    ServiceFacts facts;
    facts.gamePresent = true;
    facts.knownAccount = true;
    facts.boards = {0, 6};
    animtab::ApplyServiceStatuses(facts, doc);
    // service7 (game), service8 (board 0), service5 (board 6), service9 (always).
    EXPECT_EQ("000010111", Statuses(doc));

    facts = ServiceFacts();
    facts.mirnPresent = true;
    facts.knownAccount = true;
    facts.boards = {1, 2, 3, 4, 5, 7, -1, 70};
    animtab::ApplyServiceStatuses(facts, doc);
    // Boards 1..5 give service2, 6, 1, 4, 3; "Mirn" service5; 7 and the rest nothing.
    EXPECT_EQ("111111001", Statuses(doc));

    // Without an account (or without RostLedger) every entry is on.
    animtab::ApplyServiceStatuses(ServiceFacts(), doc);
    EXPECT_EQ("111111111", Statuses(doc));
}

TEST_F(ServiceStatuses, PassOverCommentsAndEntriesWithoutAService) {
    XmlDoc doc;
    ASSERT_TRUE(doc.LoadText(L"<config><navigation><!-- entries -->text"
                             L"<service1><service status=\"1\"/></service1><service2/>"
                             L"<extra><service status=\"1\" name=\"x\"/></extra>"
                             L"<service9><service status=\"0\"/></service9></navigation><other status=\"1\"/></config>"));
    ServiceFacts facts;
    facts.knownAccount = true;
    facts.boards = {3, 1};  // service1 and service2, which has no "service"
    animtab::ApplyServiceStatuses(facts, doc);
    EXPECT_EQ("1-------1", Statuses(doc));
    EXPECT_EQ(L"0", doc.SelectSingleNode(L"config/navigation/extra/service").AttributeOr(L"status"));
    EXPECT_EQ(L"x", doc.SelectSingleNode(L"config/navigation/extra/service").AttributeOr(L"name"));
    EXPECT_EQ(L"1", doc.SelectSingleNode(L"config/other").AttributeOr(L"status"));

    // A document without "navigation" is left alone.
    ASSERT_TRUE(doc.LoadText(L"<config><service9><service status=\"0\"/></service9></config>"));
    animtab::ApplyServiceStatuses(ServiceFacts(), doc);
    EXPECT_EQ(L"0", doc.SelectSingleNode(L"config/service9/service").AttributeOr(L"status"));
}

TEST_F(ServiceStatuses, FileIsRewrittenOnlyWhenItParses) {
    std::wstring dir = testkit::FreshDir(L"animtab-settings");
    CreateDirectoryW((dir + L"resource").c_str(), nullptr);
    CreateDirectoryW((dir + L"resource\\TabDeck").c_str(), nullptr);
    CreateDirectoryW((dir + L"resource\\TabDeck\\flash").c_str(), nullptr);
    std::wstring path = dir + L"resource\\TabDeck\\flash\\config.xml";

    EXPECT_FALSE(animtab::PrepareServiceSettings(dir, 0));  // no file: nothing made
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));

    const std::string broken = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config><navigation><service1>";
    ASSERT_TRUE(testkit::WriteFileBytes(path, broken));
    EXPECT_FALSE(animtab::PrepareServiceSettings(dir, 0));
    EXPECT_EQ(broken, testkit::ReadFileBytes(path));

    // No contact book behind the handle: every entry on; a read-only file is made writable.
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" +
                                                  vantor::EncodeText(kNavigation, CP_UTF8)));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(animtab::PrepareServiceSettings(dir, 0));
    XmlDoc doc;
    ASSERT_TRUE(doc.LoadText(vantor::DecodeBytes(testkit::ReadFileBytes(path).c_str(),
                                                 testkit::ReadFileBytes(path).size(), CP_UTF8)
                                 .substr(testkit::ReadFileBytes(path).find("<config"))));
    EXPECT_EQ("111111111", Statuses(doc));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ServiceStatuses, ShippedSampleIsPrepared) {
    std::wstring dir = testkit::FreshDir(L"animtab-sample");
    for (const wchar_t* sub : {L"resource", L"resource\\TabDeck", L"resource\\TabDeck\\flash"}) {
        CreateDirectoryW((dir + sub).c_str(), nullptr);
    }
    ASSERT_TRUE(testkit::CopyFromProgramDir(dir, L"resource\\TabDeck\\flash\\config.xml",
                                            L"resource\\TabDeck\\flash\\config.xml"));
    EXPECT_TRUE(animtab::PrepareServiceSettings(dir, 0));
    std::string saved = testkit::ReadFileBytes(dir + L"resource\\TabDeck\\flash\\config.xml");
    XmlDoc doc;
    ASSERT_TRUE(doc.LoadText(vantor::DecodeBytes(saved.data(), saved.size(), CP_UTF8).substr(saved.find("<config"))));
    EXPECT_EQ("111111111", Statuses(doc));
    EXPECT_EQ(L"益智游戏", doc.SelectSingleNode(L"config/navigation/service7/service").AttributeOr(L"name"));
}

TEST(InstalledPrograms, GameAndProductLineKeysAreFound) {
    HKEY game = nullptr, mirn = nullptr, idle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\AnimIdle", 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &idle, nullptr));
    DWORD zero = 0, one = 1;
    RegSetValueExW(idle, L"Game", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
    ServiceFacts facts;
    animtab::ReadInstalledPrograms(&facts);
    bool gameBefore = facts.gamePresent;

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\AnimGame", 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &game, nullptr));
    RegSetValueExW(game, L"Game", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\Mirn", 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &mirn, nullptr));
    facts = ServiceFacts();
    animtab::ReadInstalledPrograms(&facts);
    EXPECT_TRUE(facts.gamePresent);
    EXPECT_TRUE(facts.mirnPresent);
    EXPECT_FALSE(gameBefore) << "a zero \"Game\" marks no game";
    for (HKEY key : {game, mirn, idle}) RegCloseKey(key);
    for (const wchar_t* name : {L"SOFTWARE\\Vantor\\AnimGame", L"SOFTWARE\\Vantor\\Mirn", L"SOFTWARE\\Vantor\\AnimIdle"}) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, name);
    }
}

TEST(MovieCommands, SplitAtCommasUpToNineteenTokens) {
    std::vector<std::wstring> tokens;
    ASSERT_TRUE(animtab::SplitCommand(L"LoadService,a,,c", &tokens));
    EXPECT_EQ((std::vector<std::wstring>{L"LoadService", L"a", L"", L"c"}), tokens);
    std::wstring nineteen = L"x";
    for (int i = 1; i < 19; ++i) nineteen += L",x";
    EXPECT_TRUE(animtab::SplitCommand(nineteen, &tokens));
    EXPECT_EQ(19u, tokens.size());
    EXPECT_FALSE(animtab::SplitCommand(nineteen + L",x", &tokens));
    EXPECT_FALSE(animtab::SplitCommand(nineteen + L",x,x,x", &tokens));
    EXPECT_EQ(0, animtab::HandleMovieCommand(nullptr, 0, (nineteen + L",x").c_str()));
}

// A library that a movie command finds loaded stays loaded until the command returns, even
// when its owner frees it meanwhile (here while the offline notice is up), and the
// command's own reference goes with the command.
TEST(MovieCommands, HoldTheLibrariesTheyFindLoadedUntilTheyReturn) {
    const std::wstring hubPath = vantor::ProgramPath(L"OrderHub.dll");
    ASSERT_EQ(nullptr, GetModuleHandleW(hubPath.c_str()));
    HMODULE hub = LoadLibraryW(hubPath.c_str());
    ASSERT_NE(nullptr, hub);
    std::atomic<int> loadedWhileShown{-1};
    std::thread owner([&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            box = FindWindowW(L"#32770", animtab::kOfflineCaption);
            if (!box) Sleep(20);
        }
        FreeLibrary(hub);
        loadedWhileShown = GetModuleHandleW(hubPath.c_str()) != nullptr ? 1 : 0;
        if (box) PostMessageW(box, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(-1, animtab::HandleMovieCommand(nullptr, 0, L"LoadService,a,b,c"));
    owner.join();
    EXPECT_EQ(1, loadedWhileShown.load());
    EXPECT_EQ(nullptr, GetModuleHandleW(hubPath.c_str()));
}

TEST(MoviePath, ColonMeansAsItStandsElseUnderTheTabManagersFolder) {
    std::wstring dir = testkit::FreshDir(L"animtab-path");
    CreateDirectoryW((dir + L"resource").c_str(), nullptr);
    CreateDirectoryW((dir + L"resource\\TabDeck").c_str(), nullptr);
    std::wstring settings = animtab::MovieSettingsPath(dir);
    EXPECT_EQ(dir + L"resource\\TabDeck\\config.cfg", settings);
    // Nothing configured: the entry "error" is looked up, and without it the file "error".
    EXPECT_EQ(dir + L"resource\\TabDeck\\error", animtab::ConfiguredMovie(dir));
    WritePrivateProfileStringW(L"ui_flash", L"error", L"fallback.swf", settings.c_str());
    EXPECT_EQ(dir + L"resource\\TabDeck\\fallback.swf", animtab::ConfiguredMovie(dir));
    WritePrivateProfileStringW(L"ui_flash", L"display", L"promo", settings.c_str());
    WritePrivateProfileStringW(L"ui_flash", L"promo", L"D:\\movies\\promo.swf", settings.c_str());
    EXPECT_EQ(L"D:\\movies\\promo.swf", animtab::ConfiguredMovie(dir));
    WritePrivateProfileStringW(L"ui_flash", L"promo", L"sub\\promo.swf", settings.c_str());
    EXPECT_EQ(dir + L"resource\\TabDeck\\sub\\promo.swf", animtab::ConfiguredMovie(dir));
    EXPECT_TRUE(animtab::ResetDisplayedMovie(dir));
    wchar_t display[32];
    GetPrivateProfileStringW(L"ui_flash", L"display", L"", display, 32, settings.c_str());
    EXPECT_STREQ(L"ui_flash", display);
}

}  // namespace
