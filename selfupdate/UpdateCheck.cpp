// One upgrade check: the description, the file list and every listed file, each file
// verified by its digest before the staging is marked complete.
#include <objbase.h>

#include <set>

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

const size_t kBaseUrlChars = 260;
const size_t kBuildChars = 64;
const size_t kFileListChars = 512;
const size_t kToVersionChars = 32;
// Ceilings of what the server sends: the two description files are refused past them
// before they are read, and a listed file without a size stops at the last one.
const uint64_t kMaxDescriptionBytes = 64u << 10;
const uint64_t kMaxListBytes = 1u << 20;
const uint64_t kMaxUnsizedFileBytes = uint64_t{256} << 20;

std::wstring Description(const std::wstring& staging) { return staging + L"update.cfg"; }
std::wstring ListFile(const std::wstring& staging) { return staging + L"update.xml"; }

bool IsComplete(const std::wstring& staging) {
    std::wstring mark = StagingMark(staging);
    return FileExists(mark) && vantor::ini::ReadInt(mark, L"Download", L"Complete", 0) == 1;
}

// Whether a destination names a folder: one of the program folder, or one that another
// entry of the list puts a file into.
bool NamesAFolder(const std::wstring& programFolder, const std::vector<FileEntry>& entries, const FileEntry& entry) {
    std::wstring dest = NativeDest(entry.dest);
    if (FolderExists(programFolder + L"\\" + dest)) return true;
    std::wstring prefix = NameKey(dest + L"\\");
    for (const FileEntry& other : entries) {
        if (NameKey(NativeDest(other.dest)).compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

std::wstring ReadToVersion(const std::wstring& description) {
    return vantor::ini::ReadString(description, L"updateinfo", L"toversion", L"", kToVersionChars);
}

// The bytes a listed file may have: its "size" when that is a decimal number above 0
// (lists write 0 for a size not given), else the ceiling of files without a size.
uint64_t SizeLimit(const FileEntry& entry) {
    if (entry.size.empty() || entry.size.size() > 19) return kMaxUnsizedFileBytes;
    uint64_t size = 0;
    for (wchar_t c : entry.size) {
        if (c < L'0' || c > L'9') return kMaxUnsizedFileBytes;
        size = size * 10 + static_cast<uint64_t>(c - L'0');
    }
    return size > 0 ? size : kMaxUnsizedFileBytes;
}

// A description file fetched afresh into path, within its ceiling.
HttpFetchResult FetchDescription(Downloader& downloader, const std::wstring& url, const std::wstring& path,
                                 uint64_t maxBytes) {
    if (!RemoveFile(path)) return HTTP_FETCH_LOCAL_FILE_FAILED;
    HttpFetchResult result = downloader.Download(url, path, maxBytes);
    if (FileBytes(path) > maxBytes) {
        RemoveFile(path);
        if (result == HTTP_FETCH_OK) result = HTTP_FETCH_LOCAL_FILE_FAILED;
    }
    if (result != HTTP_FETCH_OK) vantor::DebugLine(L"SelfUpdate: %ls answered %d\n", url.c_str(), result);
    return result;
}

// Tries one file up to the allowed attempts: download (resuming what the file holds),
// then digest. A file whose digest differs is deleted, so the next attempt starts afresh
// whatever the server makes of a range beyond the end.
CheckOutcome StageFile(const CheckSettings& settings, const FileEntry& entry, const std::wstring& local,
                       Downloader& downloader, const DigestFunction& digest) {
    for (int attempt = 1; attempt <= settings.attemptsPerFile; ++attempt) {
        if (downloader.IsBreaked()) return CheckOutcome::Stopped;
        if (attempt > 1 && !downloader.Pause(settings.retryPauseMs)) return CheckOutcome::Stopped;
        const uint64_t limit = SizeLimit(entry);
        HttpFetchResult result = downloader.Download(entry.name, local, limit);
        // What grew past the entry's size is no copy of it: the next attempt starts afresh.
        if (FileBytes(local) > limit) {
            RemoveFile(local);
            if (result == HTTP_FETCH_OK) result = HTTP_FETCH_LOCAL_FILE_FAILED;
        }
        if (result != HTTP_FETCH_OK) {
            if (downloader.IsBreaked()) return CheckOutcome::Stopped;
            vantor::DebugLine(L"SelfUpdate: %ls answered %d\n", entry.name.c_str(), result);
            if (result == 416) RemoveFile(local);
            continue;
        }
        std::string hex;
        DigestResult made = digest(local, &hex);
        if (made == DigestResult::NoLibrary) {
            vantor::DebugLine(L"SelfUpdate: no digest library, %ls stays unverified\n", entry.dest.c_str());
            return CheckOutcome::Failed;
        }
        if (made == DigestResult::Ok && SameName(std::wstring(hex.begin(), hex.end()), entry.md5)) {
            return CheckOutcome::Staged;
        }
        if (made == DigestResult::Unreadable) {
            // Another program (a scanner) holds the file: the next attempt looks again.
            vantor::DebugLine(L"SelfUpdate: %ls cannot be read now\n", entry.dest.c_str());
            continue;
        }
        vantor::DebugLine(L"SelfUpdate: %ls has digest %hs, the list says %ls\n", entry.dest.c_str(), hex.c_str(),
                          entry.md5.c_str());
        RemoveFile(local);
    }
    vantor::DebugLine(L"SelfUpdate: %ls not staged after %d attempts\n", entry.dest.c_str(), settings.attemptsPerFile);
    return CheckOutcome::Failed;
}

// Only the files of this list get installed: what an earlier list left (a partial
// download of a file no longer listed) goes before the staging is marked complete.
bool KeepOnlyListed(const std::wstring& staging, const std::vector<FileEntry>& entries) {
    std::set<std::wstring> keep = {NameKey(L"update.cfg"), NameKey(L"update.xml"), NameKey(kStagingMarkName)};
    for (const FileEntry& entry : entries) keep.insert(NameKey(NativeDest(entry.dest)));
    bool ok = true;
    for (const std::wstring& file : FilesBelow(staging)) {
        if (!keep.count(NameKey(file)) && !RemoveFile(staging + file)) ok = false;
    }
    RemoveEmptyFolders(staging);
    return ok;
}

CheckOutcome StageList(const CheckSettings& settings, const std::wstring& staging, Downloader& downloader,
                       const DigestFunction& digest, std::vector<FileEntry>* entries) {
    bool parsed = false;
    {
        vantor::ScopedCom com;   // uninitialises only what it initialised
        parsed = com.Usable() && ReadFileList(ListFile(staging), entries);
    }
    if (!parsed) {
        vantor::DebugLine(L"解析升级文件发生了异常\n");
        entries->clear();
        return CheckOutcome::Failed;
    }
    // A list that names anything outside the staging folder, or an address on another
    // host than the upgrade address, is refused whole, before any of its files is fetched.
    for (const FileEntry& entry : *entries) {
        std::wstring why;
        if (!IsSafeDest(entry.dest, &why) || !StaysOutOfStaging(settings.programFolder, entry.dest, &why)) {
            vantor::DebugLine(L"SelfUpdate: the list's dest \"%ls\" is refused (%ls)\n", entry.dest.c_str(),
                              why.c_str());
            return CheckOutcome::Failed;
        }
        if (NamesAFolder(settings.programFolder, *entries, entry)) {
            vantor::DebugLine(L"SelfUpdate: the list's dest \"%ls\" names a folder\n", entry.dest.c_str());
            return CheckOutcome::Failed;
        }
        if (!IsOnHostOf(entry.name, settings.baseUrl)) {
            vantor::DebugLine(L"SelfUpdate: the list's address \"%ls\" is not on the upgrade host\n",
                              entry.name.c_str());
            return CheckOutcome::Failed;
        }
    }
    for (const FileEntry& entry : *entries) {
        std::wstring dest = NativeDest(entry.dest);
        size_t slash = dest.rfind(L'\\');
        if (slash != std::wstring::npos && !MakeFolders(staging, dest.substr(0, slash))) {
            vantor::DebugLine(L"SelfUpdate: no folder for %ls\n", dest.c_str());
            return CheckOutcome::Failed;
        }
        CheckOutcome staged = StageFile(settings, entry, staging + dest, downloader, digest);
        if (staged != CheckOutcome::Staged) return staged;
    }
    if (!KeepOnlyListed(staging, *entries)) return CheckOutcome::Failed;
    return CheckOutcome::Staged;
}

}  // namespace

std::wstring StagingFolder(const std::wstring& programFolder, const std::wstring& build) {
    return programFolder + L"\\" + kStagingRoot + L"\\" + build + L"\\";
}

std::wstring CommonProfile(const std::wstring& programFolder) { return programFolder + L"\\config\\commprof.cfg"; }
std::wstring VersionProfile(const std::wstring& programFolder) { return programFolder + L"\\config\\version.cfg"; }

std::wstring ReadBaseUrl(const std::wstring& programFolder) {
    return vantor::ini::ReadString(CommonProfile(programFolder), L"CommonUrl", L"SelfUpdate", L"", kBaseUrlChars);
}

std::wstring ReadBuild(const std::wstring& programFolder) {
    return vantor::ini::ReadString(VersionProfile(programFolder), L"Product", L"build", L"", kBuildChars);
}

std::wstring StagingMark(const std::wstring& staging) { return staging + kStagingMarkName; }

CheckOutcome RunCheck(const CheckSettings& settings, Downloader& downloader, const DigestFunction& digest,
                      std::vector<FileEntry>* entries) {
    entries->clear();
    FolderLock lock(settings.programFolder);
    if (!lock.held()) {
        vantor::DebugLine(L"SelfUpdate: no check now: %ls\n", lock.Why().c_str());
        return lock.busy() ? CheckOutcome::Busy : CheckOutcome::Failed;
    }
    if (!IsSafeBuild(settings.build)) {
        vantor::DebugLine(L"SelfUpdate: the build \"%ls\" names no staging folder\n", settings.build.c_str());
        return CheckOutcome::Failed;
    }
    std::wstring url = settings.baseUrl + settings.suiteId + L"/" + settings.build + L"/update.cfg";
    std::wstring staging = StagingFolder(settings.programFolder, settings.build);
    if (!MakeFolders(settings.programFolder + L"\\", kStagingRoot + (L"\\" + settings.build))) {
        vantor::DebugLine(L"SelfUpdate: cannot make %ls\n", staging.c_str());
        return CheckOutcome::Failed;
    }

    std::wstring description = Description(staging);
    if (IsComplete(staging)) return CheckOutcome::AlreadyStaged;
    if (FetchDescription(downloader, url, description, kMaxDescriptionBytes) != HTTP_FETCH_OK) {
        return downloader.IsBreaked() ? CheckOutcome::Stopped : CheckOutcome::Failed;
    }

    std::wstring listUrl = vantor::ini::ReadString(description, L"updateinfo", L"filelist", L"", kFileListChars);
    if (listUrl.empty()) return CheckOutcome::Failed;
    if (!IsOnHostOf(listUrl, settings.baseUrl)) {
        vantor::DebugLine(L"SelfUpdate: the list address \"%ls\" is not on the upgrade host\n", listUrl.c_str());
        return CheckOutcome::Failed;
    }
    std::wstring toVersion = ReadToVersion(description);
    if (!IsSafeBuild(toVersion)) {
        vantor::DebugLine(L"SelfUpdate: the toversion \"%ls\" is refused\n", toVersion.c_str());
        return CheckOutcome::Failed;
    }
    if (FetchDescription(downloader, listUrl, ListFile(staging), kMaxListBytes) != HTTP_FETCH_OK) {
        return downloader.IsBreaked() ? CheckOutcome::Stopped : CheckOutcome::Failed;
    }

    CheckOutcome staged = StageList(settings, staging, downloader, digest, entries);
    if (staged != CheckOutcome::Staged) return staged;
    // Only this monitor says when a staging is complete, in a file the server never writes.
    if (!WritePrivateProfileStringW(L"Download", L"Complete", L"1", StagingMark(staging).c_str())) {
        return CheckOutcome::Failed;
    }
    return CheckOutcome::Staged;
}

}  // namespace selfupdate
