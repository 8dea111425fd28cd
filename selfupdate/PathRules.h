// What a downloaded list may name: every path it gives must stay inside the staging
// folder (and later the program folder), and a build text becomes a folder name and part
// of a URL.
#pragma once

#include <string>

namespace selfupdate {

// The folder below the program folder that holds the staging folders.
constexpr wchar_t kStagingRoot[] = L"SelfUpdate";
// The staging's mark, which the monitor alone writes.
constexpr wchar_t kStagingMarkName[] = L"staged.cfg";

// A relative path of plain names, judged by its spelling: not empty, no drive, ":" or UNC
// prefix, no leading separator, no empty, "." or ".." component, no component that ends
// in a dot or a blank, no device name, no wildcard or control character, not
// "update.cfg", "update.xml" or "staged.cfg" itself, and not inside the staging folders
// ("SelfUpdate\"). *why names the fault.
bool IsSafeDest(const std::wstring& dest, std::wstring* why = nullptr);

// Whether "<program folder>\dest", as the file system resolves it, stays out of the
// staging folders: no folder on its way that exists is a link or the staging root itself,
// by whatever name dest reaches it (a short name, another case). Folders that do not exist
// yet are made with the names as written. Asked of a dest that IsSafeDest takes.
bool StaysOutOfStaging(const std::wstring& programFolder, const std::wstring& dest, std::wstring* why = nullptr);

// A build text usable as one folder name: not empty, no "\", "/", ":", ".." or control
// character.
bool IsSafeBuild(const std::wstring& build);

// Whether url is an http or https address on the scheme, host and port of base (the
// upgrade address), both read as WebFetch reads and fetches them (vantor::SplitWebAddress):
// host names compared without case, a missing port read as 80 for both schemes.
bool IsOnHostOf(const std::wstring& url, const std::wstring& base);

// dest with "/" turned into "\", for paths below a folder.
std::wstring NativeDest(const std::wstring& dest);

// Case-blind comparison, as the file system compares names.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace selfupdate
