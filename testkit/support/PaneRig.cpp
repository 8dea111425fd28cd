#include "PaneRig.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "Text.h"

namespace testkit {
namespace {

const int kRecordingPlugs[] = {-3, -8, -10, -13};

}  // namespace

void CopyTree(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        } else {
            CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

PaneRig::PaneRig(const std::wstring& name) : dir_(FreshDir(name)) {
    for (const wchar_t* file :
         {L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll", L"PlugDriver.exe", L"RostLedger.dll", L"RostKeeper.dll",
          L"ClientCore.dll", L"zumbase.dll", L"RostBase.dll", L"PresenceCore.dll", L"WebFetch.dll", L"CommonKit.dll",
          L"SkinFrame.dll", L"PictKit.dll", L"KnobKit.dll", L"GlassKit.dll", L"AnchorKit.dll", L"SurfView.dll",
          L"CmdLog.exe"}) {
        EXPECT_TRUE(Copy(file)) << vantor::WideToAnsi(file);
    }
    EXPECT_TRUE(Copy(L"TraceDeck.dll", L"TabDeck.dll"));
    for (int id : kRecordingPlugs) EXPECT_TRUE(Copy(L"TracePlug.dll", L"plug" + std::to_wstring(id) + L".dll"));
    for (const wchar_t* tree : {L"config", L"resource", L"Skins"}) CopyTree(ProgramDir() + tree, dir_ + tree);
}

bool PaneRig::Copy(const std::wstring& from, const std::wstring& to) {
    return CopyFromProgramDir(dir_, from, to);
}

bool PaneRig::Write(const std::wstring& relative, const std::string& bytes) {
    return WriteFileBytes(dir_ + relative, bytes);
}

std::string PaneRig::Read(const std::wstring& relative) const { return ReadFileBytes(dir_ + relative); }

void PaneRig::Platform(const std::string& script) {
    if (script.empty()) return;
    Write(L"zum.ini", script);
    WritePrivateProfileStringW(L"CommonUrl", L"ZumUrl", L"script:zum.ini", (dir_ + L"config\\commprof.cfg").c_str());
}

void PaneRig::Pane(int id, const std::wstring& module, bool immediately) {
    if (GetFileAttributesW((dir_ + module).c_str()) == INVALID_FILE_ATTRIBUTES) {
        EXPECT_TRUE(Copy(module));
    }
    std::string pane = std::to_string(id);
    std::string list, styles, modules;
    for (int plug : kRecordingPlugs) {
        std::string p = std::to_string(plug);
        list += p + ",";
        styles += p + "=immediately\r\n";
        modules += p + "=plug" + p + ".dll\r\n";
    }
    if (immediately) styles += pane + "=immediately\r\n";
    modules += pane + "=" + vantor::WideToAnsi(module) + "\r\n";
    Write(L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=" + list + pane +
                                    "\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n" + styles + "[PlugsModule]\r\n" + modules);
}

PaneRig::Lines PaneRig::Run(const std::string& steps, const Environment& environment, DWORD timeoutMs) {
    DeleteFileW((dir_ + L"trace.log").c_str());
    Environment env = environment;
    env.push_back({L"SURFVIEW_TRACE", dir_ + L"surf.log"});
    env.push_back({L"CMDLOG_FILE", dir_ + L"cmdlog.txt"});
    DWORD code = RunProgram(dir_ + L"PlugDriver.exe", vantor::AnsiToWide("signin load 1 " + steps + " unload signoff"),
                            dir_, env, timeoutMs);
    EXPECT_NE(kProgramDidNotStart, code) << "driver did not start";
    EXPECT_NE(kProgramTimedOut, code) << "driver hangs";
    EXPECT_EQ(0u, code) << "driver crashed";
    return SplitLines(Read(L"trace.log"));
}

PaneRig::Lines PaneRig::SurfTrace() const { return SplitLines(Read(L"surf.log")); }
PaneRig::Lines PaneRig::Launches() const { return SplitLines(Read(L"cmdlog.txt")); }

namespace {

bool SetOpenCommand(const std::wstring& key, const std::wstring& command) {
    HKEY open = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &open, nullptr)) return false;
    LONG r = RegSetValueExW(open, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                            static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(open);
    return r == ERROR_SUCCESS;
}

}  // namespace

LoggedShellOpens::LoggedShellOpens(const std::wstring& scheme, const std::wstring& loggerExe)
    : key_(scheme + L"\\shell\\open\\command") {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    had_ = RegGetValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
    if (had_) previous_ = value;
    active_ = SetOpenCommand(key_, L"\"" + loggerExe + L"\" \"%1\"");
}

LoggedShellOpens::~LoggedShellOpens() {
    if (!active_) return;
    if (had_) {
        SetOpenCommand(key_, previous_);
    } else {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, key_.c_str());
    }
}

bool RegisterLoggingProtocol(const std::wstring& scheme) {
    HKEY root = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, scheme.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &root, nullptr)) return false;
    const wchar_t protocol[] = L"";
    RegSetValueExW(root, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(protocol), sizeof protocol);
    RegCloseKey(root);
    return SetOpenCommand(scheme + L"\\shell\\open\\command", L"\"" + ProgramDir() + L"CmdLog.exe\" \"%1\"");
}

}  // namespace testkit
