// One upgrade monitor at a time per program folder: every process (of any signed-in
// user) that checks or installs for a folder first takes that folder's named mutex.
#pragma once

#include <windows.h>

#include <string>

#include "Handles.h"

namespace selfupdate {

class FolderLock {
public:
    // Takes the folder's mutex without waiting; held() says whether it was taken.
    explicit FolderLock(const std::wstring& programFolder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return held_; }

private:
    vantor::UniqueHandle mutex_;
    bool held_ = false;
};

// The mutex name of a program folder (the same for any case of its letters).
std::wstring FolderLockName(const std::wstring& programFolder);

}  // namespace selfupdate
