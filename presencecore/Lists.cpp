// Online friends and paged user search: one record per server "record", handed to the
// caller's procedure.
#include "PsCore.h"
#include "PresenceCore.h"

#include <cstring>
#include <type_traits>

#include "Sync.h"

namespace ps {

namespace {

// Values of a record count only as text cells (type 8) with text.
template <typename Record, typename Fill, typename Proc>
PsResult WalkRecords(const char* action, const std::string& params, Fill fill, Proc proc, UINT_PTR context) {
    Reply reply;
    PsResult r = PsRequest(reply, FormOf<typename std::remove_reference<decltype(Record().id[0])>::type>(), action, params);
    if (r != PS_OK) return r;
    bool stopped = !WalkReplyCells(reply, [&](const Cell& cell, const XmlNode& node) {
        if (!cell.hasType || cell.type != 27 || !SameName(cell.name, L"friend-list")) return true;
        for (XmlNode item = node.FirstChildElement(); item; item = item.NextSiblingElement()) {
            if (!SameName(item.Name(), L"record")) continue;
            Record record;
            std::memset(&record, 0, sizeof record);
            bool idOk = true;
            for (XmlNode value = item.FirstChildElement(); value; value = value.NextSiblingElement()) {
                Cell v;
                if (!ReadCellNode(value, &v) || !v.hasType || v.type != 8 || v.text.empty()) continue;
                fill(record, v, &idOk);
            }
            if (!idOk || record.id[0] == 0) continue;
            if (proc && proc(record, context) == 0) return false;
        }
        return true;
    });
    return stopped ? PS_WALK_STOPPED : PS_OK;
}

template <typename Record>
void FillOnline(Record& record, const Cell& v, bool* idOk) {
    const std::wstring& t = v.text;
    if (SameName(v.name, L"friendid")) *idOk = PutId(record.id, t);
    else if (SameName(v.name, L"statuscode")) record.status.status = static_cast<WORD>(_wtoi(t.c_str()));
    else if (SameName(v.name, L"localip")) record.status.localIp = ParseIPv4Address(t);
    else if (SameName(v.name, L"localport")) record.status.localPort = static_cast<WORD>(_wtoi(t.c_str()));
    else if (SameName(v.name, L"ip")) record.status.publicIp = ParseIPv4Address(t);
    else if (SameName(v.name, L"port")) record.status.publicPort = static_cast<WORD>(_wtoi(t.c_str()));
}

template <typename Record>
void FillFound(Record& record, const Cell& v, bool* idOk) {
    const std::wstring& t = v.text;
    if (SameName(v.name, L"friend-id")) *idOk = PutId(record.id, t);
    else if (SameName(v.name, L"friend-nicename")) PutText(record.nickname, t);
    else if (SameName(v.name, L"friend-sex")) record.sex = static_cast<SHORT>(_wtoi(t.c_str()));
    else if (SameName(v.name, L"friend-province")) PutText(record.province, t);
    else if (SameName(v.name, L"friend-city")) PutText(record.city, t);
    else if (SameName(v.name, L"friend-age")) record.age = static_cast<SHORT>(_wtoi(t.c_str()));
}

// The page size of each form, read once it is non-zero.
struct Batches {
    vantor::CriticalSection lock;
    int ansi = 0;
    int wide = 0;
};

int Batch(bool wide) {
    static Batches batches;
    vantor::Lock lock(batches.lock);
    int& batch = wide ? batches.wide : batches.ansi;
    if (batch == 0) batch = ReadConfigInt("SearchFriendsBatchRecord", 10);
    return batch;
}

std::string SearchParams(const std::string& criteria, int page, bool wide) {
    long long batch = Batch(wide);
    std::string text = criteria;
    if (!text.empty()) text += '&';
    text += "&begrec=" + std::to_string(batch * page + 1);
    text += "&endrec=" + std::to_string((page + 1LL) * batch);
    return text;
}

}  // namespace

}  // namespace ps

using namespace ps;

extern "C" int __stdcall PS_Cco_GetOnlineFriendsA(PsFriendEnumProc proc, UINT_PTR context) {
    return Guard([&] {
        return WalkRecords<FriendInfoA>("GetUserContactFriendIP", "linkertype=client", FillOnline<FriendInfoA>, proc, context);
    });
}

extern "C" int __stdcall PS_Cco_GetOnlineFriendsW(PsFriendEnumProcW proc, UINT_PTR context) {
    return Guard([&] {
        return WalkRecords<FriendInfoW>("GetUserContactFriendIP", "linkertype=client", FillOnline<FriendInfoW>, proc, context);
    });
}

extern "C" int __stdcall PS_Cco_SearchUserA(const char* criteria, int page, PsFriendEnumProc proc, UINT_PTR context) {
    return Guard([&] {
        return WalkRecords<FriendInfoA>("SearchFriendList2PS", SearchParams(Ansi(criteria), page, false),
                                        FillFound<FriendInfoA>, proc, context);
    });
}

extern "C" int __stdcall PS_Cco_SearchUserW(const wchar_t* criteria, int page, PsFriendEnumProcW proc, UINT_PTR context) {
    return Guard([&] {
        return WalkRecords<FriendInfoW>("SearchFriendList2PS", SearchParams(Ansi(criteria), page, true),
                                        FillFound<FriendInfoW>, proc, context);
    });
}
