#include "NetDownloader.h"

#include <atomic>

#include "DebugOut.h"
#include "Handles.h"
#include "PumpingJoin.h"
#include "StagingFiles.h"

namespace selfupdate {

namespace {

// How often a waiting transfer looks whether the monitor stops.
const DWORD kStopLookMs = 100;

// One transfer and its limit: the progress of a download comes after each chunk is on
// disk, so the transfer is broken off at the first progress that finds the file past its
// limit.
struct Transfer : public CFileDownUpProcessCallback {
    CNetHttp http;
    const std::wstring* url = nullptr;
    const std::wstring* path = nullptr;
    uint64_t maxBytes = 0;
    std::atomic<bool> overLimit{false};
    HttpFetchResult result = HTTP_FETCH_STOPPED;

    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD doneLow, DWORD doneHigh, DWORD_PTR) override {
        uint64_t done = (static_cast<uint64_t>(doneHigh) << 32) | doneLow;
        // A part that answers the range is appended to what the file held, a whole reply
        // (from a server that ignores ranges) replaces it: what counts is what the file
        // holds now.
        if (done > maxBytes || FileBytes(*path) > maxBytes) BreakOff();
    }
    void BreakOff() {
        if (overLimit.exchange(true)) return;
        http.Break();
    }
    void OnFinished(DWORD, DWORD, DWORD_PTR) override {}
    void OnPostData(const char*, DWORD, DWORD_PTR) override {}
};

DWORD WINAPI TransferThread(void* parameter) {
    Transfer* transfer = static_cast<Transfer*>(parameter);
    transfer->result = transfer->http.Download(transfer->url->c_str(), transfer->path->c_str(), transfer, 0);
    return 0;
}

}  // namespace

HttpFetchResult NetDownloader::Download(const std::wstring& url, const std::wstring& path, uint64_t maxBytes) {
    if (http_.IsBreaked()) return HTTP_FETCH_STOPPED;
    Transfer transfer;
    if (!transfer.http.Open(1)) return HTTP_FETCH_ENGINE_OPEN_FAILED;
    transfer.url = &url;
    transfer.path = &path;
    transfer.maxBytes = maxBytes;
    if (FileBytes(path) > maxBytes) return HTTP_FETCH_LOCAL_FILE_FAILED;
    vantor::UniqueHandle worker(CreateThread(nullptr, 0, &TransferThread, &transfer, 0, nullptr));
    if (!worker) {
        // No thread to spare: the transfer runs here and the thread waits for it.
        TransferThread(&transfer);
    } else {
        // The worker reads transfer until it ends: never leave before it has. A stop of
        // the monitor breaks the transfer off.
        while (!vantor::WaitPumping(worker.get(), kStopLookMs)) {
            if (http_.IsBreaked() || WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0) transfer.http.Break();
        }
    }
    if (transfer.overLimit || FileBytes(path) > maxBytes) {
        vantor::DebugLine(L"SelfUpdate: %ls is longer than the %llu bytes allowed\n", url.c_str(),
                          static_cast<unsigned long long>(maxBytes));
        return HTTP_FETCH_LOCAL_FILE_FAILED;
    }
    return transfer.result;
}

bool NetDownloader::Pause(DWORD milliseconds) {
    if (http_.IsBreaked()) return false;
    return !vantor::WaitPumping(stopEvent_, milliseconds) && !http_.IsBreaked();
}

}  // namespace selfupdate
