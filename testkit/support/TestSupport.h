// Helpers for test EXEs that run from the staged program folder under Wine.
#pragma once

#include <windows.h>
#include <string>

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

// Text in the ANSI code page from a UTF-8 literal, for A-form calls.
std::string Ansi(const char* utf8);
std::wstring Wide(const char* utf8);

}  // namespace testkit
