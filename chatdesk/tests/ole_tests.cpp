// The RichEdit OLE pieces of the chat display under Wine's RichEdit 1.0: pictures, the
// in-place frame, the OLE callback, the control event sink and the activation of the
// file-transfer controls in the text.
#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "ControlEventSink.h"
#include "DisplayObjects.h"
#include "FileSendCtl.h"
#include "InPlaceFrame.h"
#include "OleCallback.h"
#include "OleDisplay.h"
#include "PictureData.h"
#include "Screenshot.h"
#include "TestSupport.h"

using namespace chatdesk;
using cdtest::OleDisplay;
using vantor::ComPtr;

namespace {

class OleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override {
        SetActiveInPlaceObject(nullptr);
        OleUninitialize();
    }
};
const auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

HBITMAP SolidBitmap(int width, int height, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

// An in-place active object that counts its references and frame activations.
class ActiveProbe : public IOleInPlaceActiveObject {
public:
    LONG refs = 1;
    int frameActivations = 0;
    int helpCalls = 0;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceActiveObject) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override {
        ++helpCalls;
        return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override {
        ++frameActivations;
        return S_OK;
    }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
};

// A control with one event point: it records advises and fires events at its sinks.
class EventControl : public IConnectionPointContainer, public IConnectionPoint {
public:
    LONG refs = 1;
    int advises = 0;
    int unadvises = 0;
    std::vector<IDispatch*> sinks;

    // Fires as a control does: a reference on the sink for the call.
    void Fire(DISPID id, const wchar_t* first = nullptr, const wchar_t* second = nullptr) {
        std::vector<IDispatch*> copy = sinks;
        for (IDispatch* sink : copy) {
            sink->AddRef();
            VARIANT args[2];
            VariantInit(&args[0]);
            VariantInit(&args[1]);
            DISPPARAMS params = {args, nullptr, 0, 0};
            if (first) {
                args[1].vt = VT_BSTR;
                args[1].bstrVal = SysAllocString(first);
                args[0].vt = VT_BSTR;
                args[0].bstrVal = SysAllocString(second);
                params.cArgs = 2;
            }
            sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
            VariantClear(&args[0]);
            VariantClear(&args[1]);
            sink->Release();
        }
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else if (riid == IID_IConnectionPoint)
            *out = static_cast<IConnectionPoint*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        *point = nullptr;
        if (riid != DIID__DFileSendCtlEvents) return CONNECT_E_NOCONNECTION;
        *point = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        *iid = DIID__DFileSendCtlEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** c) override {
        *c = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(DIID__DFileSendCtlEvents, reinterpret_cast<void**>(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        ++advises;
        sinks.push_back(dispatch);
        *cookie = static_cast<DWORD>(sinks.size());
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        if (cookie == 0 || cookie > sinks.size() || !sinks[cookie - 1]) return CONNECT_E_NOCONNECTION;
        ++unadvises;
        IDispatch* sink = sinks[cookie - 1];
        sinks.erase(sinks.begin() + (cookie - 1));
        sink->Release();
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

// Records the sink's messages.
struct SeenMessage {
    UINT message;
    LPARAM control;
    std::string savePath;
    std::string stamp;
};
std::vector<SeenMessage>* g_seen = nullptr;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER + 2005 && message <= WM_USER + 2010 && g_seen) {
        SeenMessage seen = {message, lParam, "", ""};
        if (message == kMsgRecvAccepted && wParam) {
            auto* texts = reinterpret_cast<const ControlAcceptTexts*>(wParam);
            seen.savePath = texts->savePath;
            seen.stamp = texts->stamp;
        }
        g_seen->push_back(seen);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeReceiver() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ReceiverProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ChatDeskSinkReceiver";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

HWND ControlWindow(IOleObject* object) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(object->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void()))) return nullptr;
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    return window;
}

RECT RectIn(HWND window, HWND parent) {
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

// Emoticons go into the display as static picture objects carrying their index as the
// user value; the picture must be drawn, and the user value read back.
TEST(RichEditPictures, StaticPictureIsDrawnAndKeepsItsUserValue) {
    OleDisplay display;
    ASSERT_TRUE(display.Open(300, 120));
    display.AppendText(L"看这个：");
    HBITMAP red = SolidBitmap(24, 24, RGB(255, 0, 0));
    HRESULT hr = InsertPicture(display.Ole(), red, 17);
    printf("InsertPicture: 0x%08lx\n", static_cast<unsigned long>(hr));
    ASSERT_EQ(S_OK, hr);
    display.AppendText(L" 好。");
    HBITMAP blue = SolidBitmap(24, 24, RGB(0, 0, 255));
    ASSERT_EQ(S_OK, InsertPicture(display.Ole(), blue, 4));
    DeleteObject(red);  // the object keeps its own copy
    DeleteObject(blue);
    ASSERT_EQ(2, display.Ole()->GetObjectCount());
    REOBJECT entry = {};
    entry.cbStruct = sizeof entry;
    ASSERT_EQ(S_OK, display.Ole()->GetObject(0, &entry, REO_GETOBJ_NO_INTERFACES));
    EXPECT_EQ(17u, entry.dwUser);
    EXPECT_EQ(4, entry.cp);
    ASSERT_EQ(S_OK, display.Ole()->GetObject(1, &entry, REO_GETOBJ_NO_INTERFACES));
    EXPECT_EQ(4u, entry.dwUser);
    InvalidateRect(display.Edit(), nullptr, TRUE);
    testkit::PumpFor(300);
    testkit::Capture picture = testkit::CaptureWindow(display.Edit());
    EXPECT_TRUE(picture.Holds(RGB(255, 0, 0)));
    EXPECT_TRUE(picture.Holds(RGB(0, 0, 255)));
}

TEST(RichEditPictures, DataObjectHandsOutCopiesOfWhatItHolds) {
    auto* data = new PictureDataObject;
    ComPtr<IDataObject> object(data);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IUnknown, unknown.put_void()));
    ComPtr<IOleObject> none;
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IOleObject, none.put_void()));

    FORMATETC format = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    STGMEDIUM out = {};
    EXPECT_EQ(E_HANDLE, object->GetData(&format, &out));  // nothing stored yet

    STGMEDIUM medium = {};
    medium.tymed = TYMED_GDI;
    medium.hBitmap = SolidBitmap(8, 8, RGB(0, 255, 0));
    ASSERT_EQ(S_OK, object->SetData(&format, &medium, TRUE));
    ASSERT_EQ(S_OK, object->GetData(&format, &out));
    EXPECT_EQ(static_cast<DWORD>(TYMED_GDI), out.tymed);
    EXPECT_NE(medium.hBitmap, out.hBitmap);
    EXPECT_EQ(nullptr, out.pUnkForRelease);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectW(out.hBitmap, sizeof info, &info));
    EXPECT_EQ(8, info.bmWidth);
    ReleaseStgMedium(&out);

    // Global memory goes out as global memory.
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
    memcpy(GlobalLock(memory), "link window 0001", 16);
    GlobalUnlock(memory);
    FORMATETC linkFormat = {HyperLinkFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM global = {};
    global.tymed = TYMED_HGLOBAL;
    global.hGlobal = memory;
    ASSERT_EQ(S_OK, object->SetData(&linkFormat, &global, TRUE));
    ASSERT_EQ(S_OK, object->GetData(&linkFormat, &out));
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), out.tymed);
    ASSERT_NE(memory, out.hGlobal);
    EXPECT_EQ(0, memcmp(GlobalLock(out.hGlobal), "link window 0001", 16));
    GlobalUnlock(out.hGlobal);
    ReleaseStgMedium(&out);
    EXPECT_NE(0, HyperLinkFormat());
    EXPECT_EQ(HyperLinkFormat(), RegisterClipboardFormatW(L"RichEdit.HyperLink.Window.Format"));

    // Any other kind of medium.
    STGMEDIUM file = {};
    file.tymed = TYMED_FILE;
    file.lpszFileName = nullptr;
    object->SetData(&format, &file, TRUE);
    EXPECT_EQ(E_HANDLE, object->GetData(&format, &out));
    EXPECT_EQ(E_NOTIMPL, object->QueryGetData(&format));
    EXPECT_EQ(E_NOTIMPL, object->EnumFormatEtc(DATADIR_GET, nullptr));
}

TEST(RichEditOle, InPlaceFrameAnswersAsTheWindowsFrame) {
    OleDisplay display;
    ASSERT_TRUE(display.Open(200, 100));
    IOleInPlaceFrame* frame = display.InPlace();
    for (REFIID iid : {IID_IUnknown, IID_IOleWindow, IID_IOleInPlaceUIWindow, IID_IOleInPlaceFrame}) {
        ComPtr<IUnknown> got;
        EXPECT_EQ(S_OK, frame->QueryInterface(iid, got.put_void()));
    }
    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, frame->QueryInterface(IID_IOleInPlaceSite, other.put_void()));

    HWND window = nullptr;
    EXPECT_EQ(S_OK, frame->GetWindow(&window));
    EXPECT_EQ(display.Frame(), window);
    EXPECT_EQ(E_INVALIDARG, frame->GetBorder(nullptr));
    RECT border = {};
    EXPECT_EQ(S_OK, frame->GetBorder(&border));
    EXPECT_EQ(200, border.right);
    EXPECT_EQ(S_OK, frame->RequestBorderSpace(nullptr));
    EXPECT_EQ(E_NOTIMPL, frame->SetBorderSpace(nullptr));
    EXPECT_EQ(E_NOTIMPL, frame->InsertMenus(nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, frame->SetMenu(nullptr, nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, frame->SetStatusText(L"x"));
    EXPECT_EQ(S_OK, frame->EnableModeless(TRUE));

    EXPECT_EQ(E_INVALIDARG, frame->RemoveMenus(nullptr));
    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 1, L"一");
    AppendMenuW(menu, MF_STRING, 2, L"二");
    AppendMenuW(menu, MF_STRING, 3, L"三");
    EXPECT_EQ(S_OK, frame->RemoveMenus(menu));
    EXPECT_EQ(0, GetMenuItemCount(menu));
    DestroyMenu(menu);

    EXPECT_EQ(E_INVALIDARG, frame->TranslateAccelerator(nullptr, 0));
    MSG key = {display.Frame(), WM_KEYDOWN, 'S', 0};
    EXPECT_EQ(S_FALSE, frame->TranslateAccelerator(&key, 0));  // no table
    ACCEL accel = {FVIRTKEY, 'S', 1003};
    display.accelerators_ = CreateAcceleratorTableW(&accel, 1);
    EXPECT_EQ(S_OK, frame->TranslateAccelerator(&key, 0));
    MSG otherKey = {display.Frame(), WM_KEYDOWN, 'Q', 0};
    EXPECT_EQ(S_FALSE, frame->TranslateAccelerator(&otherKey, 0));
    DestroyAcceleratorTable(display.accelerators_);
    display.accelerators_ = nullptr;

    // Help mode reaches the active object only when it changes.
    ActiveProbe probe;
    ASSERT_EQ(S_OK, frame->SetActiveObject(&probe, L"probe"));
    EXPECT_EQ(S_OK, frame->ContextSensitiveHelp(FALSE));
    EXPECT_EQ(0, probe.helpCalls);
    EXPECT_EQ(S_OK, frame->ContextSensitiveHelp(TRUE));
    EXPECT_EQ(1, probe.helpCalls);
    EXPECT_EQ(S_OK, frame->SetActiveObject(nullptr, nullptr));
    EXPECT_EQ(1, probe.refs);
}

TEST(RichEditOle, TheActiveSlotIsSharedByAllWindows) {
    OleDisplay first, second;
    ASSERT_TRUE(first.Open(200, 100));
    ASSERT_TRUE(second.Open(200, 100));
    ActiveProbe a, b;
    ASSERT_EQ(S_OK, first.InPlace()->SetActiveObject(&a, L"a"));
    EXPECT_EQ(2, a.refs);
    EXPECT_EQ(1, a.frameActivations);
    EXPECT_EQ(&a, ActiveInPlaceObject());
    // The same object again changes nothing.
    ASSERT_EQ(S_OK, second.InPlace()->SetActiveObject(&a, L"a"));
    EXPECT_EQ(2, a.refs);
    EXPECT_EQ(1, a.frameActivations);
    // Another window's activation releases the first object.
    ASSERT_EQ(S_OK, second.InPlace()->SetActiveObject(&b, L"b"));
    EXPECT_EQ(1, a.refs);
    EXPECT_EQ(2, b.refs);
    EXPECT_EQ(&b, ActiveInPlaceObject());
    ASSERT_EQ(S_OK, first.InPlace()->SetActiveObject(nullptr, nullptr));
    EXPECT_EQ(1, b.refs);
    EXPECT_EQ(nullptr, ActiveInPlaceObject());
}

TEST(RichEditOle, CallbackGivesStoragesAndTheInPlaceContext) {
    OleDisplay display;
    ASSERT_TRUE(display.Open(200, 100));
    IRichEditOleCallback* callback = display.Callback();
    ComPtr<IUnknown> got;
    EXPECT_EQ(S_OK, callback->QueryInterface(IID_IRichEditOleCallback, got.put_void()));
    EXPECT_EQ(E_NOINTERFACE, callback->QueryInterface(IID_IOleInPlaceFrame, got.put_void()));

    int before = display.storagesMade;
    ComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, callback->GetNewStorage(storage.put()));
    EXPECT_TRUE(storage);
    EXPECT_EQ(before + 1, display.storagesMade);
    EXPECT_EQ(E_INVALIDARG, MakeGlobalStorage(nullptr));

    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    OLEINPLACEFRAMEINFO info = {sizeof info};
    EXPECT_EQ(E_INVALIDARG, callback->GetInPlaceContext(nullptr, &document, &info));
    EXPECT_EQ(E_INVALIDARG, callback->GetInPlaceContext(&frame, nullptr, &info));
    EXPECT_EQ(E_INVALIDARG, callback->GetInPlaceContext(&frame, &document, nullptr));
    ACCEL accel = {FVIRTKEY, 'S', 1003};
    display.accelerators_ = CreateAcceleratorTableW(&accel, 1);
    ULONG held = display.InPlace()->AddRef() - 1;
    display.InPlace()->Release();
    ASSERT_EQ(S_OK, callback->GetInPlaceContext(&frame, &document, &info));
    EXPECT_EQ(display.InPlace(), frame);
    EXPECT_EQ(static_cast<IOleInPlaceUIWindow*>(display.InPlace()), document);
    EXPECT_FALSE(info.fMDIApp);
    EXPECT_EQ(display.Frame(), info.hwndFrame);
    EXPECT_EQ(display.accelerators_, info.haccel);
    EXPECT_EQ(1u, info.cAccelEntries);
    // One reference for each handed-out pointer.
    EXPECT_EQ(held + 3, frame->AddRef());
    frame->Release();
    frame->Release();
    document->Release();
    DestroyAcceleratorTable(display.accelerators_);
    display.accelerators_ = nullptr;

    EXPECT_EQ(S_OK, callback->ShowContainerUI(TRUE));
    EXPECT_EQ(S_OK, callback->QueryInsertObject(nullptr, nullptr, 0));
    EXPECT_EQ(S_OK, callback->DeleteObject(nullptr));
    EXPECT_EQ(S_OK, callback->QueryAcceptData(nullptr, nullptr, 0, FALSE, nullptr));
    EXPECT_EQ(S_OK, callback->GetContextMenu(0, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, callback->ContextSensitiveHelp(TRUE));
    EXPECT_EQ(E_NOTIMPL, callback->GetDragDropEffect(FALSE, 0, nullptr));
    IDataObject* data = reinterpret_cast<IDataObject*>(1);
    EXPECT_EQ(E_NOTIMPL, callback->GetClipboardData(nullptr, 0, &data));
    EXPECT_EQ(nullptr, data);
}

TEST(RichEditOle, SinkMapsEventsAndLeavesAfterRejectAndCancels) {
    std::vector<SeenMessage> seen;
    g_seen = &seen;
    HWND receiver = MakeReceiver();
    ASSERT_NE(nullptr, receiver);

    // Accept stays connected: the cancel of the same transfer still arrives.
    EventControl control;
    ControlEventSink* sink = ControlEventSink::Connect(receiver, static_cast<IConnectionPointContainer*>(&control));
    ASSERT_NE(nullptr, sink);
    EXPECT_EQ(1, control.advises);
    EXPECT_EQ(2, control.refs);  // the sink holds the control
    ComPtr<IUnknown> dispatch;
    EXPECT_EQ(S_OK, sink->QueryInterface(DIID__DFileSendCtlEvents, dispatch.put_void()));
    dispatch = ComPtr<IUnknown>();
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"OnRecvTransferAccept");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
    EXPECT_EQ(E_NOTIMPL, sink->GetTypeInfoCount(nullptr));

    control.Fire(DISPID_FSC_ON_RECV_TRANSFER_ACCEPT, L"C:\\下载\\报告.doc", L"20260101120000123456");
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(kMsgRecvAccepted, seen[0].message);
    EXPECT_EQ(reinterpret_cast<LPARAM>(static_cast<IConnectionPointContainer*>(&control)), seen[0].control);
    EXPECT_EQ("C:\\\xcf\xc2\xd4\xd8\\\xb1\xa8\xb8\xe6.doc", seen[0].savePath);
    EXPECT_EQ("20260101120000123456", seen[0].stamp);
    EXPECT_EQ(0, control.unadvises);
    control.Fire(DISPID_FSC_ON_RECV_TRANSFER_CANCELED);
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(kMsgRecvCancelled, seen[1].message);
    EXPECT_EQ(1, control.unadvises);
    EXPECT_TRUE(control.sinks.empty());
    EXPECT_EQ(1, control.refs);  // the sink is gone and let the control go
    control.Fire(DISPID_FSC_ON_RECV_TRANSFER_CANCELED);
    EXPECT_EQ(2u, seen.size());

    // Sender's cancel, reject and unknown events each end the connection.
    const std::pair<DISPID, UINT> ending[] = {{DISPID_FSC_ON_SEND_TRANSFER_CANCELED, kMsgSendCancelled},
                                              {DISPID_FSC_ON_RECV_TRANSFER_REJECT, kMsgRecvRejected},
                                              {77, 0}};
    for (const auto& event : ending) {
        EventControl other;
        seen.clear();
        ASSERT_NE(nullptr, ControlEventSink::Connect(receiver, static_cast<IConnectionPointContainer*>(&other)));
        other.Fire(event.first);
        if (event.second) {
            ASSERT_EQ(1u, seen.size()) << event.first;
            EXPECT_EQ(event.second, seen[0].message);
        } else {
            EXPECT_TRUE(seen.empty());
        }
        EXPECT_EQ(1, other.unadvises) << event.first;
        EXPECT_EQ(1, other.refs) << event.first;
        other.Fire(event.first);
        EXPECT_EQ(event.second ? 1u : 0u, seen.size());
    }

    // A control without the event point gets no sink.
    ActiveProbe noEvents;
    EXPECT_EQ(nullptr, ControlEventSink::Connect(receiver, &noEvents));
    DestroyWindow(receiver);
    g_seen = nullptr;
}

// Under Wine the RichEdit gives no in-place context: the control becomes a child of the
// display where its object stands, and must stay there when the text scrolls.
TEST(RichEditOle, ControlInTheDisplayIsActivatedAndFollowsScrolling) {
    OleDisplay display;
    ASSERT_TRUE(display.Open(420, 200));
    display.AppendText(L"<小王> 发送文件：\r\n");
    ComPtr<IOleObject> control = display.InsertControl();
    ASSERT_TRUE(control);
    display.AppendText(L"\r\n");
    LONG index = display.LastObjectIndex();
    RECT rect;
    ASSERT_TRUE(ObjectRect(display.Edit(), display.Ole(), index, &rect));
    EXPECT_EQ(227, rect.right - rect.left);
    EXPECT_EQ(64, rect.bottom - rect.top);

    // Away from the object nothing happens; over it the control comes alive.
    EXPECT_FALSE(ActivateControlAt(display.Edit(), display.Ole(), {rect.right + 100, rect.bottom + 60}));
    EXPECT_EQ(nullptr, ControlWindow(control.get()));
    POINT over = {rect.left + 20, rect.top + 20};
    ASSERT_TRUE(ActivateControlAt(display.Edit(), display.Ole(), over));
    HWND window = ControlWindow(control.get());
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(display.Edit(), GetParent(window));
    RECT placed = RectIn(window, display.Edit());
    EXPECT_EQ(rect.left, placed.left);
    EXPECT_EQ(rect.top, placed.top);
    testkit::PumpFor(200);
    printf("control at %ld,%ld\n", placed.left, placed.top);

    // Text added below pushes the object up once the display scrolls.
    for (int i = 0; i < 20; ++i) display.AppendText(L"一行又一行的聊天内容\r\n");
    SendMessageW(display.Edit(), EM_SCROLLCARET, 0, 0);
    testkit::PumpFor(100);
    RECT moved;
    ASSERT_TRUE(ObjectRect(display.Edit(), display.Ole(), index, &moved));
    EXPECT_LT(moved.top, rect.top);
    KeepControlsOnObjects(display.Edit(), display.Ole());
    placed = RectIn(window, display.Edit());
    EXPECT_EQ(moved.left, placed.left);
    EXPECT_EQ(moved.top, placed.top);

    // Back to the top.
    SendMessageW(display.Edit(), WM_VSCROLL, SB_TOP, 0);
    testkit::PumpFor(100);
    KeepControlsOnObjects(display.Edit(), display.Ole());
    placed = RectIn(window, display.Edit());
    EXPECT_EQ(rect.top, placed.top);
    control->Close(OLECLOSE_NOSAVE);
}
