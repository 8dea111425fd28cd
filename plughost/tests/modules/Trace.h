// Call trace shared by the test modules: one line per call, appended to "trace.log" in
// the program folder, and per-module behaviour read from "behave.cfg" there.
#pragma once

#include <windows.h>
#include <string>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace plugtest {

// Appends "<this module's file name> <text>\n".
void Trace(HMODULE self, const char* format, ...);
// File name of a module ("plug8.dll"), "null" for none.
std::string ModuleName(HMODULE module);
// Window text of a window, "null" for none.
std::string WindowName(HWND wnd);
// [<this module's file name>] key from behave.cfg; fallback when missing.
int Behaviour(HMODULE self, const char* key, int fallback);
// The id RostLedger of the program folder reads for a group or friend of the contact book;
// "null" for none, "?" when nothing was read.
std::string GroupId(HostContext book, GroupHandle group);
std::string FriendId(HostContext book, FriendHandle entry);
// Folder of the running EXE with a trailing backslash, in the ANSI code page.
std::string ProgramFolderA();
// The process's "a call is inside now" event (auto-reset): a plug-in sets it where its
// behaviour says, and the driver waits for it to act while the call runs.
HANDLE InsideEvent();
void SignalInside();

}  // namespace plugtest
