// What the native tab panes share: TabPlug_Move and TabPlug_Show on the pane's window,
// and dialogs linked to their object through the window property "this".
#pragma once

#include <windows.h>

namespace vantor {

// Moves the window to the rectangle (parent coordinates) with repaint; 0 without a window.
int MovePaneWindow(HWND window, int left, int top, int right, int bottom);
// Shows (nonzero) or hides the window; 1, or 0 without a window.
int ShowPaneWindow(HWND window, int show);

// A modeless dialog whose messages go to `T::Handle(message, wParam, lParam)`, found
// through the property "this" set at WM_INITDIALOG, when `T::OnLinked(window)` runs
// first. T befriends LinkedDialog<T> and calls Unlink when its window goes.
template <typename T>
class LinkedDialog {
public:
    static HWND Create(HINSTANCE module, UINT templateId, HWND parent, T* object) {
        return CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), parent, &Proc, reinterpret_cast<LPARAM>(object));
    }
    static void Unlink(HWND window) { RemovePropW(window, L"this"); }

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            T* object = reinterpret_cast<T*>(lParam);
            SetPropW(window, L"this", object);
            object->OnLinked(window);
        }
        T* self = static_cast<T*>(GetPropW(window, L"this"));
        return self ? self->Handle(message, wParam, lParam) : FALSE;
    }
};

}  // namespace vantor
