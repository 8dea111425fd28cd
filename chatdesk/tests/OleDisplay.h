// A chat display for the OLE tests: a top-level window with a RichEdit 1.0 that has the
// chat window's OLE callback and in-place frame, as the chat window sets them up.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <richedit.h>
#include <richole.h>

#include <string>

#include "Handles.h"
#include "OleHost.h"

namespace cdtest {

class OleDisplay : public chatdesk::OleHost {
public:
    OleDisplay();
    ~OleDisplay() override;

    bool Open(int width, int height);
    void Close();

    HWND Frame() const { return frame_; }
    HWND Edit() const { return edit_; }
    IRichEditOle* Ole() const { return ole_.get(); }
    IOleInPlaceFrame* InPlace() const { return frame_object_.get(); }
    IRichEditOleCallback* Callback() const { return callback_.get(); }

    void AppendText(const std::wstring& text);
    // A file-transfer control made into a fresh storage and put at the end of the text.
    vantor::ComPtr<IOleObject> InsertControl();
    LONG LastObjectIndex() const;

    // OleHost
    HWND HostWindow() const override { return frame_; }
    HACCEL Accelerators() const override { return accelerators_; }
    UINT AcceleratorCount() const override { return accelerators_ ? 1 : 0; }
    HRESULT NewStorage(IStorage** storage) override {
        ++storagesMade;
        return chatdesk::MakeGlobalStorage(storage);
    }

    int storagesMade = 0;
    HACCEL accelerators_ = nullptr;

private:
    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
    HMODULE richEdit_ = nullptr;
    vantor::ComPtr<IRichEditOle> ole_;
    vantor::ComPtr<IOleInPlaceFrame> frame_object_;
    vantor::ComPtr<IRichEditOleCallback> callback_;
};

}  // namespace cdtest
