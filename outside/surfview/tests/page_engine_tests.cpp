// The page engine without a window: addresses, the event grammar, page declarations and
// the order of a session's events, on local files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "EventElement.h"
#include "PageAddress.h"
#include "PageDocument.h"
#include "PageFetch.h"
#include "PageSession.h"
#include "TestSupport.h"
#include "Text.h"

using namespace pageengine;

namespace {

TEST(PageAddress, AcceptsBlankFilesAndLoopbackPagesOnly) {
    const std::wstring dir = L"C:\\prog\\";
    struct Case {
        const wchar_t* text;
        AddressKind kind;
        const wchar_t* path;
        const wchar_t* host;
        int port;
        const wchar_t* object;
    } cases[] = {
        {L"about:blank", AddressKind::Blank, L"", L"", 80, L""},
        {L"ABOUT:BLANK", AddressKind::Blank, L"", L"", 80, L""},
        {L"Skins\\tip.html", AddressKind::File, L"C:\\prog\\Skins\\tip.html", L"", 80, L""},
        {L"D:/pages/a.html", AddressKind::File, L"D:\\pages\\a.html", L"", 80, L""},
        {L"file:///C:/a%20b/%E4%B8%AD.html", AddressKind::File, L"C:\\a b\\\x4E2D.html", L"", 80, L""},
        {L"file:C:\\x.html?q#h", AddressKind::File, L"C:\\x.html", L"", 80, L""},
        {L"http://127.0.0.1:8600/a/b.html?x=1#top", AddressKind::Http, L"", L"127.0.0.1", 8600, L"/a/b.html?x=1"},
        {L"HTTP://localhost", AddressKind::Http, L"", L"127.0.0.1", 80, L"/"},
        {L"http://127.9.8.7/", AddressKind::Http, L"", L"127.9.8.7", 80, L"/"},
        {L"http://example.com/", AddressKind::Refused, L"", L"", 80, L""},
        {L"http://10.0.0.1/", AddressKind::Refused, L"", L"", 80, L""},
        {L"http://127.0.0.1@10.0.0.1/", AddressKind::Refused, L"", L"", 80, L""},
        {L"http://127.0.0.1:99999/", AddressKind::Refused, L"", L"", 80, L""},
        {L"http://127.0.0.1.example.com/", AddressKind::Refused, L"", L"", 80, L""},
        {L"https://127.0.0.1/", AddressKind::Unsupported, L"", L"", 80, L""},
        {L"event:<element%20id=%221%22/>", AddressKind::Unsupported, L"", L"", 80, L""},
        {L"", AddressKind::Unsupported, L"", L"", 80, L""},
    };
    for (const Case& c : cases) {
        PageAddress a = ParseAddress(c.text, dir);
        std::string name = vantor::WideToAnsi(c.text);
        EXPECT_EQ(c.kind, a.kind) << name;
        if (c.kind == AddressKind::File) EXPECT_EQ(c.path, a.path) << name;
        if (c.kind == AddressKind::Http) {
            EXPECT_EQ(c.host, a.host) << name;
            EXPECT_EQ(c.port, a.port) << name;
            EXPECT_EQ(c.object, a.object) << name;
        }
    }
    EXPECT_EQ(L"http://127.0.0.1:81/d/sub.html", ResolveLink(L"http://127.0.0.1:81/d/top.html?x", L"sub.html"));
    EXPECT_EQ(L"http://127.0.0.1:81/sub.html", ResolveLink(L"http://127.0.0.1:81/d/top.html", L"/sub.html"));
    EXPECT_EQ(L"http://127.0.0.1:81/sub.html", ResolveLink(L"http://127.0.0.1:81", L"sub.html"));
    EXPECT_EQ(L"C:\\p\\sub.html", ResolveLink(L"C:\\p\\top.html", L"sub.html"));
    EXPECT_EQ(L"about:blank", ResolveLink(L"C:\\p\\top.html", L"about:blank"));
    EXPECT_EQ(L"D:\\x.html", ResolveLink(L"http://127.0.0.1/a", L"D:\\x.html"));
    // Addresses the engine does not reach fail without touching the network.
    EXPECT_EQ(kAccessDenied, Fetch(ParseAddress(L"http://192.0.2.1/", dir)).error);
    EXPECT_EQ(kUnknownProtocol, Fetch(ParseAddress(L"gopher://127.0.0.1/", dir)).error);
}

TEST(EventElement, ReadsAnIdAndOneToSixTexts) {
    struct Case {
        const char* element;
        bool ok;
        int id;
        std::vector<std::string> texts;
    } cases[] = {
        {"<element id=%221%22>x</element>", true, 1, {"x"}},
        {"<element id=\"2\">C:/Games/run me.exe -full</element>", true, 2, {"C:/Games/run me.exe -full"}},
        {"<element id=\"1\"></element>", true, 1, {""}},
        {"<element id=\"7\" a1=\"6\"/>", true, 7, {"6"}},
        {"<element id='-3' a1='a' a2=\"b c\" a3='&lt;&amp;&gt;' a4=\"\" a5=\"5\" a6=\"6\" />", true, -3,
         {"a", "b c", "<&>", "", "5", "6"}},
        {"<element a2=\"y\" id=\"4\" a1=\"x\"/>", true, 4, {"x", "y"}},
        {"<element%20id=%225%22%20a1=%22%E4%B8%AD%22/>", true, 5, {"\xE4\xB8\xAD"}},
        {"  <element id=\"1\">t</element >  ", true, 1, {"t"}},
        {"<element id=\"1\"/>", false, 0, {}},                                   // no text
        {"<element id=\"1\" a2=\"x\"/>", false, 0, {}},                          // gap
        {"<element id=\"1\" a1=\"1\" a2=\"2\" a3=\"3\" a4=\"4\" a5=\"5\" a6=\"6\" a7=\"7\"/>", false, 0, {}},
        {"<element a1=\"x\"/>", false, 0, {}},                                   // no id
        {"<element id=\"x1\" a1=\"x\"/>", false, 0, {}},
        {"<element id=\"99999999999\" a1=\"x\"/>", false, 0, {}},
        {"<element id=\"1\" id=\"2\" a1=\"x\"/>", false, 0, {}},
        {"<element id=\"1\" a1=\"x\">", false, 0, {}},
        {"<element id=\"1\"><b>x</b></element>", false, 0, {}},
        {"<elements id=\"1\" a1=\"x\"/>", false, 0, {}},
        {"<element id=1 a1=\"x\"/>", false, 0, {}},
        {"<element id=\"1\" a1=\"x\"/>trailing", false, 0, {}},
        {"", false, 0, {}},
    };
    for (const Case& c : cases) {
        EventElement e;
        e.id = 12345;
        bool ok = ParseEventElement(c.element, &e);
        EXPECT_EQ(c.ok, ok) << c.element;
        if (!ok) {
            EXPECT_EQ(12345, e.id) << "untouched: " << c.element;
            continue;
        }
        EXPECT_EQ(c.id, e.id) << c.element;
        EXPECT_EQ(c.texts, e.texts) << c.element;
    }
}

TEST(PageDocument, ReadsDeclarationsTextAndCharsets) {
    PageDocument p = ParsePage(L"x.html",
                               L"<html><head><title>T &amp; t</title><script>var a='<b>';</script></head><body>\n"
                               L"<!--surf size=800x1600--><!--surf func=JS_GetGrade return=\"3 stars\"-->\n"
                               L"<!--surf func=Num return-i4=-5 func=Plain-->"
                               L"<!--surf onload=event:<element%20id=%221%22%20a1=%226%22/>-->"
                               L"<!--surf frame=sub.html close--><!--surface func=NotMe-->"
                               L"<p>Hello&nbsp;<b>world</b></p>  <p>second   line</p></body></html>");
    EXPECT_TRUE(p.hasSize);
    EXPECT_EQ(800, p.width);
    EXPECT_EQ(1600, p.height);
    ASSERT_EQ(3u, p.functions.size());
    ASSERT_NE(nullptr, p.Function(L"JS_GetGrade"));
    EXPECT_EQ(L"3 stars", p.Function(L"JS_GetGrade")->text);
    EXPECT_EQ(PageFunction::Result::Number, p.Function(L"Num")->result);
    EXPECT_EQ(-5, p.Function(L"Num")->number);
    EXPECT_EQ(PageFunction::Result::None, p.Function(L"Plain")->result);
    EXPECT_EQ(nullptr, p.Function(L"NotMe"));
    EXPECT_EQ(nullptr, p.Function(L"js_getgrade")) << "names compare exactly";
    EXPECT_EQ(std::vector<std::wstring>{L"event:<element%20id=%221%22%20a1=%226%22/>"}, p.onload);
    EXPECT_EQ(std::vector<std::wstring>{L"sub.html"}, p.frames);
    EXPECT_TRUE(p.closes);
    EXPECT_EQ(L"T & t", p.title);
    EXPECT_EQ(L"Hello world\nsecond line", p.text);

    // The same Chinese text as GBK bytes (declared) and as UTF-8 bytes (not declared).
    std::string gbk = "<meta charset=\"gb2312\"><p>\xD6\xD0\xCE\xC4</p>";
    std::string utf8 = "<p>\xE4\xB8\xAD\xE6\x96\x87</p>";
    EXPECT_EQ(L"\x4E2D\x6587", ParsePage(L"", DecodePage(gbk)).text);
    EXPECT_EQ(L"\x4E2D\x6587", ParsePage(L"", DecodePage(utf8)).text);
    EXPECT_EQ(L"\x4E2D\x6587", ParsePage(L"", DecodePage("\xEF\xBB\xBF" + utf8)).text);
}

// Records the session's events as lines, and can cancel navigations to chosen URLs.
class Recorder : public PageSessionSink {
public:
    std::vector<std::string> lines;
    std::vector<std::wstring> refuse;
    int wakes = 0;
    PageSession* session = nullptr;

    bool OnBeforeNavigate(int frame, const std::wstring& url) override {
        bool cancel = false;
        for (const auto& r : refuse) cancel |= url == r;
        Add("before " + Frame(frame) + " " + Name(url) + (cancel ? " cancel" : ""));
        return cancel;
    }
    void OnProgress(long max, long progress) override {
        Add("progress " + std::to_string(max) + " " + std::to_string(progress));
    }
    void OnNavigateError(int frame, const std::wstring& url, long status) override {
        char code[16];
        sprintf(code, "%08lX", static_cast<unsigned long>(status));
        Add("error " + Frame(frame) + " " + Name(url) + " " + code);
    }
    void OnNavigateComplete() override { Add("navigated"); }
    void OnDocumentComplete(int frame, const std::wstring& url) override {
        Add("document " + Frame(frame) + " " + Name(url) + (session->Complete() ? " complete" : ""));
    }
    void OnDownloadComplete() override { Add("downloaded"); }
    void OnCommandState(long command, bool enable) override {
        Add("command " + std::to_string(command) + (enable ? " on" : " off"));
    }
    void OnWindowClosing() override { Add("closing"); }
    void OnFramesDone(const std::vector<int>& frames) override { Add("frames done " + std::to_string(frames.size())); }
    void Wake() override { ++wakes; }

    void RunAll() {
        for (int i = 0; i < 1000 && session->Step(); ++i) {
        }
    }
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        out.swap(lines);
        return out;
    }

private:
    void Add(const std::string& line) { lines.push_back(line); }
    static std::string Frame(int frame) { return frame == kTopFrame ? "top" : "frame"; }
    // The file name only: the folder differs per run.
    static std::string Name(const std::wstring& url) {
        std::string s = vantor::WideToAnsi(url);
        size_t slash = s.find_last_of("\\/");
        return s.compare(0, 6, "event:") == 0 || slash == std::string::npos ? s : s.substr(slash + 1);
    }
};

TEST(PageSession, EventsComeInOrderWithFramesOnloadAndClose) {
    std::wstring dir = testkit::FreshDir(L"page-session");
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"top.html",
                                        "<!--surf frame=sub.html frame=missing.html frame=skip.html func=F return=\"v\"-->"
                                        "<!--surf onload=event:<element%20id=%221%22>x</element>-->top"));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"sub.html", "sub"));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"bye.html", "<!--surf close-->bye"));
    Recorder r;
    PageSession s(&r, dir);
    r.session = &s;
    r.refuse = {L"skip.html", L"event:<element%20id=%221%22>x</element>"};

    EXPECT_TRUE(s.Navigate(L"top.html"));
    EXPECT_EQ(std::vector<std::string>{"before top top.html"}, r.Take()) << "synchronous, inside Navigate";
    EXPECT_EQ(1, r.wakes);
    EXPECT_EQ(nullptr, s.Current());
    r.RunAll();
    EXPECT_EQ((std::vector<std::string>{
                  "before frame sub.html", "before frame missing.html", "before frame skip.html cancel",
                  "progress 300 10", "progress 300 100", "progress 300 200", "progress 300 300",
                  "error frame missing.html 800C0005", "navigated", "document frame sub.html",
                  "document top top.html complete", "progress 300 -1", "downloaded", "command 1 off", "command 2 off",
                  "frames done 3", "before top event:<element%20id=%221%22>x</element> cancel"}),
              r.Take());
    ASSERT_NE(nullptr, s.Current());
    EXPECT_NE(nullptr, s.Current()->Function(L"F"));

    // A second navigation asked for while the first still loads follows it.
    EXPECT_TRUE(s.Navigate(L"missing-top.html"));
    EXPECT_TRUE(s.Navigate(L"bye.html"));
    r.RunAll();
    EXPECT_EQ((std::vector<std::string>{
                  "before top missing-top.html", "before top bye.html", "progress 100 10", "progress 100 100",
                  "error top missing-top.html 800C0005", "navigated", "document top missing-top.html complete",
                  "progress 100 -1", "downloaded", "command 1 off", "command 2 on", "progress 100 10",
                  "progress 100 100", "navigated", "document top bye.html complete", "progress 100 -1", "downloaded",
                  "command 1 off", "command 2 on", "closing"}),
              r.Take());

    // History: back twice, forward once, and a cleared log.
    EXPECT_EQ(3, s.History().size());
    EXPECT_TRUE(s.GoBack());
    r.RunAll();
    EXPECT_TRUE(s.GoBack());
    r.RunAll();
    EXPECT_FALSE(s.GoBack()) << "nothing behind the first page";
    EXPECT_TRUE(s.GoForward());
    r.RunAll();
    s.ClearHistory();
    r.RunAll();
    EXPECT_FALSE(s.GoBack());
    EXPECT_FALSE(s.GoForward());
    std::vector<std::string> seen;
    for (const std::string& line : r.Take()) {
        if (line.rfind("command", 0) == 0 || line.rfind("before top", 0) == 0) seen.push_back(line);
    }
    EXPECT_EQ((std::vector<std::string>{
                  "before top missing-top.html", "command 1 on", "command 2 on",
                  "before top top.html", "command 1 on", "command 2 off",
                  "before top event:<element%20id=%221%22>x</element> cancel",
                  "before top missing-top.html", "command 1 on", "command 2 on",
                  "command 1 off", "command 2 off"}),
              seen);
    EXPECT_EQ(1, s.History().size());
    EXPECT_EQ(L"missing-top.html", s.History().At(0));

    // Stopped: nothing is queued or delivered any more.
    s.Stop();
    EXPECT_FALSE(s.Navigate(L"top.html"));
    EXPECT_FALSE(s.Step());
    EXPECT_TRUE(r.Take().empty());
}

}  // namespace
