// AnimTab.dll: the animated tab, a tab plug-in (TabPlug.h) whose pane plays a movie.
#pragma once

#include <windows.h>

// Sent to the tab window by TabPlug_DoCommand(1, path): wParam points to the UTF-16 path
// of the movie to load, or is null for the configured movie.
#define UM_ANIM_COMMAND (WM_USER + 200)
#define ANIMTAB_CMD_LOAD_MOVIE 1
