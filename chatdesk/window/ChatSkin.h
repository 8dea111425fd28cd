// The chat window's own skin keys: the buttons' pictures and text colours, and the frame
// colour of the record viewer, from the skin named in "config\uiprof.cfg".
#pragma once

#include <windows.h>

#include <string>

namespace chatdesk {

struct ChatButtonSkin {
    bool present = false;     // a skin is named
    std::string normalImage;  // full paths, empty when not given
    std::string hoverImage;
    COLORREF normalText = RGB(0, 0, 0);
    COLORREF hoverText = RGB(0, 0, 0);
};

// [Global] SkinName, then "Skins\<skin>\CommWnd.skn" [Button] btn_bk_n, btn_bk_h,
// txt_clr_n, txt_clr_h, under the folder.
ChatButtonSkin ReadChatButtonSkin(const std::wstring& programFolder);

constexpr COLORREF kViewerFrameColour = RGB(0x7F, 0x7F, 0x7F);
// [Dialog] frameside of the same skin file; the default when no skin or key is set.
COLORREF ReadViewerFrameColour(const std::wstring& programFolder);

}  // namespace chatdesk
