#include "GatekeeperReply.h"

#include "ImMessages.h"

namespace chatdesk {

namespace {

std::string Trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

bool GatekeeperReplyText::Append(const char* chunk, size_t length) {
    if (overflowed_) return false;
    if (!chunk && length) return false;
    if (text_.size() + length > kGatekeeperReplyLimit) {
        overflowed_ = true;
        text_.clear();
        return false;
    }
    text_.append(chunk, length);
    return true;
}

bool ParseGatekeeperReply(const std::string& text, GatekeeperReply* out) {
    if (text.size() > kGatekeeperReplyLimit || text.find('\0') != std::string::npos) return false;
    std::string body = Trim(text);
    size_t first = body.find(';');
    if (first == std::string::npos) return false;
    size_t second = body.find(';', first + 1);
    if (second == std::string::npos || body.find(';', second + 1) != std::string::npos) return false;
    std::string address = Trim(body.substr(0, first));
    std::string number = Trim(body.substr(first + 1, second - first - 1));
    std::string port = Trim(body.substr(second + 1));
    if (address.size() > kGatekeeperAddressChars || !AllDigits(number)) return false;
    uint32_t host = 0;
    uint16_t portValue = 0;
    if (!ParseIpv4(address, &host) || !ParsePort(port, &portValue) || portValue == 0) return false;
    out->address = NetworkOrder(host);
    out->port = portValue;
    return true;
}

}  // namespace chatdesk
