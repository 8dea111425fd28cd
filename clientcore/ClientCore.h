// ClientCore.dll: the client kernel interface the host program and the tab plug-ins call.
//
// It connects and logs in to the service platform through zumbase, keeps the login state,
// answers URL and account queries and applies for services. Every call uses __stdcall and is
// exported undecorated with a fixed ordinal (callers may link by ordinal; the self-service
// pane links Cco_GetRemoteUrlA as ordinal 30). Cco_GetRostBaseHandle has ordinal 27 and no
// name. Plug-ins load the library by name and resolve each call with GetProcAddress;
// decltype(&Cco_IsAlive) gives the pointer type.
//
// Results: 0 success, 7 not supported, 10 login cancelled, 20 a failed count of a search or
// notice, 21 a failed service walk at login, a platform failure c as c + 30000 (c >= 0) or
// c + 40000 (c < 0), 39999 for a platform code that cannot be told apart from these.
// Cco_GetLastMsg gives the text of the last failure.
#pragma once

#include <windows.h>
#include <stddef.h>

#include "ContactRecords.h"

#ifdef CLIENTCORE_BUILD
#define CLIENTCORE_API extern "C"
#else
#define CLIENTCORE_API extern "C" __declspec(dllimport)
#endif

// Progress of a login (steps 3 to 10). Only the low byte of the answer is tested: 0 cancels.
typedef BOOL(CALLBACK* LoginProgressProcA)(int step, const char* text, void* context);
typedef BOOL(CALLBACK* LoginProgressProcW)(int step, const wchar_t* text, void* context);

// One found user, the whole record by value; 0 stops the search. The same shape as the
// presence server's search procedure, so one procedure can serve both.
typedef int(CALLBACK* UserSearchProcA)(FriendInfoA record, UINT_PTR context);
typedef int(CALLBACK* UserSearchProcW)(FriendInfoW record, UINT_PTR context);

// One platform notice (120 bytes).
struct NoticeInfo {
    char t0[40];
    char t1[40];
    char t2[12];
    char t3[12];
    char t4[12];
    INT32 value;
};

// A page address from the platform or the configuration.
struct RemoteUrlInfoA {
    char url[260];
    char text[40];
    BYTE raw[40];
};

struct RemoteUrlInfoW {
    WCHAR url[260];
    WCHAR text[40];
    BYTE raw[40];
};

// One item of a sign-up form: "nickname", "realname", "province", "city", "phone" or "sex"
// (compared without regard to case); other names are ignored.
struct RegisterPairA {
    char name[64];
    char value[128];
};

struct RegisterPairW {
    WCHAR name[64];
    WCHAR value[128];
};

// Kinds of Cco_GetRemoteUrlA/W.
enum : int {
    REMOTE_URL_INDEX = 1,       // platform page "indexurl"
    REMOTE_URL_PAY_FEE = 2,     // platform page "payfeeurl"
    REMOTE_URL_READ_PAY = 3,    // [CommonUrl] ReadPayUrl
    REMOTE_URL_ONLINE_HELP = 4, // [CommonUrl] onlinehelp + "onlinehelp/<suite>/index.html"
};

// Characters the bulletin and advertising calls may write, terminator included.
enum { CCO_URL_OUT_CHARS = 340 };

// The service whose subscription carries the presence-server login.
enum { SERVICE_PRESENCE = 9 };

// --- login, logoff, service application
// The first three arguments are not read. progress may be null (no reports, no cancel).
CLIENTCORE_API int WINAPI Cco_LoginA(UINT_PTR unused1, UINT_PTR unused2, UINT_PTR unused3,
                                     LoginProgressProcA progress, void* context);
CLIENTCORE_API int WINAPI Cco_LoginW(UINT_PTR unused1, UINT_PTR unused2, UINT_PTR unused3,
                                     LoginProgressProcW progress, void* context);
CLIENTCORE_API int WINAPI Cco_Logoff(void);
// parameters and out may be null.
CLIENTCORE_API int WINAPI Cco_ApplyServiceA(int serviceId, const char* parameters, ServicePolicyInfoA* out);
CLIENTCORE_API int WINAPI Cco_ApplyServiceW(int serviceId, const wchar_t* parameters, ServicePolicyInfoW* out);

// --- connection, login state, URLs
CLIENTCORE_API int WINAPI Cco_IsAlive(int* connected);
CLIENTCORE_API int WINAPI Cco_IsForceUpdate(void);
CLIENTCORE_API const char* WINAPI Cco_GetLastMsg(void);
CLIENTCORE_API const char* WINAPI Cco_GetMessengerUrlA(void* unused);
CLIENTCORE_API const wchar_t* WINAPI Cco_GetMessengerUrlW(void* unused);
CLIENTCORE_API int WINAPI Cco_GetVantorMessenger(NoticeInfo* records, UINT* count);
CLIENTCORE_API int WINAPI Cco_GetBulletinUrlA(char* out);
CLIENTCORE_API int WINAPI Cco_GetBulletinUrlW(WCHAR* out);
CLIENTCORE_API int WINAPI Cco_GetAdvertisingUrlA(char* out);
CLIENTCORE_API int WINAPI Cco_GetAdvertisingUrlW(WCHAR* out);
CLIENTCORE_API int WINAPI Cco_GetRemoteUrlA(int kind, RemoteUrlInfoA* out);
CLIENTCORE_API int WINAPI Cco_GetRemoteUrlW(int kind, RemoteUrlInfoW* out);
CLIENTCORE_API const char* WINAPI Cco_GetServiceSuiteId(void);
CLIENTCORE_API RostBaseHandle WINAPI Cco_GetRostBaseHandle(void);

// --- sign-up, account data, service policies, user search
CLIENTCORE_API int WINAPI Cco_RegisterUserA(const char* text, const RegisterPairA* pairs, int count,
                                            void* unused1, void* unused2);
CLIENTCORE_API int WINAPI Cco_RegisterUserW(const wchar_t* text, const RegisterPairW* pairs, int count,
                                            void* unused1, void* unused2);
CLIENTCORE_API int WINAPI Cco_GetUserPublicInfoA(const char* account, FriendInfoA* out);
CLIENTCORE_API int WINAPI Cco_GetUserPublicInfoW(const wchar_t* account, FriendInfoW* out);
CLIENTCORE_API int WINAPI Cco_GetServicePolicysA(const char* account, ServicePolicyInfoA* records, UINT* count);
CLIENTCORE_API int WINAPI Cco_GetServicePolicysW(const wchar_t* account, ServicePolicyInfoW* records, UINT* count);
CLIENTCORE_API int WINAPI Cco_SearchUserA(int page, const FriendInfoA* criteria, UserSearchProcA proc, UINT_PTR context);
CLIENTCORE_API int WINAPI Cco_SearchUserW(int page, const FriendInfoW* criteria, UserSearchProcW proc, UINT_PTR context);
CLIENTCORE_API int WINAPI Cco_GetAccountListA(void* unused1, void* unused2);
CLIENTCORE_API int WINAPI Cco_GetAccountListW(void* unused1, void* unused2);

static_assert(sizeof(NoticeInfo) == 120, "NoticeInfo layout");
static_assert(offsetof(NoticeInfo, t3) == 92, "NoticeInfo layout");
static_assert(offsetof(NoticeInfo, value) == 116, "NoticeInfo layout");
static_assert(sizeof(RemoteUrlInfoA) == 340, "RemoteUrlInfoA layout");
static_assert(offsetof(RemoteUrlInfoA, raw) == 300, "RemoteUrlInfoA layout");
static_assert(sizeof(RemoteUrlInfoW) == 640, "RemoteUrlInfoW layout");
static_assert(offsetof(RemoteUrlInfoW, text) == 520, "RemoteUrlInfoW layout");
static_assert(offsetof(RemoteUrlInfoW, raw) == 600, "RemoteUrlInfoW layout");
static_assert(sizeof(RegisterPairA) == 192, "RegisterPairA layout");
static_assert(sizeof(RegisterPairW) == 384, "RegisterPairW layout");
