// What the tip of the day keeps outside itself: the user's choice in the registry and the
// introduction page named by the current skin.
#pragma once

#include <string>

namespace rostdialogs {

// HKEY_LOCAL_MACHINE key of the choice; the value "TipDay" 1 means "do not show".
extern const wchar_t kTipDayKey[];

// False only for a stored 1: a missing key, value or any other value shows the window.
bool TipDayWanted();
// Stores 1 (checked) or 0. The key is never created: without it nothing is kept.
bool StoreTipDay(bool dontShow);

// "<program folder>Skins\<SkinName>\<page>", from "config\uiprof.cfg" and the skin's
// "RostDialogs.skn" [tipday] tipday; empty when the skin names no page.
std::wstring TipDayPage();

}  // namespace rostdialogs
