// A skinned window around one page: the page's browser with its UI handler, the page's
// event links handed on as custom events (PageBridge.h), and the browser laid over the
// client area above a strip. The window keeps its own messages, page events and ending.
// Header only, for modules that link SkinFrame and SurfView.
#pragma once

#include <windows.h>

#include "PageBridge.h"
#include "SkinFrame.h"
#include "outside/SurfView.h"

namespace pagebridge {

class PageFrame : public CSkinFrame, public CSdkWebEventCallback, public CWebCustomEventCallback {
public:
    explicit PageFrame(unsigned long captionButtons) : CSkinFrame(true, captionButtons) {}

    HRESULT OnBeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                              VARIANT_BOOL* cancel) override {
        return FilterNavigation(url, cancel, this);
    }

protected:
    // Makes the browser inside the window; false when it could not be made.
    bool OpenBrowser(HINSTANCE module) {
        InitSdkSurfView(module);
        if (!CSdkSurfView::Create(module, &browser_, m_hWnd, 0, this)) return false;
        browser_->SetUIHandler(&uiHandler_);
        return true;
    }

    // Lays the browser over the client area less bottomStrip pixels, 2 pixels in from each
    // side; the browser's rectangle.
    RECT LayOutBrowser(int bottomStrip) {
        RECT area;
        GetRealClientRect(&area);
        area.bottom -= bottomStrip;
        InflateRect(&area, -2, -2);
        if (browser_) {
            MoveWindow(browser_->m_hWnd, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
        }
        return area;
    }

    CSdkSurfView* browser_ = nullptr;
    CSdkWebDocHostUIHandler uiHandler_;
};

}  // namespace pagebridge
