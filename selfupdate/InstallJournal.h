// The record of an install, "<program folder>\SelfUpdate\install.cfg". It is written
// before each step touches the program folder, so that the start after a kill finishes
// or undoes what that step left; it also names the old files renamed aside, deleted once
// nothing holds them.
#pragma once

#include <string>
#include <vector>

namespace selfupdate {

// One file of an install, every path relative to the program folder.
struct PlacedFile {
    std::wstring target;   // where the new file goes
    std::wstring fresh;    // its copy beside the target until the renames ("<target>.new")
    std::wstring aside;    // where the old file goes ("<target>.old"); empty when there was none
};

struct InstallJournal {
    enum class Step {
        None,        // no install under way: only leftovers
        Preparing,   // the new files are being copied beside their targets
        Swapping,    // every copy is ready: the targets are being renamed
        Undoing,     // a rename failed: what was renamed is being put back
    };
    Step step = Step::None;
    std::wstring staging;     // the build whose staging is installed
    std::wstring toVersion;   // the build once it is
    std::vector<PlacedFile> files;
    std::vector<std::wstring> leftovers;   // old files of earlier installs still to delete

    bool Empty() const { return step == Step::None && leftovers.empty(); }
};

std::wstring JournalPath(const std::wstring& programFolder);
// A missing journal reads as an empty one; false for one that cannot be read, or that
// names a path no list could name or, under way, no build.
bool ReadJournal(const std::wstring& programFolder, InstallJournal* journal);
// Writes the journal whole (an empty one is deleted); false when that failed.
bool WriteJournal(const std::wstring& programFolder, const InstallJournal& journal);

}  // namespace selfupdate
