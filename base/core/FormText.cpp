#include "FormText.h"

#include <cstdio>

namespace vantor {

std::string EncodeFormValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c == '%' || c == '&' || c == '=' || c == '+' || c < 0x20 || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

FormText& FormText::Add(const char* key, const std::string& value) {
    if (!text_.empty()) text_ += '&';
    text_ += key;
    text_ += '=';
    text_ += EncodeFormValue(value);
    return *this;
}

FormText& FormText::AddNumber(const char* key, long value) { return Add(key, std::to_string(value)); }

}  // namespace vantor
