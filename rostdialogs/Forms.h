// The plain rules behind the dialogs' fields: cuts on whole characters, sex and birthday
// texts, the search query and the province list. No window is involved.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace rostdialogs {

// The longest prefix of at most `maxBytes` bytes that ends on a whole character.
std::string CutWhole(const std::string& text, size_t maxBytes);

// Sex of a record as the friend form shows it: "男" for 1, "女" for 2, "" otherwise
// (UTF-16, the form's own texts), and back: "" (or anything else) is 0.
std::wstring SexChoice(int sex);
short SexFromChoice(const std::wstring& choice);
// Sex column of a search row: "男" for 1, "女" for 2, "" otherwise.
std::wstring SexColumn(int sex);

// "YYYYMMDD..." as a date the picker can take; false when the text is no valid date.
bool ParseBirthday(const std::string& text, SYSTEMTIME* date);
// The picker's date as eight digits.
std::string FormatBirthday(const SYSTEMTIME& date);

// The province list: "name code" per line (GBK bytes).
struct ProvinceList {
    std::vector<std::string> names;                  // file order
    std::map<std::string, std::string> codeByName;
    std::map<std::string, std::string> nameByCode;
    bool Load(const std::string& bytes);
    std::string CodeOf(const std::string& name) const;
    std::string NameOf(const std::string& code) const;
};

// What the fields pane holds when a search starts (8-bit texts).
struct SearchFields {
    bool shown = false;
    std::string account;
    std::string nickname;
    std::string provinceCode;   // empty when the chosen name has none
    std::string sex;            // the list's text in the ANSI code page, "" for none
};

// "id=..&nicename=..&province=..&sex=.." of the filled fields, values cut to 31 bytes and
// percent-encoded as the presence client encodes its own values; empty when the pane is
// hidden.
std::string SearchQuery(const SearchFields& fields);

}  // namespace rostdialogs
