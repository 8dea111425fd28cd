#include "FolderLock.h"

#include <cstdint>
#include <cwchar>

#include "StagingFiles.h"

namespace selfupdate {

std::wstring FolderLockName(const std::wstring& programFolder) {
    std::wstring key = NameKey(programFolder);
    while (!key.empty() && key.back() == L'\\') key.pop_back();
    uint64_t hash = 14695981039346656037ull;   // FNV-1a over the UTF-16 units
    for (wchar_t c : key) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Global\\VantorSelfUpdate-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

FolderLock::FolderLock(const std::wstring& programFolder) {
    // Open to every user: the monitor of another signed-in user must find the same mutex.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        attributes.lpSecurityDescriptor = &descriptor;
    }
    mutex_.reset(CreateMutexW(&attributes, FALSE, FolderLockName(programFolder).c_str()));
    if (!mutex_) return;
    DWORD waited = WaitForSingleObject(mutex_.get(), 0);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

FolderLock::~FolderLock() {
    if (held_) ReleaseMutex(mutex_.get());
}

}  // namespace selfupdate
