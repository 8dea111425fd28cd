#include "NetDownloader.h"

#include "Handles.h"
#include "PumpingJoin.h"

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

HttpFetchResult NetDownloader::Download(const std::wstring& url, const std::wstring& path) {
    Transfer transfer = {&http_, &url, &path, HTTP_FETCH_STOPPED};
    vantor::UniqueHandle worker(CreateThread(nullptr, 0, &TransferThread, &transfer, 0, nullptr));
    if (!worker) {
        // No thread to spare: the transfer runs here and the thread waits for it.
        TransferThread(&transfer);
        return transfer.result;
    }
    // The worker reads transfer until it ends: never leave before it has.
    while (!vantor::WaitPumping(worker.get())) {
    }
    return transfer.result;
}

bool NetDownloader::Pause(DWORD milliseconds) {
    if (http_.IsBreaked()) return false;
    return !vantor::WaitPumping(stopEvent_, milliseconds) && !http_.IsBreaked();
}

}  // namespace selfupdate
