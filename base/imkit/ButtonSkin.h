// The push-button skin that skinned dialogs share: "Skins\<SkinName>\CommWnd.skn"
// section [Button] of the program folder, the skin named by "config\uiprof.cfg".
#pragma once

#include <windows.h>

#include <string>

namespace vantor {
namespace imkit {

struct ButtonSkin {
    std::string normal, hover;  // full 8-bit paths of "btn_bk_n" and "btn_bk_h", empty for none
    COLORREF textNormal = 0, textHover = 0;  // "txt_clr_n", "txt_clr_h" as "r,g,b"; black by default
};

ButtonSkin ReadButtonSkin();

}  // namespace imkit
}  // namespace vantor
