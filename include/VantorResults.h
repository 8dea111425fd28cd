// Result families that cross deliverable boundaries.
#pragma once

// PresenceCore: result of every PS_Cco_* call.
typedef int PsResult;
enum : PsResult {
    PS_OK = 0,
    PS_WALK_STOPPED = 10,
    PS_REFUSED = 20,
    PS_REPLY_NOT_XML = 500,
    PS_NO_ENVELOPE = 501,
    PS_SAVE_FAILED = 502,
    PS_ENGINE_NOT_OPENED = 2100,
    PS_TRANSFER_FAILED = 2101,
    PS_HTTP_STATUS_BASE = 10000,   // plus the HTTP status
    PS_NO_SERVER_URL = 20000,
};

// WebFetch: result of downloads and posts; a positive value is an HTTP status.
typedef int HttpFetchResult;
enum : HttpFetchResult {
    HTTP_FETCH_OK = 0,
    HTTP_FETCH_STOPPED = -1,
    HTTP_FETCH_ENGINE_OPEN_FAILED = -50,
    HTTP_FETCH_NO_ENGINE = -51,
    HTTP_FETCH_CONNECT_FAILED = -100,
    HTTP_FETCH_OPEN_REQUEST_FAILED = -101,
    HTTP_FETCH_SEND_FAILED = -102,
    HTTP_FETCH_STATUS_UNREADABLE = -103,
    HTTP_FETCH_NO_RESPONSE = -104,
    HTTP_FETCH_LOCAL_FILE_FAILED = -1000,
};

// ClientCore's own codes (the platform's statuses are in outside/zumbase.h).
enum : int {
    CCO_OK = 0,
    CCO_NOT_SUPPORTED = 7,
    CCO_CANCELLED = 10,
    CCO_COUNT_FAILED = 20,
    CCO_SERVICE_WALK_FAILED = 21,
    CcoErrPlatformBase = 30000,      // platform failure c >= 0 becomes c + 30000
    CcoErrPlatformNegBase = 40000,   // platform failure c < 0 becomes c + 40000
};
