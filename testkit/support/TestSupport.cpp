#include "TestSupport.h"

#include "Handles.h"
#include "ModulePath.h"
#include "PaneRig.h"
#include "Text.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

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

std::wstring ThisExePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

std::wstring ThisExeName() {
    std::wstring self = ThisExePath();
    return self.substr(self.find_last_of(L"\\/") + 1);
}

std::wstring CopyThisExeTo(const std::wstring& folder) {
    std::wstring copy = folder + ThisExeName();
    return CopyFileW(ThisExePath().c_str(), copy.c_str(), FALSE) ? copy : std::wstring();
}

bool CopyFromProgramDir(const std::wstring& folder, const std::wstring& name, const std::wstring& as) {
    return CopyFileW((ProgramDir() + name).c_str(), (folder + (as.empty() ? name : as)).c_str(), FALSE) != FALSE;
}

int RunThisExeInPrivateFolder(const PrivateFolder& folder, const Environment& environment) {
    std::wstring stage = ProgramDir();
    std::wstring dir = FreshDir(folder.name);
    for (const std::wstring& file : folder.files) {
        if (!CopyFromProgramDir(dir, file)) {
            fprintf(stderr, "cannot copy %ls\n", file.c_str());
            return 1;
        }
    }
    for (const auto& file : folder.renamed) CopyFromProgramDir(dir, file.first, file.second);
    for (const std::wstring& tree : folder.trees) CopyTree(stage + tree, dir + tree);
    for (const auto& file : folder.written) {
        if (!WriteFileBytes(dir + file.first, file.second)) {
            fprintf(stderr, "cannot write %ls\n", file.first.c_str());
            return 1;
        }
    }
    std::wstring copy = CopyThisExeTo(dir);
    if (copy.empty()) {
        fprintf(stderr, "cannot copy the test program into %ls\n", dir.c_str());
        return 1;
    }
    // The arguments are what follows the program's own name, quoted or not.
    std::wstring arguments = GetCommandLineW();
    size_t end = arguments[0] == L'"' ? arguments.find(L'"', 1) : arguments.find(L' ');
    arguments = end == std::wstring::npos ? std::wstring() : arguments.substr(end + 1);
    return static_cast<int>(RunProgram(copy, arguments, dir, environment, INFINITE));
}

namespace {

// This process's environment with `changes` put in, as a block for CreateProcessW: the
// process's own environment is never touched, so children started at once by several
// threads each get their own values.
std::vector<wchar_t> EnvironmentBlock(const Environment& changes) {
    auto sameName = [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; };
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
            std::wstring text(entry);
            size_t equals = text.find(L'=', 1);  // names of drive folders start with '='
            std::wstring name = text.substr(0, equals);
            bool replaced = false;
            for (const auto& change : changes) replaced = replaced || sameName(name, change.first);
            if (!replaced) entries.push_back(text);
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& change : changes) entries.push_back(change.first + L"=" + change.second);
    std::sort(entries.begin(), entries.end(),
              [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    std::vector<wchar_t> block;
    for (const std::wstring& entry : entries) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    block.push_back(L'\0');
    return block;
}

}  // namespace

DWORD RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder,
                 const Environment& environment, DWORD timeoutMs) {
    std::wstring command = L"\"" + exe + L"\"";
    if (!arguments.empty()) command += L" " + arguments;
    std::vector<wchar_t> block = EnvironmentBlock(environment);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  block.data(), folder.c_str(), &startup, &process);
    if (!started) return kProgramDidNotStart;
    vantor::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, kProgramTimedOut);
        WaitForSingleObject(process.hProcess, 5000);
        return kProgramTimedOut;
    }
    DWORD code = kProgramDidNotStart;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::wstring Wide(const char* utf8) { return vantor::DecodeBytes(utf8, strlen(utf8), CP_UTF8); }
std::string Ansi(const char* utf8) { return vantor::WideToAnsi(Wide(utf8)); }

}  // namespace testkit
