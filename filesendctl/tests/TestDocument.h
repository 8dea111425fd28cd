// A small document window for the control tests: a RichEdit 1.0 with an OLE callback
// into which file-transfer controls are created by OleCreate, as a chat display does,
// and a sink that records the controls' events.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <richedit.h>
#include <richole.h>

#include <functional>
#include <string>
#include <vector>

#include "Handles.h"

namespace fsctest {

using vantor::ComPtr;

// One event as the sink saw it: its dispid and its texts in DISPPARAMS order.
struct SeenEvent {
    DISPID id;
    std::vector<std::wstring> args;  // args[0] is rgvarg[0]
    std::vector<VARTYPE> types;
};

class EventSink : public IDispatch {
public:
    EventSink() = default;
    virtual ~EventSink() = default;

    // Connects to the control's event point; false when it refused.
    bool Connect(IUnknown* control);
    void Disconnect();
    // Runs inside Invoke, after the event is recorded.
    std::function<void(DISPID)> onEvent;

    std::vector<SeenEvent> seen;
    LONG Refs() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    LONG refs_ = 1;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

class TestDocument {
public:
    TestDocument();
    ~TestDocument();
    TestDocument(const TestDocument&) = delete;
    TestDocument& operator=(const TestDocument&) = delete;

    // A visible top-level window of that client size with the RichEdit filling it.
    bool Open(int width, int height);
    // Destroys the window; the RichEdit closes and releases its objects.
    void Close();
    bool IsOpen() const { return frame_ != nullptr; }

    HWND Frame() const { return frame_; }
    HWND Edit() const { return edit_; }
    IRichEditOle* Ole() const { return ole_.get(); }

    void AppendText(const std::wstring& text);
    // Inserts an object made elsewhere, with the RichEdit's site, at the end of the text.
    bool InsertObject(IOleObject* object, REFCLSID clsid);
    // Creates a control into a fresh storage with the RichEdit's site and inserts it at
    // the end of the text; the object, or none.
    ComPtr<IOleObject> InsertControl();
    // Character position of the last inserted object.
    LONG LastObjectCp() const { return lastCp_; }
    // Activates the object in place over its place in the text, the way the chat window
    // does: DoVerb with the RichEdit's window and the object's pixel rectangle.
    HRESULT Activate(IOleObject* object, LONG cp, LONG verb = OLEIVERB_INPLACEACTIVATE);

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
    HMODULE richEdit_ = nullptr;
    ComPtr<IRichEditOle> ole_;
    LONG lastCp_ = 0;
};

// Calls a _DFileSendCtl method by dispid with the arguments in call order.
HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args = {}, VARIANT* result = nullptr);
// The same by name (resolved through GetIDsOfNames first).
HRESULT CallByName(IDispatch* control, const wchar_t* name, std::vector<VARIANT> args = {}, VARIANT* result = nullptr);
VARIANT Text(const wchar_t* text);  // VT_BSTR, owned by the caller (Call frees it)
VARIANT Number(double value);
bool BoolCall(IDispatch* control, DISPID id);
std::wstring TextCall(IDispatch* control, DISPID id);

// The control's own window while it is active in place, or null.
HWND ControlWindow(IUnknown* control);

}  // namespace fsctest
