// The library's live objects (for DllCanUnloadNow) and the class id it stands in for.
#pragma once

#include <windows.h>

#include "ServerModule.h"

namespace browserctl {

// {8856F961-340A-11D0-A96B-00C04FD705A2}: the system web browser control.
extern const CLSID kWebBrowserClsid;

using kitbase::ObjectCreated;
using kitbase::ObjectDestroyed;

}  // namespace browserctl
