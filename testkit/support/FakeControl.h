// Talking to the loopback fakes (presence server, test peer) over their HTTP control routes.
#pragma once

#include <windows.h>

#include <string>

namespace testkit {

// Posts body to http://127.0.0.1:<port><path> and answers the whole reply body; "" when
// nothing answered. A fake may hold its reply back for a while, hence the long time-out.
std::string PostToFake(int port, const std::string& path, const std::string& body, DWORD timeoutMs = 180000);

// The bytes of a text of hexadecimal digit pairs, as the fakes' logs write request bodies.
std::string FromHex(const std::string& hex);

}  // namespace testkit
