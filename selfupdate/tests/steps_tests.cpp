// The check and install steps over a scripted downloader, in program folders of their own:
// path rules, list reading, retries, digests, staging and the install.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>

#include "FileDigest.h"
#include "FileList.h"
#include "FolderLock.h"
#include "Handles.h"
#include "PathRules.h"
#include "StagingFiles.h"
#include "TestSupport.h"
#include "Text.h"
#include "UpdateFixture.h"
#include "UpdateSteps.h"

using namespace selfupdate;
using namespace sutest;

namespace {

// One reply of the scripted server.
struct Reply {
    enum Kind { Serve, Status, Cut } kind;
    std::string bytes;   // the whole file (Serve, Cut)
    int status = 0;      // Status
    size_t cutAt = 0;    // Cut: bytes of the file given before the break
};
Reply Serve(const std::string& bytes) { return {Reply::Serve, bytes}; }
Reply Status(int status) { return {Reply::Status, "", status}; }
Reply CutAt(const std::string& bytes, size_t at) { return {Reply::Cut, bytes, 0, at}; }

// A downloader that behaves as CNetHttp against a server with range support: a file
// already holding bytes gets only the rest appended, and one already as long as the
// reply is taken as whole (416 without a body).
class ScriptedDownloader : public Downloader {
public:
    std::map<std::wstring, std::vector<Reply>> replies;
    std::vector<std::pair<std::wstring, size_t>> calls;   // url, bytes the file held
    std::map<std::wstring, uint64_t> limits;              // url, the last limit asked
    int pauses = 0;
    bool broken = false;

    HttpFetchResult Download(const std::wstring& url, const std::wstring& path, uint64_t maxBytes) override {
        std::string held = testkit::ReadFileBytes(path);
        calls.push_back({url, held.size()});
        limits[url] = maxBytes;
        auto found = replies.find(url);
        if (found == replies.end() || found->second.empty()) return 404;
        Reply reply = found->second.front();
        if (found->second.size() > 1) found->second.erase(found->second.begin());
        if (reply.kind == Reply::Status) return reply.status;
        if (held.size() >= reply.bytes.size()) return HTTP_FETCH_OK;
        size_t end = reply.kind == Reply::Cut ? std::max(reply.cutAt, held.size()) : reply.bytes.size();
        // Broken off a chunk past the limit, as CNetHttp's progress lets the downloader do.
        bool over = end > maxBytes;
        if (over) end = static_cast<size_t>(std::min<uint64_t>(end, maxBytes + 16));
        if (!testkit::WriteFileBytes(path, held + reply.bytes.substr(held.size(), end - held.size()))) {
            return HTTP_FETCH_LOCAL_FILE_FAILED;
        }
        if (over) return HTTP_FETCH_LOCAL_FILE_FAILED;
        return reply.kind == Reply::Cut ? HTTP_FETCH_STOPPED : HTTP_FETCH_OK;
    }
    bool IsBreaked() const override { return broken; }
    bool Pause(DWORD) override {
        ++pauses;
        return !broken;
    }
    int CallsFor(const std::wstring& url) const {
        int n = 0;
        for (const auto& c : calls) n += c.first == url;
        return n;
    }
};

DigestFunction Md5() {
    std::wstring library = StagedMd5Library();
    return [library](const std::wstring& path, std::string* hex) { return FileDigest(library, path, hex); };
}

const char kBase[] = "http://up.test/update/";
const char kSuite[] = "S1";
const char kBuild[] = "1.0.0.1";

struct StepsWorld {
    std::wstring folder;
    std::wstring staging;
    CheckSettings settings;
    ScriptedDownloader net;
    std::map<std::wstring, std::string> files;   // url -> bytes, for the list

    explicit StepsWorld(const wchar_t* name) {
        folder = MakeProgramFolder(name, kBase, kBuild);
        staging = StagingFolder(folder, Wide(kBuild));
        settings = SettingsFor(folder, kBase, kSuite, kBuild);
    }
    std::wstring DescriptionUrl() const { return Wide(std::string(kBase) + kSuite + "/" + kBuild + "/update.cfg"); }
    // Description and list for these entries (dest, content).
    void Publish(const std::vector<std::pair<std::string, std::string>>& entries, const std::string& to = "1.0.0.2") {
        std::vector<ListedFile> listed;
        int n = 0;
        for (const auto& e : entries) {
            std::string url = "http://up.test/files/f" + std::to_string(++n);
            std::string md5 = Md5Of(e.second);
            // Digests in the list are compared without case.
            if (n % 2 == 0) std::transform(md5.begin(), md5.end(), md5.begin(), ::toupper);
            listed.push_back({url, e.first, md5});
            net.replies[Wide(url)] = {Serve(e.second)};
        }
        net.replies[DescriptionUrl()] = {Serve(DescriptionText("http://up.test/list.xml", to))};
        net.replies[L"http://up.test/list.xml"] = {Serve(ListText(listed))};
    }
    CheckOutcome Check() {
        std::vector<FileEntry> entries;
        return RunCheck(settings, net, Md5(), &entries);
    }
    InstallOutcome Install(const std::wstring& build = Wide(kBuild)) { return InstallStaged(folder, build, Md5()); }
    bool Complete() const {
        return GetPrivateProfileIntW(L"Download", L"Complete", 0, StagingMark(staging).c_str()) == 1;
    }
};

TEST(SelfUpdatePaths, DestAndBuildRules) {
    for (const wchar_t* good : {L"a.dll", L"bin\\x.dll", L"bin/x.dll", L"skins\\蓝色\\frame.bmp", L"update.cfg.bak",
                                L"bin\\update.cfg", L"con1.txt", L"a..b.txt"}) {
        EXPECT_TRUE(IsSafeDest(good)) << good;
    }
    for (const wchar_t* bad : {L"", L"..\\evil.dll", L"C:\\evil.dll", L"\\\\host\\x", L"\\x.dll", L"/x.dll",
                               L"bin\\..\\..\\x", L"a:b", L"update.cfg", L"UPDATE.XML", L"bin\\\\x", L"bin\\",
                               L".\\x", L"bin\\.", L"nul", L"bin\\COM1.dll", L"aux.txt", L"x.dll.", L"x ",
                               L"bin\\...\\x", L"a*b", L"a\x01b", L"\\\\?\\C:\\x", L"SelfUpdate",
                               L"selfupdate\\1.0.0.2\\update.cfg", L"SELFUPDATE/x.dll", L"Staged.cfg"}) {
        EXPECT_FALSE(IsSafeDest(bad)) << bad;
    }
    EXPECT_TRUE(IsSafeBuild(L"1.0.0.2"));
    EXPECT_TRUE(IsSafeBuild(L"build 7"));
    for (const wchar_t* bad : {L"", L"..\\x", L"..", L"a/b", L"a\\b", L"c:", L"1..2", L"a\tb", L"nul"}) {
        EXPECT_FALSE(IsSafeBuild(bad)) << bad;
    }
}

TEST(SelfUpdateList, ReadsEntriesWithoutCaseAndRefusesDocumentTypes) {
    std::wstring folder = testkit::FreshDir(L"su-list");
    vantor::ScopedCom com;
    testkit::WriteFileBytes(folder + L"a.xml",
                            "<?xml version=\"1.0\" encoding=\"GBK\"?><upgrade>"
                            "<file NAME=\"http://h/a\" Dest=\"bin\\a.dll\" MD5=\"ABC\" Size=\"12\" CMD=\"run\" "
                            "comment=\"" + testkit::Ansi("说明") + "\"/>"
                            "<item dest=\"skipped.dll\"/><!-- note --><x name=\"http://h/b\"/></upgrade>");
    std::vector<FileEntry> entries;
    ASSERT_TRUE(ReadFileList(folder + L"a.xml", &entries));
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(L"http://h/a", entries[0].name);
    EXPECT_EQ(L"bin\\a.dll", entries[0].dest);
    EXPECT_EQ(L"ABC", entries[0].md5);
    EXPECT_EQ(L"12", entries[0].size);
    EXPECT_EQ(L"run", entries[0].cmd);
    EXPECT_EQ(testkit::Wide("说明"), entries[0].comment);
    EXPECT_EQ(L"http://h/b", entries[1].name);

    testkit::WriteFileBytes(folder + L"secret.txt", "http://h/stolen");
    std::string secret = "file:///" + vantor::WideToAnsi(folder + L"secret.txt");
    for (char& c : secret) c = c == '\\' ? '/' : c;
    const std::string refused[] = {
        "<!DOCTYPE upgrade [<!ENTITY e SYSTEM \"" + secret + "\">]><upgrade><f name=\"&e;\"/></upgrade>",
        "<!DOCTYPE upgrade [<!ENTITY e \"http://h/x\">]><upgrade><f name=\"&e;\"/></upgrade>",
        "<other><f name=\"http://h/a\"/></other>",
        "<upgrade><f name=\"http://h/a\"></upgrade>",
        "",
    };
    for (const std::string& text : refused) {
        testkit::WriteFileBytes(folder + L"b.xml", text);
        entries.clear();
        EXPECT_FALSE(ReadFileList(folder + L"b.xml", &entries)) << text;
    }
    EXPECT_FALSE(ReadFileList(folder + L"missing.xml", &entries));
}

TEST(SelfUpdateDigest, FileDigestMatchesMd5AcrossBlockEdges) {
    std::wstring folder = testkit::FreshDir(L"su-digest");
    std::string hex;
    testkit::WriteFileBytes(folder + L"abc", "abc");
    ASSERT_EQ(DigestResult::Ok, FileDigest(StagedMd5Library(), folder + L"abc", &hex));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", hex);
    testkit::WriteFileBytes(folder + L"empty", "");
    ASSERT_EQ(DigestResult::Ok, FileDigest(StagedMd5Library(), folder + L"empty", &hex));
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", hex);
    for (size_t size : {511u, 512u, 513u, 131072u + 700u}) {
        std::string bytes = Pattern(size, static_cast<unsigned>(size));
        testkit::WriteFileBytes(folder + L"p", bytes);
        ASSERT_EQ(DigestResult::Ok, FileDigest(StagedMd5Library(), folder + L"p", &hex));
        EXPECT_EQ(Md5Of(bytes), hex) << size;
    }
    EXPECT_EQ(DigestResult::Missing, FileDigest(StagedMd5Library(), folder + L"none", &hex));
    {
        vantor::UniqueHandle held(CreateFileW((folder + L"abc").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                              nullptr));
        EXPECT_EQ(DigestResult::Unreadable, FileDigest(StagedMd5Library(), folder + L"abc", &hex));
    }
    EXPECT_EQ(DigestResult::NoLibrary, FileDigest(folder + L"Md5.dll", folder + L"abc", &hex));
    // A library without the functions is no digest library either.
    EXPECT_EQ(DigestResult::NoLibrary, FileDigest(testkit::ProgramDir() + L"WebFetch.dll", folder + L"abc", &hex));
}

TEST(SelfUpdateSteps, StagesListedFilesThenWaitsForInstall) {
    StepsWorld w(L"su-stage");
    w.Publish({{"a.dll", "alpha"}, {"bin\\b.dll", "beta"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    EXPECT_TRUE(w.Complete());
    EXPECT_EQ("alpha", ReadText(w.staging + L"a.dll"));
    EXPECT_EQ("beta", ReadText(w.staging + L"bin\\b.dll"));
    ASSERT_EQ(4u, w.net.calls.size());
    EXPECT_EQ(w.DescriptionUrl(), w.net.calls[0].first);
    EXPECT_EQ(L"http://up.test/list.xml", w.net.calls[1].first);
    EXPECT_EQ(L"http://up.test/files/f1", w.net.calls[2].first);
    EXPECT_EQ(L"http://up.test/files/f2", w.net.calls[3].first);

    // Complete: the next check asks for nothing.
    ASSERT_EQ(CheckOutcome::AlreadyStaged, w.Check());
    EXPECT_EQ(4u, w.net.calls.size());

    ASSERT_EQ(InstallOutcome::Installed, w.Install());
    EXPECT_EQ("alpha", ReadText(w.folder + L"\\a.dll"));
    EXPECT_EQ("beta", ReadText(w.folder + L"\\bin\\b.dll"));
    EXPECT_FALSE(Exists(w.folder + L"\\update.cfg"));
    EXPECT_FALSE(Exists(w.folder + L"\\update.xml"));
    EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
    EXPECT_FALSE(Exists(w.staging));
    EXPECT_TRUE(Exists(w.folder + L"\\SelfUpdate"));
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install(L"1.0.0.2"));
}

TEST(SelfUpdateSteps, RetriesAreBoundedAndWrongFilesGo) {
    {
        // Wrong, then right: the wrong bytes are deleted, so the retry starts afresh.
        StepsWorld w(L"su-retry");
        w.Publish({{"a.dll", "right bytes"}});
        w.net.replies[L"http://up.test/files/f1"] = {Serve("wrong bytes"), Serve("right bytes")};
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        EXPECT_EQ("right bytes", ReadText(w.staging + L"a.dll"));
        EXPECT_EQ(2, w.net.CallsFor(L"http://up.test/files/f1"));
        EXPECT_EQ(0u, w.net.calls.back().second);
        EXPECT_EQ(1, w.net.pauses);
    }
    {
        // Always wrong, or always failing: three attempts, then the check fails.
        StepsWorld w(L"su-bound");
        w.Publish({{"a.dll", "right"}});
        w.net.replies[L"http://up.test/files/f1"] = {Serve("wrong")};
        // Nor does a description that calls itself complete make it so.
        w.net.replies[w.DescriptionUrl()] = {
            Serve(DescriptionText("http://up.test/list.xml", "1.0.0.2") + "[Download]\r\nComplete=1\r\n")};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(3, w.net.CallsFor(L"http://up.test/files/f1"));
        EXPECT_FALSE(w.Complete());
        EXPECT_FALSE(Exists(w.staging + L"a.dll"));
        w.net.replies[L"http://up.test/files/f1"] = {Status(404)};
        w.net.calls.clear();
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(3, w.net.CallsFor(L"http://up.test/files/f1"));
        EXPECT_FALSE(w.Complete());
    }
    {
        // A cut transfer resumes after the bytes it left; a 416 starts the file again.
        StepsWorld w(L"su-resume");
        std::string bytes = Pattern(3000, 5);
        w.Publish({{"a.dll", bytes}});
        w.net.replies[L"http://up.test/files/f1"] = {CutAt(bytes, 1000), Status(416), Serve(bytes)};
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        EXPECT_EQ(bytes, ReadText(w.staging + L"a.dll"));
        ASSERT_EQ(5u, w.net.calls.size());
        EXPECT_EQ(1000u, w.net.calls[3].second);
        EXPECT_EQ(0u, w.net.calls[4].second);
    }
    {
        // No digest library: the check fails at once, the file not fetched again.
        StepsWorld w(L"su-nomd5");
        w.Publish({{"a.dll", "alpha"}});
        std::vector<FileEntry> entries;
        EXPECT_EQ(CheckOutcome::Failed,
                  RunCheck(w.settings, w.net,
                           [](const std::wstring&, std::string*) { return DigestResult::NoLibrary; }, &entries));
        EXPECT_EQ(1, w.net.CallsFor(L"http://up.test/files/f1"));
        EXPECT_FALSE(w.Complete());
    }
    {
        // Stopping breaks the retries off.
        StepsWorld w(L"su-stop");
        w.Publish({{"a.dll", "right"}});
        w.net.replies[L"http://up.test/files/f1"] = {Status(500)};
        w.net.broken = true;
        EXPECT_EQ(CheckOutcome::Stopped, w.Check());
    }
}

TEST(SelfUpdateSteps, DownloadsStopAtTheirCeilings) {
    {
        // A listed file goes no further than its size; one without a size has a ceiling.
        StepsWorld w(L"su-ceiling");
        w.Publish({{"a.dll", "0123456789"}, {"b.dll", "beta"}});
        std::string list = ListText({{"http://up.test/files/f1", "a.dll", Md5Of("0123456789"), "10"},
                                     {"http://up.test/files/f2", "b.dll", Md5Of("beta")}});
        w.net.replies[L"http://up.test/list.xml"] = {Serve(list)};
        w.net.replies[L"http://up.test/files/f1"] = {Serve(std::string(100000, 'x'))};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(10u, w.net.limits[L"http://up.test/files/f1"]);
        EXPECT_FALSE(Exists(w.staging + L"a.dll")) << "what passed the size is gone";
        EXPECT_FALSE(w.Complete());
        w.net.replies[L"http://up.test/files/f1"] = {Serve("0123456789")};
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        EXPECT_EQ(uint64_t{256} << 20, w.net.limits[L"http://up.test/files/f2"]);
    }
    {
        // Description and list past their small ceilings are refused unread.
        StepsWorld w(L"su-bigdesc");
        w.Publish({{"a.dll", "alpha"}});
        w.net.replies[w.DescriptionUrl()] = {
            Serve(DescriptionText("http://up.test/list.xml", "1.0.0.2") + std::string(100000, ';'))};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(0, w.net.CallsFor(L"http://up.test/list.xml"));
        w.Publish({{"a.dll", "alpha"}});
        std::string list = ListText({{"http://up.test/files/f1", "a.dll", Md5Of("alpha")}});
        w.net.replies[L"http://up.test/list.xml"] = {Serve(list.substr(0, list.size() - 12) + std::string(2u << 20, ' ') + "</upgrade>\r\n")};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(0, w.net.CallsFor(L"http://up.test/files/f1"));
        EXPECT_FALSE(Exists(w.staging + L"update.xml"));
    }
}

TEST(SelfUpdateSteps, ListedAddressesStayOnTheUpgradeHost) {
    EXPECT_TRUE(IsOnHostOf(L"http://UP.test/files/a?x=1", L"http://up.test/update/"));
    EXPECT_TRUE(IsOnHostOf(L"http://up.test:80/a", L"http://up.test/update/"));
    EXPECT_TRUE(IsOnHostOf(L"https://up.test:443/a", L"https://up.test:443/update/"));
    // WebFetch fetches "https://" in clear text on port 80 unless a port is named: so
    // does the check read it.
    EXPECT_TRUE(IsOnHostOf(L"https://up.test:80/a", L"https://up.test/update/"));
    EXPECT_FALSE(IsOnHostOf(L"https://up.test/a", L"https://up.test:443/update/"));
    for (const wchar_t* other : {L"http://up.test:8080/a", L"https://up.test/a", L"http://127.0.0.1/a",
                                 L"http://up.test.evil/a", L"http://up.test@127.0.0.2/a", L"http://up.test\\@x/a",
                                 L"ftp://up.test/a", L"file:///C:/a", L"up.test/a", L"http://up.test:0/a",
                                 L"http://up.test:99999/a", L"http://%75p.test/a", L"http:///a"}) {
        EXPECT_FALSE(IsOnHostOf(other, L"http://up.test/update/")) << other;
    }
    {
        // One address elsewhere refuses the list before any file is fetched.
        StepsWorld w(L"su-host");
        w.Publish({{"a.dll", "alpha"}, {"b.dll", "beta"}});
        std::string list = ListText({{"http://up.test/files/f1", "a.dll", Md5Of("alpha")},
                                     {"http://up.test:6082/secret", "b.dll", Md5Of("beta")}});
        w.net.replies[L"http://up.test/list.xml"] = {Serve(list)};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(2u, w.net.calls.size());
        // Nor is a list fetched from elsewhere.
        w.net.calls.clear();
        w.net.replies[w.DescriptionUrl()] = {Serve(DescriptionText("http://127.0.0.1/list.xml", "1.0.0.2"))};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        EXPECT_EQ(1u, w.net.calls.size());
    }
}

TEST(SelfUpdateSteps, HostileListsWriteNothingOutsideAndKeepEarlierStaging) {
    StepsWorld w(L"su-hostile");
    // An earlier, unfinished check left a partial file.
    ASSERT_TRUE(MakeFolders(w.folder + L"\\", L"SelfUpdate\\1.0.0.1"));
    testkit::WriteFileBytes(w.staging + L"keep.dll", "partial");
    std::vector<std::wstring> before = TreeOf(w.folder);
    for (const char* dest : {"..\\evil.dll", "C:\\evil.dll", "\\\\host\\x", "bin\\..\\..\\x", "a:b", "", "update.cfg",
                             "..\\..\\..\\evil.dll", "SelfUpdate\\1.0.0.2\\update.cfg"}) {
        w.net.calls.clear();
        w.Publish({{"good.dll", "good"}, {dest, "evil"}});
        EXPECT_EQ(CheckOutcome::Failed, w.Check()) << dest;
        EXPECT_FALSE(w.Complete()) << dest;
        EXPECT_EQ(2u, w.net.calls.size()) << dest << ": no file is fetched";
        EXPECT_EQ("partial", ReadText(w.staging + L"keep.dll"));
    }
    w.net.calls.clear();
    w.Publish({{"good.dll", "good"}}, "..\\x");
    EXPECT_EQ(CheckOutcome::Failed, w.Check());
    EXPECT_EQ(1u, w.net.calls.size()) << "the list is not fetched for a bad toversion";
    std::vector<std::wstring> after = TreeOf(w.folder);
    std::vector<std::wstring> expected = before;
    expected.push_back(L"SelfUpdate\\1.0.0.1\\update.cfg");
    expected.push_back(L"SelfUpdate\\1.0.0.1\\update.xml");
    expected.push_back(L"SelfUpdate\\monitor.lock");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, after);
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install());
    EXPECT_EQ("partial", ReadText(w.staging + L"keep.dll"));
    EXPECT_FALSE(Exists(w.folder + L"\\keep.dll"));

    // A bad current build names no staging folder at all.
    w.settings.build = L"..\\up";
    EXPECT_EQ(CheckOutcome::Failed, w.Check());
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install(L"..\\up"));

    // The next good list stages its own files only: the earlier partial file goes.
    w.settings.build = Wide(kBuild);
    w.Publish({{"good.dll", "good"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    EXPECT_FALSE(Exists(w.staging + L"keep.dll"));
    ASSERT_EQ(InstallOutcome::Installed, w.Install());
    EXPECT_FALSE(Exists(w.folder + L"\\keep.dll"));
    EXPECT_EQ("good", ReadText(w.folder + L"\\good.dll"));
}

TEST(SelfUpdateSteps, InstallPlacesNothingWhileATargetIsHeldThenDropsIt) {
    StepsWorld w(L"su-held");
    w.Publish({{"a.dll", "new a"}, {"bin\\b.dll", "new b"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    CreateDirectoryW((w.folder + L"\\bin").c_str(), nullptr);
    testkit::WriteFileBytes(w.folder + L"\\bin\\b.dll", "old b");
    {
        // Held without any sharing: neither overwritten nor renamed.
        vantor::UniqueHandle held(CreateFileW((w.folder + L"\\bin\\b.dll").c_str(), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(InstallOutcome::CopyFailed, w.Install());
        EXPECT_FALSE(Exists(w.folder + L"\\a.dll")) << "every file or none";
        EXPECT_EQ(L"1.0.0.1", ReadBuild(w.folder));
        EXPECT_TRUE(w.Complete());
        EXPECT_EQ("new b", ReadText(w.staging + L"bin\\b.dll"));
        EXPECT_EQ(CheckOutcome::AlreadyStaged, w.Check());
    }
    EXPECT_EQ("old b", ReadText(w.folder + L"\\bin\\b.dll"));
    ASSERT_EQ(InstallOutcome::Installed, w.Install());
    EXPECT_EQ("new b", ReadText(w.folder + L"\\bin\\b.dll"));
    EXPECT_EQ("new a", ReadText(w.folder + L"\\a.dll"));
    EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
    EXPECT_FALSE(Exists(w.staging));

    // Held at every start: after the last allowed start the staging goes, checks go on.
    StepsWorld v(L"su-held-long");
    v.Publish({{"a.dll", "new a"}});
    ASSERT_EQ(CheckOutcome::Staged, v.Check());
    testkit::WriteFileBytes(v.folder + L"\\a.dll", "old a");
    vantor::UniqueHandle held(CreateFileW((v.folder + L"\\a.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
    ASSERT_TRUE(held);
    for (int start = 1; start < kMaxInstallStarts; ++start) EXPECT_EQ(InstallOutcome::CopyFailed, v.Install());
    EXPECT_EQ(InstallOutcome::Dropped, v.Install());
    EXPECT_FALSE(Exists(v.staging));
    EXPECT_EQ(L"1.0.0.1", ReadBuild(v.folder));
    v.net.calls.clear();
    EXPECT_EQ(CheckOutcome::Staged, v.Check());
    EXPECT_EQ(3u, v.net.calls.size());
}

// A kill between two renames left a.dll swapped and b.dll renamed aside: the next start
// finishes the install, since every new copy was ready.
TEST(SelfUpdateSteps, AnInstallCutShortBetweenItsRenamesIsFinished) {
    StepsWorld w(L"su-cut");
    w.Publish({{"a.dll", "new a"}, {"b.dll", "new b"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    std::wstring pf = w.folder + L"\\";
    testkit::WriteFileBytes(pf + L"a.dll.old", "old a");
    testkit::WriteFileBytes(pf + L"a.dll", "new a");
    testkit::WriteFileBytes(pf + L"b.dll.old", "old b");
    testkit::WriteFileBytes(pf + L"b.dll.new", "new b");
    testkit::WriteFileBytes(pf + L"SelfUpdate\\install.cfg",
                            "[Install]\r\nStep=swapping\r\nStaging=1.0.0.1\r\nToVersion=1.0.0.2\r\n"
                            "File=a.dll|a.dll.new|a.dll.old\r\nFile=b.dll|b.dll.new|b.dll.old\r\n");
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install());
    EXPECT_EQ("new a", ReadText(pf + L"a.dll"));
    EXPECT_EQ("new b", ReadText(pf + L"b.dll"));
    EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
    EXPECT_FALSE(Exists(w.staging));
    std::vector<std::wstring> expected = {L"SelfUpdate\\monitor.lock", L"a.dll", L"b.dll", L"config\\commprof.cfg",
                                          L"config\\version.cfg"};
    EXPECT_EQ(expected, TreeOf(w.folder));
}

// What no install would leave: a journal under way that names no build moves nothing,
// and a staging kept by a file held at the end of its install goes at a later start.
TEST(SelfUpdateSteps, ALaterStartTrustsNoBogusJournalAndClearsWhatAnInstallLeft) {
    {
        StepsWorld w(L"su-bogus");
        w.Publish({{"a.dll", "new a"}});
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        ASSERT_TRUE(testkit::WriteFileBytes(w.folder + L"\\SelfUpdate\\install.cfg",
                                            "[Install]\r\nStep=swapping\r\nStaging=1.0.0.1\r\nToVersion=\r\n"));
        EXPECT_EQ(InstallOutcome::Installed, w.Install());
        EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
        EXPECT_EQ("new a", ReadText(w.folder + L"\\a.dll"));
    }
    StepsWorld w(L"su-left");
    w.Publish({{"a.dll", "new a"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    {
        // A scanner reads the staged file, sharing it for reading only, as the install ends.
        vantor::UniqueHandle scanner(CreateFileW((w.staging + L"a.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(scanner);
        EXPECT_EQ(InstallOutcome::Installed, w.Install());
        EXPECT_EQ("new a", ReadText(w.folder + L"\\a.dll"));
        EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
        ASSERT_TRUE(Exists(w.staging + L"a.dll"));
    }
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install(L"1.0.0.2"));
    EXPECT_FALSE(Exists(w.staging));
}

TEST(SelfUpdateSteps, ALoadedLibraryIsRenamedAsideAndGoesAtALaterStart) {
    StepsWorld w(L"su-loaded");
    ASSERT_TRUE(CopyFileW(StagedMd5Library().c_str(), (w.folder + L"\\Loaded.dll").c_str(), FALSE));
    HMODULE loaded = LoadLibraryW((w.folder + L"\\Loaded.dll").c_str());
    ASSERT_NE(nullptr, loaded);
    w.Publish({{"Loaded.dll", "new library"}, {"a.dll", "new a"}});
    ASSERT_EQ(CheckOutcome::Staged, w.Check());
    EXPECT_EQ(InstallOutcome::Installed, w.Install());
    EXPECT_EQ("new library", ReadText(w.folder + L"\\Loaded.dll"));
    EXPECT_EQ("new a", ReadText(w.folder + L"\\a.dll"));
    EXPECT_EQ(L"1.0.0.2", ReadBuild(w.folder));
    FreeLibrary(loaded);
    EXPECT_EQ(InstallOutcome::NothingStaged, w.Install(L"1.0.0.2"));
    std::vector<std::wstring> expected = {L"Loaded.dll", L"SelfUpdate\\monitor.lock", L"a.dll", L"config\\commprof.cfg",
                                          L"config\\version.cfg"};
    EXPECT_EQ(expected, TreeOf(w.folder)) << "the old library is gone";

    // A destination that names a folder is refused with its list.
    for (const auto& list : std::vector<std::vector<std::pair<std::string, std::string>>>{
             {{"config", "x"}}, {{"bin", "x"}, {"bin\\y.dll", "y"}}}) {
        w.net.calls.clear();
        w.settings.build = L"1.0.0.2";
        w.Publish(list, "1.0.0.3");
        w.net.replies[Wide(std::string(kBase) + kSuite + "/1.0.0.2/update.cfg")] = {
            Serve(DescriptionText("http://up.test/list.xml", "1.0.0.3"))};
        EXPECT_EQ(CheckOutcome::Failed, w.Check()) << list[0].first;
        EXPECT_EQ(2u, w.net.calls.size()) << list[0].first;
    }
}

DWORD WINAPI HoldFolder(void* parameter) {
    auto* world = static_cast<std::pair<std::wstring, HANDLE>*>(parameter);
    FolderLock lock(world->first);
    if (!lock.held()) return 1;
    WaitForSingleObject(world->second, INFINITE);
    return 0;
}

TEST(SelfUpdateSteps, OnlyVerifiedFilesAreInstalledByOneMonitorAtATime) {
    {
        // However often the server's description says complete, a file never verified
        // is not installed.
        StepsWorld w(L"su-mark");
        w.Publish({{"a.dll", "right"}});
        w.net.replies[L"http://up.test/files/f1"] = {Serve("wrong")};
        w.net.replies[w.DescriptionUrl()] = {Serve(DescriptionText("http://up.test/list.xml", "1.0.0.2") +
                                                   "[Download]\r\nComplete=1\r\n[Download]\r\nComplete=1\r\n")};
        EXPECT_EQ(CheckOutcome::Failed, w.Check());
        testkit::WriteFileBytes(w.staging + L"a.dll", "part");
        EXPECT_EQ(InstallOutcome::NothingStaged, w.Install());
        EXPECT_FALSE(Exists(w.folder + L"\\a.dll"));
    }
    {
        // A staged file changed after its check (another client's transfer cut it) drops
        // the staging at install; the next check fetches it again.
        StepsWorld w(L"su-recheck");
        w.Publish({{"a.dll", "new a"}, {"b.dll", "new b"}});
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        testkit::WriteFileBytes(w.staging + L"b.dll", "new");
        EXPECT_EQ(InstallOutcome::Dropped, w.Install());
        EXPECT_FALSE(Exists(w.folder + L"\\a.dll"));
        EXPECT_FALSE(Exists(w.folder + L"\\b.dll"));
        EXPECT_FALSE(Exists(w.staging));
        EXPECT_EQ(L"1.0.0.1", ReadBuild(w.folder));
        ASSERT_EQ(CheckOutcome::Staged, w.Check());
        EXPECT_EQ(InstallOutcome::Installed, w.Install());
        EXPECT_EQ("new b", ReadText(w.folder + L"\\b.dll"));
    }
    {
        // While another monitor (here a thread) works on the folder, neither step runs.
        StepsWorld w(L"su-lock");
        w.Publish({{"a.dll", "new a"}});
        vantor::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::pair<std::wstring, HANDLE> world = {w.folder + L"\\", release.get()};
        vantor::UniqueHandle other(CreateThread(nullptr, 0, &HoldFolder, &world, 0, nullptr));
        ASSERT_TRUE(other);
        Sleep(200);
        EXPECT_EQ(CheckOutcome::Busy, w.Check());
        EXPECT_TRUE(w.net.calls.empty());
        EXPECT_EQ(InstallOutcome::Busy, w.Install());
        // The same folder by the short name the system gives it.
        wchar_t shortFolder[MAX_PATH] = {};
        ASSERT_NE(0u, GetShortPathNameW(w.folder.c_str(), shortFolder, MAX_PATH));
        ASSERT_NE(w.folder, shortFolder);
        FolderLock byShortName(shortFolder);
        EXPECT_FALSE(byShortName.held());
        EXPECT_TRUE(byShortName.busy()) << byShortName.Why();
        SetEvent(release.get());
        WaitForSingleObject(other.get(), 5000);
        DWORD code = 1;
        GetExitCodeThread(other.get(), &code);
        EXPECT_EQ(0u, code);
        EXPECT_EQ(CheckOutcome::Staged, w.Check());
        // Only who may add files to the folder may open its lock: a reader of the folder
        // that held the lock open would keep every check away.
        ASSERT_TRUE(EveryoneMayRead(w.folder + L"\\SelfUpdate"));
        EXPECT_FALSE(EveryoneMayRead(w.folder + L"\\SelfUpdate\\monitor.lock"));
    }
    {
        // A lock an earlier client left open to every reader, and read-only, still locks,
        // and is closed to readers by the next check.
        StepsWorld w(L"su-oldlock");
        w.Publish({{"a.dll", "new a"}});
        std::wstring lockFile = w.folder + L"\\SelfUpdate\\monitor.lock";
        ASSERT_TRUE(MakeFolders(w.folder + L"\\", L"SelfUpdate"));
        ASSERT_TRUE(testkit::WriteFileBytes(lockFile, ""));
        ASSERT_TRUE(EveryoneMayRead(lockFile));
        ASSERT_TRUE(SetFileAttributesW(lockFile.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(CheckOutcome::Staged, w.Check());
        EXPECT_FALSE(EveryoneMayRead(lockFile));
        FolderLock lock(w.folder);
        EXPECT_TRUE(lock.held()) << lock.Why();
        EXPECT_TRUE(FolderLock(w.folder).busy());
    }
}

}  // namespace
