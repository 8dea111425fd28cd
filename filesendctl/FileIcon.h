// Icons shown for the transferred file.
#pragma once

#include <windows.h>

#include <string>

namespace filesend {

// Sending side: the first icon associated with the file itself; null when none.
HICON SenderIcon(const std::wstring& path);

// Receiving side: the file is not here yet, so the icon comes from the registry: the
// type named by HKCR\<extension>, then that type's "DefaultIcon" ("file,index"); null
// without an extension or a registered icon.
HICON ReceiverIcon(const std::wstring& extension);

}  // namespace filesend
