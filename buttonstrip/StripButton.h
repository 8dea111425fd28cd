// The strip's picture buttons: standard push buttons whose procedure the strip replaces,
// each showing one picture stretched over its face and the hand cursor.
#pragma once

#include <windows.h>

namespace buttonstrip {

// Replaces the button's window procedure with the strip's.
void AdoptButton(HWND button);

}  // namespace buttonstrip
