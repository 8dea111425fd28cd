// The gatekeeper's answer to a login request: "<IM server IPv4>;<number>;<IM server port>".
//
// The reply body is gathered whole (it may come in several chunks) up to a small limit;
// anything longer or malformed is refused rather than half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace chatdesk {

constexpr size_t kGatekeeperReplyLimit = 1024;
constexpr size_t kGatekeeperAddressChars = 63;

// Collects the chunks of one reply.
class GatekeeperReplyText {
public:
    // False (and the reply spoilt) once the text would pass the limit.
    bool Append(const char* chunk, size_t length);
    bool Overflowed() const { return overflowed_; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    bool overflowed_ = false;
};

struct GatekeeperReply {
    uint32_t address = 0;  // network order
    uint16_t port = 0;
};

// An IPv4 address as ParseIpv4 gives it (host order) in network order.
inline uint32_t NetworkOrder(uint32_t host) {
    return ((host & 0xFF) << 24) | ((host & 0xFF00) << 8) | ((host >> 8) & 0xFF00) | (host >> 24);
}

// Strict: a dotted-decimal IPv4 address of at most 63 characters, a number (not used),
// a port 1-65535 in decimal; surrounding white space and a line end are allowed.
bool ParseGatekeeperReply(const std::string& text, GatekeeperReply* out);

}  // namespace chatdesk
