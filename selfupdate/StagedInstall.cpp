// Installing a staged update at the start of the monitor, before its first check.
#include "DebugOut.h"
#include "IniFile.h"
#include "PathRules.h"
#include "StagingFiles.h"
#include "UpdateSteps.h"

namespace selfupdate {

InstallOutcome InstallStaged(const std::wstring& programFolder, const std::wstring& build) {
    if (!IsSafeBuild(build)) return InstallOutcome::NothingStaged;
    std::wstring staging = StagingFolder(programFolder, build);
    std::wstring description = staging + L"update.cfg";
    if (!FileExists(description) || vantor::ini::ReadInt(description, L"Download", L"Complete", 0) != 1) {
        return InstallOutcome::NothingStaged;
    }
    std::wstring toVersion = vantor::ini::ReadString(description, L"updateinfo", L"toversion", L"", 32);
    if (!IsSafeBuild(toVersion)) return InstallOutcome::NothingStaged;

    // A file that cannot be replaced now (a library the host has loaded) keeps the whole
    // update staged: the build stays, and the next start copies everything again.
    if (!CopyTree(staging, programFolder + L"\\", {NameKey(L"update.cfg"), NameKey(L"update.xml")})) {
        vantor::DebugLine(L"SelfUpdate: some files of %ls could not be installed, the update stays staged\n",
                          staging.c_str());
        return InstallOutcome::CopyFailed;
    }
    if (!WritePrivateProfileStringW(L"Product", L"build", toVersion.c_str(), VersionProfile(programFolder).c_str())) {
        vantor::DebugLine(L"SelfUpdate: the new build could not be written\n");
        return InstallOutcome::CopyFailed;
    }
    RemoveTree(staging);
    return InstallOutcome::Installed;
}

}  // namespace selfupdate
