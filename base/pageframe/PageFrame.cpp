#include "PageFrame.h"

namespace pagebridge {

PageFrame::PageFrame(unsigned long captionButtons) : CSkinFrame(true, captionButtons) {}

HRESULT PageFrame::OnBeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                     VARIANT_BOOL* cancel) {
    return FilterNavigation(url, cancel, this);
}

void PageFrame::OnWindowClosing(VARIANT_BOOL, VARIANT_BOOL*) {
    // The browser goes with its window once this event returns.
    browser_ = nullptr;
}

bool PageFrame::OpenBrowser(HINSTANCE module) {
    InitSdkSurfView(module);
    if (!CSdkSurfView::Create(module, &browser_, m_hWnd, 0, this)) return false;
    browser_->SetUIHandler(&uiHandler_);
    return true;
}

bool PageFrame::CloseBrowser() {
    if (!browser_) return true;
    if (!DestroyWindow(browser_->m_hWnd)) return false;
    browser_ = nullptr;  // the browser object went with its window
    return true;
}

RECT PageFrame::LayOutBrowser(int bottomStrip) {
    RECT area;
    GetRealClientRect(&area);
    area.bottom -= bottomStrip;
    InflateRect(&area, -2, -2);
    if (browser_) {
        MoveWindow(browser_->m_hWnd, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    }
    return area;
}

}  // namespace pagebridge
