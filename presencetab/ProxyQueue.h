// The proxy messages that PresenceCore stored in "<program folder>\<own id>\psproxy.ppi":
// every section stored is taken out of the file in one read and one rewrite before any is
// handed on, so a message is handled at most once even when its handler fails or the
// program stops. Each section is one message, whatever its name.
#pragma once

#include <functional>
#include <string>

#include "Services.h"

namespace presence {

struct ProxyMessage {
    int kind = 0;         // "opencode": 1 request, 2 answer, 4 removed, 5 deleted, 6 status
    std::string id;       // "ID", at most 31 characters
    std::string nickname; // "NA", at most 63
    std::string message;  // "M", at most 259
    int answer = 0;       // "S": answer flag of kind 2, new status of kind 6
};

// Drains the store in file order until it is empty or `signals` says stop; what a stop
// leaves unhandled is put back in front of what was stored meanwhile.
void ProcessProxyStore(const std::string& path, WorkSignals& signals,
                       const std::function<void(const ProxyMessage&)>& handle);

}  // namespace presence
