// The quick check of plain markup against the parser: whatever it accepts the parser
// accepts, and what the parser refuses it refuses.
#include <gtest/gtest.h>

#include <string>

#include "Handles.h"
#include "PlainMarkup.h"
#include "Text.h"
#include "XmlDoc.h"

using vantor::xml::IsPlainWellFormed;
using vantor::xml::XmlDoc;

namespace {

bool ParserAccepts(const std::wstring& text) {
    XmlDoc doc;
    return doc.LoadText(text);
}

TEST(PlainMarkup, AcceptsPlainTextsTheParserAccepts) {
    vantor::ScopedCom com;
    const std::wstring plain[] = {
        L"\r\n<AddressList version=\"1.0\">\r\n\t<Friend id='1' nickname=\"&amp;&lt;&gt;&quot;&apos;&#x4E2D;&#20013;好\" "
        L"city = \"\xD840\xDC00\"/>\r\n<Group id=\"10\"></Group >\r\n</AddressList >\r\n",
        L"<a-b._c x.y-z=\"\"/>",
    };
    for (const auto& text : plain) {
        bool holds = false;
        EXPECT_TRUE(IsPlainWellFormed(text, &holds)) << vantor::WideToAnsi(text);
        EXPECT_TRUE(ParserAccepts(text)) << vantor::WideToAnsi(text);
    }
    bool holds = true;
    EXPECT_TRUE(IsPlainWellFormed(L"<AddressList> </AddressList>", &holds));
    EXPECT_FALSE(holds);
    EXPECT_TRUE(IsPlainWellFormed(L"<AddressList><x/></AddressList>", &holds));
    EXPECT_TRUE(holds);
}

TEST(PlainMarkup, RefusesWhatTheParserRefusesAndLeavesTheRestToIt) {
    vantor::ScopedCom com;
    // Texts the markup reader alone would read, which the parser refuses.
    const std::wstring broken[] = {
        L"<a><b></c></a>",          L"<a x=\"1\" x=\"2\"/>",      L"<a x=\"1\"y=\"2\"/>",
        L"<a x=\"&bogus;\"/>",      L"<a x=\"&amp\"/>",           L"<a x=\"a<b\"/>",
        L"<a x=\"&#1;\"/>",         L"<a x=\"&#xFFFE;\"/>",       L"<a x=\"&#x110000;\"/>",
        L"<a/><b/>",                L"<a></a>junk",               L"<a x=1/>",
        L"<a>",                     L"<1a/>",                     L"<a x=\"\xD800\"/>",
        L"<a x=\"\x01\"/>",         L"<a></ab>",                  L"<a></a",
        L"",                        L"<a x=\"1\"></a><!--",       L"<a x=\"1\" / >",
    };
    for (const auto& text : broken) {
        EXPECT_FALSE(IsPlainWellFormed(text)) << vantor::WideToAnsi(text);
        EXPECT_FALSE(ParserAccepts(text)) << vantor::WideToAnsi(text);
    }
    // Well-formed, but not plain: the parser has the say.
    const std::wstring other[] = {
        L"<a><!--c--></a>", L"<a><?p d?></a>", L"<a>text</a>",        L"<a><![CDATA[x]]></a>",
        L"<!DOCTYPE a><a/>", L"<p:a xmlns:p=\"u\"/>", L"<xmlThing/>", L"<名/>",
        L"<a xmlns=\"u\"/>",
    };
    for (const auto& text : other) {
        EXPECT_FALSE(IsPlainWellFormed(text)) << vantor::WideToAnsi(text);
        EXPECT_TRUE(ParserAccepts(text)) << vantor::WideToAnsi(text);
    }
    // Nesting deeper than the check takes goes to the parser too.
    std::wstring deep;
    for (int i = 0; i < 250; ++i) deep += L"<g>";
    for (int i = 0; i < 250; ++i) deep += L"</g>";
    EXPECT_FALSE(IsPlainWellFormed(deep));
}

}  // namespace
