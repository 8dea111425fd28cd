// Reading a file in its declared encoding.
#include <gtest/gtest.h>

#include <string>

#include "Handles.h"
#include "TestSupport.h"
#include "XmlFile.h"

using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;

namespace {

TEST(XmlFileRead, CodePage936TextReadsAsTheSystemDecodesItWhole) {
    std::wstring dir = testkit::FreshDir(L"xml_read936");
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";
    // Pairs whose second byte is ASCII, single bytes above 0x7F, a first byte with no
    // second, and bytes no pair takes.
    const std::string bodies[] = {
        "<a n=\"\xD6\xD0\xCE\xC4\"/>", "<a n=\"\x81\x40\x81\x7E\x41\x42\"/>", "<a n=\"\x80\x41\x42\"/>",
        "<a n=\"\x80\x81\x41\x42\"/>", "<a n=\"x\"/>\xD6",                   "<a n=\"\xFF\x41\"/>",
        "<a n=\"\x81\x7F\x41\"/>",     "<a n=\"\xA1\x41\xA1\"/>",             "\xD6\xD0<a/>",
    };
    for (const std::string& body : bodies) {
        std::wstring path = dir + L"f.xml";
        ASSERT_TRUE(testkit::WriteFileBytes(path, declaration + body));
        std::wstring whole(body.size(), L'\0');
        int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, body.data(), static_cast<int>(body.size()), &whole[0],
                                    static_cast<int>(whole.size()));
        whole.resize(n > 0 ? static_cast<size_t>(n) : 0);
        XmlFile file;
        std::wstring text;
        bool read = file.Read(path, &text);
        EXPECT_EQ(n > 0, read) << body;
        if (read && n > 0) {
            EXPECT_EQ(whole, text) << body;
        }
    }
}

TEST(XmlFileSave, EncodesWhatTheDocumentSaysAsItsMarkupEncodedWould) {
    vantor::ScopedCom com;
    std::wstring path = testkit::FreshDir(L"xml_encode") + L"f.xml";
    // ASCII, Chinese, a character code page 936 holds only as a byte the reader refuses,
    // one outside the basic plane, accented Latin, a reference and a tab.
    const std::wstring value = L"a&b<\"中文\xF8F5\U0001F600\x00E9\x00FF\t€z";
    for (const char* encoding : {"gb2312", "utf-8", "windows-1252", "iso-8859-1", "us-ascii"}) {
        std::string declaration = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>";
        ASSERT_TRUE(testkit::WriteFileBytes(path, declaration + "\r\n<a><b n=\"x\"/></a>"));
        XmlDoc doc;
        XmlFile file;
        ASSERT_TRUE(file.Load(path, &doc)) << encoding;
        doc.Root().FirstChildElement().SetAttribute(L"n", value);
        doc.Root().SetAttribute(L"m", std::wstring(3000, L'中') + L"\U0001F600");
        // The document's markup in UTF-16, behind the file's own declaration, encoded.
        std::wstring markup = vantor::xml::DocumentMarkup(doc);
        size_t own = markup.compare(0, 5, L"<?xml") == 0 ? markup.find(L"?>") + 2 : 0;
        std::wstring body = markup.substr(own);
        std::wstring text = std::wstring(declaration.begin(), declaration.end()) +
                            (body[0] == L'\r' || body[0] == L'\n' ? L"" : L"\r\n") + body;
        EXPECT_EQ(vantor::xml::EncodeWithReferences(text, file.CodePage()), file.Encode(doc)) << encoding;
        ASSERT_TRUE(file.Save(doc, path));
        XmlDoc again;
        ASSERT_TRUE(XmlFile().Load(path, &again)) << encoding;
        EXPECT_EQ(value, again.Root().FirstChildElement().AttributeOr(L"n")) << encoding;
    }
}

}  // namespace
