// Form text as the presence server reads it: pairs of a key, "=" and a value joined with
// "&"; values percent-encoded for %, &, =, + and control bytes, so that a value holding
// them arrives whole.
#pragma once

#include <string>

namespace vantor {

std::string EncodeFormValue(const std::string& value);

class FormText {
public:
    FormText& Add(const char* key, const std::string& value);
    FormText& AddNumber(const char* key, long value);
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

}  // namespace vantor
