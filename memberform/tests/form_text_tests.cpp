// The member form's text for the platform, and its list files.
#include <gtest/gtest.h>

#include "MemberFormText.h"
#include "TestSupport.h"

using namespace memberform;
using testkit::Ansi;

namespace {

MemberFields Filled() {
    MemberFields f;
    f.user = "u19";
    f.password = "p19";
    f.realName = Ansi("李丽");
    f.sex = Ansi("女");
    f.province = Ansi("江苏");
    f.city = Ansi("南京");
    f.areaCode = "025";
    f.telephone = "5551234";
    f.serial = "SN-42";
    f.productType = "HQ730";
    f.year = 2026;
    f.month = 3;
    f.day = 7;
    return f;
}

TEST(FormText, FieldsInThePlatformsOrder) {
    MemberFields f = Filled();
    EXPECT_EQ(Ansi("Username=u19&Password=p19&Realname=李丽&Sex=2&Province=江苏&City=南京&Areanum=025"
                   "&Telephone=5551234&Pcsn=SN-42&Type=HQ730&Buydate=20260307&Number=1"),
              BuildFormText(f));
    f.sex = Ansi("男");
    f.extension = "8";
    f.areaCode.clear();
    f.telephone.clear();
    EXPECT_EQ(Ansi("Username=u19&Password=p19&Realname=李丽&Sex=1&Province=江苏&City=南京&Areanum=&Telephone="
                   "&Extphonenum=8&Pcsn=SN-42&Type=HQ730&Buydate=20260307&Number=1"),
              BuildFormText(f));
    f.sex = Ansi("保密");
    EXPECT_EQ(std::string::npos, BuildFormText(f).find("&Sex="));
    f.sex.clear();
    EXPECT_EQ(std::string::npos, BuildFormText(f).find("&Sex="));

    EXPECT_EQ(0, SexEntry(1));
    EXPECT_EQ(1, SexEntry(2));
    EXPECT_EQ(-1, SexEntry(0));
    EXPECT_EQ(-1, SexEntry(3));
}

TEST(FormText, TypedSeparatorsAreRefusedByField) {
    MemberFields f = Filled();
    EXPECT_EQ(L"", FieldThatCannotBeSent(f));
    f.realName = "A&Username=x";
    EXPECT_EQ(L"您的姓名", FieldThatCannotBeSent(f));
    f = Filled();
    f.serial = "a=b";
    EXPECT_EQ(L"产品序列号", FieldThatCannotBeSent(f));
    f = Filled();
    f.extension = "1&2";
    EXPECT_EQ(L"固定电话", FieldThatCannotBeSent(f));
    f = Filled();
    f.user = "platform&given";
    EXPECT_EQ(L"", FieldThatCannotBeSent(f)) << "only what the user typed";
}

TEST(ListFiles, ProvincesAreCutIntoChunksOfWholeCharacters) {
    std::vector<std::string> p =
        ParseProvinces(Ansi("北京\t京\r\n江苏\n\nABCDEFGHIJKLMNOPQRSTUVWXY\n一二三四五六七八九十\n"));
    ASSERT_EQ(6u, p.size());
    EXPECT_EQ(Ansi("北京"), p[0]);
    EXPECT_EQ(Ansi("江苏"), p[1]);
    EXPECT_EQ("ABCDEFGHIJKLMNOPQRS", p[2]);
    EXPECT_EQ("TUVWXY", p[3]);
    // Ten double-byte characters: nine fit in 19 bytes, the tenth starts the next entry.
    EXPECT_EQ(Ansi("一二三四五六七八九"), p[4]);
    EXPECT_EQ(Ansi("十"), p[5]);
}

TEST(ListFiles, CityGroupsWithoutCitiesAreDroppedAndTheFirstGroupWins) {
    CityMap map = ParseCities(Ansi("====江苏\r\n南京\r\n苏州\r\n====空\r\n====浙江\n杭州\n====江苏\n无锡\n====海南\n海口"));
    ASSERT_EQ(3u, map.size());
    EXPECT_EQ((std::vector<std::string>{Ansi("南京"), Ansi("苏州")}), map[Ansi("江苏")]);
    EXPECT_EQ((std::vector<std::string>{Ansi("杭州")}), map[Ansi("浙江")]);
    EXPECT_EQ((std::vector<std::string>{Ansi("海口")}), map[Ansi("海南")]) << "the last group at the end of the file";
    EXPECT_EQ(0u, map.count(Ansi("空")));
    EXPECT_TRUE(ParseCities("orphan city\n").empty());

    std::vector<MachineType> types = ParseMachineTypes("1=HQ730\r\n2=HQ 800\nbroken\n=3\n12=T9\n");
    ASSERT_EQ(3u, types.size());
    EXPECT_EQ(1, types[0].number);
    EXPECT_EQ("HQ730", types[0].name);
    EXPECT_EQ("HQ", types[1].name) << "a name ends at its first blank";
    EXPECT_EQ(12, types[2].number);
}

}  // namespace
