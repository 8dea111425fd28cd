// PinIcon needs a notification area: the desktop probe runs inside a Wine desktop of its
// own (its taskbar holds one) and reports in GoogleTest's XML form, read back here. The
// exports' refusals need no shell and are checked in this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Handles.h"
#include "ModulePath.h"
#include "PinIcon.h"
#include "TestSupport.h"

namespace {

// The number in attribute `name` of the report's first element that has it; -1 if none.
int ReportNumber(const std::string& report, const std::string& element, const std::string& name) {
    size_t start = report.find("<" + element + " ");
    if (start == std::string::npos) return -1;
    size_t end = report.find('>', start);
    size_t at = report.find(" " + name + "=\"", start);
    if (at == std::string::npos || at > end) return -1;
    return std::atoi(report.c_str() + at + name.size() + 3);
}

TEST(PinIcon, ExportsRefuseWhatTheyDidNotHandOut) {
    vantor::UniqueModule module(vantor::LoadProgramLibrary(L"PinIcon.dll"));
    auto create = vantor::ProcAddress<CreateTrayProc>(module.get(), "CreateTray");
    auto handle = vantor::ProcAddress<HandleMessageProc>(module.get(), "HandleMessage");
    auto remove = vantor::ProcAddress<DeleteTrayProc>(module.get(), "DeleteTray");
    ASSERT_TRUE(create && handle && remove);
    EXPECT_EQ(nullptr, create(nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, handle(nullptr, 0, WM_RBUTTONUP));
    EXPECT_EQ(-1, handle(nullptr, 0, WM_LBUTTONDBLCLK));
    PinIconTray stranger = {};
    EXPECT_EQ(-1, handle(&stranger, 0, WM_RBUTTONUP));
    EXPECT_FALSE(remove(nullptr));
    EXPECT_FALSE(remove(&stranger));
}

TEST(PinIcon, BehavesInsideADesktopWithANotificationArea) {
    std::wstring dir = testkit::FreshDir(L"pinicon-desktop");
    std::wstring report = dir + L"report.xml";
    std::wstring arguments = L"/desktop=pinicon" + std::to_wstring(GetCurrentProcessId()) + L",1024x768 " +
                             testkit::ProgramDir() + L"pinicon_desktop_probe.exe --gtest_output=xml:" + report;
    DWORD code = testkit::RunProgram(L"C:\\windows\\explorer.exe", arguments, testkit::ProgramDir(), {}, 100000);
    ASSERT_NE(testkit::kProgramDidNotStart, code);
    ASSERT_NE(testkit::kProgramTimedOut, code);

    std::string xml = testkit::ReadFileBytes(report);
    ASSERT_FALSE(xml.empty()) << "the probe wrote no report";
    EXPECT_EQ(6, ReportNumber(xml, "testsuites", "tests")) << xml;
    EXPECT_EQ(0, ReportNumber(xml, "testsuites", "failures")) << xml;
    EXPECT_EQ(0, ReportNumber(xml, "testsuites", "errors")) << xml;
    EXPECT_EQ(0, ReportNumber(xml, "testsuites", "disabled")) << xml;
    EXPECT_EQ(std::string::npos, xml.find("result=\"skipped\"")) << "nothing may be skipped\n" << xml;
    EXPECT_EQ(std::string::npos, xml.find("<skipped")) << xml;
    EXPECT_FALSE(testkit::ReadFileBytes(testkit::ProgramDir() + L"screenshots\\pinicon-menu.bmp").empty());
}

}  // namespace
