#include <windows.h>
#include <wininet.h>

#include "bench_bare_loops.h"

int64_t BareWinInetDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file) {
    int64_t total = -1;
    HINTERNET session = InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = session ? InternetConnectW(session, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                                   : nullptr;
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request = connection ? HttpOpenRequestW(connection, L"GET", path, L"HTTP/1.0", nullptr, accept,
                                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION, 0)
                                   : nullptr;
    HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (request && out != INVALID_HANDLE_VALUE && HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        total = CopyByReads(out, [&](char* buffer, DWORD size, DWORD* got) {
            return InternetReadFile(request, buffer, size, got) != FALSE;
        });
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    for (HINTERNET h : {request, connection, session}) {
        if (h) InternetCloseHandle(h);
    }
    return total;
}
