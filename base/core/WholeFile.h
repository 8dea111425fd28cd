// Files read and written whole.
#pragma once

#include <string>

namespace vantor {

// The bytes of the file at path; false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string* bytes);

// Puts bytes in place of the file at path: written to "<path>.tmp", flushed, then renamed
// over the old file, so that a process ended at any moment leaves the old file or the new
// one whole, never a part of either.
bool ReplaceWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace vantor
