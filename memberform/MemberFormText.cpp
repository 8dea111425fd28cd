#include "MemberFormText.h"

#include <windows.h>

#include <cstdio>

#include "Text.h"

namespace memberform {

namespace {
std::string A(const wchar_t* text) { return vantor::WideToAnsi(text); }
}  // namespace

int SexEntry(int sex) { return sex == 1 ? 0 : sex == 2 ? 1 : -1; }

std::string BuildFormText(const MemberFields& f) {
    std::string text = "Username=" + f.user + "&Password=" + f.password + "&Realname=" + f.realName;
    if (f.sex == A(L"男")) {
        text += "&Sex=1";
    } else if (f.sex == A(L"女")) {
        text += "&Sex=2";
    }
    text += "&Province=" + f.province + "&City=" + f.city + "&Areanum=" + f.areaCode + "&Telephone=" + f.telephone;
    if (!f.extension.empty()) text += "&Extphonenum=" + f.extension;
    char date[32];
    snprintf(date, sizeof date, "%04d%02d%02d", f.year, f.month, f.day);
    text += "&Pcsn=" + f.serial + "&Type=" + f.productType + "&Buydate=" + date + "&Number=1";
    return text;
}

std::wstring FieldThatCannotBeSent(const MemberFields& f) {
    const std::pair<const std::string*, const wchar_t*> typed[] = {
        {&f.realName, L"您的姓名"},  {&f.sex, L"性别"},          {&f.province, L"居住地区"},
        {&f.city, L"居住地区"},      {&f.serial, L"产品序列号"}, {&f.productType, L"产品类型"},
        {&f.areaCode, L"固定电话"}, {&f.telephone, L"固定电话"}, {&f.extension, L"固定电话"},
    };
    for (const auto& field : typed) {
        if (field.first->find_first_of("&=") != std::string::npos) return field.second;
    }
    return std::wstring();
}

std::vector<std::string> Chunks(const std::string& text, size_t chunk) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        if (line.empty()) {
            out.push_back(line);
            continue;
        }
        size_t at = 0;
        while (at < line.size()) {
            size_t keep = vantor::WholeCharsPrefix(line.c_str() + at, line.size() - at, chunk);
            if (keep == 0) keep = 1;  // a lone lead byte at the end of a line
            out.push_back(line.substr(at, keep));
            at += keep;
        }
    }
    return out;
}

std::vector<std::string> ParseProvinces(const std::string& text) {
    std::vector<std::string> provinces;
    for (const std::string& chunk : Chunks(text, 19)) {
        std::string entry = chunk.substr(0, chunk.find('\t'));
        if (!entry.empty()) provinces.push_back(entry);
    }
    return provinces;
}

CityMap ParseCities(const std::string& text) {
    CityMap map;
    std::string name;
    std::vector<std::string> cities;
    auto keep = [&] {
        if (!name.empty() && !cities.empty()) map.emplace(name, cities);
    };
    for (const std::string& chunk : Chunks(text, 29)) {
        if (chunk.compare(0, 4, "====") == 0) {
            keep();
            name = chunk.substr(4);
            cities.clear();
        } else if (!chunk.empty()) {
            cities.push_back(chunk);
        }
    }
    keep();
    return map;
}

std::vector<MachineType> ParseMachineTypes(const std::string& text) {
    std::vector<MachineType> types;
    for (const std::string& chunk : Chunks(text, 29)) {
        int number = 0;
        char name[32] = "";
        if (sscanf(chunk.c_str(), "%d=%31s", &number, name) == 2) types.push_back({number, name});
    }
    return types;
}

}  // namespace memberform
