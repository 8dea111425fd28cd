// In-process stand-in for the service-platform client library.
//
// The platform is a script of INI items (see Script.h and the header's ZumStub_* calls):
//   [Stub]      strict=0|1  subscribe_arg=auto|info|text  unterminated=0|1  null_error=0|1
//   [Connect] [Disconnect] [Register] [Login]   status=<status>
//   [Login2]    seq=<status>,<status>,...   (taken in order, the last one repeats)
//   [Wizard]    userinfo=<status>  register=<status>
//   [Customer]  account nickname province city sex age
//   [Suite]     id=<text>  null=1
//   [Services]  list=<id>,<id>,...          [Service.<id>] name desc state flag0..flag5 locator codes code0..code5
//   [Subscribe] default=<status>  <id>=<status>     [GetService] default=<status>  <id>=<status>
//   [Catalog]   count fail=<i>,...          [Board.<i>] name desc res fourth subjects fail=<j>,...
//   [Board.<i>.Subject.<j>] name service text2 text3 link access
//   [Notice]    count                       [Notice.<i>] t0..t4 value
//   [DIY]       <key>=<url>  <key>.text  <key>.raw
//   [Zone]      page_size users=<account>,...   [User.<account>] nickname province city sex age phone
//   [CustomerService.<account>] count      [CustomerService.<account>.<i>] id name code state
//   [Fail]      <function>=<status> (every call)  <function>#<n>=<status> (the n-th call)
//   [Errors]    <function>=<text of the failure>
//   [Delay]     <function>=<ms> (every call waits that long first, holding no lock)
// Every call is logged as "name(arguments)=result".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "DemoPlatform.h"
#include "ModulePath.h"
#include "Script.h"
#include "Sync.h"
#include "Text.h"
#include "outside/zumbase.h"

using zumstub::Lower;
using zumstub::ParseInt;
using zumstub::SplitList;

namespace {

struct Platform {
    zumstub::Script script;
    std::vector<std::string> log;
    std::map<std::string, int> calls;   // per function, counted from the last reset or log clear
    std::string lastError;
    bool connected = false;
    bool loggedIn = false;
    size_t login2Position = 0;
    size_t walkPosition = 0;
};

vantor::CriticalSection g_lock;
Platform* g_platform = nullptr;
const size_t kMaxLogLines = 20000;

Platform& P() {
    if (!g_platform) {
        g_platform = new Platform;
        g_platform->script.Parse(vantor::WideToAnsi(zumstub::DemoPlatformText()));
    }
    return *g_platform;
}

std::string Num(long long v) { return std::to_string(v); }
std::string Arg(const char* s) { return s ? std::string(s) : std::string("(null)"); }

// One call in progress: counts it, answers injected failures, logs it when it ends.
class Call {
public:
    Call(const char* name, std::string args) : name_(name), args_(std::move(args)) {
        number_ = ++P().calls[Lower(name_)];
    }
    ~Call() {
        Platform& p = P();
        std::string line = name_ + "(" + args_ + ")=" + result_;
        OutputDebugStringA(("zumbase: " + line + "\n").c_str());
        if (p.log.size() < kMaxLogLines) p.log.push_back(line);
    }
    // A failure the script injects for this call, if any.
    bool Injected(int* status) const {
        const zumstub::Script& s = P().script;
        std::string nth = name_ + "#" + Num(number_);
        if (s.Has("Fail", nth)) { *status = static_cast<int>(s.GetInt("Fail", nth, 0)); return true; }
        if (s.Has("Fail", name_)) { *status = static_cast<int>(s.GetInt("Fail", name_, 0)); return true; }
        return false;
    }
    int Done(int result) {
        result_ = Num(result);
        if (result < 0 || (result != ZumSuccess && IsStatusCall())) Fail(result);
        return result;
    }
    void SetResultText(const std::string& text) { result_ = text; }
    void AppendArgs(const std::string& more) { args_ += more; }

private:
    bool IsStatusCall() const {
        static const char* const counting[] = {"Zum_GetCatalog", "Zum_GetSubject", "Zum_GetNotice",
                                               "Zum_GetZoneCustomer", "Zum_GetCustomerServiceInfo"};
        for (const char* c : counting) {
            if (name_ == c) return false;
        }
        return true;
    }
    void Fail(int status) {
        Platform& p = P();
        std::string fallback = name_ + vantor::WideToAnsi(L"失败，代码 ") + Num(status);
        p.lastError = p.script.Get("Errors", name_, fallback);
    }

    std::string name_;
    std::string args_;
    std::string result_ = "?";
    int number_ = 0;
};

bool Strict() { return P().script.GetInt("Stub", "strict", 0) != 0; }

// Fails with the session error when strict mode wants a connection or a login first.
bool SessionMissing(Call& call, bool needLogin, int* result) {
    if (!Strict()) return false;
    if (!P().connected) { *result = call.Done(ZumErrNotConnected); return true; }
    if (needLogin && !P().loggedIn) { *result = call.Done(ZumErrNotLoggedIn); return true; }
    return false;
}

// Copies a script text into a record field. With [Stub] unterminated=1 a text that does not
// fit fills the whole field without a terminator, as a careless platform would.
void Fill(char* field, size_t width, const std::string& value) {
    if (P().script.GetInt("Stub", "unterminated", 0) != 0 && value.size() >= width) {
        memcpy(field, value.data(), width);
        return;
    }
    vantor::CopyField(field, width, value.c_str());
}
template <size_t N> void Fill(char (&field)[N], const std::string& value) { Fill(field, N, value); }

int StatusItem(const char* section, const std::string& key) {
    const zumstub::Script& s = P().script;
    if (s.Has(section, key)) return static_cast<int>(s.GetInt(section, key, ZumSuccess));
    return static_cast<int>(s.GetInt(section, "default", s.GetInt(section, "status", ZumSuccess)));
}

bool InList(const std::vector<std::string>& list, const std::string& item) {
    for (const auto& i : list) {
        if (i == item) return true;
    }
    return false;
}

std::vector<std::string> ServiceList() { return SplitList(P().script.Get("Services", "list")); }

void FillService(const std::string& id, ZumServiceInfo* out) {
    const zumstub::Script& s = P().script;
    std::string sec = "Service." + id;
    Fill(out->id, s.Get(sec, "id", id));
    Fill(out->name, s.Get(sec, "name"));
    Fill(out->description, s.Get(sec, "desc"));
    out->state = static_cast<uint16_t>(s.GetInt(sec, "state", 0));
    out->flag0 = static_cast<uint16_t>(s.GetInt(sec, "flag0", 0));
    out->flag1 = static_cast<uint16_t>(s.GetInt(sec, "flag1", 0));
    out->flag2 = static_cast<uint16_t>(s.GetInt(sec, "flag2", 0));
    out->flag3 = static_cast<uint16_t>(s.GetInt(sec, "flag3", 0));
    out->flag5 = static_cast<uint16_t>(s.GetInt(sec, "flag5", 0));
    Fill(out->locator, s.Get(sec, "locator"));
    // The count is handed over as scripted, even outside 0..6, so callers' bounds are tested.
    out->codeCount = static_cast<int32_t>(s.GetInt(sec, "codes", 0));
    for (int i = 0; i < 6 && i < out->codeCount; ++i) Fill(out->codes[i], s.Get(sec, "code" + Num(i)));
}

int BoardCount() {
    const zumstub::Script& s = P().script;
    if (s.Has("Catalog", "count")) return static_cast<int>(s.GetInt("Catalog", "count", 0));
    int n = 0;
    while (s.HasSection("Board." + Num(n))) ++n;
    return n;
}

int SubjectCount(int board) {
    const zumstub::Script& s = P().script;
    std::string sec = "Board." + Num(board);
    if (s.Has(sec, "subjects")) return static_cast<int>(s.GetInt(sec, "subjects", 0));
    int n = 0;
    while (s.HasSection(sec + ".Subject." + Num(n))) ++n;
    return n;
}

bool Listed(const std::string& list, int index) { return InList(SplitList(list), Num(index)); }

// The board a caller hands back, found by its resource text, else by its name.
int FindBoard(const ZumCatalogInfo* board) {
    if (!board) return -1;
    const zumstub::Script& s = P().script;
    std::string res = vantor::FieldText(board->resource);
    std::string name = vantor::FieldText(board->name);
    int n = BoardCount();
    for (int i = 0; i < n; ++i) {
        if (!res.empty() && s.Get("Board." + Num(i), "res") == res) return i;
    }
    for (int i = 0; i < n; ++i) {
        if (!name.empty() && s.Get("Board." + Num(i), "name") == name) return i;
    }
    return -1;
}

struct DirectoryUser {
    std::string account, nickname, province, city, phone;
    uint16_t sex = 0;
};

std::vector<DirectoryUser> Directory(const ZumZoneQuery* q) {
    const zumstub::Script& s = P().script;
    std::string account = vantor::FieldText(q->account), nickname = vantor::FieldText(q->nickname);
    std::string province = vantor::FieldText(q->province), city = vantor::FieldText(q->city);
    std::string phone = vantor::FieldText(q->phone);
    std::vector<DirectoryUser> found;
    for (const std::string& id : SplitList(s.Get("Zone", "users"))) {
        std::string sec = "User." + id;
        DirectoryUser u;
        u.account = id;
        u.nickname = s.Get(sec, "nickname");
        u.province = s.Get(sec, "province");
        u.city = s.Get(sec, "city");
        u.phone = s.Get(sec, "phone");
        u.sex = static_cast<uint16_t>(s.GetInt(sec, "sex", 0));
        if (!account.empty() && u.account.find(account) == std::string::npos) continue;
        if (!nickname.empty() && u.nickname.find(nickname) == std::string::npos) continue;
        if (!province.empty() && u.province != province) continue;
        if (!city.empty() && u.city != city) continue;
        if (!phone.empty() && u.phone != phone) continue;
        if (q->sex != 0 && u.sex != q->sex) continue;
        found.push_back(u);
    }
    return found;
}

std::string OwnAccount() { return P().script.Get("Customer", "account"); }

// Policies of an account: its own [CustomerService.<account>] items, else (for the customer
// itself) its subscribed services.
bool CustomerPolicies(const std::string& account, std::vector<ZumPolicyInfo>* out) {
    const zumstub::Script& s = P().script;
    std::string sec = "CustomerService." + account;
    if (s.HasSection(sec)) {
        int n = static_cast<int>(s.GetInt(sec, "count", 0));
        for (int i = 0; i < n; ++i) {
            std::string item = sec + "." + Num(i);
            ZumPolicyInfo p = {};
            Fill(p.id, s.Get(item, "id"));
            Fill(p.name, s.Get(item, "name"));
            Fill(p.code, s.Get(item, "code"));
            p.state = static_cast<uint16_t>(s.GetInt(item, "state", 0));
            out->push_back(p);
        }
        return true;
    }
    if (account != OwnAccount()) return false;
    for (const std::string& id : ServiceList()) {
        std::string svc = "Service." + id;
        ZumPolicyInfo p = {};
        Fill(p.id, id);
        Fill(p.name, s.Get(svc, "name"));
        Fill(p.code, s.Get(svc, "code0"));
        p.state = static_cast<uint16_t>(s.GetInt(svc, "state", 0));
        out->push_back(p);
    }
    return true;
}

// A slow platform: the call waits before it does anything, without the platform's lock,
// so calls from other threads go on meanwhile.
void Pause(const char* function) {
    long long ms = 0;
    {
        vantor::Lock lock(g_lock);
        ms = P().script.GetInt("Delay", function, 0);
    }
    if (ms > 0) Sleep(static_cast<DWORD>(ms > 600000 ? 600000 : ms));
}

void ResetState(Platform& p) {
    p.log.clear();
    p.calls.clear();
    p.lastError.clear();
    p.connected = false;
    p.loggedIn = false;
    p.login2Position = 0;
    p.walkPosition = 0;
}

}  // namespace

extern "C" {

int __cdecl Zum_SetServerURL(const char* url) {
    Pause("Zum_SetServerURL");
    // "script:<file>" points the stand-in at another platform (a path relative to this
    // library's folder, or a full one); any other address is only recorded.
    std::string address = url ? url : "";
    if (address.compare(0, 7, "script:") == 0) {
        std::string path = address.substr(7);
        bool relative = path.size() < 2 || (path[1] != ':' && path[0] != '\\' && path[0] != '/');
        if (relative) path = vantor::WideToAnsi(vantor::ModuleDir(vantor::ThisModule())) + path;
        int loaded = ZumStub_LoadScript(path.c_str());
        vantor::Lock lock(g_lock);
        Call call("Zum_SetServerURL", Arg(url));
        return call.Done(loaded ? ZumSuccess : ZumErrNoSuchItem);
    }
    vantor::Lock lock(g_lock);
    Call call("Zum_SetServerURL", Arg(url));
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    return call.Done(ZumSuccess);
}

int __cdecl Zum_Connect(const char* clientType, const char* version) {
    Pause("Zum_Connect");
    vantor::Lock lock(g_lock);
    Call call("Zum_Connect", Arg(clientType) + "," + Arg(version));
    int status = StatusItem("Connect", "status");
    call.Injected(&status);
    if (status == ZumSuccess) P().connected = true;
    return call.Done(status);
}

int __cdecl Zum_Disconnect(void) {
    Pause("Zum_Disconnect");
    vantor::Lock lock(g_lock);
    Call call("Zum_Disconnect", "");
    int status = StatusItem("Disconnect", "status");
    call.Injected(&status);
    if (status == ZumSuccess) P().connected = P().loggedIn = false;
    return call.Done(status);
}

int __cdecl Zum_RegisterUser(const char* text, ZumRegisterInfo* info) {
    Pause("Zum_RegisterUser");
    vantor::Lock lock(g_lock);
    std::string args = Arg(text) + ",";
    if (!info) {
        args += "null";
    } else {
        args += vantor::FieldText(info->realname) + "|" + vantor::FieldText(info->nickname) + "|" +
                vantor::FieldText(info->province) + "|" + vantor::FieldText(info->city) + "|" +
                Num(info->sex) + "|" + vantor::FieldText(info->phone);
    }
    Call call("Zum_RegisterUser", args);
    int result;
    if (SessionMissing(call, false, &result)) return result;
    int status = StatusItem("Register", "status");
    call.Injected(&status);
    return call.Done(status);
}

int __cdecl Zum_Login(int reserved) {
    Pause("Zum_Login");
    vantor::Lock lock(g_lock);
    Call call("Zum_Login", Num(reserved));
    int result;
    if (SessionMissing(call, false, &result)) return result;
    int status = StatusItem("Login", "status");
    call.Injected(&status);
    if (status == ZumSuccess) P().loggedIn = true;
    return call.Done(status);
}

int __cdecl Zum_Login2(void) {
    Pause("Zum_Login2");
    vantor::Lock lock(g_lock);
    Call call("Zum_Login2", "");
    int result;
    if (SessionMissing(call, false, &result)) return result;
    Platform& p = P();
    std::vector<std::string> seq = SplitList(p.script.Get("Login2", "seq"));
    int status = ZumSuccess;
    if (!seq.empty()) {
        size_t at = p.login2Position < seq.size() ? p.login2Position : seq.size() - 1;
        status = static_cast<int>(ParseInt(seq[at], ZumSuccess));
        ++p.login2Position;
    }
    call.Injected(&status);
    if (status == ZumSuccess) p.loggedIn = true;
    return call.Done(status);
}

int __cdecl Zum_UpdateUserInfoWizard(void) {
    Pause("Zum_UpdateUserInfoWizard");
    vantor::Lock lock(g_lock);
    Call call("Zum_UpdateUserInfoWizard", "");
    int status = StatusItem("Wizard", "userinfo");
    if (!P().script.Has("Wizard", "userinfo")) status = ZumSuccess;
    call.Injected(&status);
    return call.Done(status);
}

int __cdecl Zum_RegisterWizard(void) {
    Pause("Zum_RegisterWizard");
    vantor::Lock lock(g_lock);
    Call call("Zum_RegisterWizard", "");
    int status = P().script.Has("Wizard", "register") ? StatusItem("Wizard", "register") : ZumSuccess;
    call.Injected(&status);
    return call.Done(status);
}

int __cdecl Zum_FindFirstService(ZumServiceInfo* out) {
    Pause("Zum_FindFirstService");
    vantor::Lock lock(g_lock);
    Call call("Zum_FindFirstService", out ? "out" : "null");
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    std::vector<std::string> list = ServiceList();
    P().walkPosition = 0;
    if (list.empty() || !out) return call.Done(ZumErrNoSuchItem);
    FillService(list[0], out);
    P().walkPosition = 1;
    call.AppendArgs(":" + list[0]);
    return call.Done(ZumSuccess);
}

int __cdecl Zum_FindNextService(ZumServiceInfo* out) {
    Pause("Zum_FindNextService");
    vantor::Lock lock(g_lock);
    Call call("Zum_FindNextService", out ? "out" : "null");
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    std::vector<std::string> list = ServiceList();
    Platform& p = P();
    if (p.walkPosition == 0 || p.walkPosition >= list.size() || !out) return call.Done(ZumErrEndOfList);
    FillService(list[p.walkPosition], out);
    call.AppendArgs(":" + list[p.walkPosition]);
    ++p.walkPosition;
    return call.Done(ZumSuccess);
}

int __cdecl Zum_FindServiceClose(void) {
    Pause("Zum_FindServiceClose");
    vantor::Lock lock(g_lock);
    Call call("Zum_FindServiceClose", "");
    P().walkPosition = 0;
    return call.Done(ZumSuccess);
}

int __cdecl Zum_GetService(const char* idText, ZumServiceInfo* out) {
    Pause("Zum_GetService");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetService", Arg(idText));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    std::string id = idText ? idText : "";
    int status = StatusItem("GetService", id);
    call.Injected(&status);
    if (status != ZumSuccess) return call.Done(status);
    if (!out || (!InList(ServiceList(), id) && !P().script.HasSection("Service." + id))) {
        return call.Done(ZumErrNoSuchItem);
    }
    FillService(id, out);
    return call.Done(ZumSuccess);
}

int __cdecl Zum_SubscribeService(const char* idText, const void* arg) {
    Pause("Zum_SubscribeService");
    vantor::Lock lock(g_lock);
    Platform& p = P();
    std::string mode = Lower(p.script.Get("Stub", "subscribe_arg", "auto"));
    const char* params = nullptr;
    std::string how;
    if (!arg) {
        how = "none:";
    } else if (mode == "text" || (mode == "auto" && *static_cast<const char*>(arg) != '\0')) {
        // The client kernel's record always starts with zero bytes, so a first byte that is
        // not zero can only be the parameter text itself.
        params = static_cast<const char*>(arg);
        how = "text:";
    } else {
        params = static_cast<const ZumSubscribeInfo*>(arg)->params;
        how = "info:";
    }
    Call call("Zum_SubscribeService", Arg(idText) + "," + how + Arg(params));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    std::string id = idText ? idText : "";
    int status = StatusItem("Subscribe", id);
    call.Injected(&status);
    if (status == ZumSuccess && !id.empty()) {
        // An accepted subscription is no longer pending at the next service walk.
        p.script.Set("Service." + id, "state", "1");
        p.script.Set("Service." + id, "params", params ? params : "");
        std::vector<std::string> list = ServiceList();
        if (!InList(list, id)) {
            std::string joined = p.script.Get("Services", "list");
            p.script.Set("Services", "list", joined.empty() ? id : joined + "," + id);
        }
    }
    return call.Done(status);
}

const char* __cdecl Zum_GetLastError(void) {
    Pause("Zum_GetLastError");
    static thread_local char copy[1024];
    vantor::Lock lock(g_lock);
    Platform& p = P();
    if (p.script.GetInt("Stub", "null_error", 0) != 0) return nullptr;
    vantor::CopyField(copy, sizeof copy, p.lastError.c_str());
    return copy;
}

int __cdecl Zum_GetDIYInfo(const char* key, ZumDiyInfo* out, int one) {
    Pause("Zum_GetDIYInfo");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetDIYInfo", Arg(key) + "," + Num(one));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    const zumstub::Script& s = P().script;
    std::string k = key ? key : "";
    if (k.empty() || !s.Has("DIY", k) || !out) return call.Done(ZumErrNoSuchItem);
    Fill(out->url, s.Get("DIY", k));
    Fill(out->text, s.Get("DIY", k + ".text"));
    std::string raw = s.Get("DIY", k + ".raw");
    memcpy(out->raw, raw.data(), raw.size() < sizeof out->raw ? raw.size() : sizeof out->raw);
    return call.Done(ZumSuccess);
}

int __cdecl Zum_GetCatalog(const char* clientType, int index, ZumCatalogInfo* board, int countOnly) {
    Pause("Zum_GetCatalog");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetCatalog", Arg(clientType) + "," + Num(index) + "," + Num(countOnly));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    int n = BoardCount();
    if (index < 0 || countOnly) return call.Done(n);
    const zumstub::Script& s = P().script;
    if (index >= n || !board || Listed(s.Get("Catalog", "fail"), index)) return call.Done(-1);
    std::string sec = "Board." + Num(index);
    Fill(board->name, s.Get(sec, "name"));
    Fill(board->description, s.Get(sec, "desc"));
    Fill(board->resource, s.Get(sec, "res"));
    Fill(board->fourth, s.Get(sec, "fourth"));
    return call.Done(n);
}

int __cdecl Zum_GetSubject(int index, const ZumCatalogInfo* board, ZumSubjectInfo* out) {
    Pause("Zum_GetSubject");
    vantor::Lock lock(g_lock);
    std::string which = board ? vantor::FieldText(board->resource) : std::string("(null)");
    Call call("Zum_GetSubject", Num(index) + "," + which);
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    int b = FindBoard(board);
    if (b < 0) return call.Done(-1);
    int n = SubjectCount(b);
    if (index < 0) return call.Done(n);
    const zumstub::Script& s = P().script;
    std::string boardSec = "Board." + Num(b);
    if (index >= n || !out || Listed(s.Get(boardSec, "fail"), index)) return call.Done(-1);
    std::string sec = boardSec + ".Subject." + Num(index);
    Fill(out->name, s.Get(sec, "name"));
    Fill(out->serviceId, s.Get(sec, "service"));
    Fill(out->text2, s.Get(sec, "text2"));
    Fill(out->text3, s.Get(sec, "text3"));
    Fill(out->link, s.Get(sec, "link"));
    out->accessMode = static_cast<uint16_t>(s.GetInt(sec, "access", 0));
    return call.Done(n);
}

int __cdecl Zum_GetNotice(int index, ZumNoticeInfo* out) {
    Pause("Zum_GetNotice");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetNotice", Num(index));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    const zumstub::Script& s = P().script;
    int n = static_cast<int>(s.GetInt("Notice", "count", 0));
    if (index < 0) return call.Done(n);
    if (index >= n || !out) return call.Done(-1);
    std::string sec = "Notice." + Num(index);
    // Only the items the script names are written: the caller sees what it left there.
    if (s.Has(sec, "t0")) Fill(out->t0, s.Get(sec, "t0"));
    if (s.Has(sec, "t1")) Fill(out->t1, s.Get(sec, "t1"));
    if (s.Has(sec, "t2")) Fill(out->t2, s.Get(sec, "t2"));
    if (s.Has(sec, "t3")) Fill(out->t3, s.Get(sec, "t3"));
    if (s.Has(sec, "t4")) Fill(out->t4, s.Get(sec, "t4"));
    if (s.Has(sec, "value")) out->value = static_cast<int32_t>(s.GetInt(sec, "value", 0));
    return call.Done(n);
}

int __cdecl Zum_GetZoneCustomer(int page, int index, ZumZoneQuery* query, int countOnly) {
    Pause("Zum_GetZoneCustomer");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetZoneCustomer", Num(page) + "," + Num(index) + "," + Num(countOnly));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    if (page < 1 || !query) return call.Done(ZumErrNoSuchItem);
    std::vector<DirectoryUser> found = Directory(query);
    long long size = P().script.GetInt("Zone", "page_size", 10);
    if (size < 1) size = 1;
    long long first = (static_cast<long long>(page) - 1) * size;
    long long onPage = static_cast<long long>(found.size()) - first;
    if (onPage < 0) onPage = 0;
    if (onPage > size) onPage = size;
    if (onPage == 0) P().lastError = vantor::WideToAnsi(L"没有找到符合条件的用户");
    if (index < 0 || countOnly) return call.Done(static_cast<int>(onPage));
    if (index >= onPage) return call.Done(ZumErrNoSuchItem);
    const DirectoryUser& u = found[static_cast<size_t>(first + index)];
    memset(query, 0, sizeof *query);
    Fill(query->account, u.account);
    Fill(query->nickname, u.nickname);
    Fill(query->province, u.province);
    Fill(query->city, u.city);
    Fill(query->phone, u.phone);
    query->sex = u.sex;
    return call.Done(static_cast<int>(onPage));
}

int __cdecl Zum_GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account) {
    Pause("Zum_GetCustomerPublicInfo");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetCustomerPublicInfo", Arg(account));
    int result;
    if (SessionMissing(call, !account, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    const zumstub::Script& s = P().script;
    std::string sec = account ? std::string("User.") + account : std::string("Customer");
    if (!out || !s.HasSection(sec)) return call.Done(ZumErrNoSuchItem);
    Fill(out->account, account ? std::string(account) : s.Get(sec, "account"));
    Fill(out->nickname, s.Get(sec, "nickname"));
    Fill(out->province, s.Get(sec, "province"));
    Fill(out->city, s.Get(sec, "city"));
    out->sex = static_cast<uint16_t>(s.GetInt(sec, "sex", 0));
    out->age = static_cast<uint16_t>(s.GetInt(sec, "age", 0));
    return call.Done(ZumSuccess);
}

int __cdecl Zum_GetCustomerServiceInfo(int index, ZumPolicyInfo* out, int countOnly, const char* account) {
    Pause("Zum_GetCustomerServiceInfo");
    vantor::Lock lock(g_lock);
    Call call("Zum_GetCustomerServiceInfo", Num(index) + "," + Num(countOnly) + "," + Arg(account));
    int result;
    if (SessionMissing(call, true, &result)) return result;
    int injected;
    if (call.Injected(&injected)) return call.Done(injected);
    std::vector<ZumPolicyInfo> policies;
    if (!CustomerPolicies(account ? account : OwnAccount(), &policies)) return call.Done(ZumErrNoSuchItem);
    int n = static_cast<int>(policies.size());
    if (index < 0 || countOnly) return call.Done(n);
    if (index >= n || !out) return call.Done(ZumErrNoSuchItem);
    *out = policies[static_cast<size_t>(index)];
    return call.Done(n);
}

const char* __cdecl Zum_GetUniqueServiceSuiteID(void) {
    Pause("Zum_GetUniqueServiceSuiteID");
    static thread_local char copy[512];
    vantor::Lock lock(g_lock);
    Call call("Zum_GetUniqueServiceSuiteID", "");
    const zumstub::Script& s = P().script;
    if (s.GetInt("Suite", "null", 0) != 0) {
        call.SetResultText("(null)");
        return nullptr;
    }
    std::string id = s.Get("Suite", "id");
    call.SetResultText(id);
    vantor::CopyField(copy, sizeof copy, id.c_str());
    return copy;
}

void __cdecl ZumStub_Reset(void) {
    vantor::Lock lock(g_lock);
    Platform& p = P();
    p.script.Clear();
    p.script.Parse(vantor::WideToAnsi(zumstub::DemoPlatformText()));
    ResetState(p);
}

int __cdecl ZumStub_LoadScript(const char* path) {
    if (!path) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::string text;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    vantor::Lock lock(g_lock);
    Platform& p = P();
    p.script.Clear();
    p.script.Parse(text);
    ResetState(p);
    return 1;
}

void __cdecl ZumStub_Set(const char* section, const char* key, const char* value) {
    if (!section || !key) return;
    vantor::Lock lock(g_lock);
    if (value) {
        P().script.Set(section, key, value);
    } else {
        P().script.Erase(section, key);
    }
}

int __cdecl ZumStub_GetLog(char* buffer, int size) {
    vantor::Lock lock(g_lock);
    std::string all;
    for (const std::string& line : P().log) all += line + "\n";
    if (buffer && size > 0) {
        size_t n = all.size() < static_cast<size_t>(size - 1) ? all.size() : static_cast<size_t>(size - 1);
        memcpy(buffer, all.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(all.size());
}

void __cdecl ZumStub_ClearLog(void) {
    vantor::Lock lock(g_lock);
    P().log.clear();
    P().calls.clear();
}

}  // extern "C"
