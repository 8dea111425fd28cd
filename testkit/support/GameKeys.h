// Registered programs under HKLM for the launch tests: the keys a test writes and takes
// away again.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testkit {

// Writes `Game`, `DisplayName` (left out when null) and `Launch` under HKLM "<parent><subkey>";
// false when the key can't be made.
inline bool WriteGameKey(const std::string& parent, const std::string& subkey, DWORD game, const char* display,
                         const std::string& launch) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent + subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegSetValueExA(key, "Game", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&game), sizeof game);
    if (display)
        RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(display),
                       static_cast<DWORD>(strlen(display) + 1));
    RegSetValueExA(key, "Launch", 0, REG_SZ, reinterpret_cast<const BYTE*>(launch.c_str()),
                   static_cast<DWORD>(launch.size() + 1));
    RegCloseKey(key);
    return true;
}

// Deletes the named subkeys of HKLM "<parent>" when made and when gone.
class GameKeys {
public:
    GameKeys(std::string parent, std::vector<std::string> subkeys)
        : parent_(std::move(parent)), subkeys_(std::move(subkeys)) {
        Clear();
    }
    ~GameKeys() { Clear(); }
    GameKeys(const GameKeys&) = delete;
    GameKeys& operator=(const GameKeys&) = delete;

    void Clear() {
        for (const std::string& sub : subkeys_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, (parent_ + sub).c_str());
    }

private:
    std::string parent_;
    std::vector<std::string> subkeys_;
};

}  // namespace testkit
