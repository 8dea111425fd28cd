// The platform that the stand-in plays, as INI-style items: [section] key=value.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zumstub {

class Script {
public:
    // Parses INI text (8-bit, ANSI code page); ';' and '#' start comment lines. Sections and
    // keys compare without regard to case.
    void Parse(const std::string& text);
    void Clear() { sections_.clear(); }

    bool HasSection(const std::string& section) const;
    bool Has(const std::string& section, const std::string& key) const;
    std::string Get(const std::string& section, const std::string& key, const std::string& fallback = "") const;
    long long GetInt(const std::string& section, const std::string& key, long long fallback) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void Erase(const std::string& section, const std::string& key);

private:
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

std::string Lower(std::string s);
std::string Trim(const std::string& s);
// Comma-separated list, items trimmed, empty items dropped.
std::vector<std::string> SplitList(const std::string& s);
// Leading signed decimal of s; fallback when there is none.
long long ParseInt(const std::string& s, long long fallback);

}  // namespace zumstub
