// Proxy messages: what the server relays from other users rides on the reply of any
// action; each message becomes one numbered section of "<user>\psproxy.ppi", which the
// presence tab drains after the named event fires.
#include "PsCore.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "AccountName.h"
#include "DebugOut.h"
#include "Sync.h"
#include "Text.h"

namespace ps {

namespace {

const char kEventName[] = "PS_Proxy_Msg_Process_Event.qen";

struct ProxyState {
    vantor::CriticalSection lock;
    long counter = 0;
    std::string counterUser;
    HANDLE event = nullptr;   // kept for the life of the process
};

ProxyState& Proxy() {
    static ProxyState state;
    return state;
}

const char* KindCode(const std::wstring& tag) {
    static const struct { const wchar_t* tag; const char* code; } kinds[] = {
        {L"V", "1"}, {L"R", "2"}, {L"D", "3"}, {L"B", "4"}, {L"DF", "5"}, {L"ST", "6"}};
    for (const auto& k : kinds)
        if (SameName(tag, k.tag)) return k.code;
    return nullptr;
}

// A key must stay one key of this section: no line breaks, no "=", no section
// brackets, no comment start, and never the kind itself.
bool UsableKey(const std::string& key) {
    if (key.empty() || key[0] == ';' || _stricmp(key.c_str(), "opencode") == 0) return false;
    for (unsigned char c : key)
        if (c < 0x20 || c == 0x7F || c == '=' || c == '[' || c == ']') return false;
    return true;
}

// Values keep to one line, so a message text cannot open a section of its own.
std::string OneLine(std::string value) {
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return value;
}

// Highest numeric section name in the queue, 0 for none; *any tells whether the queue
// holds sections at all.
long HighestSection(const std::string& queue, bool* any) {
    std::vector<char> names(4096);
    for (;;) {
        DWORD n = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), queue.c_str());
        if (n < names.size() - 2) break;
        if (names.size() >= (1u << 24)) break;
        names.resize(names.size() * 4);
    }
    long highest = 0;
    *any = false;
    for (const char* p = names.data(); *p; p += strlen(p) + 1) {
        *any = true;
        char* end = nullptr;
        long v = strtol(p, &end, 10);
        if (end && *end == '\0' && v > highest) highest = v;
    }
    return highest;
}

// One numbered section of the queue: its "key=value" lines, "opencode" first.
struct Section {
    long number;
    std::vector<std::string> lines;
};

// Adds the sections in one write of the queue. The profile functions rewrite the whole
// file for every section they add, so thousands of sections one by one take minutes.
// They stay the only writer all the same: whoever drains the queue in this process
// reads and deletes through them and their cache, and a write past them could be lost
// under a delete or bring a deleted section back. So the sections after the first ride
// in one last line of the first, which the file holds as the lines and sections they
// are, and the cache is dropped at once so that every later read sees them as such.
bool WriteSections(const std::string& queue, const std::vector<Section>& sections) {
    if (sections.empty()) return false;
    std::string text;
    for (const std::string& line : sections[0].lines) text += line + '\0';
    if (sections.size() > 1) {
        std::string rest;
        for (size_t i = 1; i < sections.size(); ++i) {
            if (i > 1) rest += "\r\n";
            rest += "[" + std::to_string(sections[i].number) + "]";
            for (const std::string& line : sections[i].lines) rest += "\r\n" + line;
        }
        text += rest + '\0';
    }
    text += '\0';
    bool ok = WritePrivateProfileSectionA(std::to_string(sections[0].number).c_str(), text.c_str(),
                                          queue.c_str()) != FALSE;
    if (sections.size() > 1) WritePrivateProfileStringA(nullptr, nullptr, nullptr, queue.c_str());
    return ok;
}

}  // namespace

void StoreProxyMessages(const std::vector<XmlNode>& batches) {
    vantor::DebugLine(L"有代理信息从ps得到了\n");
    std::string user = CurrentUser();
    // The id names a folder under the program folder: it must stay one plain name.
    if (!vantor::IsUsableAccountName(vantor::AnsiToWide(user))) {
        vantor::DebugLine(L"PresenceCore: no usable user folder, proxy messages dropped\n");
        return;
    }
    std::string folder = ProgramFolder() + "\\" + user;
    std::string queue = folder + "\\psproxy.ppi";
    std::string config = ConfigFile("run_prof.cfg");
    CreateDirectoryA(folder.c_str(), nullptr);

    ProxyState& proxy = Proxy();
    bool stored = false;
    {
        vantor::Lock lock(proxy.lock);
        if (proxy.counterUser != user) {
            proxy.counter = 0;
            proxy.counterUser = user;
        }
        if (proxy.counter == 0) proxy.counter = GetPrivateProfileIntA("PSProxy", user.c_str(), 0, config.c_str());
        bool any = false;
        long highest = HighestSection(queue, &any);
        if (!any) proxy.counter = 0;
        // Never reuse a number that a pending section still carries.
        proxy.counter = std::max(proxy.counter, highest);
        long first = proxy.counter;

        std::vector<Section> sections;
        for (const XmlNode& batch : batches) {
            for (XmlNode kind = batch.FirstChild(); kind; kind = kind.NextSibling()) {
                Cell kindCell;
                if (!ReadCellNode(kind, &kindCell)) continue;
                const char* code = KindCode(kindCell.tag);
                if (!code) continue;
                for (XmlNode message = kind.FirstChild(); message; message = message.NextSibling()) {
                    Cell messageCell;
                    if (!ReadCellNode(message, &messageCell) || !SameName(messageCell.tag, L"C")) continue;
                    long number = ++proxy.counter;

                    std::vector<std::pair<std::string, std::string>> fields;
                    bool readable = false;
                    for (XmlNode field = message.FirstChild(); field; field = field.NextSibling()) {
                        Cell f;
                        if (!ReadCellNode(field, &f)) continue;
                        readable = true;
                        std::string key = vantor::WideToAnsi(f.tag);
                        if (!UsableKey(key)) continue;
                        std::string value = OneLine(vantor::WideToAnsi(f.text));
                        // Keys of a profile section are one key whatever their case: a later
                        // field overwrites the earlier one, as the consumer reads only one.
                        auto same = std::find_if(fields.begin(), fields.end(), [&](const auto& kv) {
                            return lstrcmpiA(kv.first.c_str(), key.c_str()) == 0;
                        });
                        if (same != fields.end()) same->second = value;
                        else fields.emplace_back(key, value);
                    }
                    if (!readable) continue;
                    Section section{number, {std::string("opencode=") + code}};
                    for (const auto& kv : fields) section.lines.push_back(kv.first + "=" + kv.second);
                    sections.push_back(std::move(section));
                }
            }
        }
        // The counter first: a number it has given out is never given again, even when
        // the queue could not be written.
        if (!any || proxy.counter != first) {
            WritePrivateProfileStringA("PSProxy", user.c_str(), std::to_string(proxy.counter).c_str(), config.c_str());
        }
        // One write for every section: the consumer never sees one half made.
        stored = WriteSections(queue, sections);
        if (stored && !proxy.event) proxy.event = CreateEventA(nullptr, FALSE, FALSE, kEventName);
    }
    if (stored && proxy.event) SetEvent(proxy.event);
}

}  // namespace ps
