#include "ButtonSkin.h"

#include <cwchar>

#include "IniFile.h"
#include "Text.h"

namespace vantor {
namespace imkit {

namespace {

COLORREF ReadColour(const std::wstring& file, const wchar_t* key) {
    std::wstring text = ini::ReadString(file, L"Button", key, L"0,0,0", 64);
    int r = 0, g = 0, b = 0;
    if (swscanf(text.c_str(), L"%d,%d,%d", &r, &g, &b) != 3) r = g = b = 0;
    return RGB(r, g, b);
}

}  // namespace

ButtonSkin ReadButtonSkin() {
    ButtonSkin skin;
    std::wstring skinName = ini::ReadString(ini::ProgramFile(L"config\\uiprof.cfg"), L"Global", L"SkinName", L"", 260);
    std::wstring folder = ini::ProgramFile(L"Skins\\" + skinName + L"\\");
    std::wstring file = folder + L"CommWnd.skn";
    std::wstring normal = ini::ReadString(file, L"Button", L"btn_bk_n", L"", 260);
    std::wstring hover = ini::ReadString(file, L"Button", L"btn_bk_h", L"", 260);
    if (!normal.empty()) skin.normal = WideToAnsi(folder + normal);
    if (!hover.empty()) skin.hover = WideToAnsi(folder + hover);
    skin.textNormal = ReadColour(file, L"txt_clr_n");
    skin.textHover = ReadColour(file, L"txt_clr_h");
    return skin;
}

}  // namespace imkit
}  // namespace vantor
