// The store's own objects: entries, groups, service policies, boards and subjects, and
// every conversion between them and the public records.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "ContactRecords.h"

namespace rostbase {

// 8-bit text of at most maxBytes bytes (terminated or not) as UTF-16, and back.
std::wstring Widen(const char* text, size_t maxBytes = static_cast<size_t>(-1));
std::string Narrow(const std::wstring& text);

// Decimal reading as the contact file uses it: white space, a sign, digits up to the
// first non-digit; no digit gives 0.
int ReadDecimal(const wchar_t* text);

struct ServicePolicyEntry {
    DWORD id = 0;
    std::wstring name;
    std::wstring summary;
    WORD flags[6] = {};
    std::wstring locator;
    DWORD codeCount = 0;
    std::vector<std::wstring> codes;

    WORD Status() const { return flags[SERVICE_POLICY_STATUS_FLAG]; }
};

struct ServiceSubjectEntry {
    std::wstring caption;
    DWORD number = 0;
    std::wstring summary;
    std::wstring locator;
    std::wstring extra;
    DWORD tail = 0;
};

struct ServiceBoardEntry {
    std::wstring caption;
    std::wstring summary;
    std::wstring locator;
    std::wstring extra;
    std::vector<ServiceSubjectEntry> subjects;
};

// The contact data of one entry: what the records and the contact file carry.
struct FriendData {
    std::wstring id, nickname, name, birthday, province, city;
    SHORT age = 0;
    SHORT sex = 0;
    std::wstring voip, mobile, phone, xlt, email;
    WORD status = 0;
    WORD localPort = 0;
    DWORD localIp = 0;
    DWORD publicIp = 0;
    WORD publicPort = 0;

    bool Online() const { return status != 0 && status != 10; }
    void SetStatus(const FriendStatus& s);
};

class FriendEntry : public FriendData {
public:
    FriendEntry() = default;
    virtual ~FriendEntry() = default;
    FriendEntry(const FriendEntry&) = delete;
    FriendEntry& operator=(const FriendEntry&) = delete;

    std::vector<ServicePolicyEntry> policies;
    std::vector<ServiceBoardEntry> boards;
    // Taken out of the store for good; freed once no walk or callback can still see it.
    bool gone = false;
};

struct ContactGroup {
    std::wstring id;
    std::wstring name;
    std::vector<ContactGroup*> subGroups;
    std::vector<FriendEntry*> friends;
    bool gone = false;
};

// --- entries and friend records
void ToRecord(const FriendData& e, FriendInfoA* out);
void ToRecord(const FriendData& e, FriendInfoW* out);
void FromRecord(const FriendInfoA& in, FriendData* e);
void FromRecord(const FriendInfoW& in, FriendData* e);

// --- groups
void ToRecord(const ContactGroup& g, GroupInfoA* out);
void ToRecord(const ContactGroup& g, GroupInfoW* out);
void FromRecord(const GroupInfoA& in, ContactGroup* g);
void FromRecord(const GroupInfoW& in, ContactGroup* g);

// --- policies, boards, subjects
void FromRecord(const ServicePolicyInfoA& in, ServicePolicyEntry* p);
void FromRecord(const ServicePolicyInfoW& in, ServicePolicyEntry* p);
void ToRecord(const ServicePolicyEntry& p, ServicePolicyInfoA* out);
void ToRecord(const ServicePolicyEntry& p, ServicePolicyInfoW* out);
void FromRecord(const ServiceBoardInfoA& in, ServiceBoardEntry* b);
void FromRecord(const ServiceBoardInfoW& in, ServiceBoardEntry* b);
void ToRecord(const ServiceBoardEntry& b, ServiceBoardInfoA* out);
void ToRecord(const ServiceBoardEntry& b, ServiceBoardInfoW* out);
void FromRecord(const ServiceSubjectInfoA& in, ServiceSubjectEntry* s);
void FromRecord(const ServiceSubjectInfoW& in, ServiceSubjectEntry* s);
void ToRecord(const ServiceSubjectEntry& s, ServiceSubjectInfoA* out);
void ToRecord(const ServiceSubjectEntry& s, ServiceSubjectInfoW* out);

// The policy add rule: true when the policy was appended or replaced a held one. A policy
// whose id is held already is told on the debugger unless `quiet`. Appending takes room
// only when the list has none left.
bool AddPolicy(std::vector<ServicePolicyEntry>& policies, ServicePolicyEntry&& policy, bool quiet = false);

// Board id: the text after the last "-" of a locator, at most 63 characters; false when
// the locator holds no "-".
bool BoardIdOf(const std::wstring& locator, std::wstring* id);
ServiceBoardEntry* FindBoard(std::vector<ServiceBoardEntry>& boards, const std::wstring& boardId);

// The friend filter of the walks and black-list look-ups; key may be null.
bool PassesFilter(const FriendData& e, DWORD mask, const wchar_t* key);

}  // namespace rostbase
