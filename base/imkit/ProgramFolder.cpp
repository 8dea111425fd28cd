#include "ProgramFolder.h"

#include "IniFile.h"
#include "ModulePath.h"
#include "Text.h"

namespace vantor {
namespace imkit {

std::wstring ProgramFolder() {
    std::wstring folder = ProgramDir();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::string ProgramFolderA() { return WideToAnsi(ProgramFolder()); }

HMODULE LoadFromProgramFolder(const wchar_t* fileName) {
    if (!fileName || !*fileName) return nullptr;
    return LoadProgramLibrary(fileName);
}

HMODULE LoadFromProgramFolderA(const char* fileName) {
    if (!fileName || !*fileName) return nullptr;
    return LoadFromProgramFolder(AnsiToWide(fileName).c_str());
}

std::wstring DialogCaption() {
    // The profile reader opens no path beyond the classic limit: in a deeper program
    // folder the settings read as missing, never as some other, shorter file name.
    return ini::ReadString(ini::ProgramFile(L"config\\uiprof.cfg"), L"Dialog", L"Caption", L"",
                           kDialogCaptionChars + 1);
}

std::string DialogCaptionA() { return WideToAnsi(DialogCaption()); }

}  // namespace imkit
}  // namespace vantor
