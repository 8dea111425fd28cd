// The home tile pane: a web page framed by pictures, the row of service links above it,
// the info tiles, history buttons, flat scroll bars and a loading bar, in a plain modeless
// dialog linked to its object through the window property "this".
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ContactRecords.h"
#include "TileLogic.h"
#include "TileMonitor.h"
#include "PaneWindow.h"
#include "VantorTypes.h"
#include "outside/AnchorKit.h"
#include "outside/PictKit.h"
#include "outside/SurfView.h"

namespace tilepane {

// Private messages of the pane window.
enum : UINT {
    UM_TILE_RUNCOMMAND = 2023,
    UM_TILE_INFOSTATE = 3023,
    UM_TILE_APPLY = 3024,
    UM_TILE_MONITOR_DONE = 3025,
    UM_TILE_RELOAD = 3026,
};

// The parameter of pane command 3.
struct BoardCommand {
    const wchar_t* board;
    const wchar_t* column;
    const wchar_t* extra;
};

// Slider-bar window class (registered by every pane object).
bool RegisterSliderClass();
void UnregisterSliderClass();

class TilePaneWindow;

// An owner-drawn info tile: the button subclassed for hover colours and the hand cursor.
class InfoTileButton {
public:
    void Attach(HWND button, bool arrowDown, const char* section);
    void Detach();
    void SetArrowDown(bool down);
    void Draw(const DRAWITEMSTRUCT* item) const;
    HWND window() const { return button_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND button_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    bool hovering_ = false;
    bool tracking_ = false;
    bool arrowDown_ = false;
    bool drawArrow_ = true;
    std::string section_ = "Info";
};

// The row of service links: one AnchorKit link per board of the account, the classroom
// and games links from the registry, home first and renewal last.
class TileBlockPane {
public:
    bool Create(HINSTANCE module, HWND parent, HMODULE container, HostContext context);
    HWND window() const { return window_; }
    FriendHandle account() const { return account_; }
    BarColours Colours() const;
    // Checks the links whose text is the board id, unchecks the others.
    void CheckBoard(const std::wstring& board);
    void Destroy();

private:
    struct Link {
        CAnchorKit* link;
        COLORREF colour;
        bool checked;
    };
    friend class vantor::LinkedDialog<TileBlockPane>;
    void OnLinked(HWND window) { window_ = window; }
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void AddLink(HWND stat, int id);
    HWND MakeStatic(const std::wstring& text, int id);
    void Layout();
    void OnCommand(int id);
    void OnDestroy();

    HWND window_ = nullptr;
    HMODULE container_ = nullptr;
    HostContext context_ = 0;
    FriendHandle account_ = nullptr;
    COLORREF shared_ = kSharedLinkColour;
    std::vector<HWND> layout_;
    std::vector<Link> links_;
    int fontSize_ = 0;
    bool bold_ = false;
    bool underline_ = false;
    char face_[64] = {};
};

// A small child dialog holding one flat scroll bar along the web area.
class TileScrollHost {
public:
    bool Create(HINSTANCE module, TilePaneWindow* pane, bool vertical);
    HWND window() const { return window_; }
    int Position() const;
    void SetRange(int end);

private:
    friend class vantor::LinkedDialog<TileScrollHost>;
    void OnLinked(HWND window) { window_ = window; }
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnScroll(WPARAM wParam);

    HWND window_ = nullptr;
    TilePaneWindow* pane_ = nullptr;
    bool vertical_ = true;
};

class TilePaneWindow final : public CSdkWebEventCallback, public CWebCustomEventCallback {
public:
    TilePaneWindow(HMODULE container, HostContext context, INT_PTR reserved);
    ~TilePaneWindow();
    TilePaneWindow(const TilePaneWindow&) = delete;
    TilePaneWindow& operator=(const TilePaneWindow&) = delete;

    bool CreateWindowIn(HWND parent);
    HWND window() const { return window_; }
    // TabPlug_Destroy: 1 when the pane is gone or will go once the sign-up returns.
    int Destroy();
    void RunCommand(int command, INT_PTR parameter);

    // For the scroll hosts.
    const RECT& webRect() const { return web_; }
    CSdkSurfView* browser() const { return browser_; }
    int OtherPosition(bool vertical) const;

    // Browser events.
    HRESULT OnBeforeNavigate2(IDispatch* frame, VARIANT* url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData,
                              VARIANT* headers, VARIANT_BOOL* cancel) override;
    void OnDocumentComplete(IDispatch* frame, VARIANT* url) override;
    void OnCommandStateChange(long command, VARIANT_BOOL enable) override;
    void OnProgressChange(long progressMax, long progress) override;
    void OnNavigateComplete() override;
    void OnNavigateError(IDispatch* frame, VARIANT* url, VARIANT* targetFrame, VARIANT* statusCode,
                         VARIANT_BOOL cancel) override;
    void OnDownloadComplete() override;
    void OnWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL* cancel) override;

    // Page events: the launch of a game.
    using CWebCustomEventCallback::OnHandleWevCustomEventA;
    void OnHandleWevCustomEventA(int id, const char* a1) override;
    void OnHandleWevCustomEventA(int id, const char* a1, const char* a2) override;

private:
    friend class vantor::LinkedDialog<TilePaneWindow>;
    void OnLinked(HWND window) { window_ = window; }
    static LRESULT CALLBACK BrowserProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // Window (TilePaneWindow.cpp).
    void OnInit();
    void CreateBrowser();
    void Layout();
    void Paint(HDC dc);
    void OnCommand(int id);
    void OnDestroy();
    void ToggleInfoPane();
    void UpdateInfoState();
    void Reload();
    void ShrinkBrowser();
    void ShowLoadBar(bool show);
    void UpdateScrollRanges();
    HWND InfoPaneWindow() const;
    void Renewal();
    void Home();

    // Navigation (TileNavigation.cpp).
    void BoardNavigation(const BoardCommand* command);
    void OpenServicePage(int serviceType, const std::wstring& address);
    void OnApply(int serviceType);
    void OpenGamesPage();
    void OpenClassroomPage(const std::wstring& item);
    void OpenRemotePage(int command);
    bool SetBackground(int number);
    bool SetLocalBackground(const std::wstring& name);
    void RepaintWithInfoPane();
    void Navigate(const std::string& url);
    bool Online();

    // Games (TileGames.cpp).
    void PushGamesList();
    void Launch(const char* path, bool monitored);

    HWND window_ = nullptr;
    HostContext context_;
    INT_PTR reserved_;
    HMODULE container_;
    HWND loadBar_ = nullptr;
    CSdkSurfView* browser_ = nullptr;
    CSdkWebDocHostUIHandler uiHandler_;
    TileBlockPane blocks_;
    RECT logoRect_ = {};
    PictKit logo_;
    PictKit gray_;
    PictKit background_;
    InfoTileButton tiles_[3];
    RECT web_ = {};
    bool navigateError_ = false;
    HRGN browserRegion_ = nullptr;
    bool gamesListPending_ = false;
    bool clearHistoryPending_ = false;
    WCHAR lastBoard_[3][256] = {};
    HMODULE signUp_ = nullptr;
    std::unique_ptr<ProcessMonitor> monitor_;
    std::string lastUrl_;
    bool historyEnabled_ = false;
    TileScrollHost vertical_;
    TileScrollHost horizontal_;

    HMODULE loadBarModule_ = nullptr;
    void* stepTo_ = nullptr;
    WNDPROC browserOldProc_ = nullptr;
    RetryCount renewalRetries_;
    RetryCount commandRetries_;
    // While DoRegister runs: its depth, whether the pane was closed meanwhile, and the
    // service whose sign-up the re-run board command must not start again.
    int inSignUp_ = 0;
    bool closing_ = false;
    int suppressedSignUp_ = 0;
};

}  // namespace tilepane
