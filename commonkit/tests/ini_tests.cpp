// The INI value parsers and bounded paths that several modules share.
#include <gtest/gtest.h>

#include <string>

#include "IniFile.h"
#include "TestSupport.h"

using namespace vantor::ini;

TEST(IniText, NumbersAndPiecesFollowTheLibraryRules) {
    EXPECT_EQ(-7, ParseLong(L" \t-7"));
    EXPECT_EQ(5, ParseLong(L"+5,6"));
    EXPECT_EQ(0, ParseLong(L"- 5"));
    EXPECT_EQ(2147483647, ParseLong(L"99999999999999999999"));
    EXPECT_EQ(-2147483647 - 1, ParseLong(L"-99999999999999999999"));

    EXPECT_EQ((std::vector<std::wstring>{L"3", L"8", L"-10"}), Split(L",,3,8,,-10,", L","));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b c"}), Split(L"a;b c", L";,"));
    EXPECT_TRUE(Split(L",,,", L",").empty());
    EXPECT_TRUE(Split(L"", L",").empty());

    EXPECT_EQ(RGB(0, 255, 7), ParsePieceColour(L",0,,255, 7x"));
}

TEST(IniText, ColoursAndGradientsReadLikeScanf) {
    COLORREF colour = 1;
    EXPECT_EQ(3, ScanColour(L"10,20,30", &colour));
    EXPECT_EQ(RGB(10, 20, 30), colour);
    // Reading stops at the first mismatch; what was not read keeps the given default.
    EXPECT_EQ(2, ScanColour(L"10,20;30", &colour, 127));
    EXPECT_EQ(RGB(10, 20, 127), colour);
    EXPECT_EQ(1, ScanColour(L" 10 ,20,30", &colour));
    EXPECT_EQ(RGB(10, 0, 0), colour);
    EXPECT_EQ(0, ScanColour(L"", &colour, 127));
    EXPECT_EQ(RGB(127, 127, 127), colour);
    EXPECT_EQ(3, ScanColour(L"-1,256,300", &colour));
    EXPECT_EQ(RGB(255, 0, 44), colour);

    COLORREF start = 1, end = 1;
    EXPECT_EQ(6, ScanGradient(L"187,202,228-255,255,254", &start, &end));
    EXPECT_EQ(RGB(187, 202, 228), start);
    EXPECT_EQ(RGB(255, 255, 254), end);
    EXPECT_EQ(4, ScanGradient(L"1,2,3-4", &start, &end));
    EXPECT_EQ(RGB(1, 2, 3), start);
    EXPECT_EQ(RGB(4, 255, 255), end);
    EXPECT_EQ(2, ScanGradient(L"1,2-3,4,5", &start, &end));
    EXPECT_EQ(RGB(1, 2, 0), start);
    EXPECT_EQ(RGB(255, 255, 255), end);
}

TEST(IniFile, PathsAreBoundedAndReadsAreSafe) {
    std::wstring exact(kMaxPathChars - 4, L'a');
    EXPECT_EQ(exact + L".cfg", BoundedPath({exact, L".cfg"}));
    EXPECT_TRUE(BoundedPath({exact, L"x.cfg"}).empty());
    EXPECT_TRUE(BoundedPath({L"a", std::wstring_view(L"b\0c", 3)}).empty());
    EXPECT_EQ(testkit::ProgramDir() + L"config\\x.cfg", ProgramFile(L"config\\x.cfg"));
    EXPECT_TRUE(ProgramFile(std::wstring(300, L'z')).empty());

    std::wstring ini = testkit::FreshDir(L"ck-inifile") + L"values.cfg";
    ASSERT_TRUE(WritePrivateProfileStringW(L"s", L"long", L"0123456789", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"s", L"n", L"42", ini.c_str()));
    size_t copied = 99;
    EXPECT_EQ(L"0123", ReadString(ini, L"s", L"long", L"-", 5, &copied));
    EXPECT_EQ(4u, copied);
    EXPECT_EQ(L"missing", ReadString(ini, L"s", L"none", L"missing", 100, &copied));
    EXPECT_EQ(7u, copied);
    // No path (too long to build) and no key read as missing, never as the system's lists.
    EXPECT_EQ(L"de", ReadString(std::wstring(), L"s", L"long", L"default", 3, &copied));
    EXPECT_EQ(2u, copied);
    EXPECT_EQ(L"d", ReadString(ini, L"s", nullptr, L"d", 10));
    // The size is a limit, not an allocation: a huge one reads a short value at once, and a
    // value longer than the first read is still read whole or cut at the limit.
    EXPECT_EQ(L"0123456789", ReadString(ini, L"s", L"long", L"-", 0x7FFFFFFF, &copied));
    EXPECT_EQ(10u, copied);
    const std::wstring big(5000, L'b');
    ASSERT_TRUE(WritePrivateProfileStringW(L"s", L"big", big.c_str(), ini.c_str()));
    EXPECT_EQ(big, ReadString(ini, L"s", L"big", L"-", 0xFFFFFFFF));
    EXPECT_EQ(big.substr(0, 2999), ReadString(ini, L"s", L"big", L"-", 3000, &copied));
    EXPECT_EQ(2999u, copied);
    EXPECT_EQ(big.substr(0, 1023), ReadString(ini, L"s", L"big", L"-", 1024));
    EXPECT_EQ(big, ReadString(ini, L"s", L"big", L"-", 5001));
    EXPECT_EQ(42, ReadInt(ini, L"s", L"n", 7));
    EXPECT_EQ(7, ReadInt(ini, L"s", L"none", 7));
    EXPECT_EQ(7, ReadInt(std::wstring(), L"s", L"n", 7));
}
