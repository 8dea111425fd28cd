// Sign-up, public account data, service policies and the paged user search.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "CcoTestApi.h"
#include "TestSupport.h"

using namespace cctest;

namespace {

class Account : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Cco().module);
        ASSERT_NE(nullptr, Stub().Reset);
        Stub().Reset();
    }
};

RegisterPairA PairA(const char* name, const std::string& value) {
    RegisterPairA p = {};
    strncpy(p.name, name, sizeof p.name - 1);
    strncpy(p.value, value.c_str(), sizeof p.value - 1);
    return p;
}

RegisterPairW PairW(const wchar_t* name, const std::wstring& value) {
    RegisterPairW p = {};
    wcsncpy(p.name, name, 63);
    wcsncpy(p.value, value.c_str(), 127);
    return p;
}

TEST_F(Account, SignUpCarriesTheKnownItems) {
    std::vector<RegisterPairA> pairs = {
        PairA("NickName", A("小明")), PairA("SEX", "2"), PairA("email", "a@b.c"), PairA("realname", A("王小明")),
        PairA("Province", A("广东")), PairA("city", A("深圳")), PairA("phone", "075500000000"),
        PairA("nickname", A("明明")),  // a later item of one name wins
    };
    // A nickname longer than the platform's field, without a terminator in its own field.
    RegisterPairA wide = PairA("nickname", "");
    memset(wide.value, 'n', sizeof wide.value);
    EXPECT_EQ(0, Cco().RegisterUserA("form-text", pairs.data(), static_cast<int>(pairs.size()), nullptr, nullptr));
    EXPECT_TRUE(LogHas("Zum_RegisterUser(form-text," + A("王小明|明明|广东|深圳") + "|2|075500000000)=2147483647"))
        << ZumLog();
    EXPECT_EQ(0, Cco().RegisterUserA("x", &wide, 1, nullptr, nullptr));
    EXPECT_TRUE(LogHas("Zum_RegisterUser(x,|" + std::string(39, 'n') + "|||0|)=2147483647")) << ZumLog();

    std::vector<RegisterPairW> wpairs = {PairW(L"nickname", W("小红")), PairW(L"city", L""), PairW(L"sex", L"1"),
                                         PairW(L"CITY", W("北京"))};
    EXPECT_EQ(0, Cco().RegisterUserW(W("注册").c_str(), wpairs.data(), 4, nullptr, nullptr));
    EXPECT_TRUE(LogHas("Zum_RegisterUser(" + A("注册") + ",|" + A("小红") + "||" + A("北京") + "|1|)=2147483647"))
        << ZumLog();

    Stub().Set("Register", "status", "-1016");
    Stub().Set("Errors", "Zum_RegisterUser", A("帐号已存在").c_str());
    EXPECT_EQ(38984, Cco().RegisterUserA("x", nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(A("帐号已存在"), Cco().GetLastMsg());
}

TEST_F(Account, PublicInformationFillsOnlyItsFields) {
    FriendInfoA a;
    memset(&a, 0x33, sizeof a);
    strcpy(a.id, "demo02");  // the record is both the account text and the out record
    EXPECT_EQ(0, Cco().GetUserPublicInfoA(a.id, &a));
    EXPECT_STREQ("demo02", a.id);
    EXPECT_EQ(A("小王"), a.nickname);
    EXPECT_EQ(A("广东"), a.province);
    EXPECT_EQ(A("广州"), a.city);
    EXPECT_EQ(1, a.sex);
    EXPECT_EQ(28, a.age);
    EXPECT_EQ(0x33, static_cast<unsigned char>(a.email[0])) << "other fields are the caller's";
    EXPECT_TRUE(LogHas("Zum_GetCustomerPublicInfo(demo02)=2147483647"));

    FriendInfoW w;
    memset(&w, 0, sizeof w);
    wcscpy(w.city, L"keep");
    Stub().Set("User.demo03", "city", "");
    EXPECT_EQ(0, Cco().GetUserPublicInfoW(L"demo03", &w));
    EXPECT_EQ(std::wstring(L"demo03"), w.id);
    EXPECT_EQ(W("小李"), w.nickname);
    EXPECT_EQ(std::wstring(L"keep"), w.city) << "an empty platform text leaves the field";
    EXPECT_EQ(2, w.sex);

    // Platform texts that fill their whole field without a terminator are cut, not overrun.
    Stub().Set("Stub", "unterminated", "1");
    Stub().Set("User.demo02", "nickname", std::string(60, 'x').c_str());
    memset(&a, 0, sizeof a);
    EXPECT_EQ(0, Cco().GetUserPublicInfoA("demo02", &a));
    EXPECT_EQ(std::string(23, 'x'), a.nickname);

    memset(&a, 0x44, sizeof a);
    EXPECT_EQ(38980, Cco().GetUserPublicInfoA("nobody", &a));
    EXPECT_NE(std::string(), Cco().GetLastMsg());
    EXPECT_EQ(0x44, static_cast<unsigned char>(a.nickname[0]));
    EXPECT_EQ(7, Cco().GetUserPublicInfoA("demo02", nullptr));
}

TEST_F(Account, ServicePoliciesCountThenFill) {
    Stub().Set("CustomerService.demo02", "count", "3");
    const char* ids[] = {"9", "19", "3"};
    for (int i = 0; i < 3; ++i) {
        std::string sec = "CustomerService.demo02." + std::to_string(i);
        Stub().Set(sec.c_str(), "id", ids[i]);
        Stub().Set(sec.c_str(), "name", A("服务").c_str());
        Stub().Set(sec.c_str(), "code", i == 1 ? "" : "CODE");
        Stub().Set(sec.c_str(), "state", "1");
    }
    UINT n = 0;
    EXPECT_EQ(1, Cco().GetServicePolicysA("demo02", nullptr, &n));
    EXPECT_EQ(3u, n);

    std::vector<ServicePolicyInfoA> records(5);
    memset(records.data(), 0x22, records.size() * sizeof records[0]);
    n = 5;
    EXPECT_EQ(1, Cco().GetServicePolicysA("demo02", records.data(), &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(19u, records[1].id);
    EXPECT_EQ(A("服务"), records[1].name);
    EXPECT_EQ(1, records[1].flags[4]);
    EXPECT_EQ(1u, records[1].codeCount);
    EXPECT_EQ(0x2222, records[1].flags[0]) << "other fields are the caller's";
    EXPECT_EQ(0x22, static_cast<unsigned char>(records[3].name[0]));

    std::vector<ServicePolicyInfoW> wide(3);
    memset(wide.data(), 0, wide.size() * sizeof wide[0]);
    wcscpy(wide[1].codes[0], L"old");
    n = 3;
    EXPECT_EQ(1, Cco().GetServicePolicysW(L"demo02", wide.data(), &n));
    EXPECT_EQ(W("服务"), wide[0].name);
    EXPECT_EQ(std::wstring(L"CODE"), wide[0].codes[0]);
    EXPECT_EQ(std::wstring(L"old"), wide[1].codes[0]) << "an empty code is not written";

    Stub().Set("Fail", "Zum_GetCustomerServiceInfo", "-3");
    n = 5;
    EXPECT_EQ(0, Cco().GetServicePolicysA("demo02", records.data(), &n));
    EXPECT_EQ(5u, n);
    EXPECT_EQ(0, Cco().GetServicePolicysA("demo02", nullptr, &n));
    EXPECT_EQ(0, Cco().GetServicePolicysA("demo02", nullptr, nullptr));
}

struct Found {
    std::vector<FriendInfoA> a;
    std::vector<FriendInfoW> w;
    int stopAfter = 1000;
};

int CALLBACK CollectA(FriendInfoA record, UINT_PTR context) {
    Found* f = reinterpret_cast<Found*>(context);
    f->a.push_back(record);
    return static_cast<int>(f->a.size()) < f->stopAfter;
}

int CALLBACK CollectW(FriendInfoW record, UINT_PTR context) {
    Found* f = reinterpret_cast<Found*>(context);
    f->w.push_back(record);
    return 1;
}

TEST_F(Account, UserSearchWalksOnePlatformPage) {
    Found found;
    EXPECT_EQ(0, Cco().SearchUserA(0, nullptr, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    ASSERT_EQ(2u, found.a.size());
    EXPECT_TRUE(LogHas("Zum_GetZoneCustomer(1,-1,1)=2")) << ZumLog();
    EXPECT_STREQ("demo02", found.a[0].id);
    EXPECT_EQ(A("小王"), found.a[0].nickname);
    EXPECT_EQ(A("北京"), found.a[1].city);
    EXPECT_EQ(2, found.a[1].sex);

    // Criteria: the texts given and the sex; a procedure that stops ends the platform calls.
    FriendInfoA criteria = {};
    strcpy(criteria.province, A("广东").c_str());
    found = Found();
    Stub().ClearLog();
    EXPECT_EQ(0, Cco().SearchUserA(0, &criteria, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    ASSERT_EQ(1u, found.a.size());
    EXPECT_STREQ("demo02", found.a[0].id);
    found = Found();
    found.stopAfter = 1;
    Stub().ClearLog();
    EXPECT_EQ(0, Cco().SearchUserA(0, nullptr, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    EXPECT_EQ(1u, found.a.size());
    EXPECT_EQ(2, CountCalls("Zum_GetZoneCustomer"));

    // Nobody found: 0, the platform's word, no procedure call.
    found = Found();
    EXPECT_EQ(0, Cco().SearchUserA(1, nullptr, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    EXPECT_TRUE(found.a.empty());
    EXPECT_EQ(A("没有找到符合条件的用户"), Cco().GetLastMsg());

    // A read that fails ends the search without a made-up user.
    Stub().ClearLog();
    Stub().Set("Fail", "Zum_GetZoneCustomer#3", "-6");
    found = Found();
    EXPECT_EQ(0, Cco().SearchUserA(0, nullptr, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    EXPECT_EQ(1u, found.a.size());
    Stub().Set("Fail", "Zum_GetZoneCustomer#3", nullptr);
    Stub().Set("Fail", "Zum_GetZoneCustomer", "-6");
    EXPECT_EQ(20, Cco().SearchUserA(0, nullptr, CollectA, reinterpret_cast<UINT_PTR>(&found)));
    Stub().Set("Fail", "Zum_GetZoneCustomer", nullptr);

    FriendInfoW wc = {};
    wcscpy(wc.nickname, W("小").c_str());
    found = Found();
    EXPECT_EQ(0, Cco().SearchUserW(0, &wc, CollectW, reinterpret_cast<UINT_PTR>(&found)));
    ASSERT_EQ(2u, found.w.size());
    EXPECT_EQ(W("小李"), found.w[1].nickname);
    EXPECT_EQ(std::wstring(L"01000000002"), found.w[1].phone);
    EXPECT_EQ(0, Cco().SearchUserW(0, nullptr, nullptr, 0));
}

}  // namespace
