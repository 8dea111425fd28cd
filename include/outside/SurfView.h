// SurfView, the embedded browser library: a browser child window that loads pages, reports
// browser events to a callback, calls page functions and hands page events back as typed
// callbacks. Linked (import library "libSurfView.dll.a"); the classes are exported whole.
//
// This build is a test stand-in, never shipped: it renders no HTML and runs no script. It
// loads "about:blank", local files and pages of 127.0.0.1 for real and takes what script
// would do from declarations in HTML comments of the page:
//   <!--surf size=800x1600-->                       document size (GetDocSize)
//   <!--surf func=NAME return="text"-->            a page function answering a text
//   <!--surf func=NAME return-i4=5-->               ... answering a 32-bit number
//   <!--surf func=NAME-->                           ... answering nothing
//   <!--surf onload=event:<element%20id=%221%22>x</element>-->  navigates once complete
//   <!--surf frame=sub.html-->                      a frame (URL relative to the page)
//   <!--surf close-->                               the page closes its window
// Test hooks: with SURFVIEW_TRACE naming a file, every navigation, script call, scroll,
// history change and event is appended to it as a UTF-8 line; a WM_COPYDATA to the browser
// window with dwData SURFVIEW_COPYDATA_CLICK and a UTF-16 URL is a click on a link of the
// page; with dwData SURFVIEW_COPYDATA_NEW_WINDOW the page asks for a new window for that URL
// (OnNewWindow2; the stand-in opens none itself). The window paints the URL and the page's
// text, so pictures tell what is loaded. With SURFVIEW_KEEP_DESTROYED set (to anything), a
// destroyed browser's object is not freed: it stays, inert, and its m_hWnd names a hidden
// window of no size titled SURFVIEW_DESTROYED_TITLE, so that a pane still using the object
// (moving that window) is seen instead of reading freed memory unnoticed.
//
// Page-event elements (ExtractWebCustomEventA/W): the text is percent-decoded (%XX bytes
// in the ANSI code page), then read as
//   <element id="N" a1="..." a2="..." ... a6="..."/>   one to six texts a1.. in order
//   <element id="N">text</element>                     the text is the one argument
// (attribute values in double or single quotes, XML entities decoded). Anything else, or
// no id, or no text at all, or more than six, calls nothing.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#ifdef SURFVIEW_BUILD
#define SURFVIEW_API __declspec(dllexport)
#else
#define SURFVIEW_API __declspec(dllimport)
#endif

namespace nimbrel {
// The library's string types for script arguments.
struct ki_char_traits : std::char_traits<char> {};
struct ki_wchar_traits : std::char_traits<wchar_t> {};
typedef std::basic_string<char, ki_char_traits> ki_string;
typedef std::basic_string<wchar_t, ki_wchar_traits> ki_wstring;
}  // namespace nimbrel

// WM_COPYDATA kind of a simulated click (lpData: the URL, UTF-16, terminated).
const ULONG_PTR SURFVIEW_COPYDATA_CLICK = 1;
// WM_COPYDATA kind of a simulated request for a new window (lpData as for a click).
const ULONG_PTR SURFVIEW_COPYDATA_NEW_WINDOW = 2;
const wchar_t SURFVIEW_KEEP_DESTROYED[] = L"SURFVIEW_KEEP_DESTROYED";
const wchar_t SURFVIEW_DESTROYED_TITLE[] = L"SurfView destroyed browser";

// OnCommandStateChange commands.
enum : long {
    SURFVIEW_COMMAND_FORWARD = 1,
    SURFVIEW_COMMAND_BACK = 2,
};

// Browser events. The library's versions do nothing; a pane overrides what it uses. The
// vtable holds exactly these nine slots in this order (no virtual destructor).
class SURFVIEW_API CSdkWebEventCallback {
public:
    // Before every navigation, inside Navigate or the page's own navigation: the frame's
    // dispatch, the URL (VT_BSTR), flags, target frame, post data, headers and the cancel
    // flag (VARIANT_TRUE: nothing is fetched and no further event comes).
    virtual HRESULT OnBeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrame,
                                      VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel);
    virtual void OnDocumentComplete(IDispatch* frame, VARIANT* url);
    virtual void OnCommandStateChange(long command, VARIANT_BOOL enable);
    // The page asks for a new window: the pane may cancel it, or put an AddRef'd dispatch of
    // a browser of its own into *window (the stand-in releases it and opens nothing).
    virtual void OnNewWindow2(IDispatch**& window, VARIANT_BOOL*& cancel);
    // progress is -1 once the page is complete.
    virtual void OnProgressChange(long progressMax, long progress);
    virtual void OnNavigateComplete();
    // statusCode: VT_I4, an HTTP status of 400 or more or an HRESULT such as 0x800C0005.
    virtual void OnNavigateError(IDispatch* frame, VARIANT* url, VARIANT* targetFrame, VARIANT* statusCode,
                                 VARIANT_BOOL cancel);
    virtual void OnDownloadComplete();
    // The page closes its window; unless cancel is set, the browser then destroys itself.
    virtual void OnWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL* cancel);

protected:
    ~CSdkWebEventCallback() = default;
};

// Page events, from ExtractWebCustomEventA/W: the overload with as many texts as the
// element carried. In the vtable the narrow overloads stand first, six texts down to one,
// then the wide ones likewise.
class SURFVIEW_API CWebCustomEventCallback {
public:
    virtual void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4,
                                         const char* a5, const char* a6);
    virtual void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4,
                                         const char* a5);
    virtual void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3, const char* a4);
    virtual void OnHandleWevCustomEventA(int id, const char* a1, const char* a2, const char* a3);
    virtual void OnHandleWevCustomEventA(int id, const char* a1, const char* a2);
    virtual void OnHandleWevCustomEventA(int id, const char* a1);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2, const wchar_t* a3,
                                         const wchar_t* a4, const wchar_t* a5, const wchar_t* a6);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2, const wchar_t* a3,
                                         const wchar_t* a4, const wchar_t* a5);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2, const wchar_t* a3,
                                         const wchar_t* a4);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2, const wchar_t* a3);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1, const wchar_t* a2);
    virtual void OnHandleWevCustomEventW(int id, const wchar_t* a1);

protected:
    ~CWebCustomEventCallback() = default;
};

// The document host's user-interface handler; panes hold one by value and install it.
class SURFVIEW_API CSdkWebDocHostUIHandler {
public:
    CSdkWebDocHostUIHandler();
    ~CSdkWebDocHostUIHandler();
    CSdkWebDocHostUIHandler(const CSdkWebDocHostUIHandler&) = delete;
    CSdkWebDocHostUIHandler& operator=(const CSdkWebDocHostUIHandler&) = delete;

private:
    void* reserved_;
};

// Counted: every Init is matched by one Exit; an Exit without an Init, or Inits that are
// never matched, do no harm. Create works either way.
SURFVIEW_API bool InitSdkSurfView(HINSTANCE instance);
SURFVIEW_API void ExitSdkSurfView(HINSTANCE instance);

// Parses a page-event element (see above) and calls the matching overload of sink before
// returning; true when it did.
SURFVIEW_API bool ExtractWebCustomEventA(const char* element, CWebCustomEventCallback* sink);
SURFVIEW_API bool ExtractWebCustomEventW(const wchar_t* element, CWebCustomEventCallback* sink);

class SURFVIEW_API CSdkSurfView {
public:
    // A new browser: a child window of parent with control id `number`, at 0,0 with no size
    // until moved. callback may be null. The object belongs to its window and is deleted
    // when that is destroyed. Events come on the calling thread only.
    static bool Create(HINSTANCE instance, CSdkSurfView** browser, HWND parent, UINT number,
                       CSdkWebEventCallback* callback);

    void SetUIHandler(CSdkWebDocHostUIHandler* handler);

    // A URL ("about:blank", "file:", "http://127.0.0.1...") or a local path (relative ones
    // from the program folder). False when the navigation was not started.
    bool Navigate(const char* url);
    bool Navigate(const wchar_t* url);
    bool GoBack();
    bool GoForward();
    // Forgets every history entry but the current one.
    void ClearTraveLog();
    void RemoveScrollBar();
    // Whether frame is the dispatch of the top document.
    bool IsObject(IDispatch* frame) const;
    // The document's size in pixels; false without a document.
    bool GetDocSize(long* cx, long* cy) const;
    void ScrollIE(long x, long y);
    // True for the keys the page takes itself (Tab, Delete, arrows) aimed at the browser
    // window or a window inside it.
    bool PreTranslateMessage(MSG* msg);

    // Calls a page function with the texts as its arguments; result (may be null) gets its
    // value. False when the page has no such function or no document has completed.
    bool CallJScript(const char* name, std::vector<nimbrel::ki_string>& args, VARIANT* result);
    bool CallJScript(const wchar_t* name, std::vector<nimbrel::ki_wstring>& args, VARIANT* result);

    // The browser's window.
    HWND m_hWnd;

    CSdkSurfView(const CSdkSurfView&) = delete;
    CSdkSurfView& operator=(const CSdkSurfView&) = delete;

private:
    CSdkSurfView();
    ~CSdkSurfView();
    friend class SurfViewWindow;
    class SurfViewWindow* window_;
};
