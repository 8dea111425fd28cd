// Skinned push buttons of a dialog: each CKnobKit subclasses its button and wears the
// shared button skin (ButtonSkin.h). Header only, for modules that link KnobKit.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <utility>

#include "ButtonSkin.h"
#include "outside/KnobKit.h"

namespace vantor {
namespace imkit {

// Subclasses each control `id` of `dialog` with its knob.
inline void SubclassKnobs(HWND dialog, std::initializer_list<std::pair<CKnobKit*, int>> knobs) {
    for (const auto& k : knobs) k.first->SubclassWnd(GetDlgItem(dialog, k.second));
}

inline void ApplyKnobSkin(std::initializer_list<CKnobKit*> knobs) {
    ButtonSkin skin = ReadButtonSkin();
    for (CKnobKit* k : knobs) {
        k->SetBkgndImage(skin.normal.empty() ? nullptr : skin.normal.c_str(),
                         skin.hover.empty() ? nullptr : skin.hover.c_str(), nullptr, nullptr);
        k->SetTextColor(skin.textNormal, skin.textHover);
    }
}

inline void UnsubclassKnobs(std::initializer_list<CKnobKit*> knobs) {
    for (CKnobKit* k : knobs)
        if (k->IsSubclass()) k->UnsubclassWnd();
}

// Hands WM_DRAWITEM to the knob that holds the control; false when none does.
inline bool DrawKnob(LPDRAWITEMSTRUCT item, std::initializer_list<CKnobKit*> knobs) {
    for (CKnobKit* k : knobs)
        if (k->IsSubclass() && item->hwndItem == k->GetSafeHwnd()) return k->DrawItem(item);
    return false;
}

}  // namespace imkit
}  // namespace vantor
