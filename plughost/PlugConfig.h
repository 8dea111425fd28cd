// Reading the container's settings: "config\pruv2.cfg" and the tab resources of each plug id.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "VantorTypes.h"

namespace plughost {

// The longest value the reader takes (characters); longer values are cut there.
const size_t kMaxIniValueChars = (1u << 20) - 1;

// The value of section/key in an INI file, at most kMaxIniValueChars; empty when
// missing. *cut (if given) tells whether the value may have gone on past the limit.
std::wstring ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                          bool* cut = nullptr);

// Every key=value of a section, keys as written (blanks around keys and values
// trimmed); a key that occurs again keeps its first value, as the reader of single
// values does. One read however many keys are looked up.
class IniSection {
public:
    IniSection(const std::wstring& file, const wchar_t* section);
    // The value of key (compared without regard to case); empty when missing.
    std::wstring Value(const std::wstring& key) const;
private:
    std::vector<std::pair<std::wstring, std::wstring>> entries_;   // keys in lower case
    std::vector<size_t> order_;                                      // entries_ sorted by key
};

// Plug ids from a comma-separated list. A piece counts only when it is a whole decimal
// number in the id range, blanks around it allowed: "abc", "7x" or "../../x" would
// otherwise read as some id, 0 (the tab manager's) among them. Blank pieces are
// skipped. When the list was cut by the read limit (cut), its last piece may be part
// of an id and is dropped.
std::vector<PlugId> ParsePlugIds(const std::wstring& list, bool cut = false);

// The ids of a list key of the configuration, read whole or cut as ParsePlugIds says.
std::vector<PlugId> ReadPlugIds(const std::wstring& file, const wchar_t* section, const wchar_t* key);

// A library name the container may load: a plain file name of the program folder, with
// no path separator, no drive and no "..".
bool IsPlainModuleName(const std::wstring& name);

// "immediately" in any case.
bool IsImmediateLoadStyle(const std::wstring& style);
// Empty, or "noplug" in any case: the service has no plug-in.
bool IsNoPlugModule(const std::wstring& module);

// The five [TabPlugRes] values of "<folder>\Container\<id>\plugres.cfg", in the ANSI code
// page; icons as "<folder>\Container\<id>\<value>" (a missing key gives a path ending in
// the backslash).
struct TabResources {
    std::string tooltip;
    std::string iconNormal;
    std::string iconHover;
    std::string iconSelect;
    std::string iconDisable;
};
TabResources ReadTabResources(const std::wstring& programFolder, PlugId id);

}  // namespace plughost
