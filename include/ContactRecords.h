// Records, handles and walk procedures of the contact store (RostBase.dll).
//
// The records are a binary interface between separately built modules: their sizes and
// offsets are fixed and identical on i686 and x86_64 (no pointers inside, natural
// alignment only). Handles and user values are pointer-sized.
#pragma once

#include <windows.h>
#include <stddef.h>

// One loaded store; valid from RostBase_LoadA/W until RostBase_Unload.
typedef struct RostBaseStore_* RostBaseHandle;
// One group (a root, a sub-group, the black list or the stranger list).
typedef struct RostBaseGroup_* GroupHandle;
// One entry: a friend, a stranger, a blocked user or the current account.
typedef struct RostBaseFriend_* FriendHandle;

// Presence state of one entry. The store reads only `status`; the rest is carried unread.
struct FriendStatus {
    WORD status;      // 0 and 10: offline; any other value: online
    WORD localPort;
    DWORD localIp;
    DWORD publicIp;
    WORD publicPort;
    WORD reserved;    // never read or written by the store
};

struct FriendInfoA {
    char id[24];
    char nickname[24];
    char name[24];
    char birthday[16];
    char province[16];
    char city[32];
    SHORT age;
    SHORT sex;
    char voip[16];
    char mobile[16];
    char phone[16];
    char xlt[16];
    char email[32];
    FriendStatus status;
};

struct FriendInfoW {
    WCHAR id[24];
    WCHAR nickname[24];
    WCHAR name[24];
    WCHAR birthday[16];
    WCHAR province[16];
    WCHAR city[32];
    SHORT age;
    SHORT sex;
    WCHAR voip[16];
    WCHAR mobile[16];
    WCHAR phone[16];
    WCHAR xlt[16];
    WCHAR email[32];
    FriendStatus status;
};

struct GroupInfoA {
    char id[24];
    char name[24];
};

struct GroupInfoW {
    WCHAR id[24];
    WCHAR name[24];
};

enum { SERVICE_POLICY_CODES = 6, SERVICE_POLICY_STATUS_FLAG = 4 };

struct ServicePolicyInfoA {
    DWORD id;
    char name[64];
    char summary[320];
    WORD flags[6];            // flags[4] is the policy's status
    char locator[260];
    DWORD codeCount;          // valid entries of codes, at most 6
    char codes[6][160];
};

struct ServicePolicyInfoW {
    DWORD id;
    WCHAR name[64];
    WCHAR summary[320];
    WORD flags[6];
    WCHAR locator[260];
    DWORD codeCount;
    WCHAR codes[6][160];
};

// A board's id is the text after the last "-" of its locator.
struct ServiceBoardInfoA {
    char caption[40];
    char summary[320];
    char locator[260];
    char extra[260];
};

struct ServiceBoardInfoW {
    WCHAR caption[40];
    WCHAR summary[320];
    WCHAR locator[260];
    WCHAR extra[260];
};

struct ServiceSubjectInfoA {
    char caption[40];
    DWORD number;
    char summary[320];
    char locator[260];
    char extra[260];
    DWORD tail;
};

struct ServiceSubjectInfoW {
    WCHAR caption[40];
    DWORD number;
    WCHAR summary[320];
    WCHAR locator[260];
    WCHAR extra[260];
    DWORD tail;
};

// Walk procedures: non-zero goes on, 0 stops the walk. The user value is the caller's own.
typedef BOOL(CALLBACK* FriendEnumProc)(FriendHandle entry, GroupHandle group, UINT_PTR user);
typedef BOOL(CALLBACK* GroupEnumProc)(GroupHandle group, GroupHandle parent, UINT_PTR user);

// Size of the caller's buffer for RostBase_GetServiceBoardIdA/W, in characters.
enum { SERVICE_BOARD_ID_CHARS = 64 };

// Friend filter masks of RostBase_EnumFriendsA/W and RostBase_IsCodeInBlackListUserA/W.
enum : DWORD {
    FRIEND_MATCH_ALL = 0xFFFFFFFFu,
    FRIEND_MATCH_VOIP = 1,
    FRIEND_MATCH_MOBILE = 2,
    FRIEND_MATCH_PHONE = 4,
    FRIEND_MATCH_XLT = 8,
    FRIEND_MATCH_EMAIL = 16,
    FRIEND_MATCH_STATUS = 32,
    FRIEND_MATCH_NOT_STATUS = 64,
};

// Flags of RostBase_RefreshFriendStatus.
enum : DWORD {
    REFRESH_RESET_NETWORK_FRIENDS = 0x00000001u,
    REFRESH_NOTIFY = 0x10000000u,
};

#define ROST_CHECK(type, field, a_off) static_assert(offsetof(type, field) == (a_off), #type "." #field)
static_assert(sizeof(FriendStatus) == 16, "FriendStatus");
ROST_CHECK(FriendStatus, localPort, 2);
ROST_CHECK(FriendStatus, localIp, 4);
ROST_CHECK(FriendStatus, publicIp, 8);
ROST_CHECK(FriendStatus, publicPort, 12);

static_assert(sizeof(FriendInfoA) == 252, "FriendInfoA");
ROST_CHECK(FriendInfoA, nickname, 24);
ROST_CHECK(FriendInfoA, name, 48);
ROST_CHECK(FriendInfoA, birthday, 72);
ROST_CHECK(FriendInfoA, province, 88);
ROST_CHECK(FriendInfoA, city, 104);
ROST_CHECK(FriendInfoA, age, 136);
ROST_CHECK(FriendInfoA, sex, 138);
ROST_CHECK(FriendInfoA, voip, 140);
ROST_CHECK(FriendInfoA, mobile, 156);
ROST_CHECK(FriendInfoA, phone, 172);
ROST_CHECK(FriendInfoA, xlt, 188);
ROST_CHECK(FriendInfoA, email, 204);
ROST_CHECK(FriendInfoA, status, 236);

static_assert(sizeof(FriendInfoW) == 484, "FriendInfoW");
ROST_CHECK(FriendInfoW, nickname, 48);
ROST_CHECK(FriendInfoW, name, 96);
ROST_CHECK(FriendInfoW, birthday, 144);
ROST_CHECK(FriendInfoW, province, 176);
ROST_CHECK(FriendInfoW, city, 208);
ROST_CHECK(FriendInfoW, age, 272);
ROST_CHECK(FriendInfoW, sex, 274);
ROST_CHECK(FriendInfoW, voip, 276);
ROST_CHECK(FriendInfoW, mobile, 308);
ROST_CHECK(FriendInfoW, phone, 340);
ROST_CHECK(FriendInfoW, xlt, 372);
ROST_CHECK(FriendInfoW, email, 404);
ROST_CHECK(FriendInfoW, status, 468);

static_assert(sizeof(GroupInfoA) == 48, "GroupInfoA");
ROST_CHECK(GroupInfoA, name, 24);
static_assert(sizeof(GroupInfoW) == 96, "GroupInfoW");
ROST_CHECK(GroupInfoW, name, 48);

static_assert(sizeof(ServicePolicyInfoA) == 1624, "ServicePolicyInfoA");
ROST_CHECK(ServicePolicyInfoA, name, 4);
ROST_CHECK(ServicePolicyInfoA, summary, 68);
ROST_CHECK(ServicePolicyInfoA, flags, 388);
ROST_CHECK(ServicePolicyInfoA, locator, 400);
ROST_CHECK(ServicePolicyInfoA, codeCount, 660);
ROST_CHECK(ServicePolicyInfoA, codes, 664);
static_assert(sizeof(ServicePolicyInfoW) == 3228, "ServicePolicyInfoW");
ROST_CHECK(ServicePolicyInfoW, name, 4);
ROST_CHECK(ServicePolicyInfoW, summary, 132);
ROST_CHECK(ServicePolicyInfoW, flags, 772);
ROST_CHECK(ServicePolicyInfoW, locator, 784);
ROST_CHECK(ServicePolicyInfoW, codeCount, 1304);
ROST_CHECK(ServicePolicyInfoW, codes, 1308);

static_assert(sizeof(ServiceBoardInfoA) == 880, "ServiceBoardInfoA");
ROST_CHECK(ServiceBoardInfoA, summary, 40);
ROST_CHECK(ServiceBoardInfoA, locator, 360);
ROST_CHECK(ServiceBoardInfoA, extra, 620);
static_assert(sizeof(ServiceBoardInfoW) == 1760, "ServiceBoardInfoW");
ROST_CHECK(ServiceBoardInfoW, summary, 80);
ROST_CHECK(ServiceBoardInfoW, locator, 720);
ROST_CHECK(ServiceBoardInfoW, extra, 1240);

static_assert(sizeof(ServiceSubjectInfoA) == 888, "ServiceSubjectInfoA");
ROST_CHECK(ServiceSubjectInfoA, number, 40);
ROST_CHECK(ServiceSubjectInfoA, summary, 44);
ROST_CHECK(ServiceSubjectInfoA, locator, 364);
ROST_CHECK(ServiceSubjectInfoA, extra, 624);
ROST_CHECK(ServiceSubjectInfoA, tail, 884);
static_assert(sizeof(ServiceSubjectInfoW) == 1768, "ServiceSubjectInfoW");
ROST_CHECK(ServiceSubjectInfoW, number, 80);
ROST_CHECK(ServiceSubjectInfoW, summary, 84);
ROST_CHECK(ServiceSubjectInfoW, locator, 724);
ROST_CHECK(ServiceSubjectInfoW, extra, 1244);
ROST_CHECK(ServiceSubjectInfoW, tail, 1764);
#undef ROST_CHECK

static_assert(sizeof(RostBaseHandle) == sizeof(void*) && sizeof(UINT_PTR) == sizeof(void*),
              "handles and user values are pointer-sized");
