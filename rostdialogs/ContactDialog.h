// ContactDialog: the skinned base of the contact dialogs. Modeless dialogs set the
// self-delete flag: the object deletes itself when its window is gone and then gives back
// the use its verb took.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "SkinFrame.h"
#include "outside/KnobKit.h"

namespace rostdialogs {

class ContactDialog : public CSkinFrame {
public:
    ContactDialog(UINT templateId, bool skinned,
                  unsigned long captionButtons = SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnNcDestroy() override;
    virtual void OnNotify(WPARAM wParam, LPARAM lParam);
    // The end of a self-deleting dialog, just before the object goes and its verb's use
    // is given back (the search dialog clears its single-instance slot here).
    virtual void ReleaseModule();

    bool Create(HWND parent);
    int DoModal(HWND parent);
    bool Show(int showCommand);
    bool Move(int left, int top, int right, int bottom, bool repaint);
    bool Destroy();

    void SetSelfDelete(bool on) { selfDelete_ = on; }

protected:
    // Centred over the owner (or what it names for message 875), else on the work area.
    void Centre();
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    std::wstring ItemText(int id) const;
    std::string ItemTextA(int id) const;
    void SetItemText(int id, const wchar_t* text);
    // Subclasses the buttons and gives each the button skin of "CommWnd.skn".
    void SkinButtons(std::initializer_list<std::pair<CKnobKit*, int>> buttons);
    void ApplyButtonSkin(std::initializer_list<CKnobKit*> buttons);
    static void UnskinButtons(std::initializer_list<CKnobKit*> buttons);
    static bool DrawButtons(LPDRAWITEMSTRUCT item, std::initializer_list<CKnobKit*> buttons);

    UINT templateId_;
    bool selfDelete_ = false;
};

// A child's rectangle in its parent's client co-ordinates.
RECT ChildRect(HWND parent, HWND child);

}  // namespace rostdialogs
