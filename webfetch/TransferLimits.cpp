#include "TransferLimits.h"

#include <cwchar>

namespace webfetch {

DWORD TransferLimitMs() {
    wchar_t text[16] = {};
    DWORD n = GetEnvironmentVariableW(kTransferLimitVariable, text, 16);
    if (n == 0 || n >= 16) return kTransferLimitMs;
    wchar_t* end = nullptr;
    unsigned long value = wcstoul(text, &end, 10);
    // Only a shorter limit is taken, and never one so short that no reply could make it.
    if (*end != L'\0' || value < 100 || value >= kTransferLimitMs) return kTransferLimitMs;
    return static_cast<DWORD>(value);
}

}  // namespace webfetch
