// The settings pane's dialog: the tab manager's background, chosen from the built-in
// backgrounds and the user's own pictures, previewed, and applied through the command
// center; a run-at-start-up check box read from the Run key.
#pragma once

#include <windows.h>

#include <memory>

#include "BackgroundList.h"
#include "SkinFrame.h"
#include "VantorTypes.h"
#include "outside/GlassKit.h"
#include "outside/KnobKit.h"
#include "outside/PictKit.h"

namespace setting {

class SettingsDialog : public CSkinFrame {
public:
    SettingsDialog(HMODULE container, HostContext context, INT_PTR reserved);
    ~SettingsDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    void OnClose() override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;
    virtual bool CreateOnDesktop();

private:
    void Apply();
    void ChoosePicture();
    void OnSelectionChanged();
    bool PreviewFile(const std::wstring& path);
    void PreviewBuiltIn(int index);
    RECT PreviewRect() const;
    void FillList();
    void SetRunAtStart(bool run);

    HMODULE container_;
    HostContext context_;
    INT_PTR reserved_;
    CKnobKit ok_;
    CKnobKit cancel_;
    CKnobKit apply_;
    std::unique_ptr<PictKit> preview_;  // the picture shown; null before the first
    CKnobKit choose_;
    CGlassKit runAtStart_;
    BackgroundList list_;
};

// OrderHub_Action through "OrderHub.dll", loaded for the one call; skipped quietly when
// the command center or its export is missing.
void SendAction(PlugId target, int command, INT_PTR parameter);

// Whether the Run key holds the start-up value (read only; false when it cannot be read).
bool RunKeyHoldsStartup();

}  // namespace setting
