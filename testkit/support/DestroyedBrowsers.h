// What the browser stand-in keeps of the browsers destroyed in a process that runs with
// SURFVIEW_KEEP_DESTROYED set: one hidden window of no size each, which a pane still
// holding the destroyed browser would move.
#pragma once

#include <windows.h>

namespace testkit {

struct DestroyedBrowsers {
    int count = 0;
    int moved = 0;  // given a size since
};

DestroyedBrowsers CountDestroyedBrowsers(DWORD process);

}  // namespace testkit
