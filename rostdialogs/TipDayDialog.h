// The tip of the day: a small topmost window with the skin's introduction page and a box
// that turns the window off for later starts. At most one exists; it holds a use of the
// library while its window lives.
#pragma once

#include "ContactDialog.h"
#include "outside/GlassKit.h"
#include "outside/SurfView.h"

namespace rostdialogs {

class TipDayDialog : public ContactDialog {
public:
    TipDayDialog();

    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void ReleaseModule() override;

    // The open window, or null.
    static TipDayDialog*& Slot();

private:
    void ShowPage();

    CGlassKit dontShow_;
    CSdkSurfView* browser_ = nullptr;
    CSdkWebDocHostUIHandler handler_;
    CKnobKit close_;
};

// UI_ShowTipDay's body.
void ShowTipDay();

}  // namespace rostdialogs
