// The registered control created through COM: its registration and type library, its
// dispatch interface by name and by dispid, its pictures, in-place activation in a
// RichEdit 1.0 document, clicks on its links with the events they fire, and calls from
// a worker thread while the document paints.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <thread>

#include "DebugLines.h"
#include "Dib.h"
#include "FileSendCtl.h"
#include "Screenshot.h"
#include "ProbeObject.h"
#include "TestDocument.h"
#include "TestSupport.h"

using namespace fsctest;

namespace {

const wchar_t kStamp[] = L"2026-12-09 10:11:12";

class OleRun : public ::testing::Environment {
public:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};
const auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleRun);

ComPtr<IDispatch> NewControl() {
    ComPtr<IDispatch> control;
    CoCreateInstance(CLSID_FileSendCtl, nullptr, CLSCTX_INPROC_SERVER, DIID__DFileSendCtl, control.put_void());
    return control;
}

ComPtr<IDispatch> DispatchOf(IUnknown* object) {
    ComPtr<IDispatch> control;
    if (object) object->QueryInterface(DIID__DFileSendCtl, control.put_void());
    return control;
}

void Offer(IDispatch* control, bool sending, const wchar_t* file = L"C:\\文档\\季度报告.doc") {
    DISPID id = sending ? DISPID_FSC_SET_TRANS_FILE : DISPID_FSC_SET_ACCEPT_FILE;
    ASSERT_EQ(S_OK, Call(control, id, {Text(L"小王"), Text(file), Text(L"12.50KB"), Text(kStamp)}));
}

// Where the control's first and second links sit (the labels are two characters wide).
POINT FirstLink() { return {6, 55}; }
POINT SecondLink() { return {44, 55}; }

void Click(HWND window, POINT at) {
    LPARAM where = MAKELPARAM(at.x, at.y);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(window, WM_LBUTTONUP, 0, where);
}

// The cursor the control sets with the pointer at that point of its window.
HCURSOR CursorOver(HWND window, POINT at) {
    ClientToScreen(window, &at);
    SetCursorPos(at.x, at.y);
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
}

std::wstring ReadKey(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t value[512] = {};
    DWORD bytes = sizeof(value);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) return L"<none>";
    return value;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Size and a few pixels of a bitmap handed out by GetData.
struct Picture {
    int width = 0, height = 0;
    testkit::Capture pixels;
};
Picture ReadBitmap(HBITMAP bitmap) {
    Picture p;
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    HDC screen = GetDC(nullptr);
    BITMAPINFO bi = vantor::TopDownDibInfo(p.width, p.height);
    std::vector<DWORD> bits(static_cast<size_t>(p.width) * p.height);
    GetDIBits(screen, bitmap, 0, p.height, bits.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    p.pixels.width = p.width;
    p.pixels.height = p.height;
    for (DWORD b : bits) p.pixels.pixels.push_back(RGB((b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF));
    return p;
}

Picture PictureOf(IUnknown* control) {
    ComPtr<IDataObject> data;
    control->QueryInterface(IID_IDataObject, data.put_void());
    FORMATETC format = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    STGMEDIUM medium = {};
    Picture p;
    if (!data || FAILED(data->GetData(&format, &medium))) return p;
    p = ReadBitmap(medium.hBitmap);
    ReleaseStgMedium(&medium);
    return p;
}

const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const RECT kLinkRow = {0, 49, 227, 64};

// Runs `script` on a helper thread once a file dialog of this thread shows; the test
// thread stays in the control's click meanwhile.
class DialogDriver {
public:
    template <typename Script>
    explicit DialogDriver(Script script) : ui_(GetCurrentThreadId()) {
        thread_ = std::thread([this, script] {
            HWND dialog = nullptr;
            for (int i = 0; i < 500 && !dialog; ++i) {
                Sleep(20);
                dialog = FindDialog();
            }
            if (dialog) {
                Sleep(200);
                script(dialog);
            }
            found_ = dialog != nullptr;
        });
    }
    ~DialogDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Found() {
        Join();
        return found_;
    }

    static HWND NameEdit(HWND dialog) {
        HWND edit = GetDlgItem(dialog, 0x480);  // edt1
        if (!edit) edit = GetDlgItem(dialog, 0x47c);  // cmb13
        return edit;
    }
    static std::wstring ProposedName(HWND dialog) {
        wchar_t text[MAX_PATH] = {};
        GetWindowTextW(NameEdit(dialog), text, MAX_PATH);
        return text;
    }
    static void Confirm(HWND dialog, const std::wstring& path) {
        SetWindowTextW(NameEdit(dialog), path.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    static void Cancel(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }

private:
    HWND FindDialog() {
        HWND found = nullptr;
        EnumThreadWindows(ui_, TakeDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static BOOL CALLBACK TakeDialog(HWND window, LPARAM out) {
        wchar_t cls[32] = {};
        GetClassNameW(window, cls, 32);
        if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        }
        return TRUE;
    }

    DWORD ui_;
    std::thread thread_;
    std::atomic<bool> found_{false};
};

// Clicks "同意" and confirms the save dialog with that path; false when no dialog showed.
bool AcceptWith(HWND window, const std::wstring& path) {
    DialogDriver driver([&](HWND dialog) { DialogDriver::Confirm(dialog, path); });
    Click(window, FirstLink());
    return driver.Found();
}

// A document with one active control in it.
struct ActiveControl {
    TestDocument document;
    ComPtr<IOleObject> object;
    ComPtr<IDispatch> control;
    HWND window = nullptr;

    bool Make(bool sending, const wchar_t* file = L"C:\\文档\\季度报告.doc") {
        if (!document.Open(480, 160)) return false;
        document.AppendText(L"<小王> 发送：\r\n");
        object = document.InsertControl();
        control = DispatchOf(object.get());
        if (!control) return false;
        Offer(control.get(), sending, file);
        if (FAILED(document.Activate(object.get(), document.LastObjectCp()))) return false;
        window = ControlWindow(object.get());
        testkit::PumpFor(100);
        return window != nullptr;
    }
};

}  // namespace

TEST(FileSendCtlRegistration, ProgIdsClassAndTypeLibraryAreRegistered) {
    CLSID clsid = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"" FILESENDCTL_PROGID, &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_FileSendCtl, clsid));
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"" FILESENDCTL_PAGE_PROGID, &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_FileSendCtlPropPage, clsid));

    std::wstring key = L"CLSID\\" + GuidText(CLSID_FileSendCtl);
    EXPECT_EQ(L"Apartment", ReadKey(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_NE(std::wstring::npos, ReadKey(HKEY_CLASSES_ROOT, key + L"\\InprocServer32").find(L"FileSendCtl.dll"));
    EXPECT_EQ(L"131473", ReadKey(HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1"));
    EXPECT_EQ(GuidText(LIBID_FILESENDCTLLib), ReadKey(HKEY_CLASSES_ROOT, key + L"\\TypeLib"));

    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_FILESENDCTLLib, 1, 0, 0, lib.put()));
    struct Expect { const IID* iid; UINT functions; };
    for (Expect e : {Expect{&DIID__DFileSendCtl, 12}, Expect{&DIID__DFileSendCtlEvents, 4}}) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(*e.iid, info.put()));
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
        EXPECT_EQ(e.functions, attr->cFuncs);
        info->ReleaseTypeAttr(attr);
    }
    // Names the type library gives match the control's own dispids.
    ComPtr<ITypeInfo> methods;
    lib->GetTypeInfoOfGuid(DIID__DFileSendCtl, methods.put());
    LPOLESTR name = const_cast<LPOLESTR>(L"IsRequestWaiting");
    MEMBERID id = 0;
    ASSERT_EQ(S_OK, methods->GetIDsOfNames(&name, 1, &id));
    EXPECT_EQ(DISPID_FSC_IS_REQUEST_WAITING, id);
}

TEST(FileSendCtlModule, CannotUnloadWhileAControlLives) {
    HMODULE module = LoadLibraryW((testkit::ProgramDir() + L"FileSendCtl.dll").c_str());
    ASSERT_NE(nullptr, module);
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_NE(nullptr, canUnload);
    EXPECT_EQ(S_OK, canUnload());
    {
        ComPtr<IDispatch> control = NewControl();
        ASSERT_TRUE(control);
        EXPECT_EQ(S_FALSE, canUnload());
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, CoGetClassObject(CLSID_FileSendCtl, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                         factory.put_void()));
        ComPtr<IUnknown> outer;
        IUnknown* aggregated = nullptr;
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  factory->CreateInstance(control.get(), IID_IUnknown, reinterpret_cast<void**>(&aggregated)));
    }
    EXPECT_EQ(S_OK, canUnload());
    FreeLibrary(module);
}

TEST(FileSendCtlDispatch, SenderRoadByNameWithoutRegardToCase) {
    ComPtr<IDispatch> c = NewControl();
    ASSERT_TRUE(c);
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_SEND_WAITING));
    ASSERT_EQ(S_OK, CallByName(c.get(), L"settransfile",
                               {Text(L"小王"), Text(L"C:\\文档\\报告.doc"), Text(L"1.00KB"), Text(kStamp)}));
    EXPECT_EQ(L"C:\\文档\\报告.doc", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    VARIANT found;
    VariantInit(&found);
    ASSERT_EQ(S_OK, CallByName(c.get(), L"IsTransmitFile", {Text(kStamp)}, &found));
    EXPECT_EQ(VT_BOOL, found.vt);
    EXPECT_EQ(VARIANT_TRUE, found.boolVal);
    ASSERT_EQ(S_OK, CallByName(c.get(), L"ISTRANSMITFILE", {Text(L"C:\\文档\\报告.doc")}, &found));
    EXPECT_EQ(VARIANT_FALSE, found.boolVal);

    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_SEND_WAITING));
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_REQUEST_WAITING));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_IN_TRANSFERING));
    ASSERT_EQ(S_OK, CallByName(c.get(), L"SetTransmitProgress", {Number(37.5)}));
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_IN_TRANSFERING));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_SEND_WAITING));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_REQUEST_WAITING));
    ASSERT_EQ(S_OK, CallByName(c.get(), L"TransmitComplete"));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_IN_TRANSFERING));
    EXPECT_EQ(L"", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    // Ended: a cancel changes nothing, the stamp still finds it.
    ASSERT_EQ(S_OK, CallByName(c.get(), L"CancelTransmitFile"));
    EXPECT_EQ(L"", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));
    ASSERT_EQ(S_OK, Call(c.get(), DISPID_FSC_IS_TRANSMIT_FILE, {Text(kStamp)}, &found));
    EXPECT_EQ(VARIANT_TRUE, found.boolVal);
}

TEST(FileSendCtlDispatch, ReceiverRoadAndEndsByDispid) {
    ComPtr<IDispatch> c = NewControl();
    ASSERT_TRUE(c);
    Offer(c.get(), false);
    // Progress during the open offer is kept, the offer stays open.
    ASSERT_EQ(S_OK, Call(c.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(10)}));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_IN_TRANSFERING));
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_REQUEST_WAITING));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_SEND_WAITING));
    // The peer's refusal only ends a sender's offer; a host cancel ends this one.
    ASSERT_EQ(S_OK, Call(c.get(), DISPID_FSC_REJECT_TRANSMIT_FILE));
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_REQUEST_WAITING));
    ASSERT_EQ(S_OK, Call(c.get(), DISPID_FSC_CANCEL_TRANSMIT_FILE));
    EXPECT_FALSE(BoolCall(c.get(), DISPID_FSC_IS_REQUEST_WAITING));
    EXPECT_EQ(L"", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    ComPtr<IDispatch> refused = NewControl();
    Offer(refused.get(), true);
    ASSERT_EQ(S_OK, Call(refused.get(), DISPID_FSC_REJECT_TRANSMIT_FILE));
    EXPECT_FALSE(BoolCall(refused.get(), DISPID_FSC_IS_SEND_WAITING));
    EXPECT_EQ(L"", TextCall(refused.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    ComPtr<IDispatch> failed = NewControl();
    Offer(failed.get(), true);
    ASSERT_EQ(S_OK, Call(failed.get(), DISPID_FSC_TRANSMIT_FAILED));
    EXPECT_FALSE(BoolCall(failed.get(), DISPID_FSC_IS_SEND_WAITING));
    EXPECT_FALSE(BoolCall(failed.get(), DISPID_FSC_IS_REQUEST_WAITING));
    EXPECT_EQ(L"", TextCall(failed.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));
}

TEST(FileSendCtlDispatch, BadCallsFailAndChangeNothing) {
    ComPtr<IDispatch> c = NewControl();
    ASSERT_TRUE(c);
    Offer(c.get(), true);
    for (DISPID id : {0, 13, -1, 100}) {
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(c.get(), id, {Text(L"x")})) << id;
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(c.get(), id)) << id;
    }
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(c.get(), DISPID_FSC_IS_TRANSMIT_FILE));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(c.get(), DISPID_FSC_CANCEL_TRANSMIT_FILE, {Text(L"x")}));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(c.get(), DISPID_FSC_SET_ACCEPT_FILE, {Text(L"a"), Text(L"b")}));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(c.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Text(L"not a number")}));
    EXPECT_TRUE(BoolCall(c.get(), DISPID_FSC_IS_SEND_WAITING));
    EXPECT_EQ(L"C:\\文档\\季度报告.doc", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    DISPID id = 0;
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Explode");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, c->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);

    // Named arguments are not taken; a property put is no method.
    VARIANT arg = Text(kStamp);
    DISPID named = 0;
    DISPPARAMS params = {&arg, &named, 1, 1};
    EXPECT_EQ(DISP_E_NONAMEDARGS, c->Invoke(DISPID_FSC_IS_TRANSMIT_FILE, IID_NULL, 0, DISPATCH_METHOD, &params,
                                            nullptr, nullptr, nullptr));
    params = {&arg, nullptr, 1, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, c->Invoke(DISPID_FSC_IS_TRANSMIT_FILE, IID_NULL, 0, DISPATCH_PROPERTYPUT,
                                               &params, nullptr, nullptr, nullptr));
    VariantClear(&arg);
}

TEST(FileSendCtlDispatch, TextsByReferenceAndTheTypeInformation) {
    ComPtr<IDispatch> c = NewControl();
    ASSERT_TRUE(c);
    BSTR who = SysAllocString(L"小李"), file = SysAllocString(L"D:\\a.txt"), size = SysAllocString(L"3B"),
         stamp = SysAllocString(kStamp);
    VARIANT args[4];
    BSTR* texts[4] = {&stamp, &size, &file, &who};  // reversed: rgvarg[0] is the last argument
    for (int i = 0; i < 4; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BSTR | VT_BYREF;
        args[i].pbstrVal = texts[i];
    }
    DISPPARAMS params = {args, nullptr, 4, 0};
    ASSERT_EQ(S_OK, c->Invoke(DISPID_FSC_SET_ACCEPT_FILE, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                              nullptr));
    EXPECT_EQ(L"D:\\a.txt", TextCall(c.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));
    VARIANT found;
    VariantInit(&found);
    DISPPARAMS one = {args, nullptr, 1, 0};
    ASSERT_EQ(S_OK, c->Invoke(DISPID_FSC_IS_TRANSMIT_FILE, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &one,
                              &found, nullptr, nullptr));
    EXPECT_EQ(VARIANT_TRUE, found.boolVal);
    for (BSTR b : {who, file, size, stamp}) SysFreeString(b);

    UINT count = 0;
    EXPECT_EQ(S_OK, c->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, c->GetTypeInfo(0, 0, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualIID(DIID__DFileSendCtl, attr->guid));
    info->ReleaseTypeAttr(attr);

    ComPtr<IProvideClassInfo2> classInfo = c.query<IProvideClassInfo2>();
    ASSERT_TRUE(classInfo);
    GUID source = {};
    EXPECT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualIID(DIID__DFileSendCtlEvents, source));
}

TEST(FileSendCtlObject, FixedExtentMiscStatusPicturesAndPage) {
    ComPtr<IDispatch> c = NewControl();
    ASSERT_TRUE(c);
    ComPtr<IOleObject> object = c.query<IOleObject>();
    ASSERT_TRUE(object);
    DWORD status = 0;
    EXPECT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &status));
    EXPECT_EQ(0x20191u, status);
    SIZEL size = {1, 1};
    EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(6000, size.cx);
    EXPECT_EQ(1700, size.cy);
    SIZEL bigger = {9000, 3000};
    EXPECT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &bigger));
    EXPECT_EQ(6000, bigger.cx);
    EXPECT_EQ(1700, bigger.cy);
    EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(6000, size.cx);
    EXPECT_EQ(1700, size.cy);

    // Drawn even without a window: a fresh 227 x 64 picture per call.
    Offer(c.get(), false);
    Picture offer = PictureOf(c.get());
    EXPECT_EQ(227, offer.width);
    EXPECT_EQ(64, offer.height);
    EXPECT_TRUE(offer.pixels.Holds(kLinkRow, kBlue));
    EXPECT_EQ(RGB(255, 255, 255), offer.pixels.At(225, 1));
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::SaveBitmapFile(offer.pixels, testkit::ProgramDir() + L"screenshots\\filesendctl-picture.bmp");
    ASSERT_EQ(S_OK, Call(c.get(), DISPID_FSC_CANCEL_TRANSMIT_FILE));
    Picture cancelled = PictureOf(c.get());
    EXPECT_EQ(227, cancelled.width);

    ComPtr<IDispatch> sending = NewControl();
    Offer(sending.get(), true);
    Call(sending.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(50)});
    Picture half = PictureOf(sending.get());
    EXPECT_TRUE(half.pixels.Holds({2, 35, 110, 47}, kGreen));
    EXPECT_FALSE(half.pixels.Holds({120, 35, 225, 47}, kGreen));

    ComPtr<IDataObject> data = c.query<IDataObject>();
    FORMATETC bitmap = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    STGMEDIUM first = {}, second = {};
    ASSERT_EQ(S_OK, data->GetData(&bitmap, &first));
    ASSERT_EQ(S_OK, data->GetData(&bitmap, &second));
    EXPECT_NE(first.hBitmap, second.hBitmap);  // the caller deletes each one
    EXPECT_EQ(nullptr, first.pUnkForRelease);
    ReleaseStgMedium(&first);
    ReleaseStgMedium(&second);
    FORMATETC emf = {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF};
    EXPECT_EQ(S_OK, data->QueryGetData(&emf));
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, data->GetData(&emf, &medium));
    EXPECT_EQ(static_cast<DWORD>(TYMED_ENHMF), medium.tymed);
    EXPECT_NE(nullptr, medium.hEnhMetaFile);
    ReleaseStgMedium(&medium);
    FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(DV_E_FORMATETC, data->GetData(&text, &medium));

    // IViewObject2 draws the same picture into the caller's rectangle.
    ComPtr<IViewObject2> view = c.query<IViewObject2>();
    ASSERT_TRUE(view);
    testkit::Canvas canvas(300, 100, RGB(10, 10, 10));
    RECTL bounds = {20, 20, 247, 84};
    ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds, nullptr,
                               nullptr, 0));
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(245, 22));
    EXPECT_EQ(RGB(10, 10, 10), canvas.At(10, 10));

    ComPtr<ISpecifyPropertyPages> pages = c.query<ISpecifyPropertyPages>();
    ASSERT_TRUE(pages);
    CAUUID list = {};
    ASSERT_EQ(S_OK, pages->GetPages(&list));
    ASSERT_EQ(1u, list.cElems);
    EXPECT_TRUE(IsEqualCLSID(CLSID_FileSendCtlPropPage, list.pElems[0]));
    CoTaskMemFree(list.pElems);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FileSendCtlPropPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     page.put_void()));
    PROPPAGEINFO info = {sizeof(info)};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_STREQ(L"General", info.pszTitle);
    EXPECT_GT(info.size.cx, 0);
    CoTaskMemFree(info.pszTitle);
}

// What Wine's RichEdit offers an embedded control: the site negotiation, the fallback
// window from DoVerb's arguments, and moving it.
TEST(FileSendCtlInPlace, ActivatesOverItsPlaceInTheText) {
    TestDocument document;
    ASSERT_TRUE(document.Open(480, 160));
    document.AppendText(L"<小王> 发送：\r\n");
    ComPtr<IOleObject> object = document.InsertControl();
    ASSERT_TRUE(object);
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(S_OK, object->GetClientSite(site.put()));
    ASSERT_TRUE(site);
    ComPtr<IOleInPlaceSite> inPlaceSite = site.query<IOleInPlaceSite>();
    if (inPlaceSite) {
        HRESULT can = inPlaceSite->CanInPlaceActivate();
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT pos, clip;
        OLEINPLACEFRAMEINFO info = {sizeof(info)};
        HRESULT context = inPlaceSite->GetWindowContext(&frame, &doc, &pos, &clip, &info);
        if (frame) frame->Release();
        if (doc) doc->Release();
        HWND siteWindow = nullptr;
        inPlaceSite->GetWindow(&siteWindow);
        printf("RichEdit site: IOleInPlaceSite yes, CanInPlaceActivate 0x%08lx, GetWindowContext 0x%08lx, "
               "GetWindow %s\n", static_cast<unsigned long>(can), static_cast<unsigned long>(context),
               siteWindow == document.Edit() ? "the RichEdit" : "other");
    } else {
        printf("RichEdit site: no IOleInPlaceSite\n");
    }

    EXPECT_EQ(nullptr, ControlWindow(object.get()));
    ASSERT_EQ(S_OK, document.Activate(object.get(), document.LastObjectCp()));
    HWND window = ControlWindow(object.get());
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(document.Edit(), GetParent(window));
    RECT rect;
    GetClientRect(window, &rect);
    EXPECT_EQ(227, rect.right);
    EXPECT_EQ(64, rect.bottom);

    // A second activation keeps the one window; SetObjectRects moves it.
    ASSERT_EQ(S_OK, document.Activate(object.get(), document.LastObjectCp(), OLEIVERB_UIACTIVATE));
    EXPECT_EQ(window, ControlWindow(object.get()));
    ComPtr<IOleInPlaceObject> inPlace = object.query<IOleInPlaceObject>();
    RECT moved = {100, 40, 327, 104};
    ASSERT_EQ(S_OK, inPlace->SetObjectRects(&moved, &moved));
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, document.Edit(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(40, rect.top);

    ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, ControlWindow(object.get()));
}

TEST(FileSendCtlClicks, SenderCancelFiresOnceAndEndsTheLinks) {
    ActiveControl a;
    ASSERT_TRUE(a.Make(true));
    EventSink sink;
    ASSERT_TRUE(sink.Connect(a.object.get()));
    Click(a.window, {150, 10});  // not a link
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(LoadCursor(nullptr, IDC_HAND), CursorOver(a.window, FirstLink()));
    EXPECT_NE(LoadCursor(nullptr, IDC_HAND), CursorOver(a.window, {150, 10}));
    Click(a.window, FirstLink());
    ASSERT_EQ(1u, sink.seen.size());
    EXPECT_EQ(DISPID_FSC_ON_SEND_TRANSFER_CANCELED, sink.seen[0].id);
    EXPECT_TRUE(sink.seen[0].args.empty());
    EXPECT_FALSE(BoolCall(a.control.get(), DISPID_FSC_IS_SEND_WAITING));
    Click(a.window, FirstLink());  // nothing is clickable any more
    EXPECT_EQ(1u, sink.seen.size());
    sink.Disconnect();
}

TEST(FileSendCtlClicks, PressAndReleaseMustMeetOnOneLink) {
    ActiveControl a;
    ASSERT_TRUE(a.Make(false));
    EventSink sink;
    ASSERT_TRUE(sink.Connect(a.object.get()));
    POINT down = SecondLink(), up = {150, 10};
    SendMessageW(a.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
    EXPECT_EQ(a.window, GetCapture());
    SendMessageW(a.window, WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
    EXPECT_NE(a.window, GetCapture());
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_TRUE(BoolCall(a.control.get(), DISPID_FSC_IS_REQUEST_WAITING));

    Click(a.window, SecondLink());
    ASSERT_EQ(1u, sink.seen.size());
    EXPECT_EQ(DISPID_FSC_ON_RECV_TRANSFER_REJECT, sink.seen[0].id);
    EXPECT_FALSE(BoolCall(a.control.get(), DISPID_FSC_IS_REQUEST_WAITING));
    sink.Disconnect();
}

TEST(FileSendCtlClicks, AcceptAsksForThePathAndReportsItFirst) {
    ActiveControl a;
    ASSERT_TRUE(a.Make(false, L"a/../../x.txt"));
    EventSink sink;
    ASSERT_TRUE(sink.Connect(a.object.get()));

    // Cancelling the dialog keeps the offer with both links.
    std::wstring proposed;
    {
        DialogDriver driver([&](HWND dialog) {
            proposed = DialogDriver::ProposedName(dialog);
            DialogDriver::Cancel(dialog);
        });
        Click(a.window, FirstLink());
        EXPECT_TRUE(driver.Found());
    }
    EXPECT_EQ(L"x.txt", proposed);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_TRUE(BoolCall(a.control.get(), DISPID_FSC_IS_REQUEST_WAITING));
    EXPECT_EQ(L"a/../../x.txt", TextCall(a.control.get(), DISPID_FSC_GET_TRANSMIT_FILE_NAME));

    std::wstring target = testkit::FreshDir(L"fsc-accept") + L"收到的.txt";
    EXPECT_TRUE(AcceptWith(a.window, target));
    ASSERT_EQ(1u, sink.seen.size());
    const SeenEvent& accept = sink.seen[0];
    EXPECT_EQ(DISPID_FSC_ON_RECV_TRANSFER_ACCEPT, accept.id);
    ASSERT_EQ(2u, accept.args.size());
    EXPECT_EQ(VT_BSTR, accept.types[1]);
    EXPECT_EQ(target, accept.args[1]);  // pSave is the first argument: rgvarg[1]
    EXPECT_EQ(kStamp, accept.args[0]);

    // Accepted: waiting for data, one cancel link.
    EXPECT_TRUE(BoolCall(a.control.get(), DISPID_FSC_IS_REQUEST_WAITING));
    Click(a.window, SecondLink());
    EXPECT_EQ(1u, sink.seen.size());
    Click(a.window, FirstLink());
    ASSERT_EQ(2u, sink.seen.size());
    EXPECT_EQ(DISPID_FSC_ON_RECV_TRANSFER_CANCELED, sink.seen[1].id);
    sink.Disconnect();
}

TEST(FileSendCtlClicks, ReceiveCancelWhileReceiving) {
    ActiveControl a;
    ASSERT_TRUE(a.Make(false));
    EventSink sink;
    ASSERT_TRUE(sink.Connect(a.object.get()));
    EXPECT_TRUE(AcceptWith(a.window, testkit::FreshDir(L"fsc-receive") + L"r.doc"));
    ASSERT_EQ(S_OK, Call(a.control.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(20)}));
    EXPECT_TRUE(BoolCall(a.control.get(), DISPID_FSC_IS_IN_TRANSFERING));
    Click(a.window, FirstLink());
    ASSERT_EQ(2u, sink.seen.size());
    EXPECT_EQ(DISPID_FSC_ON_RECV_TRANSFER_CANCELED, sink.seen[1].id);
    EXPECT_FALSE(BoolCall(a.control.get(), DISPID_FSC_IS_IN_TRANSFERING));
    sink.Disconnect();
}

// The chat window's sink disconnects from inside its own Invoke; a second sink still
// hears the same event.
TEST(FileSendCtlClicks, ASinkMayUnadviseWhileTheEventReachesIt) {
    ActiveControl a;
    ASSERT_TRUE(a.Make(true));
    EventSink leaving, staying;
    ASSERT_TRUE(leaving.Connect(a.object.get()));
    ASSERT_TRUE(staying.Connect(a.object.get()));
    leaving.onEvent = [&](DISPID) { leaving.Disconnect(); };
    Click(a.window, FirstLink());
    EXPECT_EQ(1u, leaving.seen.size());
    EXPECT_EQ(1u, staying.seen.size());
    EXPECT_EQ(1, leaving.Refs());
    staying.Disconnect();
    EXPECT_EQ(1, staying.Refs());
}

// The chat window closes while the save dialog is up: the control outlives the dialog,
// fires nothing and the document goes without a crash.
TEST(FileSendCtlClicks, ClosingTheDocumentDuringTheSaveDialog) {
    EventSink sink;
    {
        ActiveControl a;
        ASSERT_TRUE(a.Make(false));
        ASSERT_TRUE(sink.Connect(a.object.get()));
        HWND frame = a.document.Frame();
        HWND window = a.window;
        a.control = ComPtr<IDispatch>();
        a.object = ComPtr<IOleObject>();
        std::wstring target = testkit::FreshDir(L"fsc-closed") + L"late.txt";
        DialogDriver driver([&](HWND dialog) {
            SendMessageW(frame, WM_CLOSE, 0, 0);
            Sleep(100);
            DialogDriver::Confirm(dialog, target);
        });
        Click(window, FirstLink());
        EXPECT_TRUE(driver.Found());
        EXPECT_FALSE(IsWindow(frame));
        a.document.Close();
    }
    testkit::PumpFor(100);
    EXPECT_TRUE(sink.seen.empty());
}

// Transfer threads report progress straight through the interface while the document
// and the control's window paint; each report's debugger line is written, in order, in
// writes that carry many of them.
TEST(FileSendCtlThreads, ProgressAndCompletionFromAWorker) {
    testkit::DebugLines lines;
    ActiveControl a;
    ASSERT_TRUE(a.Make(true));
    std::atomic<bool> done{false};
    IDispatch* control = a.control.get();
    std::thread worker([&] {
        for (int step = 0; step <= 200; ++step) {
            Call(control, DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(step / 2.0)});
            BoolCall(control, DISPID_FSC_IS_SEND_WAITING);
            TextCall(control, DISPID_FSC_GET_TRANSMIT_FILE_NAME);
            if (step % 20 == 0) Sleep(5);
        }
        Call(control, DISPID_FSC_TRANSMIT_COMPLETE);
        done = true;
    });
    while (!done) {
        testkit::PumpFor(10);
        InvalidateRect(a.document.Edit(), nullptr, TRUE);
        UpdateWindow(a.document.Edit());
    }
    worker.join();
    testkit::PumpFor(100);
    EXPECT_FALSE(BoolCall(control, DISPID_FSC_IS_IN_TRANSFERING));
    EXPECT_EQ(L"", TextCall(control, DISPID_FSC_GET_TRANSMIT_FILE_NAME));
    Picture end = PictureOf(control);
    EXPECT_FALSE(end.pixels.Holds(kGreen));

    std::wstring progress;
    size_t writes = 0;
    for (const std::wstring& written : lines.Lines()) {
        if (written.find(L"当前的传输进度为") == std::wstring::npos) continue;
        progress += written;
        ++writes;
    }
    std::wstring expected;
    wchar_t line[64];
    for (int step = 0; step <= 200; ++step) {
        swprintf(line, 64, L"当前的传输进度为：%.2f%%\n", step / 2.0);
        expected += line;
    }
    EXPECT_EQ(expected, progress);
    EXPECT_LT(writes, 20u);
}

// Every state as the document shows its controls: inactive, drawn by the RichEdit from
// the controls' pictures, and then active in place with their own windows, as a chat
// display shows them.
TEST(FileSendCtlPictures, EveryStateInTheDocument) {
    TestDocument document;
    ASSERT_TRUE(document.Open(720, 600));
    struct Shown { const wchar_t* label; bool sending; std::vector<std::pair<DISPID, double>> calls; };
    const double none = -1;
    std::vector<Shown> states = {
        {L"0 等待接收", true, {}},
        {L"1 发送中", true, {{DISPID_FSC_SET_TRANSMIT_PROGRESS, 37.5}}},
        {L"2 发送取消", true, {{DISPID_FSC_CANCEL_TRANSMIT_FILE, none}}},
        {L"3 收到请求", false, {}},
        {L"4 已同意", false, {}},
        {L"5 已拒绝", false, {}},
        {L"6 接收中", false, {}},
        {L"7 已取消", true, {{DISPID_FSC_REJECT_TRANSMIT_FILE, none}}},
        {L"8 发送完毕", true, {{DISPID_FSC_SET_TRANSMIT_PROGRESS, 100}, {DISPID_FSC_TRANSMIT_COMPLETE, none}}},
        {L"9 接收完毕", false, {}},
        {L"10 发送失败", true, {{DISPID_FSC_SET_TRANSMIT_PROGRESS, 12}, {DISPID_FSC_TRANSMIT_FAILED, none}}},
        {L"6 接收 37.5%", false, {}},
    };
    std::vector<ComPtr<IOleObject>> objects;
    std::vector<LONG> positions;
    for (const Shown& s : states) {
        document.AppendText(std::wstring(s.label) + L"：");
        ComPtr<IOleObject> object = document.InsertControl();
        ASSERT_TRUE(object);
        objects.push_back(object);
        positions.push_back(document.LastObjectCp());
        ComPtr<IDispatch> c = DispatchOf(object.get());
        Offer(c.get(), s.sending, s.sending ? L"C:\\文档\\季度报告.doc" : L"D:\\照片\\海边的日落.jpg");
        for (auto& call : s.calls)
            Call(c.get(), call.first, call.second == none ? std::vector<VARIANT>{} : std::vector<VARIANT>{Number(call.second)});
        document.AppendText(objects.size() % 2 ? L"    " : L"\r\n");
    }
    testkit::PumpFor(300);

    // The receiving states past the offer need the user's answer: given through the
    // active control's links, then the picture is taken inactive again.
    auto answer = [&](size_t index, bool accept, double progress, bool complete) {
        ASSERT_EQ(S_OK, document.Activate(objects[index].get(), positions[index]));
        HWND window = ControlWindow(objects[index].get());
        ASSERT_NE(nullptr, window);
        testkit::PumpFor(50);
        if (accept) {
            AcceptWith(window, testkit::FreshDir(L"fsc-shot") + L"海边的日落.jpg");
        } else {
            Click(window, SecondLink());
        }
        ComPtr<IDispatch> c = DispatchOf(objects[index].get());
        if (progress >= 0) Call(c.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(progress)});
        if (complete) Call(c.get(), DISPID_FSC_TRANSMIT_COMPLETE);
        objects[index].query<IOleInPlaceObject>()->InPlaceDeactivate();
    };
    answer(4, true, -1, false);
    answer(5, false, -1, false);
    answer(6, true, 5, false);
    answer(9, true, 100, true);
    answer(11, true, 37.5, false);
    testkit::PumpFor(300);
    InvalidateRect(document.Edit(), nullptr, TRUE);
    testkit::PumpFor(300);

    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::Capture shot = testkit::CaptureWindow(document.Frame());
    ASSERT_GT(shot.width, 0);
    EXPECT_TRUE(shot.Holds(kGreen));
    EXPECT_TRUE(shot.Holds(kBlue));
    EXPECT_TRUE(testkit::SaveBitmapFile(shot, testkit::ProgramDir() + L"screenshots\\filesendctl-states.bmp"));

    // Active in place: each control's own window over its place in the text.
    for (size_t i = 0; i < objects.size(); ++i) ASSERT_EQ(S_OK, document.Activate(objects[i].get(), positions[i]));
    testkit::PumpFor(300);
    testkit::Capture active = testkit::CaptureWindow(document.Frame());
    EXPECT_TRUE(active.Holds(kGreen));
    EXPECT_TRUE(active.Holds(kBlue));
    EXPECT_TRUE(testkit::SaveBitmapFile(active, testkit::ProgramDir() + L"screenshots\\filesendctl-active.bmp"));
    for (auto& object : objects) object->Close(OLECLOSE_NOSAVE);
}

// What Wine's RichEdit asks of any embedded object, seen through an object that only
// records: the pictures it draws from, whether IViewObject is used, who deletes the
// bitmap, and whether a view-change notice brings a redraw.
TEST(RichEditEmbedding, ObjectsAreDrawnFromTheirPictures) {
    const CLSID probeClass = {0x5C0D3A41, 0x2B7E, 0x4F19, {0x9E, 0x61, 0x7D, 0x2A, 0x8B, 0x4C, 0x0F, 0x11}};
    ProbeObject withBitmap(true), metafileOnly(false);
    {
        TestDocument document;
        ASSERT_TRUE(document.Open(600, 200));
        document.AppendText(L"图片：");
        ASSERT_TRUE(document.InsertObject(&withBitmap, probeClass));
        document.AppendText(L"\r\n图元文件：");
        ASSERT_TRUE(document.InsertObject(&metafileOnly, probeClass));
        InvalidateRect(document.Edit(), nullptr, TRUE);
        testkit::PumpFor(300);
        printf("bitmap object: %d bitmap and %d metafile requests, %d IViewObject queries, %d draws\n",
               withBitmap.bitmapRequests, withBitmap.metafileRequests, withBitmap.viewQueries, withBitmap.viewDraws);
        printf("metafile object: %d bitmap and %d metafile requests, %d draws\n", metafileOnly.bitmapRequests,
               metafileOnly.metafileRequests, metafileOnly.viewDraws);
        printf("drawn into (%ld,%ld)-(%ld,%ld)\n", withBitmap.lastBounds.left, withBitmap.lastBounds.top,
               withBitmap.lastBounds.right, withBitmap.lastBounds.bottom);
        printf("advise sinks: view %s, object %s; last bitmap %s\n", withBitmap.viewSink ? "yes" : "no",
               withBitmap.oleSink ? "yes" : "no", GetObjectType(withBitmap.lastBitmap) ? "alive" : "deleted");
        // Wine's RichEdit draws through IViewObject::Draw into the extent's pixels and asks
        // for no picture; it gives no advise sink, so a view-change notice reaches nobody.
        EXPECT_GT(withBitmap.viewDraws, 0);
        EXPECT_GT(metafileOnly.viewDraws, 0);
        EXPECT_EQ(227, withBitmap.lastBounds.right - withBitmap.lastBounds.left);
        EXPECT_EQ(64, withBitmap.lastBounds.bottom - withBitmap.lastBounds.top);
        EXPECT_EQ(nullptr, withBitmap.viewSink);
        EXPECT_EQ(nullptr, withBitmap.oleSink);

        // What redraws a control without a window: its document's window repainted.
        int before = withBitmap.viewDraws;
        InvalidateRect(document.Edit(), nullptr, FALSE);
        testkit::PumpFor(300);
        EXPECT_GT(withBitmap.viewDraws, before);
    }
}

// A control without a window is redrawn in its document when a call changes it.
TEST(FileSendCtlPictures, AnInactiveControlFollowsItsCalls) {
    TestDocument document;
    ASSERT_TRUE(document.Open(480, 120));
    ComPtr<IOleObject> object = document.InsertControl();
    ComPtr<IDispatch> c = DispatchOf(object.get());
    ASSERT_TRUE(c);
    Offer(c.get(), true);
    testkit::PumpFor(300);
    EXPECT_FALSE(testkit::CaptureWindow(document.Edit()).Holds(kGreen));
    std::thread worker([&] { Call(c.get(), DISPID_FSC_SET_TRANSMIT_PROGRESS, {Number(60)}); });
    worker.join();
    testkit::PumpFor(300);
    EXPECT_TRUE(testkit::CaptureWindow(document.Edit()).Holds(kGreen));
    object->Close(OLECLOSE_NOSAVE);
}

// The receiving side takes the offered type's icon from the registry.
TEST(FileSendCtlPictures, AnOfferShowsItsTypesRegisteredIcon) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L".fsctest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    const wchar_t type[] = L"FscTest.Document";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(type), sizeof(type));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"FscTest.Document\\DefaultIcon", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring icon = L"\"" + std::wstring(system) + L"\\shell32.dll\",3";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(icon.c_str()),
                   static_cast<DWORD>((icon.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    ComPtr<IDispatch> known = NewControl(), unknown = NewControl();
    Offer(known.get(), false, L"D:\\a.fsctest");
    Offer(unknown.get(), false, L"D:\\a.nosuchtype");
    Picture withIcon = PictureOf(known.get()), ownIcon = PictureOf(unknown.get());
    int differing = 0;
    for (int y = 2; y < 34; ++y)
        for (int x = 2; x < 34; ++x) differing += withIcon.pixels.At(x, y) != ownIcon.pixels.At(x, y);
    EXPECT_GT(differing, 50);
    int sameElsewhere = 0;
    for (int x = 40; x < 220; ++x) sameElsewhere += withIcon.pixels.At(x, 40) == ownIcon.pixels.At(x, 40);
    EXPECT_EQ(180, sameElsewhere);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".fsctest");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"FscTest.Document");
}
