// Reading the downloaded file list "update.xml".
#pragma once

#include <string>
#include <vector>

#include "UpdateSteps.h"

namespace selfupdate {

// Appends one entry per child element of the root "upgrade" that has a name (attribute
// names compared without case). False when the file cannot be read or parsed, names a
// document type, or its root is not "upgrade". The caller keeps COM initialised.
bool ReadFileList(const std::wstring& path, std::vector<FileEntry>* entries);

}  // namespace selfupdate
