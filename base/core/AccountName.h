// The rule for an account name: it names a folder under the program folder that holds the
// account's files, so it must be one plain folder name of its own.
#pragma once

#include <string>

namespace vantor {

// False for an empty name, a name with a path separator, a drive colon, a wildcard or a
// control character, a name that ends in a dot or a space (Windows drops them, so "a." and
// "a " would share the folder of "a"; "." and ".." end so too), and a device name
// (IsDeviceName).
bool IsUsableAccountName(const std::wstring& name);

}  // namespace vantor
