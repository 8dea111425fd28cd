// Platform records into the contact store's records.
#include <gtest/gtest.h>

#include <cstring>

#include "CcoTestApi.h"
#include "Records.h"

using namespace cctest;
using namespace clientcore;

namespace {

ZumServiceInfo PresenceService() {
    ZumServiceInfo s;
    memset(&s, 0, sizeof s);
    strcpy(s.id, "9");
    strcpy(s.name, A("在线通讯录").c_str());
    strcpy(s.description, A("好友与通讯录").c_str());
    s.state = 1;
    s.flag0 = 10;
    s.flag1 = 11;
    s.flag2 = 12;
    s.flag3 = 13;
    s.flag5 = 15;
    strcpy(s.locator, "http://svc/9");
    s.codeCount = 2;
    strcpy(s.codes[0], "iPlanetDirectoryPro=AQIC;Path=/");
    strcpy(s.codes[1], "JSESSIONID=ABC;Path=/web");
    return s;
}

TEST(Records, ServiceBecomesAPolicyInBothForms) {
    ZumServiceInfo s = PresenceService();
    ServicePolicyInfoA a;
    memset(&a, 0x77, sizeof a);
    PolicyFromServiceInfoA(s, &a);
    EXPECT_EQ(9u, a.id);
    EXPECT_EQ(A("在线通讯录"), a.name);
    EXPECT_EQ(A("好友与通讯录"), a.summary);
    const WORD flags[6] = {10, 11, 12, 13, 1, 15};
    EXPECT_EQ(0, memcmp(flags, a.flags, sizeof flags));
    EXPECT_STREQ("http://svc/9", a.locator);
    EXPECT_EQ(2u, a.codeCount);
    EXPECT_STREQ("JSESSIONID=ABC;Path=/web", a.codes[1]);
    EXPECT_EQ(0, a.codes[2][0]) << "the record is zeroed first";

    ServicePolicyInfoW w;
    s.description[0] = '\0';
    PolicyFromServiceInfoW(s, &w);
    EXPECT_EQ(W("在线通讯录"), w.name);
    EXPECT_EQ(0, w.summary[0]);
    EXPECT_EQ(std::wstring(L"iPlanetDirectoryPro=AQIC;Path=/"), w.codes[0]);
    EXPECT_EQ(1, w.flags[4]);
}

TEST(Records, BrokenPlatformRecordsStayInsideTheirFields) {
    ZumServiceInfo s = PresenceService();
    strcpy(s.id, "19abc");
    // Every text fills its field without a terminator.
    memset(s.name, 'n', sizeof s.name);
    memset(s.locator, 'l', sizeof s.locator);
    memset(s.codes, 'c', sizeof s.codes);
    s.codeCount = 9;
    ServicePolicyInfoA a;
    PolicyFromServiceInfoA(s, &a);
    EXPECT_EQ(19u, a.id) << "leading digits only";
    EXPECT_EQ(std::string(40, 'n'), a.name);
    EXPECT_EQ(std::string(259, 'l'), a.locator);
    EXPECT_EQ(6u, a.codeCount);
    EXPECT_EQ(std::string(120, 'c'), a.codes[5]);
    s.codeCount = -3;
    strcpy(s.id, "x");
    PolicyFromServiceInfoA(s, &a);
    EXPECT_EQ(0u, a.codeCount);
    EXPECT_EQ(0u, a.id);

    ZumCatalogInfo board;
    memset(&board, 'b', sizeof board);
    ServiceBoardInfoA b;
    BoardFromCatalogInfo(board, &b);
    EXPECT_EQ(std::string(39, 'b'), b.caption);
    EXPECT_EQ(std::string(259, 'b'), b.locator);
    EXPECT_EQ(std::string(259, 'b'), b.extra);

    ZumSubjectInfo subject;
    memset(&subject, 0, sizeof subject);
    strcpy(subject.name, A("天气").c_str());
    strcpy(subject.serviceId, "19");
    memset(subject.link, 'k', sizeof subject.link);
    subject.accessMode = 0xFFFF;
    ServiceSubjectInfoA j;
    SubjectFromSubjectInfo(subject, &j);
    EXPECT_EQ(A("天气"), j.caption);
    EXPECT_EQ(19u, j.number);
    EXPECT_EQ(std::string(259, 'k'), j.extra);
    EXPECT_EQ(0xFFFFu, j.tail) << "upper half zero";
}

}  // namespace
