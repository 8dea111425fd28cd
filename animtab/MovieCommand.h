// Commands the movie sends through its FSCommand event: "LoadService,<a>,<b>,<c>" opens a
// service in the tab manager, "Pay" opens the fee page in the browser.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "VantorTypes.h"

namespace animtab {

// A command of this many tokens or more is not the movie's: it is ignored.
const size_t kMaxCommandTokens = 19;

// The command text split at ","; empty pieces are kept. More than kMaxCommandTokens
// tokens give false.
bool SplitCommand(const std::wstring& command, std::vector<std::wstring>* tokens);

// The offline notice, with the product's name as caption.
extern const wchar_t kOfflineText[];
extern const wchar_t kOfflineCaption[];

// Handles one command for the pane whose window is `owner`: 0 when handled or ignored,
// -1 when refused (no command center, an empty command, the user offline).
int HandleMovieCommand(HWND owner, HostContext book, const wchar_t* command);

}  // namespace animtab
