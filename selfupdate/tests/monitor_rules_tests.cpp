// What the monitor lets a list do, through the exports as the host calls them, each run a
// child program in a program folder of its own against nginx: where files go, how they are
// put in place, the downloads, and the monitor's life across a log-off and a log-on.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <thread>

#include "DebugLines.h"
#include "Handles.h"
#include "MonitorChild.h"
#include "StagingFiles.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"

using namespace sutest;

namespace {

// One check a start: the timer period is long, retries 100 ms apart.
const wchar_t kOneCheck[] = L"600000,100";
const wchar_t kCheckEnded[] = L"SelfUpdate: check of build";

bool Begun(Exports& su) { return su.Begin && su.Stop && su.Begin() == 1; }

// Waits (dispatching) until the n-th check of this run has ended.
bool CheckEnded(const testkit::DebugLines& lines, size_t n, DWORD timeoutMs = 30000) {
    return lines.WaitFor(kCheckEnded, n, timeoutMs);
}
std::wstring LastCheck(const testkit::DebugLines& lines) {
    std::wstring last;
    for (const std::wstring& line : lines.Lines()) {
        if (line.find(kCheckEnded) != std::wstring::npos) last = line;
    }
    return last;
}

void SetBuild(const std::string& build) {
    WritePrivateProfileStringW(L"Product", L"build", Wide(build).c_str(), (Here() + L"\\config\\version.cfg").c_str());
}

// Files below folder whose names hold text.
std::vector<std::wstring> FilesNamed(const std::wstring& folder, const wchar_t* text) {
    std::vector<std::wstring> found;
    for (const std::wstring& file : TreeOf(folder)) {
        if (file.find(text) != std::wstring::npos) found.push_back(file);
    }
    return found;
}

class SelfUpdateParent : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t mode[64] = {};
        if (GetEnvironmentVariableW(L"SELFUPDATE_TEST_CHILD", mode, 64)) GTEST_SKIP() << "parent run only";
    }
    const WebServers& servers = WebServers::Get();
};

// ------------------------------------------------------------------ where files go

// Destinations that reach the staging folders, or no plain file, by their spelling; each
// is the second entry of the list of its own build.
const struct {
    const char* build;
    const char* dest;
} kSpelledDests[] = {
    {"v0", "SelfUpdate.\\1.0.0.2\\x.dll"}, {"v1", "SelfUpdate \\1.0.0.2\\x.dll"},
    {"v2", "selfupdate/1.0.0.2/x.dll"},    {"v3", "SelfUpdate:x.dll"},
    {"v4", "bin\\..\\SelfUpdate\\x.dll"},  {"v5", "bin/CLOCK$"},
    {"v6", "COM0.dll"},                    {"v7", "lpt\xC2\xB9.txt"},
    {"v8", "nul .txt"},
};
const char* const kPlantingBuild = "p1";
const char* const kFragmentBuild = "frag";

TEST(SelfUpdateChild, WhereFilesGo) {
    if (!ChildMode("where")) GTEST_SKIP() << "child run only";
    SignIn();
    testkit::DebugLines lines;
    Exports su;
    // A staging an earlier client left, whose list goes into the staging folders by their
    // short name: the install refuses it, and nothing of it reaches them.
    ASSERT_TRUE(Begun(su));
    EXPECT_FALSE(Exists(ChildStaging("1.0.0.1")));
    EXPECT_TRUE(FilesNamed(Here(), L"planted").empty());
    EXPECT_EQ(L"1.0.0.1", Build());
    ASSERT_TRUE(CheckEnded(lines, 1));
    ASSERT_EQ(1, su.Stop());

    size_t checks = 1;
    std::vector<std::string> builds = {kPlantingBuild, kFragmentBuild};
    for (const auto& spelled : kSpelledDests) builds.push_back(spelled.build);
    for (const std::string& build : builds) {
        SetBuild(build);
        ASSERT_TRUE(Begun(su));
        ASSERT_TRUE(CheckEnded(lines, ++checks)) << build;
        EXPECT_NE(std::wstring::npos, LastCheck(lines).find(L"failed")) << build;
        EXPECT_FALSE(Complete(build.c_str())) << build;
        ASSERT_EQ(1, su.Stop());
    }
    // Nor do later starts install anything of the planting list.
    SetBuild(kPlantingBuild);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(Begun(su));
        ASSERT_TRUE(CheckEnded(lines, ++checks));
        ASSERT_EQ(1, su.Stop());
    }
    EXPECT_EQ(Wide(kPlantingBuild), Build());
    EXPECT_TRUE(FilesNamed(Here(), L"planted").empty());
    EXPECT_FALSE(Exists(ChildStaging("1.0.0.2")));
    ChildDone();
}

TEST_F(SelfUpdateParent, WhereFilesGoNoListReachesTheStagingFoldersByAnyName) {
    ChildWorld world(L"su-where", "where");
    std::wstring root = world.folder + L"\\SelfUpdate";
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(root.c_str(), shortPath, MAX_PATH));
    std::wstring shortName = shortPath;
    shortName = shortName.substr(shortName.rfind(L'\\') + 1);
    ASSERT_NE(L"SelfUpdate", shortName) << "the system gives the folder a short name";
    std::string planted = vantor::WideToAnsi(shortName) + "\\1.0.0.2\\";

    // By hand, a complete staging of 1.0.0.1 as an earlier client could have left it.
    world.StageByHand({{planted + "planted.dll", "planted"}});

    // A list that plants a complete staging of the next build through the short name.
    std::string plantedList = ListText({{world.Url("planted.dll"), "planted.dll", Md5Of("planted")}});
    std::string description = DescriptionText(world.Url("list"), "1.0.0.3");
    std::string mark = "[Download]\r\nComplete=1\r\n";
    world.PublishList({{world.Serve("mark", mark), planted + "staged.cfg", Md5Of(mark)},
                       {world.Serve("desc", description), planted + "update.cfg", Md5Of(description)},
                       {world.Serve("list", plantedList), planted + "update.xml", Md5Of(plantedList)},
                       {world.Serve("planted.dll", "planted"), planted + "planted.dll", Md5Of("planted")}},
                      kPlantingBuild);
    // An address whose host ends at "#": what follows names no port, so nothing behind it
    // is fetched.
    world.Serve("a.dll", "new a");
    world.PublishList({{servers.NginxUrl("#:" + std::to_string(servers.fake) + "/" + world.branch + "files/a.dll"),
                        "a.dll", Md5Of("new a")}},
                      kFragmentBuild);
    world.Serve("good.dll", "good");
    for (const auto& spelled : kSpelledDests) {
        world.PublishList({{world.Url("good.dll"), "good.dll", Md5Of("good")},
                           {world.Url("good.dll"), spelled.dest, Md5Of("good")}},
                          spelled.build);
    }
    ASSERT_TRUE(RunChild(world.folder, "where", "SelfUpdateChild.WhereFilesGo", kOneCheck));

    // No file of the branch was asked for: each list was refused before its files were,
    // and the address with "#" was fetched as the host check read it (the server's root).
    EXPECT_EQ(std::vector<std::string>(), NginxLog("/" + world.branch + "files/"));
    // A description and a list per build, twice more the planting one, and 1.0.0.1's description.
    EXPECT_EQ(2 * (2 + std::size(kSpelledDests)) + 4 + 1, NginxLog("GET /" + world.branch).size());
}

// A second process on the same folder through a mapped drive, while the first one's check
// downloads: the second neither installs nor checks, and says why.
Exports* g_su = nullptr;
bool g_stopped = false;

// Runs inside the check (its transfer dispatches this thread's messages): once the
// second process is done, the stop breaks the download off.
void CALLBACK WatchTheSecond(HWND, UINT, UINT_PTR timer, DWORD) {
    if (selfupdate::FileBytes(ChildStaging("1.0.0.1") + L"slow.bin") > 50000 &&
        !Exists(Here() + L"\\underway")) {
        testkit::WriteFileBytes(Here() + L"\\underway", "");
    }
    if (Exists(Here() + L"\\second-done")) {
        KillTimer(nullptr, timer);
        g_su->Stop();
        g_stopped = true;
    }
}

TEST(SelfUpdateChild, HoldsTheFolderWhileItDownloads) {
    if (!ChildMode("holder")) GTEST_SKIP() << "child run only";
    SignIn();
    Exports su;
    g_su = &su;
    ASSERT_TRUE(Begun(su));
    SetTimer(nullptr, 0, 50, &WatchTheSecond);
    ASSERT_TRUE(PumpUntil([] { return g_stopped; }, 60000));
    EXPECT_TRUE(PumpUntil([&] { return su.Stop() == 1; }, 5000));
    ChildDone();
}

TEST(SelfUpdateChild, SecondOnTheSameFolder) {
    if (!ChildMode("second")) GTEST_SKIP() << "child run only";
    testkit::WriteFileBytes(Here() + L"\\second-folder.txt", vantor::WideToAnsi(Here()));
    SignIn();
    testkit::DebugLines lines;
    Exports su;
    ASSERT_TRUE(Begun(su));
    ASSERT_TRUE(CheckEnded(lines, 1));
    EXPECT_EQ(1u, lines.Count(L"no install at this start: another monitor works on this program folder"));
    EXPECT_NE(std::wstring::npos, LastCheck(lines).find(L"another monitor works on this program folder"));
    EXPECT_EQ(1, su.Stop());
    testkit::WriteFileBytes(Here() + L"\\second-done", "");
    ChildDone();
}

// A mapped drive: Wine keeps its drives as links in the prefix's "dosdevices" folder, so
// the folder becomes the first free drive letter through such a link, made by the system's
// ln (Windows has no call that makes one). Wine starts a program of the system without a
// handle to wait on: what it did is waited for.
template <typename Predicate>
bool RunUnixUntil(const std::wstring& program, const std::wstring& arguments, Predicate done) {
    std::wstring command = program + L" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW((L"Z:\\bin\\" + program).c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && !done(); ++i) Sleep(50);
    return done();
}
std::wstring DriveLink(const std::wstring& drive) {
    wchar_t prefix[MAX_PATH] = {};
    GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    return std::wstring(prefix) + L"/dosdevices/" + static_cast<wchar_t>(towlower(drive[0])) + L":";
}
bool DriveThere(const std::wstring& drive) { return GetFileAttributesW((drive + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES; }
std::wstring MapDrive(const std::wstring& folder) {
    if (folder.compare(0, 3, L"Z:\\") != 0) return std::wstring();   // Z: is the system's root
    std::wstring unixPath = folder.substr(2);
    for (wchar_t& c : unixPath) c = c == L'\\' ? L'/' : c;
    for (wchar_t letter = L'R'; letter <= L'Y'; ++letter) {
        std::wstring drive = std::wstring(1, letter) + L":";
        if (GetDriveTypeW((drive + L"\\").c_str()) != DRIVE_NO_ROOT_DIR) continue;
        bool made = RunUnixUntil(L"ln", L"-s \"" + unixPath + L"\" \"" + DriveLink(drive) + L"\"",
                                 [&] { return DriveThere(drive); });
        return made ? drive : std::wstring();
    }
    return std::wstring();
}
void UnmapDrive(const std::wstring& drive) {
    if (!drive.empty()) RunUnixUntil(L"rm", L"-f \"" + DriveLink(drive) + L"\"", [&] { return !DriveThere(drive); });
}

TEST_F(SelfUpdateParent, WhereFilesGoOneMonitorPerFolderByAnyPath) {
    ChildWorld world(L"su-two", "two");
    std::string slow = Pattern(1500000, 41);
    world.PublishList({{world.Serve("slow.bin", slow, "/slow"), "slow.bin", Md5Of(slow)}});
    bool first = false;
    std::thread holder([&] { first = RunChild(world.folder, "holder", "SelfUpdateChild.HoldsTheFolderWhileItDownloads",
                                              kOneCheck); });
    bool underway = false;
    for (int i = 0; i < 600 && !underway; ++i) {
        Sleep(50);
        underway = Exists(world.folder + L"\\underway");
    }
    // The folder's parent as a drive of its own, the second process started from there.
    std::wstring parent = world.folder.substr(0, world.folder.rfind(L'\\'));
    std::wstring name = world.folder.substr(parent.size() + 1);
    std::wstring drive = MapDrive(parent);
    DWORD second = 1;
    if (underway && !drive.empty()) {
        std::wstring exe = drive + L"\\" + name + L"\\" + testkit::ThisExeName();
        second = RunChildCode(world.folder, "second", "SelfUpdateChild.SecondOnTheSameFolder", kOneCheck, exe);
    }
    UnmapDrive(drive);
    if (second != 0) testkit::WriteFileBytes(world.folder + L"\\second-done", "");
    holder.join();
    ASSERT_TRUE(underway);
    ASSERT_FALSE(drive.empty()) << "no drive for " << parent;
    EXPECT_EQ(0u, second);
    EXPECT_TRUE(first);
    EXPECT_EQ(vantor::WideToAnsi(drive + L"\\" + name), ReadText(world.folder + L"\\second-folder.txt"));
    // The second process asked the server for nothing.
    EXPECT_EQ(1u, NginxLog("GET /" + world.branch + "1.0.0.1/update.cfg").size());
    // A program that may only read the folder could not have held the lock either.
    ASSERT_TRUE(EveryoneMayRead(world.folder + L"\\SelfUpdate"));
    EXPECT_FALSE(EveryoneMayRead(world.folder + L"\\SelfUpdate\\monitor.lock"));
}

// ------------------------------------------------------------------ how files are put in place

TEST(SelfUpdateChild, EveryFileOrNone) {
    if (!ChildMode("whole")) GTEST_SKIP() << "child run only";
    SignIn();
    testkit::DebugLines lines;
    Exports su;
    ASSERT_TRUE(Begun(su));
    ASSERT_TRUE(PumpUntil([] { return Complete("1.0.0.1"); }, 30000));
    ASSERT_EQ(1, su.Stop());
    size_t checks = 1;
    {
        // b.dll held without sharing: a.dll comes before it in the list, and stays old too.
        vantor::UniqueHandle held(CreateFileW((Here() + L"\\bin\\b.dll").c_str(), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        for (int start = 1; start <= selfupdate::kMaxInstallStarts; ++start) {
            ASSERT_TRUE(Begun(su));
            EXPECT_EQ("old a", ReadText(Here() + L"\\a.dll")) << start;
            EXPECT_EQ(L"1.0.0.1", Build()) << start;
            EXPECT_EQ(std::vector<std::wstring>(), FilesNamed(Here(), L".new")) << start;
            EXPECT_EQ(std::vector<std::wstring>(), FilesNamed(Here(), L".old")) << start;
            ASSERT_TRUE(CheckEnded(lines, ++checks));
            ASSERT_EQ(1, su.Stop());
        }
        // The last start dropped the staging; its check staged it again.
        EXPECT_TRUE(Complete("1.0.0.1"));
    }
    EXPECT_EQ("old b", ReadText(Here() + L"\\bin\\b.dll"));
    // Released: the next start installs both.
    ASSERT_TRUE(Begun(su));
    EXPECT_EQ("new a", ReadText(Here() + L"\\a.dll"));
    EXPECT_EQ("new b", ReadText(Here() + L"\\bin\\b.dll"));
    EXPECT_EQ(L"1.0.0.2", Build());
    EXPECT_EQ(std::vector<std::wstring>(), FilesNamed(Here(), L".old"));
    ASSERT_EQ(1, su.Stop());
    ChildDone();
}

TEST_F(SelfUpdateParent, PutInPlaceEveryFileOrNoneWhileOneIsHeld) {
    ChildWorld world(L"su-whole", "whole");
    testkit::WriteFileBytes(world.folder + L"\\a.dll", "old a");
    CreateDirectoryW((world.folder + L"\\bin").c_str(), nullptr);
    testkit::WriteFileBytes(world.folder + L"\\bin\\b.dll", "old b");
    world.PublishList({{world.Serve("a.dll", "new a"), "a.dll", Md5Of("new a")},
                       {world.Serve("b.dll", "new b"), "bin\\b.dll", Md5Of("new b")}});
    EXPECT_TRUE(RunChild(world.folder, "whole", "SelfUpdateChild.EveryFileOrNone", kOneCheck));
}

// The process is ended in the middle of its install of ClientCore.dll, a library it has
// loaded, as a power button or the task manager ends a client.
TEST(SelfUpdateChild, KilledWhileInstalling) {
    if (!ChildMode("killed")) GTEST_SKIP() << "child run only";
    SignIn();
    std::thread([] {
        std::wstring core = Here() + L"\\ClientCore.dll";
        // As soon as the install touches ClientCore.dll: a copy beside it, a rename aside,
        // or the file itself rewritten.
        WIN32_FILE_ATTRIBUTE_DATA before = {}, now = {};
        GetFileAttributesExW(core.c_str(), GetFileExInfoStandard, &before);
        for (;;) {
            bool touched = !FilesNamed(Here(), L"ClientCore.dll.").empty() ||
                           !GetFileAttributesExW(core.c_str(), GetFileExInfoStandard, &now) ||
                           now.nFileSizeLow != before.nFileSizeLow;
            if (touched) TerminateProcess(GetCurrentProcess(), 77);
            Sleep(1);
        }
    }).detach();
    Exports su;
    su.Begin();
    ADD_FAILURE() << "the install ended before it was killed";
}

TEST(SelfUpdateChild, StartsAfterTheKill) {
    if (!ChildMode("after")) GTEST_SKIP() << "child run only";
    SignIn();
    Exports su;
    ASSERT_TRUE(Begun(su));
    EXPECT_EQ(L"1.0.0.2", Build());
    ASSERT_EQ(1, su.Stop());
    ChildDone();
}

TEST_F(SelfUpdateParent, PutInPlaceAKillLeavesEveryFileWhole) {
    ChildWorld world(L"su-kill", "kill");
    std::wstring core = world.folder + L"\\ClientCore.dll";
    ASSERT_TRUE(testkit::CopyFromProgramDir(world.folder + L"\\", L"ClientCore.dll"));
    std::string oldCore = ReadText(core);
    // The new library: the same code with 96 MB behind it, which the loader never reads,
    // so that its copy takes a while.
    std::string newCore = oldCore + std::string(96u << 20, '\0');
    testkit::WriteFileBytes(world.folder + L"\\a.dll", "old a");
    // Staged by hand, as a check leaves it (the download is not what this is about).
    world.StageByHand({{"a.dll", "new a"}, {"ClientCore.dll", newCore}});
    newCore.clear();
    std::wstring staging = world.Staging();

    EXPECT_EQ(77u, RunChildCode(world.folder, "killed", "SelfUpdateChild.KilledWhileInstalling", kOneCheck));
    std::string afterKill = ReadText(core);
    EXPECT_TRUE(afterKill == oldCore || afterKill == ReadText(staging + L"ClientCore.dll"))
        << "ClientCore.dll has " << afterKill.size() << " bytes";
    EXPECT_EQ("old a", ReadText(world.folder + L"\\a.dll")) << "nothing is placed before every copy is ready";
    std::string staged = ReadText(staging + L"ClientCore.dll");

    // The next start finishes the install whole; it replaces the library it has loaded.
    ASSERT_TRUE(RunChild(world.folder, "after", "SelfUpdateChild.StartsAfterTheKill", kOneCheck));
    EXPECT_TRUE(ReadText(core) == staged);
    EXPECT_EQ("new a", ReadText(world.folder + L"\\a.dll"));
    EXPECT_EQ(std::vector<std::wstring>(), FilesNamed(world.folder, L".new"));
    // The old library, held by that start, goes at the one after.
    ASSERT_TRUE(RunChild(world.folder, "after", "SelfUpdateChild.StartsAfterTheKill", kOneCheck));
    EXPECT_EQ(std::vector<std::wstring>(), FilesNamed(world.folder, L".old"));
    EXPECT_FALSE(Exists(world.folder + L"\\SelfUpdate\\install.cfg"));
}

TEST(SelfUpdateChild, DigestLater) {
    if (!ChildMode("digest")) GTEST_SKIP() << "child run only";
    SignIn();
    testkit::DebugLines lines;
    Exports su;
    ASSERT_TRUE(Begun(su));
    ASSERT_TRUE(PumpUntil([] { return Complete("1.0.0.1"); }, 30000));
    ASSERT_EQ(1, su.Stop());
    // No digest library at this start.
    ASSERT_TRUE(MoveFileW((Here() + L"\\Md5.dll").c_str(), (Here() + L"\\Md5.away").c_str()));
    ASSERT_TRUE(Begun(su));
    EXPECT_TRUE(Complete("1.0.0.1"));
    EXPECT_EQ(L"1.0.0.1", Build());
    ASSERT_EQ(1, su.Stop());
    ASSERT_TRUE(MoveFileW((Here() + L"\\Md5.away").c_str(), (Here() + L"\\Md5.dll").c_str()));
    {
        // The staged file held by another program that reads it (a scanner).
        vantor::UniqueHandle scanner(CreateFileW((ChildStaging("1.0.0.1") + L"a.dll").c_str(), GENERIC_READ, 0,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(scanner);
        ASSERT_TRUE(Begun(su));
        EXPECT_TRUE(Complete("1.0.0.1"));
        EXPECT_EQ(L"1.0.0.1", Build());
        ASSERT_EQ(1, su.Stop());
    }
    EXPECT_EQ(2u, lines.Count(L"no digest of the staged a.dll now"));
    ASSERT_TRUE(Begun(su));
    EXPECT_EQ("new a", ReadText(Here() + L"\\a.dll"));
    EXPECT_EQ(L"1.0.0.2", Build());
    ASSERT_EQ(1, su.Stop());
    ChildDone();
}

TEST_F(SelfUpdateParent, PutInPlaceAStagingWhoseDigestCannotBeMadeNowStays) {
    ChildWorld world(L"su-later", "later");
    world.PublishList({{world.Serve("a.dll", "new a"), "a.dll", Md5Of("new a")}});
    EXPECT_TRUE(RunChild(world.folder, "digest", "SelfUpdateChild.DigestLater", kOneCheck));
    EXPECT_EQ(1u, NginxLog("GET /" + world.branch + "files/a.dll").size()) << "staged once";
}

// ------------------------------------------------------------------ the download

TEST(SelfUpdateChild, StagesOnce) {
    if (!ChildMode("stage")) GTEST_SKIP() << "child run only";
    SignIn();
    testkit::DebugLines lines;
    Exports su;
    ASSERT_TRUE(Begun(su));
    ASSERT_TRUE(CheckEnded(lines, 1, 90000));
    testkit::WriteFileBytes(Here() + L"\\outcome.txt", vantor::WideToAnsi(LastCheck(lines)));
    ASSERT_EQ(1, su.Stop());
    ChildDone();
}

TEST_F(SelfUpdateParent, DownloadResumesWithAndWithoutRangeAtTheListedSize) {
    ChildWorld world(L"su-resume", "resume");
    std::string c = Pattern(300000, 11), d = Pattern(200000, 12);
    world.PublishList({{world.Serve("c.bin", c), "c.bin", Md5Of(c), std::to_string(c.size())},
                       {world.Serve("d.bin", d, "/norange"), "bin\\d.bin", Md5Of(d), std::to_string(d.size())}});
    // An earlier check was cut off after the first bytes of each file.
    ASSERT_TRUE(selfupdate::MakeFolders(world.folder + L"\\", L"SelfUpdate\\1.0.0.1\\bin"));
    testkit::WriteFileBytes(world.Staging() + L"c.bin", c.substr(0, 123456));
    testkit::WriteFileBytes(world.Staging() + L"bin\\d.bin", d.substr(0, 5000));
    ASSERT_TRUE(RunChild(world.folder, "stage", "SelfUpdateChild.StagesOnce", kOneCheck));
    EXPECT_NE(std::string::npos, ReadText(world.folder + L"\\outcome.txt").find("staged"));
    EXPECT_EQ(c, ReadText(world.Staging() + L"c.bin"));
    EXPECT_EQ(d, ReadText(world.Staging() + L"bin\\d.bin"));
    std::vector<std::string> log = NginxLog("/" + world.branch + "files/");
    ASSERT_EQ(2u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("/c.bin range=\"bytes=123456-\" status=206 bytes=176544")) << log[0];
    EXPECT_NE(std::string::npos, log[1].find("/d.bin range=\"bytes=5000-\" status=200 bytes=200000")) << log[1];
}

TEST_F(SelfUpdateParent, DownloadAFileLongerThanListedIsBrokenOffAtOnce) {
    ChildWorld world(L"su-ceiling", "ceiling");
    // 150 MB where the list says 10 bytes (a sparse file: it costs the disk nothing).
    const LONGLONG kServed = 150ll << 20;
    WriteServed(world.branch + "files/big.bin", "");
    std::wstring big = servers.root + Wide(world.branch) + L"files\\big.bin";
    for (wchar_t& ch : big) ch = ch == L'/' ? L'\\' : ch;
    {
        vantor::UniqueHandle file(CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = kServed;
        ASSERT_TRUE(file && SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
    }
    world.PublishList({{world.Url("big.bin"), "big.bin", Md5Of("0123456789"), "10"}});
    ASSERT_TRUE(RunChild(world.folder, "stage", "SelfUpdateChild.StagesOnce", kOneCheck));
    DeleteFileW(big.c_str());
    EXPECT_NE(std::string::npos, ReadText(world.folder + L"\\outcome.txt").find("failed"));
    EXPECT_FALSE(Exists(world.Staging() + L"big.bin"));
    std::vector<std::string> log = NginxLogOf("/" + world.branch + "files/big.bin", 3);
    ASSERT_EQ(3u, log.size()) << "three attempts";
    for (const std::string& line : log) {
        size_t at = line.find("bytes=", line.find("status="));
        ASSERT_NE(std::string::npos, at) << line;
        // What the server got out before the transfer was broken off: the socket buffers
        // (a reader that stops after its first chunk leaves nginx at about 4 MB here) and
        // a few chunks, not the file.
        EXPECT_LT(std::stoll(line.substr(at + 6)), 8ll << 20) << line;
    }
}

// ------------------------------------------------------------------ the monitor's life

// The user logs off while a download runs (the host's stop comes from inside the check)
// and logs on again at once: the new session has its monitor.
int g_stopResult = -1, g_beginResult = -1, g_windows = -1;

void CALLBACK LogOffAndOn(HWND, UINT, UINT_PTR timer, DWORD) {
    if (selfupdate::FileBytes(ChildStaging("1.0.0.1") + L"slow.bin") < 100000) return;
    KillTimer(nullptr, timer);
    g_stopResult = g_su->Stop();
    g_beginResult = g_su->Begin();
    g_windows = MonitorWindows();
}

TEST(SelfUpdateChild, LogOffAndOnDuringADownload) {
    if (!ChildMode("relog")) GTEST_SKIP() << "child run only";
    SignIn();
    Exports su;
    g_su = &su;
    ASSERT_TRUE(Begun(su));
    SetTimer(nullptr, 0, 50, &LogOffAndOn);
    ASSERT_TRUE(PumpUntil([] { return g_beginResult != -1; }, 30000));
    EXPECT_EQ(0, g_stopResult) << "the stopped check is still on the stack";
    EXPECT_EQ(1, g_beginResult);
    EXPECT_EQ(1, g_windows);
    // The new monitor's check runs once the old one has left the stack, and resumes the file.
    EXPECT_TRUE(PumpUntil([] { return Complete("1.0.0.1"); }, 30000));
    EXPECT_EQ(1, MonitorWindows());
    EXPECT_EQ(1, su.Stop());
    EXPECT_EQ(0, MonitorWindows());
    ChildDone();
}

TEST_F(SelfUpdateParent, MonitorLifeALogOnAfterAStopInsideACheckGetsAMonitor) {
    ChildWorld world(L"su-relog", "relog");
    std::string bytes = Pattern(800000, 51);
    world.PublishList({{world.Serve("slow.bin", bytes, "/slow"), "slow.bin", Md5Of(bytes)}});
    ASSERT_TRUE(RunChild(world.folder, "relog", "SelfUpdateChild.LogOffAndOnDuringADownload", kOneCheck));
    EXPECT_EQ(bytes, ReadText(world.Staging() + L"slow.bin"));
    std::vector<std::string> log = NginxLogOf("/slow/" + world.branch, 2);
    ASSERT_EQ(2u, log.size());
    EXPECT_TRUE(AnyLineHolds(log, "range=\"-\"")) << log[0] << "\n" << log[1];
    EXPECT_TRUE(AnyLineHolds(log, "status=206")) << log[0] << "\n" << log[1];
}

}  // namespace
