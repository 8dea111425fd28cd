// The settings pane's list of tab backgrounds: the built-in ones named in the tab
// manager's settings file, then the user's own pictures of the local folder. Each entry
// keeps its kind, so that preview, Apply and the settings written follow what the entry
// is, not where it stands in the list.
#pragma once

#include <string>
#include <vector>

namespace setting {

struct Background {
    bool local = false;  // a picture of the local folder, else a built-in background
    int index = 0;       // the built-in index; 0 for local pictures
    std::wstring text;   // list text: built-in file name without extension, local file name
};

// What Apply sends to the tab manager and writes back.
struct Choice {
    int command = 0;       // 4: built-in background, 7: local picture
    int index = 0;         // for command 4
    std::wstring name;     // for command 7
};

class BackgroundList {
public:
    // `settings` is "resource\TabDeck\config.cfg", `localDir` its "local" folder (both full
    // paths, the folder with a trailing backslash).
    BackgroundList(std::wstring settings, std::wstring localDir);

    // Reads the built-in entries and lists the local folder.
    void Load();
    const std::vector<Background>& entries() const { return entries_; }
    // The entry whose built-in index is the current background; -1 for none.
    int InitialSelection() const { return initial_; }
    // The file that the preview shows at start: full path, or empty for none.
    std::wstring InitialPreview() const;

    // Full path of a built-in background's file; empty when its key is empty.
    std::wstring BuiltInPath(int index) const;
    std::wstring LocalPath(const std::wstring& name) const { return localDir_ + name; }

    // Copies the picture into the local folder under its own name, never over an existing
    // file; the new entry is appended and its position given, or -1 when nothing was copied.
    int AddLocalCopy(const std::wstring& source);

    // What Apply does for the entry at `position`; false for no entry.
    bool ChoiceFor(int position, Choice* choice) const;
    // Writes the choice as the current background of the settings file.
    bool Write(const Choice& choice) const;

private:
    std::wstring Read(const wchar_t* section, const wchar_t* key, size_t chars) const;

    std::wstring settings_;
    std::wstring localDir_;
    std::vector<Background> entries_;
    int initial_ = -1;
    int def_ = 0;
};

// Names of the local folder that are never listed ("." and "..", and the shell's
// thumbnail cache in any case).
bool IsListedLocalName(const std::wstring& name);

}  // namespace setting
