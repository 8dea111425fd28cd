#include "Forms.h"

#include <cstdio>

#include "FormText.h"
#include "Text.h"

namespace rostdialogs {

namespace {

const wchar_t kMale[] = L"\u7537";    // 男
const wchar_t kFemale[] = L"\u5973";  // 女
const size_t kQueryValueBytes = 31;
const size_t kProvinceLineBytes = 31;

bool AllDigits(const std::string& s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return !s.empty();
}

}  // namespace

std::string CutWhole(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    return text.substr(0, vantor::WholeCharsPrefix(text.c_str(), text.size(), maxBytes));
}

std::wstring SexChoice(int sex) { return sex == 1 ? kMale : sex == 2 ? kFemale : L""; }

short SexFromChoice(const std::wstring& choice) {
    if (choice == kMale) return 1;
    if (choice == kFemale) return 2;
    return 0;
}

std::wstring SexColumn(int sex) { return SexChoice(sex); }

bool ParseBirthday(const std::string& text, SYSTEMTIME* date) {
    if (text.size() < 8) return false;
    std::string year = text.substr(0, 4), month = text.substr(4, 2), day = text.substr(6, 2);
    if (!AllDigits(year) || !AllDigits(month) || !AllDigits(day)) return false;
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(atoi(year.c_str()));
    t.wMonth = static_cast<WORD>(atoi(month.c_str()));
    t.wDay = static_cast<WORD>(atoi(day.c_str()));
    if (t.wYear < 1601 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) return false;
    // The system knows the month lengths: a date it cannot turn into a file time is none.
    FILETIME ft;
    if (!SystemTimeToFileTime(&t, &ft)) return false;
    *date = t;
    return true;
}

std::string FormatBirthday(const SYSTEMTIME& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.wYear % 10000, date.wMonth % 100, date.wDay % 100);
    return text;
}

bool ProvinceList::Load(const std::string& bytes) {
    names.clear();
    codeByName.clear();
    nameByCode.clear();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = CutWhole(line, kProvinceLineBytes);
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line.erase(0, first);
        if (line.empty()) continue;
        // "%s %s": the name, white space (a space or a TAB), the code.
        const char* blanks = " \t";
        size_t space = line.find_first_of(blanks);
        std::string name = line.substr(0, space);
        std::string code;
        if (space != std::string::npos) {
            size_t from = line.find_first_not_of(blanks, space);
            if (from != std::string::npos) code = line.substr(from, line.find_first_of(blanks, from) - from);
        }
        if (name.empty()) continue;
        names.push_back(name);
        if (!code.empty()) {
            codeByName[name] = code;
            nameByCode[code] = name;
        }
    }
    return !names.empty();
}

std::string ProvinceList::CodeOf(const std::string& name) const {
    auto it = codeByName.find(name);
    return it == codeByName.end() ? std::string() : it->second;
}

std::string ProvinceList::NameOf(const std::string& code) const {
    auto it = nameByCode.find(code);
    return it == nameByCode.end() ? std::string() : it->second;
}

std::string SearchQuery(const SearchFields& fields) {
    if (!fields.shown) return std::string();
    vantor::FormText form;
    std::string account = CutWhole(fields.account, kQueryValueBytes);
    std::string nickname = CutWhole(fields.nickname, kQueryValueBytes);
    if (!account.empty()) form.Add("id", account);
    if (!nickname.empty()) form.Add("nicename", nickname);
    if (!fields.provinceCode.empty()) form.Add("province", CutWhole(fields.provinceCode, kQueryValueBytes));
    if (!fields.sex.empty()) form.Add("sex", fields.sex == vantor::WideToAnsi(kMale) ? "1" : "2");
    return form.Text();
}

}  // namespace rostdialogs
