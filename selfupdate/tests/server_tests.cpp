// The check steps with a real CNetHttp against the loopback nginx and the fault-injecting
// fake server: resumed and restarted transfers, wrong bodies, 404 and 416 replies.
#include <gtest/gtest.h>
#include <windows.h>

#include "StagingFiles.h"
#include "TestSupport.h"
#include "UpdateFixture.h"
#include "UpdateSteps.h"
#include "WebServers.h"

using namespace selfupdate;
using namespace sutest;

namespace {

const char kBuild[] = "1.0.0.1";

// One branch of the upgrade tree on nginx for one test: the description and list are
// served by nginx, the files by whatever URL each entry names.
struct ServedUpdate {
    std::string suite = UniqueSuite("srv");
    std::wstring folder;
    std::wstring staging;
    CheckSettings settings;

    // The upgrade address is on nginx, or with onFake on the fake server, whose replies
    // for the description and the list are queued, so that its files are on the same host.
    explicit ServedUpdate(const wchar_t* name, bool onFake = false) : onFake(onFake) {
        const WebServers& servers = WebServers::Get();
        std::string base = onFake ? servers.FakeUrl("/up/") : servers.NginxUrl("/update/");
        folder = MakeProgramFolder(name, base, kBuild);
        staging = StagingFolder(folder, Wide(kBuild));
        settings = SettingsFor(folder, base, suite, kBuild);
    }
    std::string Branch() const { return "update/" + suite + "/"; }
    void Publish(const std::vector<ListedFile>& files) {
        const WebServers& servers = WebServers::Get();
        if (onFake) {
            std::string dir = "/up/" + suite + "/" + kBuild + "/";
            ASSERT_TRUE(QueueReplies(dir + "update.cfg",
                                     {RawReply(200, DescriptionText(servers.FakeUrl(dir + "update.xml"), "1.0.0.2"))}));
            ASSERT_TRUE(QueueReplies(dir + "update.xml", {RawReply(200, ListText(files))}));
            return;
        }
        std::string dir = Branch() + kBuild + "/";
        WriteServed(dir + "update.cfg", DescriptionText(servers.NginxUrl("/" + dir + "update.xml"), "1.0.0.2"));
        WriteServed(dir + "update.xml", ListText(files));
    }
    bool onFake;
    // A file in this branch, its nginx URL.
    std::string Serve(const std::string& name, const std::string& bytes, const char* prefix = "") {
        WriteServed(Branch() + "files/" + name, bytes);
        return WebServers::Get().NginxUrl(std::string(prefix) + "/" + Branch() + "files/" + name);
    }
    void StagePartial(const std::wstring& dest, const std::string& bytes) {
        ASSERT_TRUE(MakeFolders(folder + L"\\", L"SelfUpdate\\" + Wide(kBuild)));
        ASSERT_TRUE(testkit::WriteFileBytes(staging + dest, bytes));
    }
    bool Complete() const {
        return GetPrivateProfileIntW(L"Download", L"Complete", 0, StagingMark(staging).c_str()) == 1;
    }
};

TEST(SelfUpdateServers, ResumesWithRangeAndCopesWithServersIgnoringIt) {
    ServedUpdate u(L"su-range");
    std::string c = Pattern(300000, 11), d = Pattern(200000, 12);
    u.Publish({{u.Serve("c.bin", c), "c.bin", Md5Of(c)}, {u.Serve("d.bin", d, "/norange"), "bin\\d.bin", Md5Of(d)}});
    // Interrupted earlier: the first bytes of each file are staged already.
    u.StagePartial(L"c.bin", c.substr(0, 123456));
    CreateDirectoryW((u.staging + L"bin").c_str(), nullptr);
    u.StagePartial(L"bin\\d.bin", d.substr(0, 5000));
    ASSERT_EQ(CheckOutcome::Staged, CheckWithNet(u.settings));
    EXPECT_TRUE(u.Complete());
    EXPECT_EQ(c, ReadText(u.staging + L"c.bin"));
    EXPECT_EQ(d, ReadText(u.staging + L"bin\\d.bin"));

    std::vector<std::string> log = NginxLog("/" + u.Branch());
    ASSERT_EQ(4u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("/" + u.Branch() + kBuild + "/update.cfg range=\"-\" status=200"));
    EXPECT_NE(std::string::npos, log[1].find("/update.xml range=\"-\" status=200"));
    EXPECT_NE(std::string::npos, log[2].find("/c.bin range=\"bytes=123456-\" status=206 bytes=176544")) << log[2];
    EXPECT_NE(std::string::npos, log[3].find("/d.bin range=\"bytes=5000-\" status=200 bytes=200000")) << log[3];
}

TEST(SelfUpdateServers, FakeServerFaults) {
    const WebServers& servers = WebServers::Get();
    ServedUpdate u(L"su-fake", true);
    std::string right = Pattern(40000, 21);
    std::string md5 = Md5Of(right);
    std::string path = "/up/" + u.suite + "/";

    // A wrong body, then the right one.
    ASSERT_TRUE(QueueReplies(path + "w1", {RawReply(200, Pattern(40000, 22)), RawReply(200, right)}));
    // A body cut short, then the rest for the range asked.
    std::string rest = right.substr(15000);
    ASSERT_TRUE(QueueReplies(path + "cut", {"HTTP/1.1 200 OK\r\nContent-Length: 40000\r\nConnection: close\r\n\r\n" +
                                                right.substr(0, 15000),
                                            RawReply(206, rest, "Content-Range: bytes 15000-39999/40000\r\n")}));
    // A complete but wrong file already staged; the fake answers its range with 416 and no body.
    WriteServed("su-" + u.suite + ".bin", right);
    u.StagePartial(L"whole.bin", Pattern(40000, 23));
    u.Publish({{servers.FakeUrl(path + "w1"), "w1.bin", md5},
               {servers.FakeUrl(path + "cut"), "cut.bin", md5},
               {servers.FakeUrl("/files/su-" + u.suite + ".bin"), "whole.bin", md5}});
    ASSERT_EQ(CheckOutcome::Staged, CheckWithNet(u.settings));
    EXPECT_EQ(right, ReadText(u.staging + L"w1.bin"));
    EXPECT_EQ(right, ReadText(u.staging + L"cut.bin"));
    EXPECT_EQ("bytes=15000-", RequestHeader(servers.LastRequest(path + "cut"), "Range"));
    EXPECT_EQ(right, ReadText(u.staging + L"whole.bin"));
    EXPECT_EQ("", RequestHeader(servers.LastRequest("/files/su-" + u.suite + ".bin"), "Range"));
    EXPECT_TRUE(u.Complete());
}

TEST(SelfUpdateServers, ATransferStopsAtItsEntrysSize) {
    const WebServers& servers = WebServers::Get();
    ServedUpdate u(L"su-size", true);
    std::string path = "/up/" + u.suite + "/";
    std::string right = "0123456789";
    // Far more than the list says, and more than the first chunk of a transfer.
    ASSERT_TRUE(QueueReplies(path + "big", {RawReply(200, Pattern(3u << 20, 31)), RawReply(200, right)}));
    u.Publish({{servers.FakeUrl(path + "big"), "big.bin", Md5Of(right), "10"}});
    ASSERT_EQ(CheckOutcome::Staged, CheckWithNet(u.settings));
    EXPECT_EQ(right, ReadText(u.staging + L"big.bin"));
    // An upgrade address elsewhere than its files refuses the list.
    ServedUpdate elsewhere(L"su-elsewhere");
    elsewhere.Publish({{servers.FakeUrl(path + "big"), "big.bin", Md5Of(right), "10"}});
    EXPECT_EQ(CheckOutcome::Failed, CheckWithNet(elsewhere.settings));
    EXPECT_FALSE(Exists(elsewhere.staging + L"big.bin"));
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(SelfUpdateServers, FailuresEndTheCheckWithinItsBound) {
    const WebServers& servers = WebServers::Get();
    std::string path = "/up/" + UniqueSuite("bound") + "/";
    ASSERT_TRUE(QueueReplies(path + "wrong", {RawReply(200, "never the right bytes")}));

    WNDCLASSW wc = {};
    wc.lpfnWndProc = &CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SelfUpdateTestCounter";
    RegisterClassW(&wc);
    HWND counter = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, counter);
    int handled = 0;
    SetWindowLongPtrW(counter, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));

    struct Case {
        std::string url;
        const char* what;
    };
    const Case cases[] = {{servers.FakeUrl(path + "wrong"), "always wrong"},
                          {servers.FakeUrl("/files/su-missing-" + path.substr(4, 12)), "404"},
                          {servers.FakeUrl(path + "x?length=1000&truncate=10"), "always cut"}};
    for (const Case& c : cases) {
        ServedUpdate u(L"su-bound", true);
        u.settings.retryPauseMs = 300;
        u.Publish({{c.url, "a.bin", Md5Of("the right bytes")}});
        PostMessageW(counter, WM_APP, 0, 0);
        int before = handled;
        DWORD elapsed = 0;
        EXPECT_EQ(CheckOutcome::Failed, CheckWithNet(u.settings, &elapsed)) << c.what;
        EXPECT_FALSE(u.Complete()) << c.what;
        EXPECT_GE(elapsed, 600u) << c.what << ": two pauses between three attempts";
        EXPECT_LT(elapsed, 8000u) << c.what;
        // The thread went on dispatching while the check waited.
        EXPECT_EQ(before + 1, handled) << c.what;
    }
    DestroyWindow(counter);

    // A stop during the pause between two attempts ends the check at once.
    ServedUpdate u(L"su-pause", true);
    u.settings.retryPauseMs = 20000;
    u.Publish({{servers.FakeUrl(path + "wrong"), "a.bin", Md5Of("the right bytes")}});
    DWORD elapsed = 0;
    EXPECT_EQ(CheckOutcome::Stopped, CheckWithNet(u.settings, &elapsed, 700));
    EXPECT_LT(elapsed, 5000u);
    EXPECT_FALSE(u.Complete());
}

}  // namespace
