// One upgrade monitor at a time per program folder: a check or an install first opens
// "<program folder>\SelfUpdate\monitor.lock" shared with nobody, and keeps it open while
// it works. The lock is a file of the folder itself, so every path to the folder (its
// long or short name, a mapped drive, another case) meets the same lock. Any open of a
// file shared with nobody keeps others out, so the lock lets nobody but who may add files
// to that folder (and so could stage and install there) open it at all: a user or program
// that may only read the folder cannot hold it.
#pragma once

#include <windows.h>

#include <string>

#include "Handles.h"

namespace selfupdate {

class FolderLock {
public:
    // Takes the lock without waiting; held() says whether it was taken.
    explicit FolderLock(const std::wstring& programFolder);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return static_cast<bool>(file_); }
    // Not held because another monitor (of this process or another) holds it.
    bool busy() const { return error_ == ERROR_SHARING_VIOLATION; }
    // Why the lock is not held, for the log.
    std::wstring Why() const;

private:
    vantor::UniqueHandle file_;
    DWORD error_ = 0;
    std::wstring path_;
};

}  // namespace selfupdate
