// The monitor's transfers through CNetHttp. A transfer runs on a short-lived worker, with
// a CNetHttp of its own that it may break off at its byte limit, while the monitor's
// thread goes on dispatching its messages, so the host's windows stay alive during a long
// download and a stop can break it off.
#pragma once

#include <windows.h>

#include "UpdateSteps.h"
#include "WebFetch.h"

namespace selfupdate {

class NetDownloader : public Downloader {
public:
    // http's Break and stopEvent say that the monitor stops; both outlive the downloader.
    NetDownloader(CNetHttp& http, HANDLE stopEvent) : http_(http), stopEvent_(stopEvent) {}

    HttpFetchResult Download(const std::wstring& url, const std::wstring& path, uint64_t maxBytes) override;
    bool IsBreaked() const override { return http_.IsBreaked(); }
    bool Pause(DWORD milliseconds) override;

private:
    CNetHttp& http_;
    HANDLE stopEvent_;
};

}  // namespace selfupdate
