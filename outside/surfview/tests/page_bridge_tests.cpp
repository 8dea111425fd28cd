// The navigation filter and the script-result reading of the page bridge, as tables.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "PageBridge.h"
#include "TestSupport.h"

namespace {

using pagebridge::Decision;
using pagebridge::Verdict;

struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    explicit Variant(const std::wstring& text) {
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text.c_str());
    }
    ~Variant() { VariantClear(&v); }
};

TEST(PageBridge, FilterTellsEventsFromNavigations) {
    struct Case {
        const char* url;
        Verdict panes;
        const char* element;
        Verdict wizard;
    } cases[] = {
        // Only "%20" is decoded; "%22" stays for the browser library's own grammar.
        {"event:<element%20id=%221%22>x</element>", Verdict::Event, "<element id=%221%22>x</element>", Verdict::Event},
        {"EVENT:<element%20id=%221%22>x</element>", Verdict::Proceed, "", Verdict::Event},
        {"Event:<ELEMENT%20id=\"2\"/>", Verdict::Proceed, "", Verdict::Event},
        {"about:blank", Verdict::Proceed, "", Verdict::Proceed},
        {"event:<element", Verdict::Proceed, "", Verdict::Proceed},
        {"event:<element id=%221%22/>", Verdict::Proceed, "", Verdict::Proceed},
        {"event:<element%20id=%221%22%20%20a1=%22a%2020%22/>", Verdict::Event, "<element id=%221%22  a1=%22a 20%22/>",
         Verdict::Event},
        // Resuming after the inserted blank: "%2%200" gives "%2 0", not a second blank.
        {"event:<element%20%2%200", Verdict::Event, "<element %2 0", Verdict::Event},
        {"http://127.0.0.1/page.html?a=event:<element%20", Verdict::Proceed, "", Verdict::Proceed},
        {"", Verdict::Proceed, "", Verdict::Proceed},
    };
    for (const Case& c : cases) {
        Variant url(testkit::Wide(c.url));
        Decision d = pagebridge::DecideNavigation(&url.v);
        EXPECT_EQ(c.panes, d.verdict) << c.url;
        if (c.panes == Verdict::Event) EXPECT_EQ(c.element, d.element) << c.url;
        EXPECT_EQ(c.wizard, pagebridge::DecideWizardNavigation(&url.v).verdict) << c.url;
    }
    // The wizard's variant drops the first six characters whatever their case.
    Variant upper(L"EVENT:<ELEMENT%20idevent=\"0\">a%20b</ELEMENT>");
    EXPECT_EQ("<ELEMENT idevent=\"0\">a b</ELEMENT>", pagebridge::DecideWizardNavigation(&upper.v).element);

    // A URL that is not a string is changed into one; one that cannot be changed is an error.
    Variant number;
    number.v.vt = VT_I4;
    number.v.lVal = 42;
    EXPECT_EQ(Verdict::Proceed, pagebridge::DecideNavigation(&number.v).verdict);
    Variant object;
    object.v.vt = VT_UNKNOWN;
    object.v.punkVal = nullptr;
    Decision failed = pagebridge::DecideNavigation(&object.v);
    EXPECT_EQ(Verdict::Failed, failed.verdict);
    EXPECT_TRUE(FAILED(failed.error));
    EXPECT_EQ(Verdict::Failed, pagebridge::DecideNavigation(nullptr).verdict);

    // The pane-side filter: an error leaves the cancel flag as it was.
    VARIANT_BOOL cancel = 7;
    EXPECT_TRUE(FAILED(pagebridge::FilterNavigation(&object.v, &cancel, nullptr)));
    EXPECT_EQ(7, cancel);
    Variant blank(L"about:blank");
    EXPECT_EQ(S_OK, pagebridge::FilterNavigation(&blank.v, &cancel, nullptr));
    EXPECT_EQ(VARIANT_FALSE, cancel);
    Variant event(L"event:<element%20id=%229%22/>");
    EXPECT_EQ(S_OK, pagebridge::FilterNavigation(&event.v, &cancel, nullptr)) << "an element nobody reads";
    EXPECT_EQ(VARIANT_TRUE, cancel);
}

TEST(PageBridge, ScriptResultsReadAsText) {
    Variant text(testkit::Wide("等级 3"));
    EXPECT_EQ(testkit::Ansi("等级 3"), pagebridge::ScriptResultText(text.v));
    Variant number;
    number.v.vt = VT_I4;
    number.v.lVal = -15;
    EXPECT_EQ("-15", pagebridge::ScriptResultText(number.v));
    Variant yes;
    yes.v.vt = VT_BOOL;
    yes.v.boolVal = VARIANT_TRUE;
    EXPECT_FALSE(pagebridge::ScriptResultText(yes.v).empty());
    Variant empty;
    EXPECT_EQ("", pagebridge::ScriptResultText(empty.v));
    Variant emptyText(L"");
    EXPECT_EQ("", pagebridge::ScriptResultText(emptyText.v));
    Variant null;
    null.v.vt = VT_NULL;
    EXPECT_EQ("", pagebridge::ScriptResultText(null.v));
    Variant object;
    object.v.vt = VT_DISPATCH;
    object.v.pdispVal = nullptr;
    EXPECT_EQ("", pagebridge::ScriptResultText(object.v)) << "unconvertible";
}

}  // namespace
