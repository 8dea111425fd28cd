#include "PortSkip.h"

namespace vantor {
namespace net {

bool SkipCompletionPortOnSuccess(SOCKET s) {
    WSAPROTOCOL_INFOW info{};
    int size = sizeof info;
    if (getsockopt(s, SOL_SOCKET, SO_PROTOCOL_INFOW, reinterpret_cast<char*>(&info), &size) != 0) return false;
    if (!(info.dwServiceFlags1 & XP1_IFS_HANDLES)) return false;
    return SetFileCompletionNotificationModes(reinterpret_cast<HANDLE>(s), FILE_SKIP_COMPLETION_PORT_ON_SUCCESS) !=
           FALSE;
}

}  // namespace net
}  // namespace vantor
