#include "FolderLock.h"

#include <cwchar>

#include "PathRules.h"

namespace selfupdate {

FolderLock::FolderLock(const std::wstring& programFolder) {
    std::wstring folder = programFolder;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    std::wstring root = folder + L"\\" + kStagingRoot;
    CreateDirectoryW(root.c_str(), nullptr);
    path_ = root + L"\\monitor.lock";
    // Write access: a user who may only read the program folder cannot hold it either.
    file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) error_ = GetLastError();
}

std::wstring FolderLock::Why() const {
    if (held()) return std::wstring();
    if (busy()) return L"another monitor works on this program folder";
    wchar_t text[MAX_PATH + 64];
    swprintf(text, MAX_PATH + 64, L"the lock %ls cannot be opened (error %lu)", path_.c_str(),
             static_cast<unsigned long>(error_));
    return text;
}

}  // namespace selfupdate
