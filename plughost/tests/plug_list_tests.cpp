// Hostile or broken plug lists: ids that are no numbers, lists cut by the read limit,
// module names that lead out of the program folder, and lists long enough to show any
// work that grows faster than the list.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../PlugConfig.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

using plughost::IsPlainModuleName;
using plughost::ParsePlugIds;

TEST(PlugLists, OnlyWholeDecimalNumbersAreIds) {
    EXPECT_EQ((std::vector<PlugId>{3, -13, 4, 12, 2147483647, -2147483647 - 1}),
              ParsePlugIds(L"3, -13 ,+4,\t12,abc,../../x,7x,3.5,,0x10,2147483647,-2147483648,2147483648,-,99999999999"));
    EXPECT_TRUE(ParsePlugIds(L"abc,../../x, ,").empty()) << "none of these is the tab manager's id 0";
    EXPECT_EQ((std::vector<PlugId>{0}), ParsePlugIds(L"0"));
    // A list the reader cut: its last piece may be the front of a longer id.
    EXPECT_EQ((std::vector<PlugId>{1, 2}), ParsePlugIds(L"1,2,34", true));
    EXPECT_EQ((std::vector<PlugId>{1, 2}), ParsePlugIds(L"1,2,", true));
    EXPECT_EQ((std::vector<PlugId>{1, 2, 34}), ParsePlugIds(L"1,2,34", false));
}

TEST(PlugLists, AListLongerThanTheReadLimitLosesItsCutLastId) {
    std::wstring dir = testkit::FreshDir(L"pluglist-cut");
    // Eight characters per id: the limit falls inside one.
    std::string list;
    int count = 0;
    while (list.size() <= plughost::kMaxIniValueChars + 100) list += std::to_string(1000000 + count++) + ",";
    ASSERT_NE(0u, plughost::kMaxIniValueChars % 8);
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"p.cfg", "[UI]\r\nTabPlugs=" + list + "\r\nSubPlugs=5,6\r\n"));
    std::vector<PlugId> ids = plughost::ReadPlugIds(dir + L"p.cfg", L"UI", L"TabPlugs");
    ASSERT_EQ(plughost::kMaxIniValueChars / 8, ids.size());
    EXPECT_EQ(1000000 + static_cast<int>(ids.size()) - 1, ids.back());
    EXPECT_EQ((std::vector<PlugId>{5, 6}), plughost::ReadPlugIds(dir + L"p.cfg", L"UI", L"SubPlugs"));
}

TEST(PlugLists, ModuleNamesStayInTheProgramFolder) {
    EXPECT_TRUE(IsPlainModuleName(L"plug3.dll"));
    EXPECT_TRUE(IsPlainModuleName(L"Plug 3.dll"));
    for (const wchar_t* name : {L"", L"..\\x.dll", L"../x.dll", L"sub\\x.dll", L"sub/x.dll", L"C:x.dll",
                                L"C:\\Windows\\x.dll", L"\\\\host\\share\\x.dll", L"..", L"x..dll"}) {
        EXPECT_FALSE(IsPlainModuleName(name)) << vantor::WideToAnsi(name);
    }
}

TEST(PlugLists, ASectionIsReadOnceAndLookedUpLikeSingleValues) {
    std::wstring dir = testkit::FreshDir(L"pluglist-section");
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"s.cfg", "[PlugsLoadStyle]\r\n 8 = Immediately \r\n9=delay\r\n8=later\r\n"
                                                        "Key=v\r\n[Other]\r\n10=x\r\n"));
    plughost::IniSection section(dir + L"s.cfg", L"PlugsLoadStyle");
    for (const wchar_t* key : {L"8", L"9", L"key", L"10", L"77"}) {
        EXPECT_EQ(plughost::ReadIniValue(dir + L"s.cfg", L"PlugsLoadStyle", key), section.Value(key))
            << vantor::WideToAnsi(key);
    }
    EXPECT_EQ(L"Immediately", section.Value(L"8"));
    EXPECT_EQ(L"", plughost::IniSection(dir + L"missing.cfg", L"PlugsLoadStyle").Value(L"8"));
}

// A program folder of its own with the container, its outside libraries and the
// driver; the driver's trace as lines.
class ContainerFolder {
public:
    explicit ContainerFolder(const wchar_t* name) : dir_(testkit::FreshDir(name)) {
        for (const wchar_t* file : {L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll", L"PlugDriver.exe",
                                    L"TraceDeck.dll", L"CommonKit.dll"}) {
            EXPECT_TRUE(testkit::CopyFromProgramDir(dir_, file)) << vantor::WideToAnsi(file);
        }
        EXPECT_TRUE(testkit::CopyFromProgramDir(dir_, L"PolicyLedger.dll", L"RostLedger.dll"));
        CreateDirectoryW((dir_ + L"config").c_str(), nullptr);
        Write(L"policies.cfg", "[Ledger]\r\nAccount=5\r\nCount=0\r\n");
    }
    void Write(const std::wstring& relative, const std::string& text) {
        ASSERT_TRUE(testkit::WriteFileBytes(dir_ + relative, text));
    }
    std::vector<std::string> Run(const std::string& steps, DWORD* tookMs = nullptr) {
        DeleteFileW((dir_ + L"trace.log").c_str());
        ULONGLONG start = GetTickCount64();
        DWORD code = testkit::RunProgram(dir_ + L"PlugDriver.exe", vantor::AnsiToWide(steps), dir_, {}, 120000);
        if (tookMs) *tookMs = static_cast<DWORD>(GetTickCount64() - start);
        EXPECT_EQ(0u, code) << "the driver failed or hung";
        std::vector<std::string> lines;
        std::string text = testkit::ReadFileBytes(dir_ + L"trace.log");
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return lines;
    }
    const std::wstring& Path() const { return dir_; }

private:
    std::wstring dir_;
};

int CountWith(const std::vector<std::string>& lines, const std::string& part) {
    int n = 0;
    for (const auto& line : lines) n += line.find(part) != std::string::npos;
    return n;
}

TEST(PlugLists, AModuleOutsideTheProgramFolderIsNeverLoaded) {
    ContainerFolder f(L"pluglist-outside");
    // The recording plug-in, where a crafted name would find it: beside the program
    // folder, in a folder below it, and by its full path.
    std::wstring outside = f.Path().substr(0, f.Path().size() - 1) + L"-evil.dll";
    std::wstring below = f.Path() + L"sub\\";
    CreateDirectoryW(below.c_str(), nullptr);
    ASSERT_TRUE(testkit::CopyFromProgramDir(below, L"TracePlug.dll", L"evil2.dll"));
    ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + L"TracePlug.dll").c_str(), outside.c_str(), FALSE));
    ASSERT_TRUE(testkit::CopyFromProgramDir(f.Path(), L"TracePlug.dll", L"good.dll"));
    size_t slash = outside.find_last_of(L'\\');
    std::string outsideName = vantor::WideToAnsi(outside.substr(slash + 1));
    f.Write(L"config\\pruv2.cfg",
            "[UI]\r\nTabDeck=TraceDeck.dll\r\nSubPlugs=31,32,33,34,35\r\n"
            "[PlugsModule]\r\n31=..\\" + outsideName + "\r\n32=sub\\evil2.dll\r\n33=" +
                vantor::WideToAnsi(outside) + "\r\n34=../" + outsideName + "\r\n35=good.dll\r\n");
    std::vector<std::string> t = f.Run("load 1 loadplug 31 loadplug 32 loadplug 33 loadplug 34 loadplug 35 unload");
    for (const char* id : {"31", "32", "33", "34"}) {
        EXPECT_EQ(1, CountWith(t, std::string("PlugDriver.exe loadplug ") + id + " -> 0")) << id;
    }
    EXPECT_EQ(1, CountWith(t, "PlugDriver.exe loadplug 35 -> 1"));
    EXPECT_EQ(1, CountWith(t, "good.dll Create"));
    EXPECT_EQ(0, CountWith(t, "evil")) << "a library outside the program folder ran";
    DeleteFileW(outside.c_str());
}

TEST(PlugLists, IdsThatAreNoNumbersGetNoRecordAndNoTab) {
    ContainerFolder f(L"pluglist-junk");
    f.Write(L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=abc,3,../../x,7x\r\nSubPlugs=zz\r\n");
    std::vector<std::string> t = f.Run("load 1 unload");
    EXPECT_EQ(1, CountWith(t, "TraceDeck.dll AddTab"));
    EXPECT_EQ(1, CountWith(t, "TraceDeck.dll AddTab 3 "));
}

TEST(PlugLists, LongListsLoadAndUnloadInTimeLinearInTheirLength) {
    ContainerFolder f(L"pluglist-long");
    std::string tabs, subs;
    for (int i = 0; i < 2000; ++i) tabs += std::to_string(200000 + i) + ",";
    for (int i = 1; i <= 150000; ++i) subs += std::to_string(i) + ",";   // within the read limit
    f.Write(L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=" + tabs + "\r\nSubPlugs=" + subs +
                                      "\r\n[PlugsLoadStyle]\r\n1=delay\r\n");
    DWORD took = 0;
    std::vector<std::string> t = f.Run("load 1 query 150000 unload", &took);
    EXPECT_EQ(1, CountWith(t, "PlugDriver.exe query 150000 -> 1"));
    EXPECT_EQ(2000, CountWith(t, "TraceDeck.dll AddTab"));
    EXPECT_EQ(1, CountWith(t, "PlugDriver.exe unloaded"));
    EXPECT_LT(took, 20000u) << "152,000 records took " << took << " ms";
}

}  // namespace
