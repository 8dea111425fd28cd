// Installing a staged update at the start of the monitor, before its first check.
#include <objbase.h>

#include <string>
#include <vector>

#include "DebugOut.h"
#include "FileList.h"
#include "FolderLock.h"
#include "Handles.h"
#include "IniFile.h"
#include "PathRules.h"
#include "StagingFiles.h"
#include "UpdateSteps.h"

namespace selfupdate {

namespace {

const wchar_t kAsideSection[] = L"Aside";
const size_t kAsideListChars = 1u << 16;
const int kAsideNames = 10;

// "<program folder>\SelfUpdate\aside.cfg": the files renamed aside by installs, as paths
// relative to the program folder, deleted at a later install once nothing holds them.
std::wstring AsideList(const std::wstring& programFolder) {
    return programFolder + L"\\" + kStagingRoot + L"\\aside.cfg";
}

std::vector<std::wstring> ReadAside(const std::wstring& list) {
    std::vector<wchar_t> buffer(kAsideListChars, L'\0');
    DWORD n = GetPrivateProfileSectionW(kAsideSection, buffer.data(), static_cast<DWORD>(buffer.size()), list.c_str());
    std::vector<std::wstring> names;
    for (size_t at = 0; at < n && buffer[at];) {
        std::wstring line(&buffer[at]);
        at += line.size() + 1;
        size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) names.push_back(line.substr(equals + 1));
    }
    return names;
}

void WriteAside(const std::wstring& list, const std::vector<std::wstring>& names) {
    std::wstring section;
    for (size_t i = 0; i < names.size(); ++i) section += std::to_wstring(i) + L"=" + names[i] + L'\0';
    section += L'\0';
    if (names.empty()) {
        RemoveFile(list);
    } else {
        WritePrivateProfileSectionW(kAsideSection, section.c_str(), list.c_str());
    }
}

// Deletes what earlier installs renamed aside; what is still held stays listed.
void RemoveAside(const std::wstring& programFolder) {
    std::wstring list = AsideList(programFolder);
    if (!FileExists(list)) return;
    std::vector<std::wstring> left;
    for (const std::wstring& name : ReadAside(list)) {
        if (IsSafeDest(name) && !RemoveFile(programFolder + L"\\" + name)) left.push_back(name);
    }
    WriteAside(list, left);
}

// Puts source in place of target. A target that cannot be overwritten (a library a
// running program has loaded) is renamed aside first and the new file copied in; the old
// one is put back when the copy fails. *aside receives the name it was renamed to.
bool PutInPlace(const std::wstring& source, const std::wstring& target, std::wstring* aside) {
    aside->clear();
    if (FolderExists(target)) return false;
    if (CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
    if (!FileExists(target)) return false;
    for (int n = 0; n < kAsideNames && aside->empty(); ++n) {
        std::wstring name = target + L".old" + (n ? std::to_wstring(n) : std::wstring());
        if (RemoveFile(name) && MoveFileExW(target.c_str(), name.c_str(), 0)) *aside = name;
    }
    if (aside->empty()) return false;
    if (CopyFileW(source.c_str(), target.c_str(), FALSE)) return true;
    MoveFileExW(aside->c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    aside->clear();
    return false;
}

// The staging's list, each file still as its digest says.
bool VerifiedEntries(const std::wstring& staging, const DigestFunction& digest, std::vector<FileEntry>* entries) {
    bool parsed = false;
    {
        vantor::ScopedCom com;
        parsed = com.Usable() && ReadFileList(staging + L"update.xml", entries);
    }
    if (!parsed) return false;
    for (const FileEntry& entry : *entries) {
        if (!IsSafeDest(entry.dest)) return false;
        std::string hex;
        if (digest(staging + NativeDest(entry.dest), &hex) != DigestResult::Ok ||
            !SameName(std::wstring(hex.begin(), hex.end()), entry.md5)) {
            vantor::DebugLine(L"SelfUpdate: the staged %ls no longer matches its digest\n", entry.dest.c_str());
            return false;
        }
    }
    return true;
}

InstallOutcome Drop(const std::wstring& staging) {
    vantor::DebugLine(L"SelfUpdate: the staging %ls is dropped\n", staging.c_str());
    RemoveTree(staging);
    return InstallOutcome::Dropped;
}

}  // namespace

InstallOutcome InstallStaged(const std::wstring& programFolder, const std::wstring& build,
                             const DigestFunction& digest) {
    FolderLock lock(programFolder);
    if (!lock.held()) return InstallOutcome::Busy;
    RemoveAside(programFolder);
    if (!IsSafeBuild(build)) return InstallOutcome::NothingStaged;
    std::wstring staging = StagingFolder(programFolder, build);
    std::wstring mark = StagingMark(staging);
    if (!FileExists(mark) || vantor::ini::ReadInt(mark, L"Download", L"Complete", 0) != 1) {
        return InstallOutcome::NothingStaged;
    }
    std::wstring toVersion = vantor::ini::ReadString(staging + L"update.cfg", L"updateinfo", L"toversion", L"", 32);
    std::vector<FileEntry> entries;
    if (!IsSafeBuild(toVersion) || !VerifiedEntries(staging, digest, &entries)) return Drop(staging);

    int starts = vantor::ini::ReadInt(mark, L"Install", L"Starts", 0) + 1;
    WritePrivateProfileStringW(L"Install", L"Starts", std::to_wstring(starts).c_str(), mark.c_str());

    std::vector<std::wstring> aside = ReadAside(AsideList(programFolder));
    bool placed = true;
    for (const FileEntry& entry : entries) {
        std::wstring dest = NativeDest(entry.dest);
        size_t slash = dest.rfind(L'\\');
        std::wstring renamed;
        if ((slash != std::wstring::npos && !MakeFolders(programFolder + L"\\", dest.substr(0, slash))) ||
            !PutInPlace(staging + dest, programFolder + L"\\" + dest, &renamed)) {
            vantor::DebugLine(L"SelfUpdate: %ls could not be installed\n", dest.c_str());
            placed = false;
            continue;
        }
        if (!renamed.empty()) aside.push_back(renamed.substr(programFolder.size() + 1));
    }
    WriteAside(AsideList(programFolder), aside);

    // The new build is written only once every file is in place; a staging that keeps
    // failing is dropped so that checks go on.
    if (!placed ||
        !WritePrivateProfileStringW(L"Product", L"build", toVersion.c_str(), VersionProfile(programFolder).c_str())) {
        if (starts >= kMaxInstallStarts) return Drop(staging);
        vantor::DebugLine(L"SelfUpdate: %ls stays staged for the next start\n", staging.c_str());
        return InstallOutcome::CopyFailed;
    }
    RemoveTree(staging);
    return InstallOutcome::Installed;
}

}  // namespace selfupdate
