// The browser stand-in in a test dialog, with pages from the loopback nginx and local
// files: what a pane sees of it, in the order it sees it, and the trace it writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "PageBridge.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TestPages.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"
#include "outside/SurfView.h"

namespace {

using Lines = std::vector<std::string>;

std::string Text(const VARIANT* v) {
    if (!v) return "null";
    if (v->vt == VT_I4) return std::to_string(v->lVal);
    if (v->vt == VT_BSTR) return vantor::WideToAnsi(v->bstrVal ? v->bstrVal : L"");
    return "vt" + std::to_string(v->vt);
}

std::string Ansi(const char* s) { return s ? std::string(s) : "null"; }

// A pane as the panes of the system are built: browser events and page events, with the
// navigation filter of the page bridge. Every call is recorded.
class Pane : public CSdkWebEventCallback, public CWebCustomEventCallback {
public:
    CSdkSurfView* browser = nullptr;
    Lines calls;
    bool cancelClose = false;

    HRESULT OnBeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                              VARIANT_BOOL* cancel) override {
        calls.push_back("BeforeNavigate2 " + Where(frame) + " " + Text(url));
        return pagebridge::FilterNavigation(url, cancel, this);
    }
    void OnDocumentComplete(IDispatch* frame, VARIANT* url) override {
        calls.push_back("DocumentComplete " + Where(frame) + " " + Text(url));
    }
    void OnCommandStateChange(long command, VARIANT_BOOL enable) override {
        calls.push_back("CommandStateChange " + std::to_string(command) + " " + std::to_string(enable));
    }
    void OnProgressChange(long max, long progress) override {
        calls.push_back("ProgressChange " + std::to_string(max) + " " + std::to_string(progress));
    }
    void OnNavigateComplete() override { calls.push_back("NavigateComplete"); }
    void OnNavigateError(IDispatch* frame, VARIANT* url, VARIANT*, VARIANT* status, VARIANT_BOOL) override {
        char code[16];
        sprintf(code, "%08lX", static_cast<unsigned long>(status->lVal));
        calls.push_back("NavigateError " + Where(frame) + " " + Text(url) + " " + code);
    }
    void OnDownloadComplete() override { calls.push_back("DownloadComplete"); }
    void OnNewWindow2(IDispatch**& window, VARIANT_BOOL*& cancel) override {
        calls.push_back("NewWindow2");
        *cancel = VARIANT_TRUE;
    }
    void OnWindowClosing(VARIANT_BOOL child, VARIANT_BOOL* cancel) override {
        calls.push_back("WindowClosing");
        if (cancelClose) *cancel = VARIANT_TRUE;
    }

    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4,
                                 const char* a5, const char* a6) override {
        calls.push_back("event6 " + std::to_string(id) + " " + Ansi(a1) + "|" + Ansi(a2) + "|" + Ansi(a3) + "|" +
                        Ansi(a4) + "|" + Ansi(a5) + "|" + Ansi(a6));
    }
    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4,
                                 const char* a5) override {
        calls.push_back("event5 " + std::to_string(id) + " " + Ansi(a1) + "|" + Ansi(a2) + "|" + Ansi(a3) + "|" +
                        Ansi(a4) + "|" + Ansi(a5));
    }
    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4) override {
        calls.push_back("event4 " + std::to_string(id) + " " + Ansi(a1) + "|" + Ansi(a2) + "|" + Ansi(a3) + "|" +
                        Ansi(a4));
    }
    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3) override {
        calls.push_back("event3 " + std::to_string(id) + " " + Ansi(a1) + "|" + Ansi(a2) + "|" + Ansi(a3));
    }
    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2) override {
        calls.push_back("event2 " + std::to_string(id) + " " + Ansi(a1) + "|" + Ansi(a2));
    }
    void OnHandleWevCustomEventA(int id, const char* a1) override {
        calls.push_back("event1 " + std::to_string(id) + " " + Ansi(a1));
    }

    void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2) override {
        calls.push_back("wide2 " + std::to_string(id) + " " + vantor::EncodeText(a1, CP_UTF8) + "|" +
                        vantor::EncodeText(a2, CP_UTF8));
    }

    std::string Where(IDispatch* frame) const {
        return !frame ? "nodispatch" : browser && browser->IsObject(frame) ? "top" : "frame";
    }
    int Count(const std::string& line) const {
        int n = 0;
        for (const auto& c : calls) n += c == line;
        return n;
    }
    Lines Take() {
        Lines out;
        out.swap(calls);
        return out;
    }
};

bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

INT_PTR CALLBACK DialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

std::string Dump(const Lines& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testkit::FreshDir(L"surfview");
        trace_ = dir_ + L"trace.log";
        SetEnvironmentVariableW(L"SURFVIEW_TRACE", trace_.c_str());
        base_ = testkit::PublishPages(L"surfview");
        ASSERT_FALSE(base_.empty());
        std::vector<WORD> tpl = testkit::DialogTemplate(320, 220, {});
        // Shown only for its picture: hiding a shown window costs Wine seconds without a
        // window manager.
        reinterpret_cast<DLGTEMPLATE*>(tpl.data())->style &= ~WS_VISIBLE;
        dialog_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(tpl.data()),
                                             nullptr, DialogProc, 0);
        ASSERT_NE(nullptr, dialog_);
        ASSERT_TRUE(InitSdkSurfView(GetModuleHandleW(nullptr)));
        ASSERT_TRUE(CSdkSurfView::Create(GetModuleHandleW(nullptr), &pane_.browser, dialog_, 1000, &pane_));
        RECT rc;
        GetClientRect(dialog_, &rc);
        MoveWindow(pane_.browser->m_hWnd, 0, 0, rc.right, rc.bottom, TRUE);
        pane_.browser->SetUIHandler(&ui_);
    }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
        ExitSdkSurfView(GetModuleHandleW(nullptr));
        SetEnvironmentVariableW(L"SURFVIEW_TRACE", nullptr);
    }

    // Navigates and waits until the top document has completed and the history buttons
    // have been told.
    void Load(const std::string& url) {
        int before = Completed();
        ASSERT_TRUE(pane_.browser->Navigate(url.c_str())) << url;
        ASSERT_TRUE(PumpUntil([&] { return Completed() > before; })) << url << "\n" << Dump(pane_.calls);
    }
    int Completed() const {
        int n = 0;
        for (const auto& c : pane_.calls) n += c.rfind("CommandStateChange 2", 0) == 0;
        return n;
    }
    void Click(const std::string& url, ULONG_PTR kind = SURFVIEW_COPYDATA_CLICK) {
        std::wstring wide = vantor::AnsiToWide(url);
        COPYDATASTRUCT data = {kind, static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)),
                               const_cast<wchar_t*>(wide.c_str())};
        SendMessageW(pane_.browser->m_hWnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
    Lines Trace() const { return testkit::SplitLines(testkit::ReadFileBytes(trace_)); }

    std::wstring dir_, trace_;
    std::string base_;
    HWND dialog_ = nullptr;
    Pane pane_;
    CSdkWebDocHostUIHandler ui_;
};

TEST_F(Browser, EventsComeInOrderAndDeclaredFunctionsAnswer) {
    std::string top = base_ + "events.html";
    std::vector<nimbrel::ki_string> none;
    EXPECT_FALSE(pane_.browser->CallJScript("JS_GetGrade", none, nullptr)) << "no document yet";
    ASSERT_TRUE(pane_.browser->Navigate(top.c_str()));
    EXPECT_EQ((Lines{"BeforeNavigate2 top " + top}), pane_.calls) << "inside Navigate, before anything is fetched";
    ASSERT_TRUE(PumpUntil([&] { return Completed() > 0; })) << Dump(pane_.calls);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ((Lines{"BeforeNavigate2 top " + top, "BeforeNavigate2 frame " + base_ + "sub.html",
                     "ProgressChange 200 10", "ProgressChange 200 100", "ProgressChange 200 200", "NavigateComplete",
                     "DocumentComplete frame " + base_ + "sub.html", "DocumentComplete top " + top,
                     "ProgressChange 200 -1", "DownloadComplete", "CommandStateChange 1 0", "CommandStateChange 2 0"}),
              pane_.Take());

    pagebridge::ScriptCall grade = pagebridge::CallPageScript(pane_.browser, "JS_GetGrade", {});
    EXPECT_TRUE(grade.called);
    EXPECT_EQ("3", grade.text);
    pagebridge::ScriptCall count = pagebridge::CallPageScript(pane_.browser, L"JS_Count", std::vector<std::wstring>{});
    EXPECT_TRUE(count.called);
    EXPECT_EQ("5", count.text);
    pagebridge::ScriptCall game =
        pagebridge::CallPageScript(pane_.browser, "addGame", {"G1", testkit::Ansi("游戏"), "C:/g/run.exe"});
    EXPECT_TRUE(game.called);
    EXPECT_EQ("", game.text);
    pagebridge::ScriptCall missing = pagebridge::CallPageScript(pane_.browser, "JS_Nothing", {"x"});
    EXPECT_FALSE(missing.called);
    EXPECT_EQ(S_OK, missing.hr);
    long cx = 0, cy = 0;
    EXPECT_TRUE(pane_.browser->GetDocSize(&cx, &cy));
    EXPECT_EQ(800, cx);
    EXPECT_EQ(1600, cy);
    pane_.browser->ScrollIE(0, 30);
    pane_.browser->RemoveScrollBar();

    // Keys the page takes itself, when aimed at the browser.
    MSG key = {pane_.browser->m_hWnd, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(pane_.browser->PreTranslateMessage(&key));
    key.wParam = 'A';
    EXPECT_FALSE(pane_.browser->PreTranslateMessage(&key));
    key.wParam = VK_DELETE;
    key.hwnd = dialog_;
    EXPECT_FALSE(pane_.browser->PreTranslateMessage(&key)) << "aimed at the dialog";

    Lines trace = Trace();
    for (const std::string& want : Lines{"init 1", "create 1000", "uihandler set", "navigate " + top, "BeforeNavigate2 top " + top + " -> proceed",
          "DocumentComplete frame1 " + base_ + "sub.html", "DocumentComplete top " + top, "CommandStateChange 2 0",
          std::string("script JS_GetGrade() -> true"), std::string("script JS_Count() -> true"),
          "script addGame(\"G1\",\"" + std::string("游戏") + "\",\"C:/g/run.exe\") -> true",
          std::string("script JS_Nothing(\"x\") -> false"), std::string("scroll 0 30"),
          std::string("removescrollbar"), std::string("key 9")}) {
        EXPECT_NE(std::find(trace.begin(), trace.end(), want), trace.end()) << want << "\n" << Dump(trace);
    }
}

TEST_F(Browser, ClicksOnEventLinksReachThePaneWithTheirTexts) {
    Load(base_ + "a.html");
    pane_.Take();
    Click("event:<element%20id=%221%22>x</element>");
    Click("event:<element%20id=%222%22%20a1=%22one%22%20a2=%22two%20words%22/>");
    Click("event:<element%20id=%223%22%20a1=%22a%22%20a2=%22b%22%20a3=%22c%22/>");
    Click("event:<element%20id=%224%22%20a1=%221%22%20a2=%222%22%20a3=%223%22%20a4=%224%22%20a5=%225%22%20"
          "a6=%22%D6%D0%22/>");
    Click("event:<element%20id=%225%22/>");  // no text: nothing called, still cancelled
    EXPECT_EQ((Lines{"BeforeNavigate2 top event:<element%20id=%221%22>x</element>", "event1 1 x",
                     "BeforeNavigate2 top event:<element%20id=%222%22%20a1=%22one%22%20a2=%22two%20words%22/>",
                     "event2 2 one|two words",
                     "BeforeNavigate2 top event:<element%20id=%223%22%20a1=%22a%22%20a2=%22b%22%20a3=%22c%22/>",
                     "event3 3 a|b|c",
                     "BeforeNavigate2 top event:<element%20id=%224%22%20a1=%221%22%20a2=%222%22%20a3=%223%22%20a4=%224%22"
                     "%20a5=%225%22%20a6=%22%D6%D0%22/>",
                     "event6 4 1|2|3|4|5|" + testkit::Ansi("中"),
                     "BeforeNavigate2 top event:<element%20id=%225%22/>"}),
              pane_.calls);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(9u, pane_.calls.size()) << "cancelled navigations load nothing\n" << Dump(pane_.calls);

    // Four and five texts, and the wide extractor, which pages do not reach through the filter.
    pane_.Take();
    Click("event:<element%20id=%2211%22%20a1=%22a%22%20a2=%22b%22%20a3=%22c%22%20a4=%22d%22/>");
    Click("event:<element%20id=%2212%22%20a1=%22a%22%20a2=%22b%22%20a3=%22c%22%20a4=%22d%22%20a5=%22e%22/>");
    EXPECT_TRUE(ExtractWebCustomEventW(L"<element id=\"13\" a1=\"\x4E2D\" a2=\"b\"/>", &pane_));
    EXPECT_FALSE(ExtractWebCustomEventW(L"<element id=\"13\"/>", &pane_));
    EXPECT_FALSE(ExtractWebCustomEventA(nullptr, &pane_));
    EXPECT_EQ(1, pane_.Count("event4 11 a|b|c|d"));
    EXPECT_EQ(1, pane_.Count("event5 12 a|b|c|d|e"));
    EXPECT_EQ(1, pane_.Count("wide2 13 \xE4\xB8\xAD|b")) << Dump(pane_.calls);

    // A request for a new window goes to the pane, which refuses it here.
    pane_.Take();
    Click(base_ + "b.html", SURFVIEW_COPYDATA_NEW_WINDOW);
    EXPECT_EQ((Lines{"NewWindow2"}), pane_.calls);
    Lines trace = Trace();
    EXPECT_EQ("NewWindow2 " + base_ + "b.html -> cancel", trace.back());

    // A page that sends its event once it is complete; a relative link loads a page.
    pane_.Take();
    Load(base_ + "onload.html");
    ASSERT_TRUE(PumpUntil([&] { return pane_.Count("event2 2 6|" + testkit::Ansi("中")) == 1; })) << Dump(pane_.calls);
    Click("b.html");
    ASSERT_TRUE(PumpUntil([&] { return pane_.Count("DocumentComplete top " + base_ + "b.html") == 1; }));
}

TEST_F(Browser, FailedLoadsReportTheirCodesAndFrame) {
    Load(base_ + "nothing-here.html");
    EXPECT_EQ(1, pane_.Count("NavigateError top " + base_ + "nothing-here.html 00000194")) << Dump(pane_.calls);
    std::string missing = vantor::WideToAnsi(dir_) + "missing.html";
    Load(missing);
    EXPECT_EQ(1, pane_.Count("NavigateError top " + missing + " 800C0005")) << Dump(pane_.calls);
    EXPECT_EQ(1, pane_.Count("NavigateComplete") - 1) << "the error page completes as well";
    std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x.html";
    Load(dead);
    EXPECT_EQ(1, pane_.Count("NavigateError top " + dead + " 800C0004")) << Dump(pane_.calls);
    pane_.Take();
    Load(base_ + "badframe.html");
    EXPECT_EQ(1, pane_.Count("NavigateError frame " + base_ + "not-there.html 00000194")) << Dump(pane_.calls);
    EXPECT_EQ(1, pane_.Count("DocumentComplete top " + base_ + "badframe.html"));
    std::vector<nimbrel::ki_string> none;
    EXPECT_FALSE(pane_.browser->CallJScript("JS_GetGrade", none, nullptr)) << "the new page declares none";

    // A local page by a path relative to the program folder.
    CopyFileW((testkit::PagesDir(L"surfview") + L"a.html").c_str(), (testkit::ProgramDir() + L"surfview-a.html").c_str(),
              FALSE);
    pane_.Take();
    Load("surfview-a.html");
    EXPECT_EQ(0, pane_.Count("NavigateError top surfview-a.html 800C0005")) << Dump(pane_.calls);
    DeleteFileW((testkit::ProgramDir() + L"surfview-a.html").c_str());
}

TEST_F(Browser, HistoryFollowsTheLoadedPages) {
    Load("about:blank");
    Load(base_ + "a.html");
    Load(base_ + "b.html");
    EXPECT_EQ("CommandStateChange 2 -1", pane_.calls.back());
    EXPECT_FALSE(pane_.browser->GoForward());
    pane_.Take();
    ASSERT_TRUE(pane_.browser->GoBack());
    ASSERT_TRUE(PumpUntil([&] { return Completed() > 0; }));
    EXPECT_EQ(1, pane_.Count("DocumentComplete top " + base_ + "a.html"));
    EXPECT_EQ(1, pane_.Count("CommandStateChange 1 -1"));
    EXPECT_EQ(1, pane_.Count("CommandStateChange 2 -1"));
    pane_.Take();
    ASSERT_TRUE(pane_.browser->GoForward());
    ASSERT_TRUE(PumpUntil([&] { return Completed() > 0; }));
    EXPECT_EQ(1, pane_.Count("DocumentComplete top " + base_ + "b.html"));
    EXPECT_EQ(1, pane_.Count("CommandStateChange 1 0"));
    pane_.Take();
    pane_.browser->ClearTraveLog();
    ASSERT_TRUE(PumpUntil([&] { return Completed() > 0; }));
    EXPECT_EQ((Lines{"CommandStateChange 1 0", "CommandStateChange 2 0"}), pane_.calls);
    EXPECT_FALSE(pane_.browser->GoBack());
}

TEST_F(Browser, AClosingPageEndsItsBrowserUnlessThePaneKeepsIt) {
    pane_.cancelClose = true;
    Load(base_ + "close.html");
    ASSERT_TRUE(PumpUntil([&] { return pane_.Count("WindowClosing") == 1; }));
    EXPECT_TRUE(IsWindow(pane_.browser->m_hWnd)) << "kept";
    pane_.cancelClose = false;
    HWND old = pane_.browser->m_hWnd;
    Load(base_ + "close.html");
    ASSERT_TRUE(PumpUntil([&] { return pane_.Count("WindowClosing") == 2; }));
    EXPECT_FALSE(IsWindow(old));
    Lines trace = Trace();
    EXPECT_EQ("destroy 1000", trace.back());
    // A pane makes a new one, as the home pane reloads.
    pane_.browser = nullptr;
    ASSERT_TRUE(CSdkSurfView::Create(GetModuleHandleW(nullptr), &pane_.browser, dialog_, 1000, &pane_));
    Load(base_ + "a.html");
    // Destroyed from inside its own event: nothing more comes, and nothing crashes.
    pane_.Take();
    struct Closer : public CSdkWebEventCallback {
        int after = 0;
        CSdkSurfView* browser = nullptr;
        void OnNavigateComplete() override { DestroyWindow(browser->m_hWnd); }
        void OnDocumentComplete(IDispatch*, VARIANT*) override { ++after; }
    } closer;
    ASSERT_TRUE(CSdkSurfView::Create(GetModuleHandleW(nullptr), &closer.browser, dialog_, 7, &closer));
    ASSERT_TRUE(closer.browser->Navigate("about:blank"));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(0, closer.after);
}

struct NavigationJob {
    CSdkSurfView* browser;
    bool navigated;
};

DWORD WINAPI NavigateFromWorker(LPVOID p) {
    NavigationJob* job = static_cast<NavigationJob*>(p);
    job->navigated = job->browser->Navigate("about:blank");
    return 0;
}

TEST_F(Browser, StartAndEndCallsMayBeUnbalanced) {
    ExitSdkSurfView(nullptr);
    ExitSdkSurfView(nullptr);
    ExitSdkSurfView(nullptr);
    EXPECT_TRUE(InitSdkSurfView(nullptr));
    CSdkSurfView* plain = nullptr;
    ASSERT_TRUE(CSdkSurfView::Create(nullptr, &plain, dialog_, 5, nullptr)) << "no callback, as the tip of the day";
    EXPECT_TRUE(plain->Navigate(L"about:blank"));
    EXPECT_FALSE(CSdkSurfView::Create(nullptr, &plain, nullptr, 5, nullptr));
    // Only the thread that made the browser drives it: events must come on that thread.
    NavigationJob job = {plain, true};
    HANDLE thread = CreateThread(nullptr, 0, NavigateFromWorker, &job, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_FALSE(job.navigated);
    Lines trace = Trace();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "exit 0"), trace.end());
    EXPECT_NE(std::find(trace.begin(), trace.end(), "create 5 without callback"), trace.end());
}

TEST_F(Browser, PictureOfAChinesePage) {
    SetWindowTextW(dialog_, L"SurfView");
    SetWindowPos(dialog_, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    Load(base_ + "chinese.html");
    pagebridge::ScriptCall grade = pagebridge::CallPageScript(pane_.browser, "JS_GetGrade", {});
    EXPECT_EQ(testkit::Ansi("三星"), grade.text) << "a GBK page's text";
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(300);
    testkit::Capture shot = testkit::CaptureWindow(dialog_);
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    EXPECT_TRUE(testkit::SaveBitmapFile(shot, testkit::ProgramDir() + L"screenshots\\surfview-page.bmp"));
    EXPECT_TRUE(shot.Holds(RGB(0, 70, 160))) << "the address line";
    EXPECT_TRUE(shot.Holds(RGB(0, 0, 0))) << "the title";
}

}  // namespace
