#include "TestPages.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "Handles.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebServers.h"

namespace testkit {

std::wstring PagesDir(const std::wstring& set) { return ProgramDir() + L"testpages\\" + set + L"\\"; }

std::string PublishPages(const std::wstring& set) {
    const WebServers& servers = WebServers::Get();
    if (!servers.loaded) return "";
    std::wstring from = PagesDir(set);
    std::wstring to = servers.root + set + L"\\";
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    vantor::UniqueFind find(FindFirstFileW((from + L"*").c_str(), &found));
    if (!find) {
        ADD_FAILURE() << "no staged test pages in " << vantor::WideToAnsi(from);
        return "";
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!CopyFileW((from + found.cFileName).c_str(), (to + found.cFileName).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot publish " << vantor::WideToAnsi(found.cFileName);
            return "";
        }
    } while (FindNextFileW(find.get(), &found));
    return servers.NginxUrl("/" + vantor::WideToAnsi(set) + "/");
}

}  // namespace testkit
