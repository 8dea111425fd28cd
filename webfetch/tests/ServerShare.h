// Hostile cases leave requests to the fake server that the engines close later, and while
// one server holds its share of those, a new request to it waits for room. A case that
// needs the fake server first waits until an honest post to it is served again.
#pragma once

#include <windows.h>

#include "WebFetch.h"
#include "WebServers.h"

namespace hostile {

inline int __stdcall IgnoreReply(const char*, DWORD, DWORD_PTR) { return 0; }

// True once a post to the fake server succeeds (within 90 s).
inline bool FakeServerServed(const WebServers& servers) {
    const std::string probe = servers.FakeUrl("/post/share-probe");
    for (ULONGLONG start = GetTickCount64(); GetTickCount64() - start < 90000; Sleep(250)) {
        if (Http_PostRequestA(probe.c_str(), nullptr, "a=1", &IgnoreReply, 0) == HTTP_FETCH_OK) return true;
    }
    return false;
}

}  // namespace hostile
