#include "TransferRules.h"

#include <cstdio>

namespace chatdesk {

const wchar_t kFileTooLargeText[] = L"文件太大，不能传输！";

bool CanOfferFile(bool sizeKnown, uint64_t size) { return sizeKnown && size < (uint64_t(1) << 32); }

std::wstring FormatFileSize(uint32_t low, uint32_t high) {
    const double kKilo = 1024.0, kMega = kKilo * 1024, kGiga = kMega * 1024, kTera = kGiga * 1024;
    char text[64];
    if (high > 256)
        std::snprintf(text, sizeof text, "%.2fTB", high / 256.0);
    else if (high == 256)
        std::snprintf(text, sizeof text, "%.2fTB", 1 + low / kTera);
    else if (high >= 1)
        std::snprintf(text, sizeof text, "%.2fGB", (high * 4294967296.0 + low) / kGiga);
    else if (low > 1073741824u)
        std::snprintf(text, sizeof text, "%.2fGB", low / kGiga);
    else if (low > 1048576u)
        std::snprintf(text, sizeof text, "%.2fMB", low / kMega);
    else if (low < 1025u)
        std::snprintf(text, sizeof text, "%uB", static_cast<unsigned>(low));
    else
        std::snprintf(text, sizeof text, "%.2fKB", low / kKilo);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace chatdesk
