// A WebFetch whose HTTP engine never opens. The tests put it beside a copy of
// PresenceCore, which must then report the engine and post nothing.
#define WEBFETCH_BUILD
#include "WebFetch.h"

CNetHttp::CNetHttp() : engine_(nullptr) {}

CNetHttp::~CNetHttp() {}

bool CNetHttp::Open(int) { return false; }

void CNetHttp::Close() {}

HttpFetchResult CNetHttp::PostRequest(const char*, const char*, const char*, const char*, int, const char* const*, int,
                                      CFileDownUpProcessCallback*, DWORD_PTR) {
    return HTTP_FETCH_NO_ENGINE;
}
