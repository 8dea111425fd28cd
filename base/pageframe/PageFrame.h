// A skinned window around one page: the page's browser with its UI handler, the page's
// event links handed on as custom events (PageBridge.h), and the browser laid over the
// client area above a strip. The window keeps its own messages, page events and ending.
//
// A page may close its window: the browser then goes, and the frame forgets it, so that
// the window goes on without a browser (browser() is null from then on).
#pragma once

#include <windows.h>

#include "PageBridge.h"
#include "SkinFrame.h"
#include "outside/SurfView.h"

namespace pagebridge {

class PageFrame : public CSkinFrame, public CSdkWebEventCallback, public CWebCustomEventCallback {
public:
    explicit PageFrame(unsigned long captionButtons);

    HRESULT OnBeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                              VARIANT* headers, VARIANT_BOOL* cancel) override;
    void OnWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL* cancel) override;

protected:
    // The page's browser; null before OpenBrowser, once the page closed it, or after
    // CloseBrowser.
    CSdkSurfView* browser() const { return browser_; }

    // Makes the browser inside the window; false when it could not be made.
    bool OpenBrowser(HINSTANCE module);
    // Destroys the browser's window and forgets the browser; false (and the browser kept)
    // when its window would not go. True without a browser.
    bool CloseBrowser();

    // Lays the browser over the client area less bottomStrip pixels, 2 pixels in from each
    // side; that rectangle, with or without a browser.
    RECT LayOutBrowser(int bottomStrip);

private:
    CSdkSurfView* browser_ = nullptr;
    CSdkWebDocHostUIHandler uiHandler_;
};

}  // namespace pagebridge
