// Installing a staged update at the start of the monitor, before its first check. Every
// listed file is put in place or none is: each is first copied beside its target while
// the target stays as it is, and only once every copy is ready are the targets swapped
// by renames; when a rename fails, what was swapped is put back. The journal names each
// step before it touches the program folder, so the start after a kill finishes the
// install (every copy was ready) or undoes it.
#include <objbase.h>

#include <set>
#include <string>
#include <vector>

#include "DebugOut.h"
#include "FileList.h"
#include "FolderLock.h"
#include "Handles.h"
#include "IniFile.h"
#include "InstallJournal.h"
#include "PathRules.h"
#include "StagingFiles.h"
#include "UpdateSteps.h"

namespace selfupdate {

namespace {

using Step = InstallJournal::Step;

const int kFreeNameTries = 10;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool Rename(const std::wstring& from, const std::wstring& to) { return MoveFileExW(from.c_str(), to.c_str(), 0) != 0; }

class Installer {
public:
    explicit Installer(const std::wstring& programFolder) : folder_(programFolder) {}

    // What an earlier start left: an install cut short is finished or undone, and old
    // files renamed aside by earlier installs are deleted once nothing holds them. False
    // when an install cut short cannot be undone yet: no other may start.
    bool FinishEarlier() {
        if (!ReadJournal(folder_, &journal_)) {
            vantor::DebugLine(L"SelfUpdate: %ls cannot be read and is written anew\n", JournalPath(folder_).c_str());
            journal_ = InstallJournal();
        }
        if (journal_.step == Step::Preparing) {
            for (const PlacedFile& file : journal_.files) Discard(file.fresh);
        } else if (journal_.step == Step::Swapping) {
            if (SwapAll() && Commit()) return true;
            if (!Undo()) return false;
        } else if (journal_.step == Step::Undoing) {
            if (!Undo()) return false;
        }
        Settle();
        return true;
    }

    // Puts the staged files of entries in place and moves the build on.
    InstallOutcome Install(const std::wstring& staging, const std::wstring& build, const std::wstring& toVersion,
                           const std::vector<FileEntry>& entries) {
        std::set<std::wstring> taken;
        for (const FileEntry& entry : entries) taken.insert(NameKey(NativeDest(entry.dest)));
        journal_.step = Step::Preparing;
        journal_.staging = build;
        journal_.toVersion = toVersion;
        journal_.files.clear();
        for (const FileEntry& entry : entries) {
            std::wstring target = NativeDest(entry.dest);
            std::wstring fresh = FreeName(target, L".new", &taken);
            if (fresh.empty() || FolderExists(Path(target))) return NotPlaced(target);
            journal_.files.push_back({target, fresh, std::wstring()});
        }
        if (!WriteJournal(folder_, journal_)) return NotPlaced(JournalPath(folder_));
        for (const PlacedFile& file : journal_.files) {
            size_t slash = file.target.rfind(L'\\');
            if ((slash != std::wstring::npos && !MakeFolders(folder_ + L"\\", file.target.substr(0, slash))) ||
                !CopyFileW((staging + file.target).c_str(), Path(file.fresh).c_str(), TRUE)) {
                return NotPlaced(file.target);
            }
        }
        for (PlacedFile& file : journal_.files) {
            if (!Exists(Path(file.target))) continue;
            file.aside = FreeName(file.target, L".old", &taken);
            if (file.aside.empty()) return NotPlaced(file.target);
        }
        journal_.step = Step::Swapping;
        if (!WriteJournal(folder_, journal_)) return NotPlaced(JournalPath(folder_));
        if (!SwapAll() || !Commit()) {
            if (Undo()) Settle();
            return InstallOutcome::CopyFailed;
        }
        return InstallOutcome::Installed;
    }

private:
    std::wstring Path(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    // A name beside target that nothing has: no file, no listed target, no other name of
    // this install.
    std::wstring FreeName(const std::wstring& target, const wchar_t* suffix, std::set<std::wstring>* taken) const {
        for (int n = 0; n < kFreeNameTries; ++n) {
            std::wstring name = target + suffix + (n ? std::to_wstring(n) : std::wstring());
            if (taken->count(NameKey(name)) || Exists(Path(name))) continue;
            taken->insert(NameKey(name));
            return name;
        }
        return std::wstring();
    }

    // Nothing was renamed yet: the copies go and the targets stay as they were.
    InstallOutcome NotPlaced(const std::wstring& what) {
        vantor::DebugLine(L"SelfUpdate: %ls could not be installed: nothing is\n", what.c_str());
        for (const PlacedFile& file : journal_.files) Discard(file.fresh);
        Settle();
        return InstallOutcome::CopyFailed;
    }

    // One file renamed into place, from wherever an earlier attempt stopped.
    bool SwapIn(const PlacedFile& file) const {
        std::wstring target = Path(file.target), fresh = Path(file.fresh);
        if (!Exists(fresh)) return Exists(target);   // swapped before
        if (Exists(target) && (file.aside.empty() || Exists(Path(file.aside)) || !Rename(target, Path(file.aside)))) {
            return false;
        }
        return Rename(fresh, target);
    }

    bool SwapAll() const {
        for (const PlacedFile& file : journal_.files) {
            if (!SwapIn(file)) {
                vantor::DebugLine(L"SelfUpdate: %ls could not be replaced (error %lu)\n", file.target.c_str(),
                                  GetLastError());
                return false;
            }
        }
        return true;
    }

    // One file as it was before the install, from wherever an earlier attempt stopped.
    bool PutBack(const PlacedFile& file) {
        std::wstring target = Path(file.target), fresh = Path(file.fresh), aside = Path(file.aside);
        bool hadOld = !file.aside.empty();
        // The new file in place (for a file the update adds, nothing else is there).
        if (!Exists(fresh) && Exists(target) && (!hadOld || Exists(aside)) && !Rename(target, fresh)) return false;
        if (hadOld && Exists(aside) && (Exists(target) || !Rename(aside, target))) return false;
        Discard(file.fresh);
        return true;
    }

    // False when a file could not be put back: the journal keeps the step for the next start.
    bool Undo() {
        journal_.step = Step::Undoing;
        WriteJournal(folder_, journal_);
        bool all = true;
        for (const PlacedFile& file : journal_.files) {
            if (!PutBack(file)) {
                vantor::DebugLine(L"SelfUpdate: %ls could not be put back yet (error %lu)\n", file.target.c_str(),
                                  GetLastError());
                all = false;
            }
        }
        return all;
    }

    // A copy that is no longer wanted; one that cannot go now goes at a later start.
    void Discard(const std::wstring& relative) {
        if (!RemoveFile(Path(relative))) journal_.leftovers.push_back(relative);
    }

    // Every file is in place: the build moves on and the staging goes.
    bool Commit() {
        if (!WritePrivateProfileStringW(L"Product", L"build", journal_.toVersion.c_str(),
                                        VersionProfile(folder_).c_str())) {
            return false;
        }
        for (const PlacedFile& file : journal_.files) {
            if (!file.aside.empty()) journal_.leftovers.push_back(file.aside);
        }
        std::wstring staging = journal_.staging;
        Settle();
        if (IsSafeBuild(staging)) RemoveTree(StagingFolder(folder_, staging));
        return true;
    }

    // No install under way any more; the old files that nothing holds now are deleted.
    void Settle() {
        std::vector<std::wstring> left;
        for (const std::wstring& name : journal_.leftovers) {
            if (!RemoveFile(Path(name))) left.push_back(name);
        }
        journal_ = InstallJournal();
        journal_.leftovers = left;
        WriteJournal(folder_, journal_);
    }

    std::wstring folder_;
    InstallJournal journal_;
};

enum class StagedState { Ready, Mismatch, NotNow };

// The staging's list, each file still as its digest says and going where the rules allow.
StagedState InspectStaging(const std::wstring& programFolder, const std::wstring& staging,
                           const DigestFunction& digest, std::vector<FileEntry>* entries) {
    bool parsed = false;
    {
        vantor::ScopedCom com;
        parsed = com.Usable() && ReadFileList(staging + L"update.xml", entries);
    }
    if (!parsed) return StagedState::Mismatch;
    for (const FileEntry& entry : *entries) {
        std::wstring why;
        if (!IsSafeDest(entry.dest, &why) || !StaysOutOfStaging(programFolder, entry.dest, &why)) {
            vantor::DebugLine(L"SelfUpdate: the staged dest \"%ls\" is refused (%ls)\n", entry.dest.c_str(),
                              why.c_str());
            return StagedState::Mismatch;
        }
    }
    for (const FileEntry& entry : *entries) {
        std::string hex;
        DigestResult made = digest(staging + NativeDest(entry.dest), &hex);
        if (made == DigestResult::NoLibrary || made == DigestResult::Unreadable) {
            // Md5.dll cannot be loaded, or another program holds the file: a later start can tell.
            vantor::DebugLine(L"SelfUpdate: no digest of the staged %ls now (%ls)\n", entry.dest.c_str(),
                              made == DigestResult::NoLibrary ? L"no digest library" : L"the file is held");
            return StagedState::NotNow;
        }
        if (made != DigestResult::Ok || !SameName(std::wstring(hex.begin(), hex.end()), entry.md5)) {
            vantor::DebugLine(L"SelfUpdate: the staged %ls no longer matches its digest\n", entry.dest.c_str());
            return StagedState::Mismatch;
        }
    }
    return StagedState::Ready;
}

// The stagings of other builds: what an install left when a file of its staging was held
// as it ended, or when the process was ended before the staging went. No check or install
// looks at them again.
void RemoveOtherStagings(const std::wstring& programFolder, const std::wstring& build) {
    std::wstring root = programFolder + L"\\" + kStagingRoot + L"\\";
    for (const std::wstring& name : FoldersIn(root)) {
        if (!SameName(name, build)) RemoveTree(root + name);
    }
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
    if (!lock.held()) {
        vantor::DebugLine(L"SelfUpdate: no install at this start: %ls\n", lock.Why().c_str());
        return InstallOutcome::Busy;
    }
    Installer installer(programFolder);
    if (!installer.FinishEarlier()) return InstallOutcome::CopyFailed;
    if (!IsSafeBuild(build)) return InstallOutcome::NothingStaged;
    RemoveOtherStagings(programFolder, build);
    std::wstring staging = StagingFolder(programFolder, build);
    std::wstring mark = StagingMark(staging);
    if (!FileExists(mark) || vantor::ini::ReadInt(mark, L"Download", L"Complete", 0) != 1) {
        return InstallOutcome::NothingStaged;
    }
    std::wstring toVersion = vantor::ini::ReadString(staging + L"update.cfg", L"updateinfo", L"toversion", L"", 32);
    if (!IsSafeBuild(toVersion)) return Drop(staging);
    std::vector<FileEntry> entries;
    StagedState state = InspectStaging(programFolder, staging, digest, &entries);
    if (state == StagedState::Mismatch) return Drop(staging);
    if (state == StagedState::NotNow) return InstallOutcome::Deferred;

    int starts = vantor::ini::ReadInt(mark, L"Install", L"Starts", 0) + 1;
    WritePrivateProfileStringW(L"Install", L"Starts", std::to_wstring(starts).c_str(), mark.c_str());
    InstallOutcome outcome = installer.Install(staging, build, toVersion, entries);
    if (outcome == InstallOutcome::CopyFailed) {
        // A staging that keeps failing is dropped so that checks go on.
        if (starts >= kMaxInstallStarts) return Drop(staging);
        vantor::DebugLine(L"SelfUpdate: %ls stays staged for the next start\n", staging.c_str());
    }
    return outcome;
}

}  // namespace selfupdate
