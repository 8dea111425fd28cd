// Addresses from the platform that the client hands to the user's browser.
//
// The platform (or anyone between the client and it) chooses these texts, so only a web
// address is ever handed to the shell: anything else (a program path, a file or another
// scheme) would be started or opened by the shell as it stands.
#pragma once

#include <windows.h>

#include <string>

namespace vantor {

// Whether `address` is "http://" or "https://" (ASCII case folded) followed by a host,
// with no blank, control character or quote anywhere in it.
bool IsWebAddress(const std::string& address);

// Opens a web address in the user's browser; anything else is not opened. Answers
// whether the shell was asked.
bool OpenWebAddress(HWND owner, const std::string& address);

}  // namespace vantor
