// MD5 digests of staged files through the outside library Md5.dll.
#pragma once

#include <string>

#include "UpdateSteps.h"

namespace selfupdate {

// Loads the library at md5Library for this one digest and frees it after. The file is
// read for shared reading and fed to MD5Update 512 bytes at a time.
DigestResult FileDigest(const std::wstring& md5Library, const std::wstring& path, std::string* hex);

// The same over bytes in memory (for comparisons with the file digest).
DigestResult MemoryDigest(const std::wstring& md5Library, const unsigned char* bytes, size_t length,
                          std::string* hex);

}  // namespace selfupdate
