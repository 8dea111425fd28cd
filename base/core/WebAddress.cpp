#include "WebAddress.h"

#include <shellapi.h>

namespace vantor {

namespace {

bool StartsWithFolded(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

bool IsWebAddress(const std::string& address) {
    size_t hostStart = 0;
    if (StartsWithFolded(address, "http://")) {
        hostStart = 7;
    } else if (StartsWithFolded(address, "https://")) {
        hostStart = 8;
    } else {
        return false;
    }
    if (hostStart >= address.size() || address[hostStart] == '/') return false;
    for (char c : address) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"') return false;
    }
    return true;
}

bool OpenWebAddress(HWND owner, const std::string& address) {
    if (!IsWebAddress(address)) return false;
    ShellExecuteA(owner, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}

}  // namespace vantor
