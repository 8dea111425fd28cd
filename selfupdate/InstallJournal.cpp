#include "InstallJournal.h"

#include <windows.h>

#include "PathRules.h"
#include "StagingFiles.h"
#include "Text.h"
#include "WholeFile.h"

namespace selfupdate {

namespace {

const wchar_t* const kStepNames[] = {L"none", L"preparing", L"swapping", L"undoing"};

std::vector<std::wstring> SplitAt(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::wstring::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Names the journal may give: each one a path that a list could name.
bool Usable(const std::wstring& name) { return name.empty() || IsSafeDest(name); }

}  // namespace

std::wstring JournalPath(const std::wstring& programFolder) {
    return programFolder + L"\\" + kStagingRoot + L"\\install.cfg";
}

bool ReadJournal(const std::wstring& programFolder, InstallJournal* journal) {
    *journal = InstallJournal();
    std::wstring path = JournalPath(programFolder);
    if (!FileExists(path)) return true;
    std::string bytes;
    if (!vantor::ReadWholeFile(path, &bytes)) return false;
    // Lines "key=value" in UTF-8; a file entry is "target|fresh|aside".
    for (const std::wstring& raw : SplitAt(vantor::DecodeBytes(bytes.data(), bytes.size(), CP_UTF8), L'\n')) {
        std::wstring line = raw;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        std::wstring key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == L"Step") {
            for (size_t i = 0; i < sizeof kStepNames / sizeof kStepNames[0]; ++i) {
                if (value == kStepNames[i]) journal->step = static_cast<InstallJournal::Step>(i);
            }
        } else if (key == L"Staging") {
            journal->staging = value;
        } else if (key == L"ToVersion") {
            journal->toVersion = value;
        } else if (key == L"File") {
            std::vector<std::wstring> names = SplitAt(value, L'|');
            if (names.size() != 3 || names[0].empty() || names[1].empty() || !Usable(names[0]) ||
                !Usable(names[1]) || !Usable(names[2])) {
                return false;
            }
            journal->files.push_back({names[0], names[1], names[2]});
        } else if (key == L"Leftover") {
            if (!Usable(value)) return false;
            if (!value.empty()) journal->leftovers.push_back(value);
        }
    }
    // An install under way names the build it installs and the build it moves to.
    return journal->step == InstallJournal::Step::None ||
           (IsSafeBuild(journal->staging) && IsSafeBuild(journal->toVersion));
}

bool WriteJournal(const std::wstring& programFolder, const InstallJournal& journal) {
    std::wstring path = JournalPath(programFolder);
    if (journal.Empty()) return RemoveFile(path);
    std::wstring text = L"[Install]\r\nStep=" + std::wstring(kStepNames[static_cast<int>(journal.step)]) +
                        L"\r\nStaging=" + journal.staging + L"\r\nToVersion=" + journal.toVersion + L"\r\n";
    for (const PlacedFile& file : journal.files) {
        text += L"File=" + file.target + L"|" + file.fresh + L"|" + file.aside + L"\r\n";
    }
    for (const std::wstring& leftover : journal.leftovers) text += L"Leftover=" + leftover + L"\r\n";
    return vantor::ReplaceWholeFile(path, vantor::EncodeText(text, CP_UTF8));
}

}  // namespace selfupdate
