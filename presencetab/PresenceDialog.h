// PresenceDialog: the skinned base of the presence tab's dialogs. Modeless ones open over
// the desktop, carry the dialog hook while they live, tell the plug-in that owns them
// when they open and go, and free themselves once their window is gone.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "SkinFrame.h"
#include "outside/KnobKit.h"

namespace presence {

class PresencePlug;

// Private messages of the dialogs.
enum : UINT {
    PDM_WORK_ENDED = 0x1080,     // wParam 1 success, 0 failure
    PDM_ADDRESS_ENDED = 0x108D,
    PDM_INFO_ENDED = 0x108E,
    PDM_SAVE_ENDED = 0x108F,     // wParam 1 success, 0 failure
    PDM_CHOOSE_GROUP = 0x1093,
};

class PresenceDialog : public CSkinFrame {
public:
    // `plug` is null for the modal group chooser, which the answer dialog owns.
    PresenceDialog(PresencePlug* plug, UINT templateId,
                   unsigned long captionButtons = SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE);
    ~PresenceDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnNcDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;

    // Opens modeless over the desktop and shows it; false (and the object freed) when
    // no window could be made.
    bool Open();
    int RunModal(HWND parent);
    // Ends the dialog now: its threads are waited for (messages flowing), then the
    // window goes. The object is freed with it.
    void CloseNow();
    HWND Window() const { return m_hWnd; }
    // What the dialog is about, so that a second notice raises it instead of another.
    virtual int Kind() const { return 0; }
    virtual std::string PeerId() const { return std::string(); }

protected:
    // Waits for the dialog's threads; the window is about to go.
    virtual void EndThreads() {}
    virtual void OnNotify(WPARAM wParam, LPARAM lParam);

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    std::wstring ItemText(int id) const;
    void SetItemTextA(int id, const char* text);
    void EnableItems(std::initializer_list<int> ids, bool on);
    // An error box with the dialog caption of the settings.
    void ErrorBox(const wchar_t* text);
    // The window's small icon at the top-left corner of control `id`.
    void DrawSmallIcon(HDC dc, int id);
    // Waits for one of the dialog's threads, messages flowing, and closes its handle
    // (taken from *thread first, so a wait nested in this one finds nothing to wait for).
    // False when the window went meanwhile: as after RunNested, the object is freed.
    bool Join(HANDLE* thread);
    // Runs a nested modal loop (the group chooser). False when the window went meanwhile:
    // the object is freed then, and the caller must not touch it.
    bool RunNested(const std::function<void()>& modal);

    PresencePlug* plug_;
    UINT templateId_;
    bool closing_ = false;

private:
    bool hooked_ = false;
    int modalDepth_ = 0;
    bool freeAfterModal_ = false;
};

// Starts `run(dialog)` on a thread; null when it could not start.
HANDLE StartDialogThread(void (*run)(PresenceDialog* dialog), PresenceDialog* dialog);

}  // namespace presence
