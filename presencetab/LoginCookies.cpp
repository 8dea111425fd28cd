#include "LoginCookies.h"

#include "Text.h"

namespace presence {

namespace {

bool CodeValue(const char (&code)[160], bool cutAtSemicolon, std::string* value) {
    std::string text = vantor::FieldText(code);
    size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    *value = text.substr(eq + 1);
    if (cutAtSemicolon) *value = value->substr(0, value->find(';'));
    return true;
}

}  // namespace

bool ReadLoginCookies(const ServicePolicyInfoA& policy, LoginCookies* out) {
    if (policy.codeCount < 2) return false;
    return CodeValue(policy.codes[1], true, &out->session) && CodeValue(policy.codes[0], false, &out->signOn);
}

}  // namespace presence
