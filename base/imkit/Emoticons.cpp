#include "Emoticons.h"

#include <cstring>

#include "ModulePath.h"
#include "Text.h"

namespace vantor {
namespace imkit {

namespace {

const char* const kCodes[kEmoticonCount] = {
    "|:)", "|:(", "|:$", "|:*", "|:D", "|:O", "|;D", "|X)", "|:Z", "|;P",
    "|'(", "|:P", "|X|", "|:T", "|:>", "|:?", "|;X", "|by", "|-)", "|:@",
    "|:!", "|:#", "|:S", "|:X", "|ws", "|st", "|we", "|xi", "|mu", "|ro",
};

int IndexOfCode(const char* code) {
    if (!code) return -1;
    for (int i = 0; i < kEmoticonCount; ++i) {
        if (std::strcmp(code, kCodes[i]) == 0) return i;
    }
    return -1;
}

EmoticonTable& ProcessTable() {
    // Lives as long as the module: its icons go when the module unloads.
    static EmoticonTable table(EmoticonFolder());
    return table;
}

}  // namespace

EmoticonTable::EmoticonTable(std::wstring folder) : folder_(std::move(folder)) {}

EmoticonTable::~EmoticonTable() {
    for (HICON icon : icons_) {
        if (icon) DestroyIcon(icon);
    }
}

void EmoticonTable::LoadOnce() {
    // Loaded once whatever the files hold: a missing first icon must not make every
    // later use read (and leak) the other 29 again.
    if (loads_ > 0) return;
    ++loads_;
    for (int i = 0; i < kEmoticonCount; ++i) {
        std::wstring path = folder_ + std::to_wstring(i) + L".ico";
        icons_[i] = static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
    }
}

HICON EmoticonTable::Icon(int index) {
    LoadOnce();
    if (index < 0 || index >= kEmoticonCount) return nullptr;
    return icons_[index];
}

std::wstring EmoticonFolder() {
    return ModuleDir(ThisModule()) + L"resource\\" + std::to_wstring(9) + L"\\emotions\\";
}

HICON EmoticonByCode(const char* code, int* index) {
    int found = IndexOfCode(code);
    if (found < 0) return nullptr;
    if (index) *index = found;
    return ProcessTable().Icon(found);
}

HICON EmoticonByCode(const wchar_t* code, int* index) {
    if (!code) return nullptr;
    // Codes are plain ASCII: anything else in the text can only miss.
    for (const wchar_t* p = code; *p; ++p) {
        if (*p > 0x7F) return nullptr;
    }
    return EmoticonByCode(WideToAnsi(code).c_str(), index);
}

bool CodeByIndex(int index, char* text) {
    if (index < 0 || index >= kEmoticonCount || !text) return false;
    std::memcpy(text, kCodes[index], kEmoticonCodeChars);
    return true;
}

bool CodeByIndex(int index, wchar_t* text) {
    char code[kEmoticonCodeChars];
    if (!text || !CodeByIndex(index, code)) return false;
    for (size_t i = 0; i < kEmoticonCodeChars; ++i) text[i] = static_cast<unsigned char>(code[i]);
    return true;
}

HICON EmoticonIcon(int index) { return ProcessTable().Icon(index); }

}  // namespace imkit
}  // namespace vantor
