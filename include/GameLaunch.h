// Installed games and how a page starts one, and where the classroom page lies: shared by
// the home tile pane and PageHost.
//
// Games are the subkeys of HKEY_LOCAL_MACHINE "SOFTWARE\Vantor\" whose "Game" value is not
// 0 and that hold "DisplayName" and "Launch". A page gets each game as "addGame"(name,
// display text, launch path with every "\" turned into "/") and hands a launch path back.
//
// The path coming back is only a request: it is started only when it names a registered
// game exactly (IsRegisteredLaunch), since any page or frame shown can ask. Then the text
// is split at a blank after its last "\": first at the first such blank, then at each
// later one, "<quoted part> <rest>", until a start succeeds; without such a blank the
// whole path is started once, quoted. A path without any "\" is never started.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace gamelaunch {

constexpr char kGamesKey[] = "SOFTWARE\\Vantor\\";

// Sizes the readers take: subkey names in characters, texts in bytes with the terminator.
constexpr DWORD kSubkeyNameChars = 256;
constexpr DWORD kDisplayNameBytes = 256;
constexpr DWORD kLaunchBytes = 260;

inline std::string Replaced(std::string text, char from, char to) {
    for (char& c : text) {
        if (c == from) c = to;
    }
    return text;
}

inline std::string ToPagePath(const std::string& launch) { return Replaced(launch, '\\', '/'); }
inline std::string FromPagePath(const std::string& path) { return Replaced(path, '/', '\\'); }

// The command lines to try for a launch path as the page gives it, in order; empty when
// the path has no "\" (after "/" is read as "\").
inline std::vector<std::string> LaunchCandidates(const std::string& pagePath) {
    std::vector<std::string> lines;
    std::string path = FromPagePath(pagePath);
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos) return lines;
    size_t blank = path.find(' ', separator);
    if (blank == std::string::npos) {
        lines.push_back("\"" + path + "\"");
        return lines;
    }
    for (; blank != std::string::npos; blank = path.find(' ', blank + 1)) {
        lines.push_back("\"" + path.substr(0, blank) + "\" " + path.substr(blank + 1));
    }
    return lines;
}

// One row of the programs of other parties that come preinstalled: their display name as
// registered, the text the page shows for them and, when not null, the name to pass.
struct PreinstalledProgram {
    const char* displayName;
    const char* text;
    const char* passName;
};

// No program of another party ships preinstalled at present.
inline const PreinstalledProgram* FindPreinstalled(const std::string& displayName) {
    static const PreinstalledProgram kRows[] = {{nullptr, nullptr, nullptr}};
    for (const PreinstalledProgram& row : kRows) {
        if (row.displayName && displayName == row.displayName) return &row;
    }
    return nullptr;
}

struct GameEntry {
    std::string subkey;
    std::string displayName;
    std::string launch;       // as registered, with "\"
    DWORD needMonitor = 0;
};

// The three texts of "addGame" for a game.
struct PageGame {
    std::string name;
    std::string text;
    std::string path;
};

inline PageGame ForPage(const GameEntry& game) {
    PageGame page;
    page.name = game.displayName;
    page.path = ToPagePath(game.launch);
    if (const PreinstalledProgram* row = FindPreinstalled(game.displayName)) {
        page.text = row->text ? row->text : "";
        if (row->passName) page.name = row->passName;
    }
    return page;
}

namespace detail {

inline bool ReadText(HKEY key, const char* name, DWORD bytes, std::string* out) {
    std::vector<char> buffer(bytes + 1, '\0');
    DWORD size = bytes;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    out->assign(buffer.data());
    return true;
}

inline bool ReadNumber(HKEY key, const char* name, DWORD* out) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_DWORD || size != sizeof value) return false;
    *out = value;
    return true;
}

}  // namespace detail

// The registered games in key order. A subkey whose name needs more than nameChars
// characters, that cannot be opened, or whose values are missing or too long is skipped;
// the walk goes on to the next one.
inline std::vector<GameEntry> ReadGames(HKEY root = HKEY_LOCAL_MACHINE, const char* keyPath = kGamesKey,
                                        DWORD nameChars = kSubkeyNameChars, DWORD displayBytes = kDisplayNameBytes) {
    std::vector<GameEntry> games;
    HKEY list = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &list) != ERROR_SUCCESS) return games;
    std::vector<char> name(nameChars + 1, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = nameChars;
        LONG r = RegEnumKeyExA(list, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(list, name.data(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        GameEntry game;
        game.subkey = name.data();
        DWORD flag = 0;
        bool listed = detail::ReadNumber(sub, "Game", &flag) && flag != 0 &&
                      detail::ReadText(sub, "DisplayName", displayBytes, &game.displayName) &&
                      detail::ReadText(sub, "Launch", kLaunchBytes, &game.launch);
        detail::ReadNumber(sub, "NeedMonitor", &game.needMonitor);
        RegCloseKey(sub);
        if (listed) games.push_back(game);
    }
    RegCloseKey(list);
    return games;
}

// Whether two paths name the same text as the ANSI code page reads them (the way WinExec
// reads the command line): both widened with that code page, then compared character by
// character with only the ASCII letters' case folded. Bytes that are no text of the code
// page never match.
inline bool SameLaunchText(const std::string& a, const std::string& b) {
    auto widen = [](const std::string& text, std::wstring* out) {
        if (text.empty()) return true;
        int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (n <= 0) return false;
        out->assign(static_cast<size_t>(n), L'\0');
        return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0], n) == n;
    };
    std::wstring wideA, wideB;
    if (!widen(a, &wideA) || !widen(b, &wideB) || wideA.size() != wideB.size()) return false;
    auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (size_t i = 0; i < wideA.size(); ++i) {
        if (fold(wideA[i]) != fold(wideB[i])) return false;
    }
    return true;
}

// Whether the page's path is the "Launch" value of a registered game, ignoring the case
// of ASCII letters and reading "/" as "\" on both sides; read from the registry at the
// time of asking.
inline bool IsRegisteredLaunch(const std::string& pagePath, HKEY root = HKEY_LOCAL_MACHINE,
                               const char* keyPath = kGamesKey) {
    std::string wanted = FromPagePath(pagePath);
    if (wanted.find('\\') == std::string::npos) return false;
    for (const GameEntry& game : ReadGames(root, keyPath)) {
        std::string launch = FromPagePath(game.launch);
        if (SameLaunchText(launch, wanted)) return true;
    }
    return false;
}

// Plain launch: WinExec on each candidate until one answers above 31.
inline bool WinExecLaunch(const std::string& pagePath) {
    for (const std::string& line : LaunchCandidates(pagePath)) {
        if (WinExec(line.c_str(), SW_SHOW) > 31) return true;
    }
    return false;
}

// --- the classroom page

constexpr wchar_t kClassroomKey[] = L"SOFTWARE\\Vantor\\Mirn\\";

// The second item of a comma-separated list; empty when there is none.
inline std::wstring SecondItem(const std::wstring& list) {
    size_t comma = list.find(L',');
    if (comma == std::wstring::npos) return std::wstring();
    std::wstring rest = list.substr(comma + 1);
    return rest.substr(0, rest.find(L','));
}

// The classroom page: install folder, a "\" when missing, the item. Empty when either is.
inline std::wstring ClassroomPath(const std::wstring& installDir, const std::wstring& item) {
    if (item.empty() || installDir.empty()) return std::wstring();
    std::wstring path = installDir;
    if (path.back() != L'\\') path += L'\\';
    return path + item;
}

// "InstallDir" of the classroom product line (up to 260 bytes); empty when missing.
inline std::wstring ReadClassroomDir(HKEY root = HKEY_LOCAL_MACHINE, const wchar_t* keyPath = kClassroomKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::wstring();
    WCHAR dir[131] = {};
    DWORD size = 260;
    DWORD type = 0;
    LONG r = RegQueryValueExW(key, L"InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(dir), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::wstring();
    return dir;
}

}  // namespace gamelaunch
