// The steps of an upgrade check and of the install of a staged update, as plain code over
// a downloader and a digest function, so that tests reach them without a window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VantorResults.h"

namespace selfupdate {

// One file of "update.xml"; only name, dest and md5 are used.
struct FileEntry {
    std::wstring name;      // URL of the file
    std::wstring comment;
    std::wstring dest;      // path below the program folder, "\" between folders
    std::wstring md5;       // 32 hexadecimal digits, any case
    std::wstring size;
    std::wstring cmd;
};

// Where a check's transfers go. Production: CNetHttp (NetDownloader).
class Downloader {
public:
    virtual ~Downloader() = default;
    // Fetches url into path, asking only for the rest when the file already holds bytes.
    // A transfer that would make the file longer than maxBytes is broken off and fails
    // (the file may then hold a little more than maxBytes).
    virtual HttpFetchResult Download(const std::wstring& url, const std::wstring& path, uint64_t maxBytes) = 0;
    // True once the monitor is stopping: its transfers are broken off.
    virtual bool IsBreaked() const = 0;
    // The pause between two attempts at one file; false when stopping cut it short.
    virtual bool Pause(DWORD milliseconds) = 0;
};

enum class DigestResult {
    Ok,
    Missing,      // no such file
    Unreadable,   // the file is there but cannot be opened or read now (another program holds it)
    NoLibrary,    // the digest library or one of its functions cannot be loaded
};
// Digest of a file as 32 lower-case hexadecimal digits.
using DigestFunction = std::function<DigestResult(const std::wstring& path, std::string* hex)>;

struct CheckSettings {
    std::wstring programFolder;   // without a trailing backslash
    std::wstring baseUrl;         // [CommonUrl] SelfUpdate, with its own trailing "/"
    std::wstring build;           // [Product] build
    std::wstring suiteId;         // the signed-in account's service-suite id
    int attemptsPerFile = 3;
    DWORD retryPauseMs = 1000;
};

enum class CheckOutcome {
    Staged,          // every listed file is verified and the staging marked complete
    AlreadyStaged,   // a complete staging waits for the next start
    Failed,
    Stopped,         // the monitor is stopping
    Busy,            // another monitor works on this program folder
};

// One check: description, file list, files, verification, "Complete". entries receives
// the entries of this check's list.
CheckOutcome RunCheck(const CheckSettings& settings, Downloader& downloader, const DigestFunction& digest,
                      std::vector<FileEntry>* entries);

enum class InstallOutcome {
    NothingStaged,   // no complete staging for this build
    Installed,       // every file in place, build rewritten, staging deleted
    CopyFailed,      // a file could not be put in place, so none is: build and staging kept
                     // for the next start
    Deferred,        // a staged file's digest cannot be made now (no digest library, the
                     // file held): build and staging kept, the start not counted
    Dropped,         // a file no longer matches its digest or goes where no file may, or
                     // the install failed too often: the staging is deleted and the next
                     // check downloads afresh
    Busy,            // another monitor works on this program folder
};

// Starts at which a staging that cannot be installed is dropped.
constexpr int kMaxInstallStarts = 3;

// Installs the files of a complete staging of build into programFolder, each verified by
// its digest again, and then moves the build on: every file or none (a file in use is
// renamed aside, and deleted at a later start once nothing holds it). First it finishes
// or undoes an install that a kill cut short, and removes the stagings of other builds.
InstallOutcome InstallStaged(const std::wstring& programFolder, const std::wstring& build,
                             const DigestFunction& digest);

// "<staging>\staged.cfg": [Download] "Complete" written by the monitor alone, and the
// count of starts that tried to install the staging.
std::wstring StagingMark(const std::wstring& staging);

// "<program folder>\SelfUpdate\<build>\"
std::wstring StagingFolder(const std::wstring& programFolder, const std::wstring& build);

// The files the monitor reads, below the program folder.
std::wstring CommonProfile(const std::wstring& programFolder);    // config\commprof.cfg
std::wstring VersionProfile(const std::wstring& programFolder);   // config\version.cfg
std::wstring ReadBaseUrl(const std::wstring& programFolder);
std::wstring ReadBuild(const std::wstring& programFolder);

}  // namespace selfupdate
