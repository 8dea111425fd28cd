#include <windows.h>
#include <winhttp.h>

#include "bench_bare_loops.h"

int64_t BareWinHttpDownload(const wchar_t* host, unsigned short port, const wchar_t* path, const wchar_t* file) {
    int64_t total = -1;
    HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, host, port, 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", path, L"HTTP/1.0", WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                   : nullptr;
    HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (request && out != INVALID_HANDLE_VALUE &&
        WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        total = CopyByReads(out, [&](char* buffer, DWORD size, DWORD* got) {
            return WinHttpReadData(request, buffer, size, got) != FALSE;
        });
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    for (HINTERNET h : {request, connection, session}) {
        if (h) WinHttpCloseHandle(h);
    }
    return total;
}
