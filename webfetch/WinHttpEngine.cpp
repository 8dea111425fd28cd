// Engine 2: WinHTTP, choosing its own proxy route for downloads.
#include "HttpEngine.h"

HttpEngine* CreateWinHttpEngine() {
    return nullptr;
}
