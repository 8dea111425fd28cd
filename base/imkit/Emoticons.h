// The 30 emoticons: their three-character codes and their icons.
#pragma once

#include <windows.h>

#include <array>
#include <string>

namespace vantor {
namespace imkit {

constexpr int kEmoticonCount = 30;
// Codes are three characters, a vertical bar first; with the terminator they fill this.
constexpr size_t kEmoticonCodeChars = 4;

// The icons of one folder ("<folder>\<index>.ico"), all loaded on the first use and
// destroyed with the table. A file that cannot be loaded leaves its entry null for good.
class EmoticonTable {
public:
    explicit EmoticonTable(std::wstring folder);
    ~EmoticonTable();
    EmoticonTable(const EmoticonTable&) = delete;
    EmoticonTable& operator=(const EmoticonTable&) = delete;

    // Null for an index outside 0-29 or an icon that could not be loaded.
    HICON Icon(int index);
    // How many times the files were read: 1 after any use, whatever the files held.
    int Loads() const { return loads_; }

private:
    void LoadOnce();

    std::wstring folder_;
    std::array<HICON, kEmoticonCount> icons_{};
    int loads_ = 0;
};

// "<folder of this module>\resource\9\emotions\", the folder of the process-wide table.
std::wstring EmoticonFolder();

// The icon of the code (exact comparison, entries in index order), or null; the index is
// written when asked for and a code was found. Icons belong to the table: never destroy them.
HICON EmoticonByCode(const char* code, int* index = nullptr);
HICON EmoticonByCode(const wchar_t* code, int* index = nullptr);

// Copies the code of 0-29 with its terminator into text (kEmoticonCodeChars); false for
// any other index, text untouched.
bool CodeByIndex(int index, char* text);
bool CodeByIndex(int index, wchar_t* text);

// The icon of an index from the process-wide table, or null.
HICON EmoticonIcon(int index);

}  // namespace imkit
}  // namespace vantor
