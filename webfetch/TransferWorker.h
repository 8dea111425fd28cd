// Every post and download ends for its caller at its deadline, whatever the engine does:
// the engine's work runs on a worker thread that the caller stops waiting for. Under
// Wine both engines block inside their own header read (a dripped header, endless
// header lines or interim replies), closing their handles from another thread does not
// release them, and the WinINet engine's close reads the rest of a body first; so the
// caller never waits on an engine call, and the worker closes what it opened.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>

#include "WebFetch.h"

class HttpEngine;

// Runs work (the engine's transfer, reporting to the sink it is given) on a worker
// thread. A post ends for the caller at the transfer limit; a download when no progress
// came for as long. The callback sees what the transfer reported, on the caller's
// thread. An abandoned transfer is told through TransferAbandoned; the worker keeps the
// engine and this library loaded until the engine's call has returned.
HttpFetchResult RunBoundedTransfer(HttpEngine* engine, bool download,
                                   const std::function<HttpFetchResult(CFileDownUpProcessCallback*)>& work,
                                   CFileDownUpProcessCallback* callback, DWORD_PTR context);

// True on a worker whose caller stopped waiting: its reads stop at the next chance.
bool TransferAbandoned();
