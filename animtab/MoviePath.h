// Which movie the pane plays: [ui_flash] of the tab manager's settings file names an
// entry of the same section, and that entry's value is the movie file.
#pragma once

#include <string>

namespace animtab {

// "<program folder>resource\TabDeck\config.cfg" (programDir ends in a backslash).
std::wstring MovieSettingsPath(const std::wstring& programDir);

// The configured movie: a value holding ":" is used as it stands, any other is taken
// under "<program folder>resource\TabDeck\". Missing keys read as "error".
std::wstring ConfiguredMovie(const std::wstring& programDir);

// Marks the "ui_flash" entry as the one to play next time; false when the file could
// not be written.
bool ResetDisplayedMovie(const std::wstring& programDir);

}  // namespace animtab
