// The rig the pane suites run in: a signed-in container whose recording plug-ins and tab
// manager note what a pane sends them, and the command-line logger.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

bool Has(const testkit::PaneRig::Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Dump(const testkit::PaneRig::Lines& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

TEST(PaneRig, RecordingPlugInsAndTabManagerNoteWhatAPaneSends) {
    testkit::PaneRig rig(L"panerig");
    ASSERT_TRUE(rig.Copy(L"TracePlug.dll", L"pane21.dll"));
    rig.Pane(21, L"pane21.dll");
    rig.Platform("[Customer]\r\naccount=rig01\r\n[Suite]\r\nid=RIG\r\n[Services]\r\nlist=19\r\n"
                 "[Service.19]\r\nname=x\r\nstate=1\r\nlocator=http://127.0.0.1/service/19\r\ncodes=0\r\n"
                 "[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n");
    testkit::PaneRig::Lines t =
        rig.Run("post -13 3024 0 1 post -13 273 1827 0 post -3 2100 5 0 send 0 4 2 sendtext 0 7 " +
                testkit::Ansi("背景.bmp") + " style 1");
    for (const std::string& want :
         {std::string("PlugDriver.exe signin alive=0 login=0"),
          std::string("pane21.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0"),
          std::string("plug-13.dll Message 3024 w=0 l=1"), std::string("plug-13.dll Command 1827 code=0"),
          std::string("plug-3.dll Message 2100 w=5 l=0"), std::string("TabDeck.dll Background 2"),
          std::string("TabDeck.dll CustomBackground 背景.bmp"), std::string("TabDeck.dll ChangeStyle 1"),
          std::string("PlugDriver.exe style 1 -> 1"), std::string("PlugDriver.exe signoff 0")}) {
        EXPECT_TRUE(Has(t, want)) << want << "\n" << Dump(t);
    }
    EXPECT_NE(std::string::npos, rig.Read(L"zum.ini").find("rig01"));
}

TEST(PaneRig, CommandLineLoggerNotesLaunchesAndShellOpens) {
    std::wstring dir = testkit::FreshDir(L"cmdlog");
    std::wstring log = dir + L"cmdlog.txt";
    DWORD code = testkit::RunProgram(testkit::ProgramDir() + L"CmdLog.exe", L"-full \"My Game\"", dir,
                                     {{L"CMDLOG_FILE", log}, {L"CMDLOG_EXIT", L"3"}}, 30000);
    EXPECT_EQ(3u, code);
    std::vector<std::string> lines = testkit::SplitLines(testkit::ReadFileBytes(log));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + vantor::EncodeText(testkit::ProgramDir(), CP_UTF8) + "CmdLog.exe\" -full \"My Game\"", lines[0]);

    // A URL protocol opened by the shell reaches the logger with the whole address.
    ASSERT_TRUE(testkit::RegisterLoggingProtocol(L"vantorlog"));
    SetEnvironmentVariableW(L"CMDLOG_FILE", log.c_str());
    HINSTANCE opened = ShellExecuteW(nullptr, L"open", L"vantorlog://pay/index?x=1", nullptr, nullptr, SW_SHOWNORMAL);
    SetEnvironmentVariableW(L"CMDLOG_FILE", nullptr);
    EXPECT_GT(reinterpret_cast<INT_PTR>(opened), 32);
    for (int i = 0; i < 100 && testkit::SplitLines(testkit::ReadFileBytes(log)).size() < 2; ++i) Sleep(100);
    lines = testkit::SplitLines(testkit::ReadFileBytes(log));
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[1].find("vantorlog://pay/index?x=1")) << lines[1];
}

}  // namespace
