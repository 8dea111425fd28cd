#include "NetDownloader.h"

#include "Handles.h"

namespace selfupdate {

namespace {

struct Transfer {
    CNetHttp* http;
    const std::wstring* url;
    const std::wstring* path;
    HttpFetchResult result;
};

DWORD WINAPI TransferThread(void* parameter) {
    Transfer* transfer = static_cast<Transfer*>(parameter);
    transfer->result = transfer->http->Download(transfer->url->c_str(), transfer->path->c_str(), nullptr, 0);
    return 0;
}

}  // namespace

bool PumpingWait(HANDLE handle, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    bool quit = false;
    WPARAM quitCode = 0;
    bool signalled = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        if (quit) {
            signalled = WaitForSingleObject(handle, left) == WAIT_OBJECT_0;
            break;
        }
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            signalled = true;
            break;
        }
        if (woke != WAIT_OBJECT_0 + 1) break;   // timed out or failed
        MSG msg;
        while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return signalled;
}

HttpFetchResult NetDownloader::Download(const std::wstring& url, const std::wstring& path) {
    Transfer transfer = {&http_, &url, &path, HTTP_FETCH_STOPPED};
    vantor::UniqueHandle worker(CreateThread(nullptr, 0, &TransferThread, &transfer, 0, nullptr));
    if (!worker) {
        // No thread to spare: the transfer runs here and the thread waits for it.
        TransferThread(&transfer);
        return transfer.result;
    }
    // The worker reads transfer until it ends: never leave before it has.
    while (!PumpingWait(worker.get(), INFINITE)) {
    }
    return transfer.result;
}

bool NetDownloader::Pause(DWORD milliseconds) {
    if (http_.IsBreaked()) return false;
    return !PumpingWait(stopEvent_, milliseconds) && !http_.IsBreaked();
}

}  // namespace selfupdate
