// Toolcrate: shared record conversions. Bound at run time by name ("Toolcrate.dll"),
// standard calling convention.
#pragma once

#include <windows.h>

#include "../ContactRecords.h"

// Fills the whole 8-bit record from the UTF-16 one: texts in the ANSI code page, each cut
// to its width less one without splitting a character, numbers and status copied.
// 0 when either pointer is null.
typedef BOOL(WINAPI* PFN_CopyAddressFriendW2A)(const FriendInfoW* in, FriendInfoA* out);
