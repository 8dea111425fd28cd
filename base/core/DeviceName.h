// The names Windows takes for devices rather than files, wherever a name from outside
// (an account, a peer's file name, a path of an upgrade list) becomes a file or folder.
#pragma once

#include <string>

namespace vantor {

// Whether name (one component of a path) names a device: CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, CLOCK$, COM0-9 and LPT0-9 (the superscript digits one to three too), in any
// case, whatever extension follows and with blanks before it ("nul.txt", "com1 .log").
bool IsDeviceName(const std::wstring& name);

}  // namespace vantor
