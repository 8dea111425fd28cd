#include "TestPages.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "Handles.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"

namespace testkit {

std::wstring PagesDir(const std::wstring& set) { return ProgramDir() + L"testpages\\" + set + L"\\"; }

namespace {

// Copies the files of a folder and of its subfolders; false when one could not be copied.
bool CopyPages(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    vantor::UniqueFind find(FindFirstFileW((from + L"*").c_str(), &found));
    if (!find) return true;
    do {
        std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L".." && !CopyPages(from + name + L"\\", to + name + L"\\")) return false;
            continue;
        }
        if (!CopyFileW((from + name).c_str(), (to + name).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot publish " << vantor::WideToAnsi(from + name);
            return false;
        }
    } while (FindNextFileW(find.get(), &found));
    return true;
}

}  // namespace

std::string PublishPages(const std::wstring& set) {
    const WebServers& servers = WebServers::Get();
    if (!servers.loaded) return "";
    std::wstring from = PagesDir(set);
    if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE() << "no staged test pages in " << vantor::WideToAnsi(from);
        return "";
    }
    if (!CopyPages(from, servers.root + set + L"\\")) return "";
    return servers.NginxUrl("/" + vantor::WideToAnsi(set) + "/");
}

}  // namespace testkit
