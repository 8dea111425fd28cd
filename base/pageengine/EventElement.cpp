#include "EventElement.h"

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "PageAddress.h"

namespace pageengine {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string DecodeXml(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        static const struct {
            const char* name;
            char c;
        } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool done = false;
        for (const auto& e : kEntities) {
            size_t n = strlen(e.name);
            if (text.compare(i, n, e.name) == 0) {
                out += e.c;
                i += n - 1;
                done = true;
                break;
            }
        }
        if (!done) out += text[i];
    }
    return out;
}

bool ParseId(const std::string& text, int* id) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long value = strtol(text.c_str(), &end, 10);
    if (*end || errno == ERANGE || value < INT_MIN || value > INT_MAX || isspace(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    *id = static_cast<int>(value);
    return true;
}

}  // namespace

bool ParseEventElement(const std::string& element, EventElement* out) {
    std::string s = PercentDecode(element);
    size_t i = 0;
    while (i < s.size() && Blank(s[i])) ++i;
    if (s.compare(i, 8, "<element") != 0) return false;
    i += 8;
    if (i >= s.size() || !(Blank(s[i]) || s[i] == '/' || s[i] == '>')) return false;
    std::map<std::string, std::string> attributes;
    bool selfClosing = false;
    for (;;) {
        while (i < s.size() && Blank(s[i])) ++i;
        if (i >= s.size()) return false;
        if (s[i] == '>') {
            ++i;
            break;
        }
        if (s[i] == '/') {
            if (i + 1 >= s.size() || s[i + 1] != '>') return false;
            selfClosing = true;
            i += 2;
            break;
        }
        std::string name;
        while (i < s.size() && (isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '-')) name += s[i++];
        while (i < s.size() && Blank(s[i])) ++i;
        if (name.empty() || i >= s.size() || s[i] != '=') return false;
        ++i;
        while (i < s.size() && Blank(s[i])) ++i;
        if (i >= s.size() || (s[i] != '"' && s[i] != '\'')) return false;
        char quote = s[i++];
        size_t close = s.find(quote, i);
        if (close == std::string::npos) return false;
        if (attributes.count(name)) return false;  // a repeated attribute is not well formed
        attributes[name] = DecodeXml(s.substr(i, close - i));
        i = close + 1;
    }
    EventElement e;
    auto id = attributes.find("id");
    if (id == attributes.end() || !ParseId(id->second, &e.id)) return false;
    size_t count = 0;
    while (count < 6 && attributes.count("a" + std::to_string(count + 1))) {
        e.texts.push_back(attributes["a" + std::to_string(count + 1)]);
        ++count;
    }
    for (int k = static_cast<int>(count) + 1; k <= 9; ++k) {
        if (attributes.count("a" + std::to_string(k))) return false;  // a gap or a seventh text
    }
    if (!selfClosing) {
        size_t end = s.find("</element", i);
        if (end == std::string::npos) return false;
        std::string text = s.substr(i, end - i);
        if (text.find('<') != std::string::npos) return false;
        size_t j = end + 9;
        while (j < s.size() && Blank(s[j])) ++j;
        if (j >= s.size() || s[j] != '>') return false;
        if (!e.texts.empty() && text.empty()) {
            // attributes carry the texts; an empty body adds nothing
        } else {
            e.texts.push_back(DecodeXml(text));
        }
        i = j + 1;
    }
    while (i < s.size() && Blank(s[i])) ++i;
    if (i != s.size()) return false;
    if (e.texts.empty() || e.texts.size() > 6) return false;
    *out = e;
    return true;
}

}  // namespace pageengine
