// The wizard's browser container against the browser stand-in: in-place activation, the
// events it hears (the top document told from a frame), cancelled event URLs, the UI
// handler and script calls by name.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BrowserSite.h"
#include "PageBridge.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"

using namespace enrolwizard;

namespace {

struct HeardEvents : BrowserEvents {
    std::vector<std::string> before;
    std::vector<std::pair<bool, std::wstring>> complete;

    bool OnBeforeNavigate(const VARIANT* url) override {
        std::string text;
        pagebridge::VariantText(url, &text);
        before.push_back(text);
        return pagebridge::DecideWizardNavigation(url).verdict == pagebridge::Verdict::Event;
    }
    void OnDocumentComplete(bool top, const std::wstring& url) override { complete.emplace_back(top, url); }
    bool Completed(bool top, const std::wstring& url) const {
        for (const auto& c : complete)
            if (c.first == top && c.second == url) return true;
        return false;
    }
};

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

class EnrolBrowserSite : public ::testing::Test {
protected:
    void SetUp() override {
        ole_ = OleInitialize(nullptr);
        trace_ = testkit::FreshDir(L"enrolwizard-site") + L"trace.txt";
        SetEnvironmentVariableW(L"BROWSERCTL_TRACE", trace_.c_str());
        base_ = vantor::AnsiToWide(testkit::PublishPages(L"enrolwizard"));
        ASSERT_FALSE(base_.empty());
        host_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, host_);
    }
    void TearDown() override {
        if (host_) DestroyWindow(host_);
        SetEnvironmentVariableW(L"BROWSERCTL_TRACE", nullptr);
        if (SUCCEEDED(ole_)) OleUninitialize();
    }
    std::string Trace() const { return testkit::ReadFileBytes(trace_); }

    HRESULT ole_ = E_FAIL;
    std::wstring trace_, base_;
    HWND host_ = nullptr;
};

TEST_F(EnrolBrowserSite, LoadsPagesTellsFramesFromTheTopAndCallsPageFunctions) {
    HeardEvents events;
    {
        BrowserSite site(host_, &events);
        ASSERT_EQ(S_OK, site.Open(RECT{0, 0, 400, 300}));
        // The control's window sits in the host.
        EXPECT_NE(nullptr, FindWindowExW(host_, nullptr, L"BrowserCtlView", nullptr));

        std::wstring framed = base_ + L"framed.htm";
        EXPECT_EQ(S_OK, site.Navigate(L"about:blank"));
        EXPECT_EQ(S_OK, site.Navigate(framed));
        ASSERT_TRUE(PumpUntil([&] { return events.Completed(true, framed); })) << Trace();
        EXPECT_TRUE(events.Completed(true, L"about:blank"));
        EXPECT_TRUE(events.Completed(false, base_ + L"loginprotocol.htm")) << Trace();

        UiHandler ui;
        EXPECT_EQ(S_OK, site.SetUiHandler(&ui));
        EXPECT_NE(std::string::npos, Trace().find("uihandler set " + vantor::WideToAnsi(framed) + " flags=0x00200004"))
            << Trace();

        EXPECT_EQ(S_OK, site.CallScript(L"JS_Answer", {testkit::Ansi("一"), "two"}));
        EXPECT_NE(std::string::npos, Trace().find("script JS_Answer(\"一\",\"two\") -> true")) << Trace();
        // A function the page does not have is skipped.
        EXPECT_TRUE(FAILED(site.CallScript(L"JS_RegisterUserSucceed", {})));
        EXPECT_NE(std::string::npos, Trace().find("script JS_RegisterUserSucceed() -> false")) << Trace();

        // An event URL is cancelled: nothing loads for it.
        size_t completions = events.complete.size();
        std::wstring event = L"Event:<Element%20idevent=\"9\">x</Element>";
        EXPECT_EQ(S_OK, site.Navigate(event));
        PumpUntil([] { return false; }, 300);
        EXPECT_EQ(completions, events.complete.size());
        EXPECT_EQ(vantor::WideToAnsi(event), events.before.back());
        EXPECT_NE(std::string::npos, Trace().find("BeforeNavigate2 top " + vantor::WideToAnsi(event) + " -> cancel"));
        site.Close();
        EXPECT_EQ(nullptr, FindWindowExW(host_, nullptr, L"BrowserCtlView", nullptr));
        // Closed: the browser is gone and nothing more is heard.
        EXPECT_EQ(E_UNEXPECTED, site.Navigate(framed));
    }
    EXPECT_NE(std::string::npos, Trace().find("close")) << Trace();
}

TEST_F(EnrolBrowserSite, OffersAFrameAndOnlyTheInterfacesItHas) {
    UiHandler ui;
    void* got = nullptr;
    EXPECT_EQ(E_NOINTERFACE, ui.QueryInterface(IID_IDispatch, &got)) << "the UI handler is no dispatch interface";
    EXPECT_EQ(nullptr, got);
    EXPECT_EQ(S_OK, ui.QueryInterface(IID_IDocHostUIHandler, &got));

    HeardEvents events;
    BrowserSite site(host_, &events);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{sizeof info};
    ASSERT_EQ(S_OK, site.GetWindowContext(&frame, &doc, &pos, &clip, &info));
    ASSERT_NE(nullptr, frame) << "an in-place object gets a frame";
    HWND window = nullptr;
    EXPECT_EQ(S_OK, frame->GetWindow(&window));
    EXPECT_EQ(GetAncestor(host_, GA_ROOT), window);
    EXPECT_EQ(info.hwndFrame, window);
    frame->Release();
}

}  // namespace
