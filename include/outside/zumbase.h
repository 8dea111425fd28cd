// zumbase: the service-platform client library (outside the client).
//
// Every function uses the C calling convention and is looked up by name when it is called;
// nothing links against the library. Texts are 8-bit (ANSI code page), zero-terminated inside
// their fields; callers zero every record before a call fills it. A status is ZumSuccess or a
// failure code; count-or-index calls answer a count for index -1 and fill one record for an
// index from 0.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Status values. ZumSuccess is the only success; the binding of a caller makes -1001 itself
// when the library or a function is missing.
enum {
    ZumSuccess = 2147483647,
    ZumErrLibraryMissing = -1001,
    ZumErrNotConnected = -1002,
    ZumErrNotLoggedIn = -1003,
    ZumErrRetryLogin = -1004,
    ZumErrNeedRegister = -1016,
    ZumErrNeedUserInfo = -1018,
    ZumErrNoSuchItem = -1020,
    ZumErrEndOfList = -1021,
};

// One subscribed service (1408 bytes).
typedef struct ZumServiceInfo {
    char id[12];              // decimal text
    char name[40];
    uint16_t state;           // 0 = not applied yet
    uint16_t reserved54;
    char description[320];
    uint16_t flag1;           // nonzero: never applied for by the login
    uint16_t flag0;
    uint16_t flag2;
    uint16_t flag3;
    uint16_t flag5;
    char reserved386[36];
    char locator[260];
    char reserved682[2];
    int32_t codeCount;        // 0 to 6
    char codes[6][120];
} ZumServiceInfo;

// One board of the service catalog (888 bytes).
typedef struct ZumCatalogInfo {
    char name[40];
    char description[320];
    char resource[260];       // the board id is the text after its last "-"
    char fourth[260];
    char reserved880[8];
} ZumCatalogInfo;

// One subject of a board (894 bytes).
typedef struct ZumSubjectInfo {
    char name[40];
    char serviceId[12];       // decimal text
    char text2[320];
    char text3[260];
    char link[260];
    uint16_t accessMode;
} ZumSubjectInfo;

// Public data of a customer (124 bytes).
typedef struct ZumCustomerPublicInfo {
    char account[40];
    char nickname[40];
    char province[20];
    char city[20];
    uint16_t sex;
    uint16_t age;
} ZumCustomerPublicInfo;

// Data of a new customer (144 bytes).
typedef struct ZumRegisterInfo {
    char realname[40];
    char nickname[40];
    char province[20];
    char city[20];
    uint16_t sex;
    char phone[22];
} ZumRegisterInfo;

// Directory query: criteria in, one found customer out, same buffer (142 bytes).
typedef struct ZumZoneQuery {
    char account[40];
    char nickname[40];
    char province[20];
    char city[20];
    uint16_t sex;
    char phone[20];
} ZumZoneQuery;

// One service policy of a customer (96 bytes).
typedef struct ZumPolicyInfo {
    char id[12];
    char name[40];
    char code[40];
    uint16_t state;
    char reserved94[2];
} ZumPolicyInfo;

// One platform notice (128 bytes).
typedef struct ZumNoticeInfo {
    char t0[40];
    char t1[40];
    char t2[12];
    char t3[16];
    char t4[16];
    int32_t value;
} ZumNoticeInfo;

// A page address configured on the platform (280 bytes).
typedef struct ZumDiyInfo {
    char url[200];
    char text[40];
    unsigned char raw[40];
} ZumDiyInfo;

// Argument of a subscription made by the client kernel: 200 zero bytes, then the parameter
// text (null when there is none). 204 bytes where pointers have 32 bits.
typedef struct ZumSubscribeInfo {
    char zero[200];
    const char* params;
} ZumSubscribeInfo;

int __cdecl Zum_SetServerURL(const char* url);
int __cdecl Zum_Connect(const char* clientType, const char* version);
int __cdecl Zum_Disconnect(void);
// info may be null: the registration is then carried by the text alone.
int __cdecl Zum_RegisterUser(const char* text, ZumRegisterInfo* info);
int __cdecl Zum_Login(int reserved);
int __cdecl Zum_Login2(void);
int __cdecl Zum_UpdateUserInfoWizard(void);
int __cdecl Zum_RegisterWizard(void);
int __cdecl Zum_FindFirstService(ZumServiceInfo* out);
int __cdecl Zum_FindNextService(ZumServiceInfo* out);
int __cdecl Zum_FindServiceClose(void);
int __cdecl Zum_GetService(const char* idText, ZumServiceInfo* out);
// arg is a ZumSubscribeInfo* from the client kernel, or the parameter text itself from the
// enrolment pages.
int __cdecl Zum_SubscribeService(const char* idText, const void* arg);
const char* __cdecl Zum_GetLastError(void);
int __cdecl Zum_GetDIYInfo(const char* key, ZumDiyInfo* out, int one);
int __cdecl Zum_GetCatalog(const char* clientType, int index, ZumCatalogInfo* board, int countOnly);
int __cdecl Zum_GetSubject(int index, const ZumCatalogInfo* board, ZumSubjectInfo* out);
int __cdecl Zum_GetNotice(int index, ZumNoticeInfo* out);
int __cdecl Zum_GetZoneCustomer(int page, int index, ZumZoneQuery* query, int countOnly);
// account null: the logged-in customer.
int __cdecl Zum_GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account);
int __cdecl Zum_GetCustomerServiceInfo(int index, ZumPolicyInfo* out, int countOnly, const char* account);
const char* __cdecl Zum_GetUniqueServiceSuiteID(void);

// Control calls of the in-process stand-in (tests and the local demo only).
// Back to the built-in demo platform; the call log is emptied.
void __cdecl ZumStub_Reset(void);
// Replaces the platform with the one a script file describes; 0 when it cannot be read.
int __cdecl ZumStub_LoadScript(const char* path);
// Sets one script item (section, key, value; a null value removes the key).
void __cdecl ZumStub_Set(const char* section, const char* key, const char* value);
// Copies the call log (one "name(arguments)=result" line per call, "\n" after each) into
// buffer, cut to size; answers the length of the whole log.
int __cdecl ZumStub_GetLog(char* buffer, int size);
// Empties the log and restarts the call numbers of [Fail] <function>#<n>.
void __cdecl ZumStub_ClearLog(void);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(ZumServiceInfo) == 1408, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, state) == 52, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, description) == 56, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, flag1) == 376, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, flag0) == 378, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, flag5) == 384, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, locator) == 422, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, codeCount) == 684, "ZumServiceInfo layout");
static_assert(offsetof(ZumServiceInfo, codes) == 688, "ZumServiceInfo layout");
static_assert(sizeof(ZumCatalogInfo) == 888, "ZumCatalogInfo layout");
static_assert(offsetof(ZumCatalogInfo, resource) == 360, "ZumCatalogInfo layout");
static_assert(offsetof(ZumCatalogInfo, fourth) == 620, "ZumCatalogInfo layout");
static_assert(sizeof(ZumSubjectInfo) == 894, "ZumSubjectInfo layout");
static_assert(offsetof(ZumSubjectInfo, serviceId) == 40, "ZumSubjectInfo layout");
static_assert(offsetof(ZumSubjectInfo, text2) == 52, "ZumSubjectInfo layout");
static_assert(offsetof(ZumSubjectInfo, text3) == 372, "ZumSubjectInfo layout");
static_assert(offsetof(ZumSubjectInfo, link) == 632, "ZumSubjectInfo layout");
static_assert(offsetof(ZumSubjectInfo, accessMode) == 892, "ZumSubjectInfo layout");
static_assert(sizeof(ZumCustomerPublicInfo) == 124, "ZumCustomerPublicInfo layout");
static_assert(offsetof(ZumCustomerPublicInfo, sex) == 120, "ZumCustomerPublicInfo layout");
static_assert(offsetof(ZumCustomerPublicInfo, age) == 122, "ZumCustomerPublicInfo layout");
static_assert(sizeof(ZumRegisterInfo) == 144, "ZumRegisterInfo layout");
static_assert(offsetof(ZumRegisterInfo, phone) == 122, "ZumRegisterInfo layout");
static_assert(sizeof(ZumZoneQuery) == 142, "ZumZoneQuery layout");
static_assert(offsetof(ZumZoneQuery, phone) == 122, "ZumZoneQuery layout");
static_assert(sizeof(ZumPolicyInfo) == 96, "ZumPolicyInfo layout");
static_assert(offsetof(ZumPolicyInfo, code) == 52, "ZumPolicyInfo layout");
static_assert(offsetof(ZumPolicyInfo, state) == 92, "ZumPolicyInfo layout");
static_assert(sizeof(ZumNoticeInfo) == 128, "ZumNoticeInfo layout");
static_assert(offsetof(ZumNoticeInfo, t3) == 92, "ZumNoticeInfo layout");
static_assert(offsetof(ZumNoticeInfo, t4) == 108, "ZumNoticeInfo layout");
static_assert(offsetof(ZumNoticeInfo, value) == 124, "ZumNoticeInfo layout");
static_assert(sizeof(ZumDiyInfo) == 280, "ZumDiyInfo layout");
static_assert(offsetof(ZumSubscribeInfo, params) == 200, "ZumSubscribeInfo layout");
static_assert(sizeof(void*) != 4 || sizeof(ZumSubscribeInfo) == 204, "ZumSubscribeInfo layout");
#endif
