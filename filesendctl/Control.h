// FileSendCtl: one file transfer shown inside a document. The host drives it through
// _DFileSendCtl and hears the user's answers through _DFileSendCtlEvents.
//
// Methods may come from any thread (the host's transfer threads report progress): the
// state sits under a lock, and every redraw or view-change notice is posted to a
// message-only window of the thread that made the control.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "ControlPaint.h"
#include "DebugOut.h"
#include "EventPoint.h"
#include "Handles.h"
#include "Sync.h"
#include "TransferState.h"

namespace filesend {

class FileSendControl final : public IDispatch,
                        public IOleObject,
                        public IOleInPlaceObject,
                        public IOleInPlaceActiveObject,
                        public IOleControl,
                        public IViewObject2,
                        public IDataObject,
                        public IPersistStorage,
                        public IProvideClassInfo2,
                        public IConnectionPointContainer,
                        public ISpecifyPropertyPages {
public:
    static HRESULT Create(REFIID riid, void** out);

    // Window classes of the library; registered on load, removed on unload.
    static void RegisterClasses();
    static void UnregisterClasses();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT posRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow (through both in-place interfaces)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                      HDC drawDc, LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                      ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                             LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advise) override;

    // IPersistStorage: nothing to keep, but OLE creation into a storage needs it.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;

private:
    FileSendControl();
    ~FileSendControl();

    // _DFileSendCtl, as the dispatch table calls them.
    void SetFile(bool sending, const std::wstring& who, const std::wstring& file, const std::wstring& size,
                 const std::wstring* dateTime);
    void CancelTransmitFile();
    void RejectTransmitFile();
    std::wstring GetTransmitFileName();
    bool IsTransmitFile(const wchar_t* dateTime);
    void SetTransmitProgress(double percent);
    void TransmitComplete();
    bool IsInTransfering();
    bool IsSendWaiting();
    void TransmitFailed();
    bool IsRequestWaiting();

    // Redraws from any thread: posted to the notifier window, coalesced.
    enum Redraw { kRedrawAll = 1, kRedrawProgress = 2 };
    void RequestRedraw(Redraw what);
    void PacedRedraw(HWND notifier);
    void FlushRedraw();
    // Writes the progress lines gathered so far.
    void WriteProgressLines();
    void OnRedraw(int what);
    void NotifyViewChange();

    // In-place activation; the hints are DoVerb's parent window and rectangle, used when
    // the site gives no window context.
    HRESULT ActivateInPlace(bool uiActivate, HWND parentHint, LPCRECT posHint);
    bool CreateControlWindow(HWND parent, const RECT& pos);

    // The control's window.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK NotifierProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnButtonDown(POINT point);
    void OnButtonUp(POINT point);
    bool OnSetCursor();
    void RunClick(int link);
    bool AskSavePath(std::wstring* path);
    void OnHostGone();
    bool HostLetGo() const;

    RECT PaintInto(HDC dc, const RECT& bounds);
    HBITMAP RenderBitmap();
    HENHMETAFILE RenderMetafile();
    ITypeInfo* TypeInfoOf(REFGUID guid);

    LONG refs_ = 1;
    vantor::CriticalSection lock_;  // guards state_, fileIcon_, firstLink_, pendingRedraw_, progressLines_
    TransferState state_;
    HICON fileIcon_ = nullptr;
    RECT firstLink_ = {0, 0, 0, 0};
    int pendingRedraw_ = 0;
    // The progress lines for the debugger, written in batches: a transfer gives one a block.
    vantor::DebugBatch progressLines_;  // under lock_
    DWORD lastRedraw_ = 0;     // notifier thread: when the last redraw was made
    bool redrawTimer_ = false;  // notifier thread: a paced redraw waits on the timer

    vantor::UniqueGdi<HFONT> textFont_;
    vantor::UniqueGdi<HFONT> linkFont_;
    HICON ownIcon_ = nullptr;

    DWORD ownerThread_;
    HWND notifier_ = nullptr;
    HWND window_ = nullptr;
    int pressedLink_ = -1;
    bool activating_ = false;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    bool closed_ = false;

    IOleClientSite* clientSite_ = nullptr;
    IOleInPlaceSite* inPlaceSite_ = nullptr;
    IOleInPlaceFrame* frame_ = nullptr;
    IOleInPlaceUIWindow* document_ = nullptr;
    IOleAdviseHolder* oleAdvise_ = nullptr;
    IDataAdviseHolder* dataAdvise_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;

    ITypeLib* typeLib_ = nullptr;
    vantor::EventPoint events_;
};

}  // namespace filesend
