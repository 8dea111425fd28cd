#include "EventValue.h"

#include <cstdio>

namespace pageengine {

std::wstring StatusText(long status) {
    if (status >= 0 && status < 1000) return std::to_wstring(status);
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
    return text;
}

}  // namespace pageengine
