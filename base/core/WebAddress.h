// Web addresses: how the client reads one, and which ones it hands to the user's browser.
//
// The platform and the upgrade server (or anyone between the client and them) choose
// these texts, so every part of the client reads an address the same way: the upgrade
// monitor's host check and WebFetch's requests through SplitWebAddress, and only a web
// address is ever handed to the shell (anything else, a program path, a file or another
// scheme, would be started or opened by the shell as it stands).
#pragma once

#include <windows.h>

#include <string>

namespace vantor {

// The parts of an address. The host part ends at the first "/", "?" or "#".
struct WebAddressParts {
    std::wstring scheme;   // "http" or "https" in lower case; empty when the address names none
    std::wstring host;     // as written (an IPv6 literal keeps its brackets)
    unsigned port = 0;     // the port the address names; 0 when it names none
    std::wstring path;     // from the "/" or "?" behind the host ("/" put before a bare query),
                           // without the fragment; "/" when the address has none
};

// Splits an address with "http://" or "https://" (case folded) or no scheme at all. False
// for another scheme, an empty host, user information ("@"), a "%", "\", blank or control
// character in the host part, and a port that is empty, not decimal or outside 1-65535.
bool SplitWebAddress(const std::wstring& address, WebAddressParts* parts);

// Whether `address` is "http://" or "https://" followed by a host that SplitWebAddress
// reads, with no blank, control character or quote anywhere in it.
bool IsWebAddress(const std::string& address);

// Opens a web address in the user's browser; anything else is not opened. Answers
// whether the shell was asked.
bool OpenWebAddress(HWND owner, const std::string& address);

}  // namespace vantor
