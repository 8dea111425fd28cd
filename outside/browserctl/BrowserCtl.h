// BrowserCtl: a test stand-in of the system web browser control (never shipped). It is
// registered in the test prefix under the control's class id, so that hosts create it as
// they create the real one, and it loads pages with the page engine of the SurfView
// stand-in: no HTML is rendered and no script runs; page functions and page-made
// navigations come from the "<!--surf ...-->" declarations of include/outside/SurfView.h.
//
// What it offers: in-place activation (IOleObject, IOleInPlaceObject), IWebBrowser2
// Navigate, Navigate2 and get_Document (every other member answers E_NOTIMPL), the
// DWebBrowserEvents2 connection point with BeforeNavigate2 (cancellable) and
// DocumentComplete (the browser itself for the top document, another dispatch for a frame),
// and documents taking ICustomDoc::SetUIHandler whose script dispatch (IHTMLDocument
// get_Script) offers the page's declared functions.
//
// Test hooks: with BROWSERCTL_TRACE naming a file, every call and event is appended to it
// as a UTF-8 line, in the SurfView stand-in's words; a WM_COPYDATA to the browser window
// with dwData BROWSERCTL_COPYDATA_CLICK and a UTF-16 URL is a click on a link of the page.
#pragma once

#include <windows.h>

// The class of the browser's window, a child of the host's window.
#define BROWSERCTL_WINDOW_CLASS L"BrowserCtlView"

// WM_COPYDATA kind of a simulated click (lpData: the URL, UTF-16, terminated).
const ULONG_PTR BROWSERCTL_COPYDATA_CLICK = 1;
