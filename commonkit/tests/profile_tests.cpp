// Profile readers and the program folder, against sample files under the program folder.
#include <gtest/gtest.h>

#include <string>

#include "CommonKit.h"
#include "Handles.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

// A sample file in 8-bit text, as the panes' files are written; answers its name
// relative to the program folder.
std::wstring WriteSample(const wchar_t* folder, const wchar_t* name) {
    std::string body = "[s]\r\n"
                       "a=error\r\nb=Error\r\nc=\r\nd=12abc\r\ne=abc\r\nf=255,128\r\ng=300,0,0\r\n"
                       "h=1,2,3,4\r\ni=,,,\r\nj= -40\r\n"
                       "long=" + std::string(300, 'v') + "\r\n"
                       "zh=" + testkit::Ansi("电话好友") + "\r\n" +
                       "[" + testkit::Ansi("设置") + "]\r\n" + testkit::Ansi("名称") + "=" +
                       testkit::Ansi("网络好友") + "\r\n";
    std::wstring dir = testkit::FreshDir(folder);
    EXPECT_TRUE(testkit::WriteFileBytes(dir + name, body));
    return dir.substr(testkit::ProgramDir().size()) + name;
}

std::wstring ReadW(const wchar_t* section, const wchar_t* key, const std::wstring& file, int* answer,
                   DWORD chars = 64) {
    std::wstring buffer(chars, L'#');
    *answer = _GetProfileStringW(section, key, &buffer[0], chars, file.c_str());
    return buffer.c_str();
}

std::string ReadA(const char* section, const char* key, const std::string& file, int* answer, DWORD chars = 64) {
    std::string buffer(chars, '#');
    *answer = _GetProfileStringA(section, key, &buffer[0], chars, file.c_str());
    return buffer.c_str();
}

}  // namespace

TEST(ProfileReaders, StringsTellSetFromNotSet) {
    std::wstring file = WriteSample(L"ck-profile", L"sample.cfg");
    std::string fileA = vantor::WideToAnsi(file);
    int answer = -1;
    for (int form = 0; form < 2; ++form) {
        auto read = [&](const char* key, DWORD chars = 64) {
            if (form == 0) return vantor::WideToAnsi(ReadW(L"s", vantor::AnsiToWide(key).c_str(), file, &answer, chars));
            return ReadA("s", key, fileA, &answer, chars);
        };
        SCOPED_TRACE(form == 0 ? "wide" : "ansi");
        EXPECT_EQ("error", read("a"));
        EXPECT_EQ(0, answer);
        EXPECT_EQ("Error", read("b"));
        EXPECT_EQ(1, answer);
        EXPECT_EQ("", read("c"));
        EXPECT_EQ(0, answer);
        EXPECT_EQ("error", read("missing"));
        EXPECT_EQ(0, answer);
        EXPECT_EQ(std::string(9, 'v'), read("long", 10));
        EXPECT_EQ(1, answer);
        EXPECT_EQ(std::string(300, 'v'), read("long", 1000));
        EXPECT_EQ(1, answer);
        EXPECT_EQ(testkit::Ansi("电话好友"), read("zh"));
        EXPECT_EQ(1, answer);
    }

    // Chinese names and values in both forms.
    EXPECT_EQ(testkit::Wide("网络好友"),
              ReadW(testkit::Wide("设置").c_str(), testkit::Wide("名称").c_str(), file, &answer));
    EXPECT_EQ(1, answer);
    EXPECT_EQ(testkit::Ansi("网络好友"),
              ReadA(testkit::Ansi("设置").c_str(), testkit::Ansi("名称").c_str(), fileA, &answer));
    EXPECT_EQ(1, answer);
    // A short 8-bit buffer never ends in half a character.
    EXPECT_EQ(testkit::Ansi("电"), ReadA("s", "zh", fileA, &answer, 4));
    EXPECT_EQ(1, answer);
    EXPECT_EQ(testkit::Wide("电话好"), ReadW(L"s", L"zh", file, &answer, 4));

    // Missing file, over-long path, empty buffer, absent names.
    EXPECT_EQ(L"error", ReadW(L"s", L"b", L"scratch\\no-such-file.cfg", &answer));
    EXPECT_EQ(0, answer);
    std::wstring deep = L"scratch\\" + std::wstring(300, L'd') + L"\\x.cfg";
    EXPECT_EQ(L"error", ReadW(L"s", L"b", deep, &answer));
    EXPECT_EQ(0, answer);
    EXPECT_EQ("error", ReadA("s", "b", vantor::WideToAnsi(deep), &answer));
    EXPECT_EQ(0, answer);
    wchar_t untouched[4] = L"xyz";
    EXPECT_EQ(0, _GetProfileStringW(L"s", L"b", untouched, 0, file.c_str()));
    EXPECT_STREQ(L"xyz", untouched);
    EXPECT_EQ(0, _GetProfileStringW(L"s", L"b", nullptr, 10, file.c_str()));
    EXPECT_EQ(L"error", ReadW(L"s", nullptr, file, &answer));
    EXPECT_EQ(0, answer);
    EXPECT_EQ("error", ReadA("s", "b", std::string(), &answer)) << "the folder itself is no profile";
    EXPECT_EQ(0, answer);
}

TEST(ProfileReaders, NumbersAndColoursLeaveTargetsWhenNotSet) {
    std::wstring file = WriteSample(L"ck-profile-num", L"sample.cfg");
    std::string fileA = vantor::WideToAnsi(file);
    const wchar_t* f = file.c_str();
    const char* fa = fileA.c_str();

    int value = -99;
    EXPECT_EQ(1, _GetProfileIntW(L"s", L"d", &value, f));
    EXPECT_EQ(12, value);
    EXPECT_EQ(1, _GetProfileIntW(L"s", L"e", &value, f));
    EXPECT_EQ(0, value);
    EXPECT_EQ(1, _GetProfileIntA("s", "j", &value, fa));
    EXPECT_EQ(-40, value);
    value = 77;
    EXPECT_EQ(0, _GetProfileIntW(L"s", L"a", &value, f));
    EXPECT_EQ(0, _GetProfileIntA("s", "c", &value, fa));
    EXPECT_EQ(0, _GetProfileIntA("s", "missing", &value, fa));
    EXPECT_EQ(0, _GetProfileIntW(L"s", L"d", &value, L"scratch\\nothing.cfg"));
    EXPECT_EQ(77, value);
    EXPECT_EQ(0, _GetProfileIntW(L"s", L"d", nullptr, f));

    COLORREF colour = 0xABCDEF;
    EXPECT_EQ(1, _GetProfileRgbW(L"s", L"f", &colour, f));
    EXPECT_EQ(RGB(255, 128, 0), colour);
    EXPECT_EQ(1, _GetProfileRgbA("s", "g", &colour, fa));
    EXPECT_EQ(RGB(44, 0, 0), colour);
    EXPECT_EQ(1, _GetProfileRgbW(L"s", L"h", &colour, f));
    EXPECT_EQ(RGB(1, 2, 3), colour);
    EXPECT_EQ(1, _GetProfileRgbA("s", "i", &colour, fa));
    EXPECT_EQ(RGB(0, 0, 0), colour);
    // A long value is read through a short buffer: only its start counts.
    EXPECT_EQ(1, _GetProfileRgbW(L"s", L"long", &colour, f));
    colour = 0xABCDEF;
    EXPECT_EQ(0, _GetProfileRgbW(L"s", L"a", &colour, f));
    EXPECT_EQ(0, _GetProfileRgbA("s", "missing", &colour, fa));
    EXPECT_EQ(0, _GetProfileRgbW(L"s", L"f", &colour, L"scratch\\nothing.cfg"));
    EXPECT_EQ(0xABCDEFu, colour);
}

TEST(ProgramFolder, FitsExactlyOrWritesNothing) {
    std::wstring folder = testkit::ProgramDir();
    ASSERT_EQ(L'\\', folder.back());
    std::wstring wide(folder.size() + 1, L'#');
    EXPECT_EQ(1, _GetModuleDirW(&wide[0], static_cast<DWORD>(folder.size() + 1)));
    EXPECT_EQ(folder, wide.c_str());
    std::wstring shortW(folder.size(), L'#');
    EXPECT_EQ(0, _GetModuleDirW(&shortW[0], static_cast<DWORD>(folder.size())));
    EXPECT_EQ(std::wstring(folder.size(), L'#'), shortW);

    std::string folderA = vantor::WideToAnsi(folder);
    std::string ansi(folderA.size() + 1, '#');
    EXPECT_EQ(1, _GetModuleDirA(&ansi[0], static_cast<DWORD>(folderA.size() + 1)));
    EXPECT_EQ(folderA, ansi.c_str());
    std::string shortA(folderA.size(), '#');
    EXPECT_EQ(0, _GetModuleDirA(&shortA[0], static_cast<DWORD>(folderA.size())));
    EXPECT_EQ(std::string(folderA.size(), '#'), shortA);
    EXPECT_EQ(0, _GetModuleDirA(nullptr, 1000));

    // A copy of the library in another folder still answers the program's folder.
    std::wstring sub = testkit::FreshDir(L"ck-sub");
    ASSERT_TRUE(CopyFileW((folder + L"CommonKit.dll").c_str(), (sub + L"CommonKit.dll").c_str(), FALSE));
    vantor::UniqueModule copy(LoadLibraryW((sub + L"CommonKit.dll").c_str()));
    ASSERT_TRUE(copy);
    ASSERT_NE(GetModuleHandleW((folder + L"CommonKit.dll").c_str()), copy.get()) << "the copy was not loaded";
    auto dirOfCopy = reinterpret_cast<decltype(&_GetModuleDirW)>(
        reinterpret_cast<void*>(GetProcAddress(copy.get(), "_GetModuleDirW")));
    ASSERT_NE(nullptr, dirOfCopy);
    wchar_t buffer[MAX_PATH * 2] = {};
    EXPECT_EQ(1, dirOfCopy(buffer, MAX_PATH * 2));
    EXPECT_EQ(folder, buffer);
}
