#include "TestSupport.h"

#include "ModulePath.h"
#include "Text.h"

#include <atomic>
#include <cstdio>

namespace testkit {

std::wstring ProgramDir() { return vantor::ProgramDir(); }

void RemoveTree(const std::wstring& path) {
    if (path.empty()) return;
    std::wstring dir = path;
    if (dir.back() != L'\\') dir += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring entry = dir + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A linked folder goes, never what it points at.
                RemoveDirectoryW(entry.c_str());
                DeleteFileW(entry.c_str());
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(entry);
            } else {
                SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(entry.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    dir.pop_back();
    RemoveDirectoryW(dir.c_str());
}

std::wstring FreshDir(const std::wstring& name) {
    static std::atomic<int> counter{0};
    std::wstring scratch = ProgramDir() + L"scratch\\";
    CreateDirectoryW(scratch.c_str(), nullptr);
    wchar_t suffix[64];
    swprintf(suffix, 64, L"-%lu-%d\\", GetCurrentProcessId(), ++counter);
    std::wstring dir = scratch + name + suffix;
    RemoveTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::wstring Wide(const char* utf8) { return vantor::DecodeBytes(utf8, strlen(utf8), CP_UTF8); }
std::string Ansi(const char* utf8) { return vantor::WideToAnsi(Wide(utf8)); }

}  // namespace testkit
