// CoreFront, the kernel facade: hands out the contact dialogs' entry points and unloads
// the contact dialogs when they are idle. Bound at run time by name ("CoreFront.dll").
#pragma once

#include <windows.h>

// Ordinal 1 (no name): called once by the container after loading.
typedef int(WINAPI* PFN_CoreFront_Start)(void);
#define COREFRONT_START_ORDINAL 1
// Ordinal 2 (no name): called once by the container before freeing the library.
typedef int(WINAPI* PFN_CoreFront_Stop)(void);
#define COREFRONT_STOP_ORDINAL 2

// Address of the contact dialogs' export of that name (or of an ordinal given with
// MAKEINTRESOURCE), loading the contact dialogs when needed; null when missing.
typedef FARPROC(WINAPI* PFN_RostDialogs_GetProcAddress)(const char* name);

// Called by the contact dialogs with their own module handle when their use count falls
// to zero. The library is unloaded later, never inside the caller's own call.
typedef int(WINAPI* PFN_Facade_FreeModule)(HMODULE module);
