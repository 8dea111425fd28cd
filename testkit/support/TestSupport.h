// Helpers for test EXEs that run from the staged program folder under Wine.
#pragma once

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

// The staged program folder (where the test EXE runs), with a trailing backslash.
std::wstring ProgramDir();

// A new, empty folder for one test under "<program folder>\scratch", with a trailing
// backslash. Each call gives a distinct folder, so tests never see each other's files.
std::wstring FreshDir(const std::wstring& name);

// Deletes a folder with everything below it (read-only files included); a missing
// folder is fine. The path may end in a backslash or not.
void RemoveTree(const std::wstring& dir);

// Whole-file helpers; ReadFileBytes gives an empty string for a missing file.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// Path and file name of the running test EXE.
std::wstring ThisExePath();
std::wstring ThisExeName();

// Copies the running test EXE into folder under its own name; the copy's path, or an
// empty text when the copy failed.
std::wstring CopyThisExeTo(const std::wstring& folder);

// Copies "<program folder>\<name>" into folder (a full folder path with its trailing
// backslash), under another name when `as` is given.
bool CopyFromProgramDir(const std::wstring& folder, const std::wstring& name, const std::wstring& as = L"");

// Runs exe with the arguments, in `folder` as its working folder, with the extra
// environment variables set for the child only, and waits up to timeoutMs (INFINITE for
// no limit); a child still running then is ended. The child shares the test's output.
// Its exit code, or kProgramDidNotStart / kProgramTimedOut.
const DWORD kProgramDidNotStart = 0xFFFF0001;
const DWORD kProgramTimedOut = 0xFFFF0002;
typedef std::vector<std::pair<std::wstring, std::wstring>> Environment;
DWORD RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder,
                 const Environment& environment = {}, DWORD timeoutMs = 120000);

// A program folder of its own for a test EXE that must run beside its own partners and
// settings: the files it gets from the staged program folder and the files it writes.
struct PrivateFolder {
    std::wstring name;                                            // of the fresh folder (FreshDir)
    std::vector<std::wstring> files;                              // each one must be there
    std::vector<std::pair<std::wstring, std::wstring>> renamed;   // file, its name in the folder
    std::vector<std::wstring> trees;                              // folders copied with all below
    std::vector<std::pair<std::wstring, std::string>> written;    // path in the folder, bytes
};

// Stages `folder`, copies the running EXE into it and runs the copy there with this
// process's own arguments and the extra environment, waiting for its end. The copy's exit
// code, or 1 when the folder could not be staged.
int RunThisExeInPrivateFolder(const PrivateFolder& folder, const Environment& environment);

// Text in the ANSI code page from a UTF-8 literal, for A-form calls.
std::string Ansi(const char* utf8);
std::wstring Wide(const char* utf8);

}  // namespace testkit
