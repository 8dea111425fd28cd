// Types shared by every deliverable of the client.
//
// Pointer-size policy: values the interfaces describe as "32-bit" but that carry a
// pointer or a handle (the host context, user values, walk contexts, plug handles) are
// pointer-sized here, so the x86_64 build is sound and the i686 ABI stays 32-bit.
// Records without pointers keep their exact byte layout (checked with static_assert).
#pragma once

#include <windows.h>

// The value the host hands to Container_Load; plug-ins pass it on as the contact-book handle.
typedef UINT_PTR HostContext;

// A tab plug-in's own object, returned by its TabPlug_Create.
typedef void* TabPlugHandle;

// Signed id of a plug-in inside the container.
typedef int PlugId;

enum : PlugId {
    PLUG_TABDECK = 0,
    PLUG_CHAT = 9,
    PLUG_PRESENCE = 0x7FFFFFFE,
    PLUG_NOTICE_PANE = -3,
    PLUG_INFO_PANE = -8,
    PLUG_HOME_PANE = -10,
    PLUG_BOARD_PANE = -11,
    PLUG_PANE_OWNER = -13,
};

static_assert(sizeof(HostContext) == sizeof(void*), "HostContext carries a pointer");
