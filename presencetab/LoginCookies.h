// The presence-server cookies kept in the online service's policy codes: the session
// value in the second code, the sign-on value in the first, each after its first "=".
#pragma once

#include <string>

#include "ContactRecords.h"

namespace presence {

struct LoginCookies {
    std::string session;  // "JSESSIONID": cut at the first ";" after the "="
    std::string signOn;   // "iPlanetDirectoryPro": to the end of the code
};

// False when a code is missing or has no "=": there is then no usable cookie, and a
// login with empty values would only be refused.
bool ReadLoginCookies(const ServicePolicyInfoA& policy, LoginCookies* out);

}  // namespace presence
