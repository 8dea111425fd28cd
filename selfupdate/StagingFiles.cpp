#include "StagingFiles.h"

#include <functional>

#include "Handles.h"

namespace selfupdate {

namespace {

bool IsDots(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

// Calls visit for each entry of folder except "." and "..".
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW data;
    vantor::UniqueFind find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find) return;
    do {
        if (!IsDots(data.cFileName)) visit(data);
    } while (FindNextFileW(find.get(), &data));
}

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
// A link would lead the walk out of the staging folder.
bool IsLink(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

}  // namespace

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FolderExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::wstring& base, const std::wstring& relative) {
    std::wstring path = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) end = relative.size();
        path += relative.substr(start, end - start) + L"\\";
        if (!FolderExists(path) && !CreateDirectoryW(path.c_str(), nullptr) && !FolderExists(path)) return false;
        start = end + 1;
    }
    return true;
}

bool RemoveFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return true;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (DeleteFileW(path.c_str())) return true;
    }
    return false;
}

bool RemoveTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    ForEachEntry(base, [&](const WIN32_FIND_DATAW& data) {
        std::wstring path = base + data.cFileName;
        if (IsFolder(data) && !IsLink(data)) {
            RemoveTree(path);
        } else if (IsFolder(data)) {
            RemoveDirectoryW(path.c_str());
        } else {
            RemoveFile(path);
        }
    });
    RemoveDirectoryW(base.c_str());
    return !FolderExists(base);
}

std::set<std::wstring> FilesBelow(const std::wstring& folder) {
    std::set<std::wstring> files;
    std::function<void(const std::wstring&)> walk = [&](const std::wstring& relative) {
        ForEachEntry(folder + relative, [&](const WIN32_FIND_DATAW& data) {
            if (IsLink(data)) return;
            if (IsFolder(data)) {
                walk(relative + data.cFileName + L"\\");
            } else {
                files.insert(relative + data.cFileName);
            }
        });
    };
    walk(std::wstring());
    return files;
}

std::set<std::wstring> FoldersIn(const std::wstring& folder) {
    std::set<std::wstring> folders;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data) {
        if (IsFolder(data) && !IsLink(data)) folders.insert(data.cFileName);
    });
    return folders;
}

void RemoveEmptyFolders(const std::wstring& folder) {
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& data) {
        if (!IsFolder(data) || IsLink(data)) return;
        std::wstring path = folder + data.cFileName + L"\\";
        RemoveEmptyFolders(path);
        RemoveDirectoryW(path.c_str());   // fails, as it should, while something is left inside
    });
}

bool IdentityOf(const std::wstring& path, FileIdentity* identity) {
    // Attributes only, shared every way: nobody who holds the file is disturbed.
    vantor::UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.get(), &information)) return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return true;
}

std::wstring NameKey(const std::wstring& relative) {
    std::wstring key = relative;
    if (!key.empty()) {
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    }
    return key;
}

}  // namespace selfupdate
