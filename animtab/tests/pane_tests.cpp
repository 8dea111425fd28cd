// The animated tab in the real container, signed in against the platform stand-in: the
// movie control stand-in plays a movie whose "fscommand" lines reach the command handler.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

using Lines = testkit::PaneRig::Lines;

const int kPane = 30;

std::string Dump(const Lines& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

size_t Count(const Lines& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

bool Holds(const Lines& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// `feePage`: the fee page address the platform gives, none when empty.
std::string Platform(bool loginWorks, const std::string& feePage) {
    std::string script = "[Customer]\r\naccount=anim01\r\n[Suite]\r\nid=ANIM\r\n[Services]\r\nlist=19\r\n"
                         "[Service.19]\r\nname=x\r\nstate=1\r\nlocator=http://127.0.0.1/service/19\r\ncodes=0\r\n"
                         "[Catalog]\r\ncount=2\r\n"
                         "[Board.0]\r\nname=b0\r\ndesc=\r\nres=board-0\r\nfourth=\r\nsubjects=0\r\n"
                         "[Board.1]\r\nname=b6\r\ndesc=\r\nres=board-6\r\nfourth=\r\nsubjects=0\r\n"
                         "[Notice]\r\ncount=0\r\n";
    if (!loginWorks) script += "[Login2]\r\nseq=-1003\r\n";
    if (!feePage.empty()) script += "[DIY]\r\npayfeeurl=" + feePage + "\r\n";
    return script;
}

const char kNavigation[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config><navigation>"
    "<service1><service status=\"1\"/></service1><service2><service status=\"1\"/></service2>"
    "<service3><service status=\"1\"/></service3><service4><service status=\"1\"/></service4>"
    "<service5><service status=\"0\"/></service5><service6><service status=\"1\"/></service6>"
    "<service7><service status=\"0\"/></service7><service8><service status=\"0\"/></service8>"
    "<service9><service status=\"0\"/></service9></navigation></config>";

// A pane whose configured movie sends these commands after it starts to play.
void Movie(testkit::PaneRig& rig, const std::string& commands) {
    rig.Pane(kPane, L"AnimTab.dll");
    std::wstring settings = rig.dir() + L"resource\\TabDeck\\config.cfg";
    CreateDirectoryW((rig.dir() + L"resource\\TabDeck").c_str(), nullptr);
    CreateDirectoryW((rig.dir() + L"resource\\TabDeck\\flash").c_str(), nullptr);
    WritePrivateProfileStringW(L"ui_flash", L"display", L"commands", settings.c_str());
    WritePrivateProfileStringW(L"ui_flash", L"commands", L"commands.txt", settings.c_str());
    WritePrivateProfileStringW(L"ui_flash", L"ui_flash", L"quiet.txt", settings.c_str());
    rig.Write(L"resource\\TabDeck\\commands.txt", commands);
    rig.Write(L"resource\\TabDeck\\flash\\config.xml", kNavigation);
}

std::string Statuses(const std::string& xml) {
    std::string all;
    for (int i = 1; i <= 9; ++i) {
        std::string open = "<service" + std::to_string(i) + "><service status=\"";
        size_t at = xml.find(open);
        all += at == std::string::npos ? '-' : xml[at + open.size()];
    }
    return all;
}

class GameKey {
public:
    GameKey() {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)) return;
        DWORD one = 1;
        RegSetValueExW(key, L"Game", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        RegCloseKey(key);
    }
    ~GameKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kName); }

private:
    static constexpr const wchar_t* kName = L"SOFTWARE\\Vantor\\AnimPaneGame";
};

TEST(AnimPane, MovieCommandsOpenServicesAndTheFeePage) {
    GameKey game;
    testkit::PaneRig rig(L"animtab-pane");
    std::string twenty = "LoadService";
    for (int i = 1; i < 20; ++i) twenty += ",x";
    Movie(rig, "fscommand LoadService,a,b,c|x\r\nfscommand LoadService,a|\r\nfscommand " + twenty +
                   "|\r\nfscommand Pay|\r\nfscommand Other,1|\r\n");
    const std::string fee = "http://127.0.0.1:8600/pay/index.html?from=movie";
    rig.Platform(Platform(true, fee));
    std::wstring trace = rig.dir() + L"moviectl.log";
    std::string other = vantor::WideToAnsi(rig.dir() + L"other.txt");
    Lines t;
    {
        testkit::LoggedShellOpens opens(L"http", rig.dir() + L"CmdLog.exe");
        ASSERT_TRUE(opens.active());
        t = rig.Run("pump pump pump pump pump sendwide 30 1 " + other + " send 30 1 0 send 30 4 0 unloadplug 30 "
                    "loadplug 30 pump pump",
                    {{L"MOVIECTL_TRACE", trace}});
    }
    Lines movie = testkit::SplitLines(rig.Read(L"moviectl.log"));
    std::string d = vantor::EncodeText(rig.dir(), CP_UTF8);

    EXPECT_EQ(1u, Count(t, "TabDeck.dll OpenService a|c|b")) << Dump(t);
    EXPECT_FALSE(Holds(t, "OpenService a|null")) << Dump(t);
    for (const std::string& want :
         {std::string("FSCommand LoadService,a,b,c|x -> 0"), std::string("FSCommand LoadService,a| -> 0"),
          "FSCommand " + twenty + "| -> 0", std::string("FSCommand Pay| -> 0"), std::string("FSCommand Other,1| -> 0"),
          "LoadMovie 0 " + d + "other.txt (missing)",
          // after the container reloaded the pane, the entry the last window left configured
          "LoadMovie 0 " + d + "resource\\TabDeck\\quiet.txt (missing)"}) {
        EXPECT_EQ(1u, Count(movie, want)) << want << "\n" << Dump(movie);
    }
    // Played when the pane was made, loaded again by DoCommand(1, null); command 4 loads nothing.
    EXPECT_EQ(2u, Count(movie, "LoadMovie 0 " + d + "resource\\TabDeck\\commands.txt")) << Dump(movie);
    EXPECT_EQ(2u, Count(movie, "Play")) << "once for each pane made\n" << Dump(movie);
    EXPECT_TRUE(Holds(t, "unloadplug 30 -> 1")) << Dump(t);
    EXPECT_TRUE(Holds(t, "loadplug 30 -> 1")) << Dump(t);
    // The fee page opens outside, through the shell.
    EXPECT_EQ(1u, Count(rig.Launches(), "\"" + vantor::EncodeText(rig.dir(), CP_UTF8) + "CmdLog.exe\" \"" + fee + "\""))
        << Dump(rig.Launches());
    // Game key, boards 0 and 6: service7, service8, service5 and service9.
    EXPECT_EQ("000010111", Statuses(rig.Read(L"resource\\TabDeck\\flash\\config.xml")));
}

TEST(AnimPane, SampleMoviePlaysInTheTabManager) {
    testkit::PaneRig rig(L"animtab-deck");
    ASSERT_TRUE(rig.Copy(L"TabDeck.dll"));  // the tab manager stand-in that shows its tabs
    ASSERT_TRUE(rig.Copy(L"AnimTab.dll"));
    CreateDirectoryW((rig.dir() + L"Container").c_str(), nullptr);
    CreateDirectoryW((rig.dir() + L"Container\\-15").c_str(), nullptr);
    for (const wchar_t* file : {L"plugres.cfg", L"normal.bmp", L"hover.bmp", L"select.bmp", L"disable.bmp"}) {
        EXPECT_TRUE(rig.Copy(std::wstring(L"Container\\-15\\") + file));
    }
    rig.Write(L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-15\r\nSubPlugs=\r\n"
                                    "[PlugsLoadStyle]\r\n-15=immediately\r\n[PlugsModule]\r\n-15=AnimTab.dll\r\n");
    rig.Platform(Platform(true, ""));
    Lines t = rig.Run("show pump pump shot animtab-deck.bmp", {{L"MOVIECTL_TRACE", rig.dir() + L"moviectl.log"}});
    Lines movie = testkit::SplitLines(rig.Read(L"moviectl.log"));
    EXPECT_EQ(1u, Count(movie, "LoadMovie 0 " + vantor::EncodeText(rig.dir(), CP_UTF8) +
                                   "resource\\TabDeck\\flash\\welcome.txt"))
        << Dump(movie);
    EXPECT_TRUE(Holds(t, "PlugDriver.exe shot 1")) << Dump(t);
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    EXPECT_TRUE(CopyFileW((rig.dir() + L"animtab-deck.bmp").c_str(),
                          (testkit::ProgramDir() + L"screenshots\\animtab-deck.bmp").c_str(), FALSE));
}

// Closes the offline notice when it comes up, and notes that it did.
class NoticeWatch {
public:
    NoticeWatch() : thread_([this] {
        for (int i = 0; i < 400 && !stop_; ++i) {
            HWND box = FindWindowW(L"#32770", L"Vantor");
            if (box && box != last_) {
                last_ = box;
                text_ = Texts(box);
                ++seen_;
            }
            if (box) SendMessageTimeoutW(box, WM_COMMAND, IDOK, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
            Sleep(50);
        }
    }) {}
    ~NoticeWatch() {
        stop_ = true;
        thread_.join();
    }
    int seen() const { return seen_; }
    std::wstring text() const { return text_; }

private:
    static std::wstring Texts(HWND box) {
        std::wstring all;
        EnumChildWindows(box, AddText, reinterpret_cast<LPARAM>(&all));
        return all;
    }
    static BOOL CALLBACK AddText(HWND child, LPARAM out) {
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        *reinterpret_cast<std::wstring*>(out) += text;
        return TRUE;
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::wstring text_;
    HWND last_ = nullptr;
    std::thread thread_;
};

TEST(AnimPane, OfflineAccountIsToldAndAMissingFeePageOpensNothing) {
    {
        testkit::PaneRig rig(L"animtab-nofee");
        Movie(rig, "fscommand Pay|\r\n");
        rig.Platform(Platform(true, ""));
        rig.Run("pump pump pump", {{L"MOVIECTL_TRACE", rig.dir() + L"moviectl.log"}});
        Lines movie = testkit::SplitLines(rig.Read(L"moviectl.log"));
        EXPECT_EQ(1u, Count(movie, "FSCommand Pay| -> 0")) << Dump(movie);
        EXPECT_TRUE(rig.Launches().empty()) << Dump(rig.Launches());
    }
    testkit::PaneRig rig(L"animtab-offline");
    Movie(rig, "fscommand LoadService,a,b,c|\r\n");
    rig.Platform(Platform(false, "http://127.0.0.1/fee"));
    NoticeWatch watch;
    Lines t = rig.Run("pump pump pump pump pump pump", {{L"MOVIECTL_TRACE", rig.dir() + L"moviectl.log"}});
    Lines movie = testkit::SplitLines(rig.Read(L"moviectl.log"));
    EXPECT_EQ(1u, Count(movie, "FSCommand LoadService,a,b,c| -> -1")) << Dump(movie);
    EXPECT_FALSE(Holds(t, "OpenService")) << Dump(t);
    EXPECT_EQ(1, watch.seen());
    EXPECT_NE(std::wstring::npos, watch.text().find(L"当前网络未连接")) << vantor::WideToAnsi(watch.text());
    // No account: every service entry on.
    EXPECT_EQ("111111111", Statuses(rig.Read(L"resource\\TabDeck\\flash\\config.xml")));
}

}  // namespace

