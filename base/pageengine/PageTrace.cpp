#include "PageTrace.h"

#include <windows.h>

#include "Handles.h"
#include "Sync.h"
#include "Text.h"

namespace pageengine {
namespace {
vantor::CriticalSection g_traceLock;
}

void AppendTrace(const wchar_t* variable, const std::wstring& line) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(variable, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return;
    std::string bytes = vantor::EncodeText(line, CP_UTF8) + "\r\n";
    vantor::Lock lock(g_traceLock);
    vantor::UniqueHandle file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace pageengine
