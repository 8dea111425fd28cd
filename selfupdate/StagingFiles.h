// File-system helpers of the staging folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

namespace selfupdate {

bool FileExists(const std::wstring& path);
// Bytes of a file; 0 when it is missing.
uint64_t FileBytes(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// Creates every missing folder of path (which ends with a backslash or names a folder)
// below base; base itself must exist.
bool MakeFolders(const std::wstring& base, const std::wstring& relative);
// Deletes a file (read-only ones too); true when it is gone.
bool RemoveFile(const std::wstring& path);
// Deletes a folder depth first: files, then the emptied folders. True when it is gone.
bool RemoveTree(const std::wstring& folder);

// Every file below folder (ending with a backslash), as paths relative to it.
std::set<std::wstring> FilesBelow(const std::wstring& folder);
// The names of the folders in folder (ending with a backslash), links left out.
std::set<std::wstring> FoldersIn(const std::wstring& folder);
// Deletes the folders below folder that hold nothing.
void RemoveEmptyFolders(const std::wstring& folder);

// Case-blind key of a relative path, for sets of staged files.
std::wstring NameKey(const std::wstring& relative);

// What the file system knows a file or folder by, whatever name reached it (a short
// name, another case, another path to the same volume).
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};
// False when nothing is at path.
bool IdentityOf(const std::wstring& path, FileIdentity* identity);

}  // namespace selfupdate
