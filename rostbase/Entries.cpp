#include "Entries.h"

#include <cstring>
#include <cwchar>

#include "Text.h"

namespace rostbase {

std::wstring Widen(const char* text, size_t maxBytes) {
    // The field may fill its width without a terminator: only maxBytes are read.
    return vantor::AnsiToWide(text, maxBytes);
}

std::string Narrow(const std::wstring& text) { return vantor::WideToAnsi(text.c_str()); }

int ReadDecimal(const wchar_t* text) {
    if (!text) return 0;
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') negative = (*text++ == L'-');
    unsigned int value = 0;
    while (*text >= L'0' && *text <= L'9') value = value * 10u + static_cast<unsigned int>(*text++ - L'0');
    return static_cast<int>(negative ? 0u - value : value);
}

void FriendData::SetStatus(const FriendStatus& s) {
    status = s.status;
    localPort = s.localPort;
    localIp = s.localIp;
    publicIp = s.publicIp;
    publicPort = s.publicPort;
}

namespace {

// A text of `width` characters in a friend record: whole when shorter than the width,
// else cut to width - 2 without splitting a character.
template <typename Ch>
void PutCut(Ch* field, size_t width, const Ch* text, size_t length) {
    size_t n = length < width ? length : vantor::WholeCharsPrefix(text, length, width - 2);
    std::memcpy(field, text, n * sizeof(Ch));
    field[n] = 0;
}

// Widths are the fields' own: a record field never takes more than it holds.
template <size_t N>
void PutFriendText(char (&field)[N], const std::wstring& text) {
    if (text.empty()) return;
    // Converted on the stack: a record read is made thousands of times in a row, and a
    // text of a field's size fits.
    char bytes[512];
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes, sizeof bytes,
                                nullptr, nullptr);
    if (n > 0) return PutCut(field, N, bytes, static_cast<size_t>(n));
    std::string narrow = Narrow(text);
    PutCut(field, N, narrow.c_str(), narrow.size());
}

template <size_t N>
void PutFriendText(wchar_t (&field)[N], const std::wstring& text) {
    if (text.empty()) return;
    PutCut(field, N, text.c_str(), text.size());
}

// Texts cut to their width less one, never splitting a character.
template <size_t N>
void PutText(char (&field)[N], const std::wstring& text) {
    std::string narrow = Narrow(text);
    vantor::CopyField(field, N, narrow.c_str(), false);
}

template <size_t N>
void PutText(wchar_t (&field)[N], const std::wstring& text) {
    vantor::CopyField(field, N, text.c_str(), false);
}

template <size_t N> std::wstring Take(const char (&field)[N]) { return Widen(field, N); }
template <size_t N> std::wstring Take(const wchar_t (&field)[N]) { return vantor::FieldText(field); }

template <typename Rec>
void CopyNumbers(const FriendData& e, Rec* out) {
    out->age = e.age;
    out->sex = e.sex;
    out->status.status = e.status;
    out->status.localPort = e.localPort;
    out->status.localIp = e.localIp;
    out->status.publicIp = e.publicIp;
    out->status.publicPort = e.publicPort;
}

template <typename Rec>
void ToFriendRecord(const FriendData& e, Rec* out) {
    std::memset(out, 0, sizeof(*out));
    PutFriendText(out->id, e.id);
    PutFriendText(out->nickname, e.nickname);
    PutFriendText(out->name, e.name);
    PutFriendText(out->birthday, e.birthday);
    PutFriendText(out->province, e.province);
    PutFriendText(out->city, e.city);
    PutFriendText(out->voip, e.voip);
    PutFriendText(out->mobile, e.mobile);
    PutFriendText(out->phone, e.phone);
    PutFriendText(out->xlt, e.xlt);
    PutFriendText(out->email, e.email);
    CopyNumbers(e, out);
}

template <typename Rec>
void FromFriendRecord(const Rec& in, FriendData* e) {
    e->id = Take(in.id);
    e->nickname = Take(in.nickname);
    e->name = Take(in.name);
    e->birthday = Take(in.birthday);
    e->province = Take(in.province);
    e->city = Take(in.city);
    e->age = in.age;
    e->sex = in.sex;
    e->voip = Take(in.voip);
    e->mobile = Take(in.mobile);
    e->phone = Take(in.phone);
    e->xlt = Take(in.xlt);
    e->email = Take(in.email);
    e->SetStatus(in.status);
}

template <typename Rec>
void FromPolicyRecord(const Rec& in, ServicePolicyEntry* p) {
    p->id = in.id;
    std::memcpy(p->flags, in.flags, sizeof(p->flags));
    p->name = Take(in.name);
    p->summary = Take(in.summary);
    p->locator = Take(in.locator);
    p->codes.clear();
    DWORD count = in.codeCount < DWORD(SERVICE_POLICY_CODES) ? in.codeCount : DWORD(SERVICE_POLICY_CODES);
    for (DWORD i = 0; i < count; ++i) p->codes.push_back(Take(in.codes[i]));
    p->codeCount = count;
}

template <typename Rec>
void ToPolicyRecord(const ServicePolicyEntry& p, Rec* out) {
    std::memset(out, 0, sizeof(*out));
    out->id = p.id;
    std::memcpy(out->flags, p.flags, sizeof(out->flags));
    PutText(out->name, p.name);
    PutText(out->summary, p.summary);
    PutText(out->locator, p.locator);
    DWORD n = 0;
    for (; n < SERVICE_POLICY_CODES && n < p.codes.size(); ++n) PutText(out->codes[n], p.codes[n]);
    out->codeCount = n;
}

template <typename Rec>
void FromBoardRecord(const Rec& in, ServiceBoardEntry* b) {
    b->caption = Take(in.caption);
    b->summary = Take(in.summary);
    b->locator = Take(in.locator);
    b->extra = Take(in.extra);
}

template <typename Rec>
void FromSubjectRecord(const Rec& in, ServiceSubjectEntry* s) {
    if (in.number != 0) s->number = in.number;
    s->tail = in.tail;
    s->caption = Take(in.caption);
    s->summary = Take(in.summary);
    s->locator = Take(in.locator);
    s->extra = Take(in.extra);
}

template <typename Rec>
void ToSubjectRecord(const ServiceSubjectEntry& s, Rec* out) {
    out->number = s.number;
    if (!s.caption.empty()) PutText(out->caption, s.caption);
    if (!s.summary.empty()) PutText(out->summary, s.summary);
    if (!s.locator.empty()) PutText(out->locator, s.locator);
    if (!s.extra.empty()) PutText(out->extra, s.extra);
}

}  // namespace

void ToRecord(const FriendData& e, FriendInfoA* out) { ToFriendRecord(e, out); }
void ToRecord(const FriendData& e, FriendInfoW* out) { ToFriendRecord(e, out); }
void FromRecord(const FriendInfoA& in, FriendData* e) { FromFriendRecord(in, e); }
void FromRecord(const FriendInfoW& in, FriendData* e) { FromFriendRecord(in, e); }

void ToRecord(const ContactGroup& g, GroupInfoA* out) {
    PutText(out->id, g.id);
    if (!g.name.empty()) PutText(out->name, g.name);
}

void ToRecord(const ContactGroup& g, GroupInfoW* out) {
    PutText(out->id, g.id);
    PutText(out->name, g.name);
}

void FromRecord(const GroupInfoA& in, ContactGroup* g) {
    g->id = Take(in.id);
    g->name = Take(in.name);
}

void FromRecord(const GroupInfoW& in, ContactGroup* g) {
    g->id = Take(in.id);
    g->name = Take(in.name);
}

void FromRecord(const ServicePolicyInfoA& in, ServicePolicyEntry* p) { FromPolicyRecord(in, p); }
void FromRecord(const ServicePolicyInfoW& in, ServicePolicyEntry* p) { FromPolicyRecord(in, p); }
void ToRecord(const ServicePolicyEntry& p, ServicePolicyInfoA* out) { ToPolicyRecord(p, out); }
void ToRecord(const ServicePolicyEntry& p, ServicePolicyInfoW* out) { ToPolicyRecord(p, out); }
void FromRecord(const ServiceBoardInfoA& in, ServiceBoardEntry* b) { FromBoardRecord(in, b); }
void FromRecord(const ServiceBoardInfoW& in, ServiceBoardEntry* b) { FromBoardRecord(in, b); }

void ToRecord(const ServiceBoardEntry& b, ServiceBoardInfoA* out) {
    // The 8-bit form leaves the caller's field alone where the text is empty.
    if (!b.caption.empty()) PutText(out->caption, b.caption);
    if (!b.summary.empty()) PutText(out->summary, b.summary);
    if (!b.locator.empty()) PutText(out->locator, b.locator);
    if (!b.extra.empty()) PutText(out->extra, b.extra);
}

void ToRecord(const ServiceBoardEntry& b, ServiceBoardInfoW* out) {
    PutText(out->caption, b.caption);
    PutText(out->summary, b.summary);
    PutText(out->locator, b.locator);
    PutText(out->extra, b.extra);
}

void FromRecord(const ServiceSubjectInfoA& in, ServiceSubjectEntry* s) { FromSubjectRecord(in, s); }
void FromRecord(const ServiceSubjectInfoW& in, ServiceSubjectEntry* s) { FromSubjectRecord(in, s); }
void ToRecord(const ServiceSubjectEntry& s, ServiceSubjectInfoA* out) { ToSubjectRecord(s, out); }
void ToRecord(const ServiceSubjectEntry& s, ServiceSubjectInfoW* out) { ToSubjectRecord(s, out); }

bool AddPolicy(std::vector<ServicePolicyEntry>& policies, ServicePolicyEntry&& policy, bool quiet) {
    for (auto& held : policies) {
        if (held.id != policy.id) continue;
        if (!quiet) OutputDebugStringW(L"该服务策略已经存在了\n");
        if (held.Status() == policy.Status()) return false;
        held = std::move(policy);
        return true;
    }
    policies.push_back(std::move(policy));
    return true;
}

bool BoardIdOf(const std::wstring& locator, std::wstring* id) {
    size_t dash = locator.rfind(L'-');
    if (dash == std::wstring::npos) return false;
    const wchar_t* tail = locator.c_str() + dash + 1;
    size_t length = locator.size() - dash - 1;
    size_t keep = vantor::WholeCharsPrefix(tail, length, SERVICE_BOARD_ID_CHARS - 1);
    id->assign(tail, keep);
    return true;
}

ServiceBoardEntry* FindBoard(std::vector<ServiceBoardEntry>& boards, const std::wstring& boardId) {
    std::wstring id;
    for (auto& board : boards) {
        if (BoardIdOf(board.locator, &id) && id == boardId) return &board;
    }
    return nullptr;
}

bool PassesFilter(const FriendData& e, DWORD mask, const wchar_t* key) {
    if (mask == FRIEND_MATCH_ALL) return true;
    if (!key) return false;
    auto same = [key](const std::wstring& text) { return !text.empty() && text == key; };
    if ((mask & FRIEND_MATCH_VOIP) && same(e.voip)) return true;
    if ((mask & FRIEND_MATCH_MOBILE) && same(e.mobile)) return true;
    if ((mask & FRIEND_MATCH_PHONE) && same(e.phone)) return true;
    if ((mask & FRIEND_MATCH_XLT) && same(e.xlt)) return true;
    if ((mask & FRIEND_MATCH_EMAIL) && same(e.email)) return true;
    int value = ReadDecimal(key);
    if ((mask & FRIEND_MATCH_STATUS) && static_cast<int>(e.status) == value) return true;
    if ((mask & FRIEND_MATCH_NOT_STATUS) && static_cast<int>(e.status) != value) return true;
    return false;
}

}  // namespace rostbase
