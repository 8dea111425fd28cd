// Reading the container's settings: "config\pruv2.cfg" and the tab resources of each plug id.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "VantorTypes.h"

namespace plughost {

// The whole value of section/key in an INI file; empty when missing. No length limit.
std::wstring ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key);

// Plug ids from a comma-separated list: each piece converted like atol (leading blanks,
// an optional sign, digits). Pieces holding nothing but blanks are skipped.
std::vector<PlugId> ParsePlugIds(const std::wstring& list);

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
