// The member form's plain parts: the text sent to the platform, the sex box, and the
// province, city and product-type lists read from the program's text files.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace memberform {

// What the form holds when "注册" is pressed (8-bit text in the ANSI code page).
struct MemberFields {
    std::string user;      // the policy's first parameter text
    std::string password;  // the policy's second parameter text
    std::string realName;
    std::string sex;       // the sex box's text
    std::string province;
    std::string city;
    std::string areaCode;
    std::string telephone;
    std::string extension;
    std::string serial;
    std::string productType;
    int year = 0;
    int month = 0;
    int day = 0;
};

// The one-line form text, fields in the platform's order, unescaped.
std::string BuildFormText(const MemberFields& fields);

// The label of the first field the user filled in with "&" or "=", which the unescaped
// form text cannot carry; empty when every field can be sent.
std::wstring FieldThatCannotBeSent(const MemberFields& fields);

// The sex box entry for the contact record's sex: 0 for male (1), 1 for female (2), -1
// (no entry) for anything else.
int SexEntry(int sex);

// Text files split into the chunks the lists take: each line, cut into pieces of at most
// `chunk` bytes that never split a double-byte character, line ends removed.
std::vector<std::string> Chunks(const std::string& text, size_t chunk);

// "config\province.txt": one entry per chunk of 19, the text before the first TAB.
std::vector<std::string> ParseProvinces(const std::string& text);

// "config\city.txt": "====" opens the group of the province named by the rest of the line;
// a group without cities is not kept, and a name seen again keeps its first list.
typedef std::map<std::string, std::vector<std::string>> CityMap;
CityMap ParseCities(const std::string& text);

// "config\MachineType.txt": "%d=%s" lines, the name listed with its number.
struct MachineType {
    int number = 0;
    std::string name;
};
std::vector<MachineType> ParseMachineTypes(const std::string& text);

}  // namespace memberform
