// A module that registers with the store in tests and writes down every callback it gets.
#pragma once

#include <windows.h>

#include "ContactRecords.h"

struct RecordedCall {
    LONG sequence;            // position among all calls of all recorders
    char name[64];            // callback name without the "AddressCallback_" prefix
    UINT_PTR args[3];
    UINT_PTR user;
    FriendStatus status;      // copy of the record OnRefreshSelfStatus was given
};

// Called inside every callback, before it returns (name without the prefix).
typedef void(CALLBACK* RecorderHook)(const char* name, UINT_PTR firstArg, UINT_PTR user);

typedef void(WINAPI* Recorder_ResetProc)(LONG* sequence, RecorderHook hook);
typedef int(WINAPI* Recorder_CountProc)();
typedef BOOL(WINAPI* Recorder_GetProc)(int index, RecordedCall* out);
