#include "DestroyedBrowsers.h"

#include "outside/SurfView.h"

namespace testkit {

namespace {

struct Search {
    DWORD process;
    DestroyedBrowsers found;
};

BOOL CALLBACK CountOne(HWND window, LPARAM raw) {
    auto* search = reinterpret_cast<Search*>(raw);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, ARRAYSIZE(title));
    if (pid != search->process || lstrcmpW(title, SURFVIEW_DESTROYED_TITLE) != 0) return TRUE;
    RECT rect = {};
    GetWindowRect(window, &rect);
    ++search->found.count;
    if (rect.right > rect.left || rect.bottom > rect.top) ++search->found.moved;
    return TRUE;
}

}  // namespace

DestroyedBrowsers CountDestroyedBrowsers(DWORD process) {
    Search search{process, {}};
    EnumWindows(CountOne, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace testkit
