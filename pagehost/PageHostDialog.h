// The page-host window: a skinned frame with the browser below its caption. In game mode
// it loads the games page a second after showing, hands the page the installed games
// once and starts the registered game the page asks for; in classroom mode it shows the
// classroom page of the product line's install folder.
#pragma once

#include <windows.h>

#include "PageHostLogic.h"
#include "SkinFrame.h"
#include "outside/SurfView.h"

namespace pagehost {

class PageHostDialog : public CSkinFrame, public CSdkWebEventCallback, public CWebCustomEventCallback {
public:
    explicit PageHostDialog(PageHostMode mode);
    ~PageHostDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnPaint(HDC dc) override;

    HRESULT OnBeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                              VARIANT* headers, VARIANT_BOOL* cancel) override;
    void OnDocumentComplete(IDispatch* frame, VARIANT* url) override;
    void OnWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL* cancel) override;
    using CWebCustomEventCallback::OnHandleWevCustomEventA;
    void OnHandleWevCustomEventA(int id, const char* a1) override;

private:
    void PlaceWindow();
    void PlaceBrowser();
    void OpenClassroomPage();
    void OpenGamesPage();
    void PushGamesList();

    CSdkSurfView* browser_ = nullptr;
    CSdkWebDocHostUIHandler uiHandler_;  // held, not installed
    PageHostMode mode_;
    bool firstDocument_ = true;
};

}  // namespace pagehost
