// The browser window behind a CSdkSurfView: runs the page session on its own thread's
// messages, turns its events into the callback's calls, and paints what is loaded.
#pragma once

#include <windows.h>

#include <map>

#include "Handles.h"
#include "PageSession.h"
#include "outside/SurfView.h"

class SurfViewWindow final : public pageengine::PageSessionSink {
public:
    SurfViewWindow(CSdkSurfView* owner, CSdkWebEventCallback* callback, UINT number);
    ~SurfViewWindow();

    static bool RegisterWindowClass();
    static const wchar_t* ClassName();

    // Holds the object alive across a call that may reach the callback: a window destroyed
    // meanwhile deletes the object only once the outermost such call has returned.
    class Scope {
    public:
        explicit Scope(SurfViewWindow* w) : w_(w) { ++w_->depth_; }
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        SurfViewWindow* w_;
    };

    // Calls are taken only on the thread that created the window, while it exists.
    bool Usable() const;

    pageengine::PageSession& session() { return session_; }
    IDispatch* top() const { return top_.get(); }
    void SetUIHandler(CSdkWebDocHostUIHandler* handler) { ui_ = handler; }
    void RemoveScrollBars() { scrollBars_ = false; }
    void Scroll(long x, long y);
    bool DocSize(long* cx, long* cy) const;
    HWND wnd() const { return wnd_; }

    // PageSessionSink
    bool OnBeforeNavigate(int frame, const std::wstring& url) override;
    void OnProgress(long progressMax, long progress) override;
    void OnNavigateError(int frame, const std::wstring& url, long status) override;
    void OnNavigateComplete() override;
    void OnDocumentComplete(int frame, const std::wstring& url) override;
    void OnDownloadComplete() override;
    void OnCommandState(long command, bool enable) override;
    void OnWindowClosing() override;
    void OnFramesDone(const std::vector<int>& frames) override;
    void Wake() override;

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Paint();
    void NewWindow(const std::wstring& url);
    // The window is gone and no call of it is running: the object goes (or is kept, see
    // SURFVIEW_KEEP_DESTROYED).
    void Release();
    IDispatch* Frame(int frame);
    std::wstring FrameName(int frame) const;

    CSdkSurfView* owner_;
    CSdkWebEventCallback* callback_;
    UINT number_;
    HWND wnd_ = nullptr;
    DWORD thread_;
    pageengine::PageSession session_;
    vantor::ComPtr<IDispatch> top_;
    std::map<int, vantor::ComPtr<IDispatch>> frames_;
    CSdkWebDocHostUIHandler* ui_ = nullptr;
    bool scrollBars_ = true;
    long scrollX_ = 0;
    long scrollY_ = 0;
    int depth_ = 0;
    bool gone_ = false;
};
