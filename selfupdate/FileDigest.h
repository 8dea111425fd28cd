// MD5 digests of staged files through the outside library Md5.dll.
#pragma once

#include <windows.h>

#include <string>

#include "Handles.h"
#include "UpdateSteps.h"
#include "outside/Md5.h"

namespace selfupdate {

// Md5.dll's functions, from the library at a path, which the object holds.
struct Md5Library {
    vantor::UniqueModule module;
    PFN_MD5Init init = nullptr;
    PFN_MD5Update update = nullptr;
    PFN_MD5Final final = nullptr;
    PFN_BIN2BCDlower toHex = nullptr;

    // False when the library or one of its functions is missing.
    bool Load(const std::wstring& path);
};

// The pieces FileDigest reads the file in; the library still sees 512-byte updates.
constexpr DWORD kDigestReadBytes = 512 * 256;

// Loads the library at md5Library for this one digest and frees it after. The file is
// read for shared reading and fed to MD5Update 512 bytes at a time.
DigestResult FileDigest(const std::wstring& md5Library, const std::wstring& path, std::string* hex);

}  // namespace selfupdate
