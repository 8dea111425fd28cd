// The library's own state that follows each tray record it hands out.
#pragma once

#include "PinIcon.h"

#include <cstddef>

static_assert(sizeof(PinIconTray) == NOTIFYICONDATAA_V1_SIZE, "the first form of the shell's record");
#ifndef _WIN64
static_assert(sizeof(PinIconTray) == 88, "88 bytes on 32-bit Windows");
#endif
static_assert(offsetof(PinIconTray, hIcon) == offsetof(NOTIFYICONDATAA, hIcon), "same layout as the shell's");

namespace pinicon {

// One tray: the record first, so the handle is the record's address.
struct Tray {
    PinIconTray record;
    HMENU menu;
};

inline Tray* TrayOf(PinIconTray* record) { return reinterpret_cast<Tray*>(record); }

// Hands the record to the shell (NIM_ADD, NIM_MODIFY, NIM_DELETE).
inline bool TellShell(DWORD action, PinIconTray& record) {
    return Shell_NotifyIconA(action, reinterpret_cast<NOTIFYICONDATAA*>(&record)) != FALSE;
}

}  // namespace pinicon
