// The document layer against Wine's / Windows' MSXML 3.0.
#include <gtest/gtest.h>

#include "Handles.h"
#include "TestSupport.h"
#include "XmlDoc.h"

using vantor::xml::XmlDoc;
using vantor::xml::XmlNode;

namespace {

TEST(XmlDoc, LoadsWalksAndQueries) {
    vantor::ScopedCom com;
    XmlDoc doc;
    ASSERT_TRUE(doc.LoadText(L"<a x=\"1\"><!--c--><?pi d?>text<b id=\"10\"/> <b id=\"11\">v</b><c/></a>"));
    XmlNode root = doc.Root();
    ASSERT_TRUE(root);
    EXPECT_EQ(L"a", root.Name());

    // Element walk passes over the comment, the PI, text and whitespace.
    std::vector<std::wstring> names;
    for (XmlNode n = root.FirstChildElement(); n; n = n.NextSiblingElement()) names.push_back(n.Name());
    EXPECT_EQ((std::vector<std::wstring>{L"b", L"b", L"c"}), names);
    EXPECT_EQ(3u, root.ChildElements().size());
    EXPECT_EQ(NODE_COMMENT, root.FirstChild().Type());

    std::vector<XmlNode> bs = doc.SelectNodes(L"/a/b");
    ASSERT_EQ(2u, bs.size());
    EXPECT_EQ(L"11", bs[1].AttributeOr(L"id"));
    EXPECT_EQ(L"v", bs[1].Text());
    EXPECT_EQ(L"10", doc.SelectSingleNode(L"a/b").AttributeOr(L"id"));
    EXPECT_FALSE(doc.SelectSingleNode(L"a/zz"));
    EXPECT_FALSE(root.HasAttribute(L"y"));
    EXPECT_EQ(L"dflt", root.AttributeOr(L"y", L"dflt"));
}

TEST(XmlDoc, RefusesBrokenTextWithReason) {
    vantor::ScopedCom com;
    XmlDoc doc;
    std::wstring reason;
    EXPECT_FALSE(doc.LoadText(L"<a><b></a>", &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(doc.Root());
    EXPECT_FALSE(doc.LoadText(L"", &reason));
    EXPECT_FALSE(doc.LoadText(L"<html><body>oops", &reason));
    // Good text after a failure loads again.
    EXPECT_TRUE(doc.LoadText(L"<ok/>"));
    EXPECT_EQ(L"ok", doc.Root().Name());
}

TEST(XmlDoc, BuildsEditsAndSerialises) {
    vantor::ScopedCom com;
    XmlDoc doc;
    ASSERT_TRUE(doc.Create());
    ASSERT_TRUE(doc.Append(doc.CreateProcessingInstruction(L"xml", L"version=\"1.0\"")));
    XmlNode root = doc.Append(doc.CreateElement(L"AddressList"));
    ASSERT_TRUE(root);
    root.SetAttribute(L"version", L"1.0");
    XmlNode friendNode = root.Append(doc.CreateElement(L"Friend"));
    const wchar_t* keys[] = {L"id", L"nickname", L"name", L"sex"};
    std::wstring chinese = testkit::Wide("李四");
    for (const wchar_t* k : keys) friendNode.SetAttribute(k, k == std::wstring(L"id") ? L"u1" : chinese);
    friendNode.SetAttribute(L"sex", L"");
    friendNode.SetAttribute(L"nickname", L"a<&\"b");  // replacing keeps the position

    std::vector<vantor::xml::Attribute> attrs = friendNode.Attributes();
    ASSERT_EQ(4u, attrs.size());
    EXPECT_EQ(L"id", attrs[0].first);
    EXPECT_EQ(L"nickname", attrs[1].first);
    EXPECT_EQ(L"a<&\"b", attrs[1].second);
    EXPECT_EQ(chinese, attrs[2].second);
    EXPECT_EQ(L"sex", attrs[3].first);
    EXPECT_EQ(L"", attrs[3].second);
    EXPECT_TRUE(friendNode.RemoveAttribute(L"sex"));
    EXPECT_EQ(3u, friendNode.Attributes().size());

    XmlNode extra = root.Append(doc.CreateElement(L"Group"));
    extra.SetText(L"x");
    EXPECT_TRUE(root.Remove(extra));
    EXPECT_EQ(1u, root.ChildElements().size());

    // What the document says of itself loads again into the same tree.
    std::wstring text = doc.Xml();
    EXPECT_NE(std::wstring::npos, text.find(L"<?xml version=\"1.0\"?>"));
    XmlDoc again;
    ASSERT_TRUE(again.LoadText(text));
    XmlNode f = again.SelectSingleNode(L"AddressList/Friend");
    EXPECT_EQ(L"a<&\"b", f.AttributeOr(L"nickname"));
    EXPECT_EQ(chinese, f.AttributeOr(L"name"));
    EXPECT_EQ(L"1.0", again.Root().AttributeOr(L"version"));
}

}  // namespace
