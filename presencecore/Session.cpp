// Login, logoff, heart beat and the gatekeeper's choice of server.
#include <winsock2.h>

#include "PsCore.h"
#include "PresenceCore.h"

namespace ps {

namespace {

const int kDefaultLocalPort = 6082;

// Path part of the configured "psUrl" ("/web/" of "http://host:port/web/").
std::string ServicePath() {
    std::string url = LoadServiceUrl(false);
    size_t scheme = url.find("://");
    size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    size_t slash = url.find('/', start);
    return slash == std::string::npos ? std::string("/") : url.substr(slash);
}

// The dotted text of an IPv4 address (network order); empty when the conversion fails.
std::string AddressText(DWORD address) {
    in_addr in;
    in.s_addr = address;
    const char* text = inet_ntoa(in);
    return text ? std::string(text) : std::string();
}

// The optional gatekeeper step before each login. A usable "server" answer points the
// posts of both forms at that server, under the path of "psUrl".
PsResult SelectPresenceHost() {
    SetLastReplyMessage(std::wstring());
    if (ReadConfigInt("gkenable", 0) == 0) return PS_OK;
    Reply reply;
    // The gatekeeper's address is given to this post alone: heart beats that other
    // threads send meanwhile still go to the presence server.
    std::string gatekeeper = LoadServiceUrl(true);
    if (gatekeeper.empty()) gatekeeper = LoadServiceUrl(false);
    PsResult r = gatekeeper.empty() ? PS_NO_SERVER_URL
                                    : PsRequest(reply, Form::Ansi, "GetAvailablePresenceTab", std::string(), gatekeeper);
    if (r != PS_OK) {
        // The next post of either form reads "psUrl" again.
        ClearBaseUrls();
        return r;
    }
    DWORD address = INADDR_NONE;
    WORD port = 0;
    WalkReplyCells(reply, [&](const Cell& cell, const XmlNode&) {
        if (!SameName(cell.name, L"server")) return true;
        size_t colon = cell.text.find(L':');
        if (colon == std::wstring::npos) return true;
        DWORD a = ParseIPv4Address(cell.text.substr(0, colon));
        // A port outside 1-65535 is refused: cut to 16 bits it would name some other port.
        long p = 0;
        if (a == INADDR_NONE || !ParseNumberInRange(cell.text.substr(colon + 1), 1, 65535, &p)) return true;
        address = a;
        port = static_cast<WORD>(p);
        return true;
    }, false);
    std::string host = address != INADDR_NONE ? AddressText(address) : std::string();
    if (!host.empty()) {
        std::string url = "http://" + host + ":" + std::to_string(port) + ServicePath();
        SetBaseUrls(url, url);
    } else {
        SetAnsiBaseUrl(gatekeeper);
    }
    return PS_OK;
}

std::string GetLocalIp() {
    char host[256] = {};
    if (gethostname(host, 255) != 0) return std::string();
    hostent* entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) return std::string();
    in_addr in;
    memcpy(&in, entry->h_addr_list[0], sizeof in);
    return AddressText(in.s_addr);
}

template <typename Record>
void AddAccount(FormText& form, const Record& account) {
    std::string id = Field(account.id);
    form.Add("UserID", id);
    SetCurrentUser(id);
    form.Add("NickName", Field(account.nickname));
    form.Add("Province", Field(account.province));
    form.Add("City", Field(account.city));
    form.AddNumber("Sex", account.sex);
    form.AddNumber("Age", account.age);
    form.Add("Birthday", Field(account.birthday));
}

PsResult PostLogin(Form form, const std::string& params) {
    Reply reply;
    return PsRequest(reply, form, "LoginPS", params);
}

}  // namespace

}  // namespace ps

using namespace ps;

extern "C" int __stdcall PS_Cco_LoginA(FriendInfoA* account, const char* sessionValue, const char* signOnValue) {
    return Guard([&] {
        if (!account) return static_cast<int>(PS_NO_ENVELOPE);
        PsResult r = SelectPresenceHost();
        if (r != PS_OK) return r;
        SetSessionCookies(sessionValue, signOnValue);
        FormText form;
        std::string ip = GetLocalIp();
        if (!ip.empty()) form.Add("localip", ip);
        std::string port = ReadConfigText("LocalTcpPort", "6082", 15);
        if (!port.empty()) {
            // The port the presence tab listens on: the number it reads there, when it is one.
            int number = ReadConfigInt("LocalTcpPort", kDefaultLocalPort);
            form.AddNumber("localport", number >= 1 && number <= 65535 ? number : kDefaultLocalPort);
        } else if (account->status.localPort > 0) {
            form.AddNumber("localport", account->status.localPort);
        }
        AddAccount(form, *account);
        return PostLogin(Form::Ansi, form.Text());
    });
}

extern "C" int __stdcall PS_Cco_LoginW(FriendInfoW* account, const wchar_t* sessionValue, const wchar_t* signOnValue) {
    return Guard([&] {
        if (!account) return static_cast<int>(PS_NO_ENVELOPE);
        PsResult r = SelectPresenceHost();
        if (r != PS_OK) return r;
        std::string session = Ansi(sessionValue);
        std::string signOn = Ansi(signOnValue);
        SetSessionCookies(sessionValue ? session.c_str() : nullptr, signOnValue ? signOn.c_str() : nullptr);
        FormText form;
        std::string ip = account->status.localIp != 0 ? AddressText(account->status.localIp) : std::string();
        if (!ip.empty()) form.Add("localip", ip);
        if (account->status.localPort > 0) form.AddNumber("localport", account->status.localPort);
        AddAccount(form, *account);
        return PostLogin(Form::Wide, form.Text());
    });
}

extern "C" int __stdcall PS_Cco_Logoff() {
    return Guard([&] {
        Reply reply;
        return PsRequest(reply, Form::Ansi, "LogoffPS", std::string());
    });
}

extern "C" int __stdcall PS_Cco_HeartBeat(int* retryTimes, int* interval) {
    return Guard([&] {
        Reply reply;
        PsResult r = PsRequest(reply, Form::Ansi, "HeartBeat2PS", std::string());
        if (r != PS_OK) return r;
        // A value cell without text leaves the caller's number alone: an interval of 0
        // would make the caller beat on every tick.
        WalkReplyCells(reply, [&](const Cell& cell, const XmlNode&) {
            if (cell.text.empty()) return true;
            // Numbers outside what a caller can act on (negative, above a day) are ignored,
            // as an interval of 0 is.
            long value = 0;
            if (SameName(cell.name, L"retry-times")) {
                if (retryTimes && ParseNumberInRange(cell.text, 0, kSecondsPerDay, &value)) *retryTimes = value;
            } else if (SameName(cell.name, L"interval")) {
                if (interval && ParseNumberInRange(cell.text, 1, kSecondsPerDay, &value)) *interval = value;
            }
            return true;
        });
        return static_cast<int>(PS_OK);
    });
}
