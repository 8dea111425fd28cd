// Names and files relative to the program folder (the folder of the running EXE),
// written here without a trailing backslash.
#pragma once

#include <windows.h>

#include <string>

namespace vantor {
namespace imkit {

std::wstring ProgramFolder();
std::string ProgramFolderA();

// Loads "<program folder>\<fileName>".
HMODULE LoadFromProgramFolder(const wchar_t* fileName);
HMODULE LoadFromProgramFolderA(const char* fileName);

// Longest dialog caption read from the settings.
constexpr size_t kDialogCaptionChars = 64;

// "config\uiprof.cfg" [Dialog] Caption, at most 64 characters; empty when missing.
std::wstring DialogCaption();
std::string DialogCaptionA();

}  // namespace imkit
}  // namespace vantor
