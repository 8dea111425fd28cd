// Sign-up, another user's public data, an account's service policies and the platform's
// user directory.
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

#include "ClientCore.h"
#include "CoreState.h"
#include "Records.h"
#include "Text.h"
#include "VantorResults.h"
#include "ZumLibrary.h"

using namespace clientcore;

namespace {

// One sign-up item into the platform's record; later items of one name win.
void ApplyRegisterItem(const std::string& name, const std::string& value, int sex, ZumRegisterInfo* info) {
    const char* text = value.c_str();
    if (lstrcmpiA(name.c_str(), "nickname") == 0) {
        vantor::CopyField(info->nickname, text);
    } else if (lstrcmpiA(name.c_str(), "realname") == 0) {
        vantor::CopyField(info->realname, text);
    } else if (lstrcmpiA(name.c_str(), "province") == 0) {
        vantor::CopyField(info->province, text);
    } else if (lstrcmpiA(name.c_str(), "phone") == 0) {
        vantor::CopyField(info->phone, text);
    } else if (lstrcmpiA(name.c_str(), "city") == 0) {
        vantor::CopyField(info->city, text);
    } else if (lstrcmpiA(name.c_str(), "sex") == 0) {
        info->sex = static_cast<uint16_t>(sex);
    }
}

int Register(const char* text, ZumRegisterInfo* info) {
    int s = Zum().RegisterUser(text, info);
    return s == ZumSuccess ? CCO_OK : PlatformFailure(s);
}

// Platform page numbers start at 1; a page that has no successor number finds nothing.
bool PlatformPage(int page, int* platformPage) {
    if (page == INT_MAX) return false;
    *platformPage = page + 1;
    return true;
}

// The search criteria of either form: the texts given, and the sex always.
template <typename Info>
void QueryFromCriteria(const Info& c, ZumZoneQuery* q) {
    CopyTextIfAny(q->nickname, c.nickname);
    CopyTextIfAny(q->province, c.province);
    CopyTextIfAny(q->city, c.city);
    CopyTextIfAny(q->account, c.id);
    CopyTextIfAny(q->phone, c.phone);
    q->sex = static_cast<uint16_t>(c.sex);
}

// One found user for the procedure; the record starts cleared, so a text the platform
// leaves empty stays empty in either form.
template <typename Info>
void FoundUser(const ZumZoneQuery& q, Info* r) {
    memset(r, 0, sizeof *r);
    CopyText(r->id, q.account);
    CopyText(r->nickname, q.nickname);
    CopyText(r->province, q.province);
    CopyText(r->city, q.city);
    CopyText(r->phone, q.phone);
    r->sex = static_cast<SHORT>(q.sex);
}

// The paged directory search shared by both forms.
template <typename Info, typename Proc>
int SearchUsers(int page, const Info* criteria, Proc proc, UINT_PTR context) {
    ClearLastMsg();
    ComBracket com;
    ZumZoneQuery query;
    memset(&query, 0, sizeof query);
    if (criteria) QueryFromCriteria(*criteria, &query);
    int platformPage = 0;
    if (!PlatformPage(page, &platformPage)) return CCO_COUNT_FAILED;
    int n = Zum().GetZoneCustomer(platformPage, -1, &query, 1);
    if (n < 0) {
        SetLastMsg(Zum().GetLastError());
        return CCO_COUNT_FAILED;
    }
    if (n == 0) {
        // The platform's own word on an empty result.
        SetLastMsg(Zum().GetLastError());
        return CCO_OK;
    }
    for (int i = 0; i < n; ++i) {
        ZumZoneQuery work = query;
        // A failed read has no user to show: the work record would only echo the criteria.
        if (Zum().GetZoneCustomer(platformPage, i, &work, 0) < 0) break;
        if (proc) {
            Info record;
            FoundUser(work, &record);
            if (proc(record, context) == 0) break;
        }
    }
    return CCO_OK;
}

// One policy read by Cco_GetServicePolicysA/W; the rest of the caller's record stays.
void PolicyFromPolicyInfo(const ZumPolicyInfo& in, ServicePolicyInfoA* out) {
    out->id = static_cast<DWORD>(FieldInt(in.id));
    CopyText(out->name, in.name);
    out->flags[SERVICE_POLICY_STATUS_FLAG] = in.state;
    out->codeCount = 1;
    CopyText(out->codes[0], in.code);
}

void PolicyFromPolicyInfo(const ZumPolicyInfo& in, ServicePolicyInfoW* out) {
    out->id = static_cast<DWORD>(FieldInt(in.id));
    CopyText(out->name, in.name);
    out->flags[SERVICE_POLICY_STATUS_FLAG] = in.state;
    out->codeCount = 1;
    CopyTextIfAny(out->codes[0], in.code);
}

template <typename Policy>
int ReadPolicies(const char* account, Policy* records, UINT* count) {
    ClearLastMsg();
    if (!count) return 0;
    ComBracket com;
    ZumPolicyInfo info;
    if (!records) {
        memset(&info, 0, sizeof info);
        int n = Zum().GetCustomerServiceInfo(-1, &info, 1, account);
        if (n < 0) {
            SetLastMsg(Zum().GetLastError());
            return 0;
        }
        *count = static_cast<UINT>(n);
        return 1;
    }
    UINT read = 0;
    for (UINT i = 0; i < *count && i <= static_cast<UINT>(INT_MAX); ++i) {
        memset(&info, 0, sizeof info);
        if (Zum().GetCustomerServiceInfo(static_cast<int>(i), &info, 0, account) < 0) break;
        PolicyFromPolicyInfo(info, &records[i]);
        ++read;
    }
    if (read == 0) return 0;
    *count = read;
    return 1;
}

// A public text of the platform: the 8-bit form takes it as it is, the wide form only
// when there is one.
template <size_t D, size_t S>
void CopyPublicText(char (&target)[D], const char (&source)[S]) {
    CopyText(target, source);
}
template <size_t D, size_t S>
void CopyPublicText(WCHAR (&target)[D], const char (&source)[S]) {
    CopyTextIfAny(target, source);
}

// The public data of an account (null: the logged-in customer) into the caller's record:
// the id is the caller's account text, the other fields the platform's.
template <typename Char, typename Info>
int PublicInfo(const Char* account, Info* out) {
    ClearLastMsg();
    if (!out) return CCO_NOT_SUPPORTED;
    // The account text may be the out record's own id: keep a copy before anything changes.
    std::basic_string<Char> id = account ? account : std::basic_string<Char>();
    std::string ansiAccount;
    if constexpr (std::is_same<Char, char>::value) {
        ansiAccount = id;
    } else {
        ansiAccount = vantor::WideToAnsi(id);
    }
    ZumCustomerPublicInfo info;
    memset(&info, 0, sizeof info);
    ComBracket com;
    int s = Zum().GetCustomerPublicInfo(&info, account ? ansiAccount.c_str() : nullptr);
    if (s != ZumSuccess) return PlatformFailure(s);
    com.End();
    if (account) vantor::CopyField(out->id, id.c_str());
    CopyPublicText(out->nickname, info.nickname);
    CopyPublicText(out->province, info.province);
    CopyPublicText(out->city, info.city);
    out->sex = static_cast<SHORT>(info.sex);
    out->age = static_cast<SHORT>(info.age);
    return CCO_OK;
}

}  // namespace

CLIENTCORE_API int WINAPI Cco_RegisterUserA(const char* text, const RegisterPairA* pairs, int count, void*, void*) {
    ClearLastMsg();
    ZumRegisterInfo info;
    memset(&info, 0, sizeof info);
    for (int i = 0; pairs && i < count; ++i) {
        std::string value = vantor::FieldText(pairs[i].value);
        ApplyRegisterItem(vantor::FieldText(pairs[i].name), value, std::atoi(value.c_str()), &info);
    }
    return Register(text, &info);
}

CLIENTCORE_API int WINAPI Cco_RegisterUserW(const wchar_t* text, const RegisterPairW* pairs, int count, void*, void*) {
    ClearLastMsg();
    ZumRegisterInfo info;
    memset(&info, 0, sizeof info);
    for (int i = 0; pairs && i < count; ++i) {
        std::wstring value = vantor::FieldText(pairs[i].value);
        if (value.empty()) continue;
        ApplyRegisterItem(vantor::WideToAnsi(vantor::FieldText(pairs[i].name)), vantor::WideToAnsi(value),
                          _wtoi(value.c_str()), &info);
    }
    std::string ansiText = vantor::WideToAnsi(text);
    return Register(text ? ansiText.c_str() : nullptr, &info);
}

CLIENTCORE_API int WINAPI Cco_GetUserPublicInfoA(const char* account, FriendInfoA* out) {
    return PublicInfo(account, out);
}

CLIENTCORE_API int WINAPI Cco_GetUserPublicInfoW(const wchar_t* account, FriendInfoW* out) {
    return PublicInfo(account, out);
}

CLIENTCORE_API int WINAPI Cco_GetServicePolicysA(const char* account, ServicePolicyInfoA* records, UINT* count) {
    return ReadPolicies(account, records, count);
}

CLIENTCORE_API int WINAPI Cco_GetServicePolicysW(const wchar_t* account, ServicePolicyInfoW* records, UINT* count) {
    std::string ansiAccount = vantor::WideToAnsi(account);
    return ReadPolicies(account ? ansiAccount.c_str() : nullptr, records, count);
}

CLIENTCORE_API int WINAPI Cco_SearchUserA(int page, const FriendInfoA* criteria, UserSearchProcA proc, UINT_PTR context) {
    return SearchUsers(page, criteria, proc, context);
}

CLIENTCORE_API int WINAPI Cco_SearchUserW(int page, const FriendInfoW* criteria, UserSearchProcW proc, UINT_PTR context) {
    return SearchUsers(page, criteria, proc, context);
}

CLIENTCORE_API int WINAPI Cco_GetAccountListA(void*, void*) {
    SetLastMsg(vantor::WideToAnsi(L"不支持本接口"));
    return CCO_NOT_SUPPORTED;
}

