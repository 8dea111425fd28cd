#include <vector>

#include "AccountName.h"
#include "ContactFile.h"

namespace rostbase {

namespace {
std::wstring g_moduleDirectory;
bool g_moduleDirectorySet = false;
}  // namespace

const std::wstring& ModuleDirectory() { return g_moduleDirectory; }

void SetModuleDirectory(HMODULE module) {
    // Set once, at the first entry of DllMain, whatever its reason.
    if (g_moduleDirectorySet) return;
    g_moduleDirectorySet = true;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return;
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            size_t slash = path.find_last_of(L'\\');
            g_moduleDirectory = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
            return;
        }
        if (buffer.size() >= 32768) return;
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ContactFilePath(const std::wstring& account) {
    // An account that is no plain folder name (empty, "..\\x", "con") has no file: its
    // path would lead out of the account folders or to a device.
    if (!vantor::IsUsableAccountName(account)) return std::wstring();
    std::wstring path = g_moduleDirectory + L"\\" + account + L"\\rostledger.xml";
    // A path the file functions cannot take counts as no file at all.
    if (path.size() >= MAX_PATH) return std::wstring();
    return path;
}

}  // namespace rostbase
