// A program that only writes down how it was started: its whole command line, as one
// UTF-8 line, appended to the file named by CMDLOG_FILE, else to "cmdlog.txt" beside it.
// Tests start it in place of games and programs, and register it as the handler of a URL
// protocol to see what a shell "open" was given. CMDLOG_SLEEP_MS keeps it running that
// long before it ends (for launches that are waited on); CMDLOG_EXIT is its exit code.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t buffer[MAX_PATH * 2] = {};
    std::wstring file;
    DWORD n = GetEnvironmentVariableW(L"CMDLOG_FILE", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) {
        file = buffer;
    } else {
        GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
        file = buffer;
        file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"cmdlog.txt";
    }
    const wchar_t* line = GetCommandLineW();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, &text[0], bytes, nullptr, nullptr);
    text += "\r\n";
    HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(h);
    }
    n = GetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", buffer, 32);
    if (n > 0 && n < 32) Sleep(static_cast<DWORD>(_wtoi(buffer)));
    n = GetEnvironmentVariableW(L"CMDLOG_EXIT", buffer, 32);
    return n > 0 && n < 32 ? _wtoi(buffer) : 0;
}
