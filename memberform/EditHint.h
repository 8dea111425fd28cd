// A grey hint painted in an empty edit ("请输入姓名") until the pointer rests on it.
#pragma once

#include <windows.h>

#include <string>

namespace memberform {

class EditHint {
public:
    EditHint() = default;
    ~EditHint();
    EditHint(const EditHint&) = delete;
    EditHint& operator=(const EditHint&) = delete;

    void Attach(HWND edit, const std::wstring& hint);
    // Gives the edit its own procedure back (also done when the edit is destroyed).
    void Detach();

private:
    static LRESULT CALLBACK HintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool PaintHint();

    HWND edit_ = nullptr;
    std::wstring hint_;
    WNDPROC previous_ = nullptr;
    bool hovered_ = false;
    bool tracking_ = false;
};

}  // namespace memberform
