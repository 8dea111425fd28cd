// The two configuration files under "<program folder>\config\", read at every call.
#pragma once

#include <string>

namespace clientcore {

// [section] key of "config\<file>", at most chars - 1 bytes of 8-bit text (never a split
// double-byte character); fallback when the file or the key is missing.
std::string ReadConfigA(const wchar_t* file, const wchar_t* section, const wchar_t* key,
                        const char* fallback, size_t chars);

// [CommonUrl] <key> of commprof.cfg, up to 259 characters, "" when missing.
std::string ReadCommonUrl(const wchar_t* key);
// [ClientType] cClientType of commprof.cfg, up to 63 characters, "HQ730" when missing.
std::string ReadClientType();
// [Product] version of version.cfg, up to 63 characters, "" when missing.
std::string ReadProductVersion();

}  // namespace clientcore
