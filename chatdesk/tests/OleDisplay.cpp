#include "OleDisplay.h"

#include "FileSendCtl.h"
#include "InPlaceFrame.h"
#include "OleCallback.h"

namespace cdtest {

namespace {

const wchar_t kFrameClass[] = L"ChatDeskOleDisplay";

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

OleDisplay::OleDisplay() { richEdit_ = LoadLibraryW(L"RICHED32.DLL"); }

OleDisplay::~OleDisplay() {
    Close();
    // The library stays: objects may outlive the window for a while.
}

bool OleDisplay::Open(int width, int height) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kFrameClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, WS_POPUP | WS_BORDER, FALSE);
    frame_ = CreateWindowExW(0, kFrameClass, L"聊天显示", WS_POPUP | WS_BORDER | WS_VISIBLE, 40, 40,
                             outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (!frame_) return false;
    edit_ = CreateWindowExW(0, L"RichEdit", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                                WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                            0, 0, width, height, frame_, reinterpret_cast<HMENU>(1000), GetModuleHandleW(nullptr),
                            nullptr);
    if (!edit_) return false;
    frame_object_ = vantor::ComPtr<IOleInPlaceFrame>(new chatdesk::InPlaceFrame(*this));
    callback_ = vantor::ComPtr<IRichEditOleCallback>(new chatdesk::RichEditOleCallback(*this, frame_object_.get()));
    SendMessageW(edit_, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(callback_.get()));
    SendMessageW(edit_, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(ole_.put()));
    if (ole_) ole_->SetHostNames("ChatDesk", "Record");
    return static_cast<bool>(ole_);
}

void OleDisplay::Close() {
    ole_ = vantor::ComPtr<IRichEditOle>();
    if (frame_) DestroyWindow(frame_);
    frame_ = edit_ = nullptr;
    callback_ = vantor::ComPtr<IRichEditOleCallback>();
    frame_object_ = vantor::ComPtr<IOleInPlaceFrame>();
}

void OleDisplay::AppendText(const std::wstring& text) {
    SendMessageW(edit_, EM_SETSEL, -1, -1);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

vantor::ComPtr<IOleObject> OleDisplay::InsertControl() {
    vantor::ComPtr<IOleObject> object;
    vantor::ComPtr<IOleClientSite> site;
    vantor::ComPtr<IStorage> storage;
    if (FAILED(ole_->GetClientSite(site.put())) || FAILED(chatdesk::MakeGlobalStorage(storage.put())))
        return object;
    if (FAILED(OleCreate(CLSID_FileSendCtl, IID_IOleObject, OLERENDER_DRAW, nullptr, site.get(), storage.get(),
                         object.put_void())))
        return object;
    OleSetContainedObject(object.get(), TRUE);
    SendMessageW(edit_, EM_SETSEL, -1, -1);
    REOBJECT entry = {};
    entry.cbStruct = sizeof entry;
    entry.clsid = CLSID_FileSendCtl;
    entry.cp = REO_CP_SELECTION;
    entry.dvaspect = DVASPECT_CONTENT;
    entry.poleobj = object.get();
    entry.polesite = site.get();
    entry.pstg = storage.get();
    entry.dwFlags = REO_BELOWBASELINE;
    if (FAILED(ole_->InsertObject(&entry))) return vantor::ComPtr<IOleObject>();
    return object;
}

LONG OleDisplay::LastObjectIndex() const { return ole_ ? ole_->GetObjectCount() - 1 : -1; }

}  // namespace cdtest
