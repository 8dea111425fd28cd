#include "Script.h"

#include <cstdlib>

namespace zumstub {

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> SplitList(const std::string& s) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        if (comma == std::string::npos) comma = s.size();
        std::string item = Trim(s.substr(start, comma - start));
        if (!item.empty()) items.push_back(item);
        start = comma + 1;
    }
    return items;
}

long long ParseInt(const std::string& s, long long fallback) {
    std::string t = Trim(s);
    if (t.empty()) return fallback;
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 10);
    return end == t.c_str() ? fallback : v;
}

void Script::Parse(const std::string& text) {
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = Trim(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = Lower(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            sections_[section];
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        // Values keep everything after the first '=' (codes hold "key=value;..." themselves).
        sections_[section][Lower(Trim(line.substr(0, eq)))] = Trim(line.substr(eq + 1));
    }
}

bool Script::HasSection(const std::string& section) const {
    return sections_.count(Lower(section)) != 0;
}

bool Script::Has(const std::string& section, const std::string& key) const {
    auto s = sections_.find(Lower(section));
    return s != sections_.end() && s->second.count(Lower(key)) != 0;
}

std::string Script::Get(const std::string& section, const std::string& key, const std::string& fallback) const {
    auto s = sections_.find(Lower(section));
    if (s == sections_.end()) return fallback;
    auto k = s->second.find(Lower(key));
    return k == s->second.end() ? fallback : k->second;
}

long long Script::GetInt(const std::string& section, const std::string& key, long long fallback) const {
    return Has(section, key) ? ParseInt(Get(section, key), fallback) : fallback;
}

void Script::Set(const std::string& section, const std::string& key, const std::string& value) {
    sections_[Lower(section)][Lower(key)] = value;
}

void Script::Erase(const std::string& section, const std::string& key) {
    auto s = sections_.find(Lower(section));
    if (s != sections_.end()) s->second.erase(Lower(key));
}

}  // namespace zumstub
