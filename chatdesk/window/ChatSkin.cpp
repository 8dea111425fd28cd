#include "ChatSkin.h"

#include "IniFile.h"
#include "Text.h"

namespace chatdesk {

namespace {

std::wstring SkinFolder(const std::wstring& programFolder) {
    std::wstring config = vantor::ini::BoundedPath({programFolder, L"\\config\\uiprof.cfg"});
    std::wstring skin = vantor::ini::ReadString(config, L"Global", L"SkinName", L"", MAX_PATH);
    if (skin.empty()) return std::wstring();
    return vantor::ini::BoundedPath({programFolder, L"\\Skins\\", skin});
}

COLORREF Colour(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
    COLORREF colour = 0;
    vantor::ini::ScanColour(vantor::ini::ReadString(file, section, key, fallback, 64), &colour);
    return colour;
}

}  // namespace

ChatButtonSkin ReadChatButtonSkin(const std::wstring& programFolder) {
    ChatButtonSkin skin;
    std::wstring folder = SkinFolder(programFolder);
    if (folder.empty()) return skin;
    skin.present = true;
    std::wstring file = folder + L"\\CommWnd.skn";
    std::wstring normal = vantor::ini::ReadString(file, L"Button", L"btn_bk_n", L"", MAX_PATH);
    std::wstring hover = vantor::ini::ReadString(file, L"Button", L"btn_bk_h", L"", MAX_PATH);
    if (!normal.empty()) skin.normalImage = vantor::WideToAnsi(folder + L"\\" + normal);
    if (!hover.empty()) skin.hoverImage = vantor::WideToAnsi(folder + L"\\" + hover);
    skin.normalText = Colour(file, L"Button", L"txt_clr_n", L"0,0,0");
    skin.hoverText = Colour(file, L"Button", L"txt_clr_h", L"0,0,0");
    return skin;
}

COLORREF ReadViewerFrameColour(const std::wstring& programFolder) {
    std::wstring folder = SkinFolder(programFolder);
    if (folder.empty()) return kViewerFrameColour;
    std::wstring value = vantor::ini::ReadString(folder + L"\\CommWnd.skn", L"Dialog", L"frameside", L"", 64);
    if (value.empty()) return kViewerFrameColour;
    COLORREF colour = kViewerFrameColour;
    if (vantor::ini::ScanColour(value, &colour, 0) == 0) return kViewerFrameColour;
    return colour;
}

}  // namespace chatdesk
