// The emoticon table: codes both ways, and icons loaded once per table whatever the files hold.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "Emoticons.h"
#include "Screenshot.h"
#include "TestSupport.h"

using namespace vantor::imkit;

namespace {

const char* const kExpected[kEmoticonCount] = {
    "|:)", "|:(", "|:$", "|:*", "|:D", "|:O", "|;D", "|X)", "|:Z", "|;P",
    "|'(", "|:P", "|X|", "|:T", "|:>", "|:?", "|;X", "|by", "|-)", "|:@",
    "|:!", "|:#", "|:S", "|:X", "|ws", "|st", "|we", "|xi", "|mu", "|ro",
};

std::wstring ShippedFolder() { return testkit::ProgramDir() + L"resource\\9\\emotions\\"; }

}  // namespace

TEST(EmoticonCodes, EveryEntryBothWays) {
    for (int i = 0; i < kEmoticonCount; ++i) {
        char code[kEmoticonCodeChars] = "xxx";
        ASSERT_TRUE(CodeByIndex(i, code)) << i;
        EXPECT_STREQ(kExpected[i], code);
        wchar_t wide[kEmoticonCodeChars] = L"xxx";
        ASSERT_TRUE(CodeByIndex(i, wide));
        EXPECT_EQ(testkit::Wide(kExpected[i]), wide);

        int index = -1;
        HICON icon = EmoticonByCode(kExpected[i], &index);
        EXPECT_EQ(i, index);
        EXPECT_NE(nullptr, icon) << "shipped face " << i;
        EXPECT_EQ(icon, EmoticonIcon(i));
        index = -1;
        EXPECT_EQ(icon, EmoticonByCode(testkit::Wide(kExpected[i]).c_str(), &index));
        EXPECT_EQ(i, index);
    }
}

TEST(EmoticonCodes, UnknownIndexesAndCodes) {
    char code[kEmoticonCodeChars] = "abc";
    EXPECT_FALSE(CodeByIndex(30, code));
    EXPECT_FALSE(CodeByIndex(-1, code));
    EXPECT_STREQ("abc", code) << "untouched";
    wchar_t wide[kEmoticonCodeChars] = L"abc";
    EXPECT_FALSE(CodeByIndex(kEmoticonCount, wide));

    for (const char* miss : {"|:", "|:)x", "", ":)", "|:d", " |:)"}) {
        int index = 77;
        EXPECT_EQ(nullptr, EmoticonByCode(miss, &index)) << miss;
        EXPECT_EQ(77, index) << "index left alone for " << miss;
    }
    EXPECT_EQ(nullptr, EmoticonByCode(static_cast<const char*>(nullptr)));
    EXPECT_EQ(nullptr, EmoticonByCode(L"|:\x4e2d"));
    EXPECT_NE(nullptr, EmoticonByCode("|:)")) << "the index out parameter is optional";
    EXPECT_EQ(nullptr, EmoticonIcon(30));
    EXPECT_EQ(nullptr, EmoticonIcon(-1));
}

TEST(EmoticonTable, MissingFirstFileLeavesOnlyItsEntryEmptyAndLoadsOnce) {
    std::wstring dir = testkit::FreshDir(L"emotions");
    for (int i = 1; i < kEmoticonCount; ++i) {
        std::wstring name = std::to_wstring(i) + L".ico";
        ASSERT_TRUE(CopyFileW((ShippedFolder() + name).c_str(), (dir + name).c_str(), FALSE));
    }
    EmoticonTable table(dir);
    EXPECT_EQ(0, table.Loads()) << "nothing is read before the first use";
    EXPECT_EQ(nullptr, table.Icon(0));
    for (int i = 1; i < kEmoticonCount; ++i) EXPECT_NE(nullptr, table.Icon(i)) << i;
    EXPECT_EQ(1, table.Loads());

    // The file turning up later changes nothing: the table is not read again.
    ASSERT_TRUE(CopyFileW((ShippedFolder() + L"0.ico").c_str(), (dir + L"0.ico").c_str(), FALSE));
    HICON before = table.Icon(5);
    EXPECT_EQ(nullptr, table.Icon(0));
    EXPECT_EQ(before, table.Icon(5)) << "same icons, none loaded again";
    EXPECT_EQ(1, table.Loads());
}

TEST(EmoticonTable, BrokenFileIsAnEmptyEntry) {
    std::wstring dir = testkit::FreshDir(L"emotions-broken");
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"3.ico", "not an icon at all"));
    ASSERT_TRUE(CopyFileW((ShippedFolder() + L"4.ico").c_str(), (dir + L"4.ico").c_str(), FALSE));
    EmoticonTable table(dir);
    EXPECT_EQ(nullptr, table.Icon(3));
    EXPECT_NE(nullptr, table.Icon(4));
    EXPECT_EQ(nullptr, table.Icon(0));
}

// The pictures must tell the cells apart: every shipped face draws differently.
TEST(EmoticonTable, ShippedFacesAreDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < kEmoticonCount; ++i) {
        testkit::Canvas canvas(30, 30);
        ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 0, EmoticonIcon(i), 30, 30, 0, nullptr, DI_NORMAL));
        std::string pixels;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 30; ++x) {
                COLORREF c = canvas.At(x, y);
                pixels.append(reinterpret_cast<const char*>(&c), sizeof c);
            }
        }
        EXPECT_TRUE(seen.insert(pixels).second) << "face " << i << " repeats another";
    }
}
