#include <winsock2.h>

#include "PsCore.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "DebugOut.h"
#include "ModulePath.h"
#include "Sync.h"
#include "WebFetch.h"

namespace ps {

namespace {

// Where nothing is configured the posts go to a name that does not resolve, so an
// unconfigured client fails fast instead of reaching some host.
const char kDefaultServiceUrl[] = "http://presence.invalid/web/";

struct ModuleState {
    vantor::CriticalSection lock;
    std::string urlAnsi;
    std::string urlWide;
    std::string session;
    std::string signOn;
    std::string userId;
    std::string lastMessage;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

// The largest reply that is parsed. The parser holds about 45 bytes per byte of a reply
// of many small elements (measured: a 24 MB reply peaked at 1,076 MB of working set in
// the x86_64 build; the i686 build's nodes are smaller, not its text), so 8 MiB keeps a
// parse under about 360 MB of the i686 client's 2 GB of address space. A contact book
// of 5,000 friends is about 1.5 MB.
const size_t kMaxParsedReplyBytes = 8u << 20;

class ReplySink : public CFileDownUpProcessCallback {
public:
    explicit ReplySink(CNetHttp& http) : http_(http) {}
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD, DWORD, DWORD_PTR) override {}
    void OnFinished(DWORD, DWORD, DWORD_PTR) override {}
    // Bytes are collected whole and converted once, so a double-byte character split
    // between two chunks stays intact. Called from inside WebFetch as each chunk comes:
    // nothing may be thrown through it, so a reply that outgrows memory is marked and
    // the post broken off.
    void OnPostData(const char* chunk, DWORD length, DWORD_PTR context) override {
        auto* text = reinterpret_cast<std::string*>(context);
        if (!text || !chunk || overflow) return;
        // No reply of the presence server comes near this; a larger one must not take
        // the process's memory, neither while it arrives nor while it is parsed.
        if (text->size() + length > kMaxParsedReplyBytes) {
            Overflow(text);
            return;
        }
        try {
            text->append(chunk, length);
        } catch (...) {
            Overflow(text);
        }
    }
    bool overflow = false;

private:
    void Overflow(std::string* text) {
        overflow = true;
        text->clear();
        text->shrink_to_fit();
        http_.Break();
    }
    CNetHttp& http_;
};

PsResult PostPsAction(Form form, const char* action, const std::string& params, const std::string& baseUrl,
                      std::string* replyText) {
    std::string base = baseUrl;
    std::string session;
    std::string signOn;
    {
        // Snapshot under the lock: another thread's login may replace these meanwhile.
        ModuleState& s = State();
        vantor::Lock lock(s.lock);
        if (base.empty()) {
            std::string& url = form == Form::Ansi ? s.urlAnsi : s.urlWide;
            if (url.empty()) url = LoadServiceUrl(false);
            base = url;
        }
        session = s.session;
        signOn = s.signOn;
    }
    if (base.empty()) return PS_NO_SERVER_URL;
    std::string url = base + action + ".do";
    std::string cookieSso = "iPlanetDirectoryPro=" + signOn;
    std::string cookieSession = "JSESSIONID=" + session;
    const char* cookies[2] = {cookieSso.c_str(), cookieSession.c_str()};

    CNetHttp http;
    if (!http.Open(1)) return PS_ENGINE_NOT_OPENED;
    ReplySink sink(http);
    HttpFetchResult r = http.PostRequest(url.c_str(), nullptr, params.c_str(), nullptr, 43, cookies, 2, &sink,
                                         reinterpret_cast<DWORD_PTR>(replyText));
    http.Close();
    if (r > 0) return PS_HTTP_STATUS_BASE + r;
    if (r < 0 || sink.overflow) return PS_TRANSFER_FAILED;
    size_t end = replyText->size();
    while (end > 0 && std::iscntrl(static_cast<unsigned char>((*replyText)[end - 1]))) --end;
    if (end > 0) replyText->resize(end);
    return PS_OK;
}

}  // namespace

std::string ProgramFolder() {
    std::wstring dir = vantor::ProgramDir();
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    return vantor::WideToAnsi(dir);
}

std::string ConfigFile(const char* name) { return ProgramFolder() + "\\config\\" + name; }

void SetSessionCookies(const char* session, const char* signOn) {
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    if (session) s.session = session;
    if (signOn) s.signOn = signOn;
}

void SetCurrentUser(const std::string& id) {
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    s.userId = id;
}

std::string CurrentUser() {
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    return s.userId;
}

void SetLastReplyMessage(const std::wstring& text) {
    std::string a = vantor::WideToAnsi(text);
    if (a.size() > 1023) a.resize(vantor::WholeCharsPrefix(a.c_str(), a.size(), 1023));
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    s.lastMessage = a;
}

void ClearBaseUrls() { SetBaseUrls(std::string(), std::string()); }

void SetBaseUrls(const std::string& ansiUrl, const std::string& wideUrl) {
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    s.urlAnsi = ansiUrl;
    s.urlWide = wideUrl;
}

void SetAnsiBaseUrl(const std::string& url) {
    ModuleState& s = State();
    vantor::Lock lock(s.lock);
    s.urlAnsi = url;
}

std::string ReadConfigText(const char* key, const char* fallback, size_t maxChars) {
    std::vector<char> buffer(maxChars + 1, '\0');
    GetPrivateProfileStringA("PSConfig", key, fallback, buffer.data(), static_cast<DWORD>(buffer.size()),
                             ConfigFile("psimprof.cfg").c_str());
    return std::string(buffer.data());
}

int ReadConfigInt(const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA("PSConfig", key, fallback, ConfigFile("psimprof.cfg").c_str()));
}

std::string LoadServiceUrl(bool gatekeeper) {
    return ReadConfigText(gatekeeper ? "gkUrl" : "psUrl", kDefaultServiceUrl, 1023);
}

bool SameName(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

bool ReadCellNode(const XmlNode& node, Cell* cell) {
    *cell = Cell();
    // Only elements carry values; text, comments and PIs between them are not cells.
    if (!node || !node.IsElement()) return false;
    cell->tag = node.Name();
    if (cell->tag.empty()) return false;
    for (const auto& attr : node.Attributes()) {
        if (attr.second.empty()) continue;
        if (SameName(attr.first, L"name")) {
            cell->name = attr.second;
        } else if (SameName(attr.first, L"type")) {
            cell->type = _wtoi(attr.second.c_str());
            cell->hasType = true;
        }
    }
    if (!cell->hasType || cell->type == 8) cell->text = node.Text();
    return true;
}

PsResult PsRequest(Reply& reply, Form form, const char* action, const std::string& params,
                   const std::string& baseUrl) {
    SetLastReplyMessage(std::wstring());
    std::string replyText;
    PsResult r = PostPsAction(form, action, params, baseUrl, &replyText);
    if (r != PS_OK) return r;
    std::wstring reason;
    // A reply is data from the network: one with a document type is refused before it
    // is parsed (presence replies never carry one), and nothing it names (files, other
    // hosts) is fetched while it loads.
    if (!reply.com.Usable() || !reply.doc.RefuseOutsideContent() ||
        !reply.doc.LoadText(vantor::AnsiToWide(replyText), &reason)) {
        vantor::DebugLine(L"PresenceCore: the reply to %hs is no XML: %ls\n", action, reason.c_str());
        return PS_REPLY_NOT_XML;
    }
    XmlNode root = reply.doc.SelectSingleNode(L"lwData");
    if (!root) {
        vantor::DebugLine(L"获取xml根节点失败了\n");
        return PS_NO_ENVELOPE;
    }

    int docId = 0;
    bool docIdSeen = false;
    for (const auto& attr : root.Attributes()) {
        if (attr.second.empty()) continue;
        if (SameName(attr.first, L"docId")) {
            docId = _wtoi(attr.second.c_str());
            docIdSeen = true;
        }
    }
    // The first "cell" child, its name matched without regard to case as every cell's is.
    reply.current = root.FirstChildElement();
    while (reply.current && !SameName(reply.current.Name(), L"cell")) reply.current = reply.current.NextSiblingElement();
    if (docIdSeen && docId == 1) return PS_OK;
    if (!reply.current) return PS_NO_ENVELOPE;
    bool nameSeen = false;
    int type = 0;
    std::wstring name;
    for (const auto& attr : reply.current.Attributes()) {
        if (attr.second.empty()) continue;
        if (SameName(attr.first, L"name")) {
            name = attr.second;
            nameSeen = true;
        } else if (SameName(attr.first, L"type")) {
            type = _wtoi(attr.second.c_str());
        }
    }
    if (type == 8 && SameName(name, L"message")) reply.message = reply.current.Text();
    if (!docIdSeen && !nameSeen) {
        SetLastReplyMessage(reply.message);
        return PS_NO_ENVELOPE;
    }
    if (docId != 0) return PS_OK;
    SetLastReplyMessage(reply.message);
    return PS_REFUSED;
}

bool WalkReplyCells(Reply& reply, const CellHandler& handler, bool storeProxy) {
    // The relayed messages of the whole reply are stored together once the walk ends: a
    // reply with thousands of them writes the queue once, not once per message.
    std::vector<XmlNode> batches;
    bool whole = true;
    for (XmlNode node = reply.current; node; node = node.NextSibling()) {
        reply.current = node;
        Cell cell;
        if (!ReadCellNode(node, &cell)) continue;
        if (SameName(cell.tag, L"cell")) {
            if (handler && !handler(cell, node)) {
                whole = false;
                break;
            }
        } else if (storeProxy && SameName(cell.tag, L"P")) {
            batches.push_back(node);
        }
    }
    if (!batches.empty()) StoreProxyMessages(batches);
    return whole;
}

bool ParseNumberInRange(const std::wstring& text, long low, long high, long* value) {
    const wchar_t* start = text.c_str();
    while (iswspace(*start)) ++start;
    wchar_t* end = nullptr;
    long long v = wcstoll(start, &end, 10);
    if (end == start || v < low || v > high) return false;
    *value = static_cast<long>(v);
    return true;
}

DWORD ParseIPv4Address(const std::wstring& text) {
    std::string a = vantor::WideToAnsi(text);
    return inet_addr(a.c_str());
}

}  // namespace ps
