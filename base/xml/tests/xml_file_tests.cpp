// Reading a file in its declared encoding.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "XmlFile.h"

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

}  // namespace
