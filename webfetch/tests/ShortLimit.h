// The shortened transfer limit the hostile-server cases run under, and how long past it
// a transfer may take (process and thread start-up under Wine).
#pragma once

#include <windows.h>

#include <string>

#include "TransferLimits.h"

namespace hostile {

const DWORD kShortLimitMs = 1000;
const ULONGLONG kSlackMs = 2500;

// Sets a shortened limit for the life of the object.
class ShortLimit {
public:
    explicit ShortLimit(DWORD ms = kShortLimitMs) {
        SetEnvironmentVariableW(webfetch::kTransferLimitVariable, std::to_wstring(ms).c_str());
    }
    ~ShortLimit() { SetEnvironmentVariableW(webfetch::kTransferLimitVariable, nullptr); }
};

inline ULONGLONG Since(ULONGLONG start) { return GetTickCount64() - start; }

}  // namespace hostile
