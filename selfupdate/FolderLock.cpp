#include "FolderLock.h"

#include <aclapi.h>

#include <cwchar>
#include <vector>

#include "PathRules.h"

namespace selfupdate {

namespace {

// The rights an entry of a folder's DACL gives or takes on the folder itself.
bool AppliesToFolder(const ACE_HEADER& header) { return (header.AceFlags & INHERIT_ONLY_ACE) == 0; }

bool CoversAddingFiles(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return (mask & FILE_ADD_FILE) != 0;
}

// A protected DACL for the lock: each entry of the folder's own DACL that gives or takes
// the right to add files there, in the folder's order, gives or takes the whole lock.
// False when the folder has no DACL to go by (no security on its volume, or a folder
// open to everybody): the lock then has what the folder gives it.
bool WritersOnly(const std::wstring& folder, std::vector<unsigned char>* acl) {
    PACL folderAcl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &folderAcl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    vantor::UniqueLocal owned(descriptor);
    if (!folderAcl) return false;
    struct Entry {
        bool allow;
        PSID sid;
    };
    std::vector<Entry> entries;
    DWORD bytes = sizeof(ACL);
    for (DWORD i = 0; i < folderAcl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;   // a denied entry has the same layout
        if (!GetAce(folderAcl, i, reinterpret_cast<void**>(&ace)) || !AppliesToFolder(ace->Header)) continue;
        bool allow = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE;
        if ((!allow && ace->Header.AceType != ACCESS_DENIED_ACE_TYPE) || !CoversAddingFiles(ace->Mask)) continue;
        PSID sid = &ace->SidStart;
        entries.push_back({allow, sid});
        bytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    }
    acl->assign(bytes, 0);
    PACL lockAcl = reinterpret_cast<PACL>(acl->data());
    if (!InitializeAcl(lockAcl, bytes, ACL_REVISION)) return false;
    for (const Entry& entry : entries) {
        bool added = entry.allow ? AddAccessAllowedAce(lockAcl, ACL_REVISION, FILE_ALL_ACCESS, entry.sid)
                                 : AddAccessDeniedAce(lockAcl, ACL_REVISION, FILE_ALL_ACCESS, entry.sid);
        if (!added) return false;
    }
    return true;
}

}  // namespace

FolderLock::FolderLock(const std::wstring& programFolder) {
    std::wstring folder = programFolder;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    std::wstring root = folder + L"\\" + kStagingRoot;
    CreateDirectoryW(root.c_str(), nullptr);
    path_ = root + L"\\monitor.lock";

    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (WritersOnly(root, &acl) && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) &&
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        attributes.lpSecurityDescriptor = &descriptor;
    }
    // Read access alone locks as well as any (sharing is what keeps the others out), and a
    // lock file left read-only still opens.
    file_.reset(CreateFileW(path_.c_str(), GENERIC_READ, 0, &attributes, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (!file_) {
        error_ = GetLastError();
        return;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS && attributes.lpSecurityDescriptor) {
        // A lock an earlier client made with what the folder gives (readers too) gets the
        // lock's own rights; who may not change them has found them set by who made it.
        vantor::UniqueHandle rights(CreateFileW(path_.c_str(), WRITE_DAC,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
        if (rights) SetKernelObjectSecurity(rights.get(), DACL_SECURITY_INFORMATION, &descriptor);
    }
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
