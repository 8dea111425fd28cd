// CSdkSurfView and the library's start and end calls.
#include "outside/SurfView.h"

#include "ModulePath.h"
#include "PageScript.h"
#include "SurfTrace.h"
#include "SurfViewWindow.h"
#include "Text.h"

using surfview::Trace;

namespace {

LONG g_uses = 0;

template <typename String>
std::wstring ArgumentList(const std::vector<String>& args, std::wstring (*convert)(const typename String::value_type*)) {
    std::wstring list;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) list += L",";
        list += L"\"" + convert(args[i].c_str()) + L"\"";
    }
    return list;
}

std::wstring Narrow(const char* s) { return vantor::AnsiToWide(s); }
std::wstring Wide(const wchar_t* s) { return s ? s : L""; }

}  // namespace

bool InitSdkSurfView(HINSTANCE) {
    LONG uses = InterlockedIncrement(&g_uses);
    Trace(L"init " + std::to_wstring(uses));
    return SurfViewWindow::RegisterWindowClass();
}

void ExitSdkSurfView(HINSTANCE) {
    // An Exit without its Init leaves the count at 0; live browsers are not affected.
    LONG uses = g_uses;
    while (uses > 0) {
        LONG seen = InterlockedCompareExchange(&g_uses, uses - 1, uses);
        if (seen == uses) {
            --uses;
            break;
        }
        uses = seen;
    }
    Trace(L"exit " + std::to_wstring(uses));
}

CSdkSurfView::CSdkSurfView() : m_hWnd(nullptr), window_(nullptr) {}

CSdkSurfView::~CSdkSurfView() { delete window_; }

bool CSdkSurfView::Create(HINSTANCE, CSdkSurfView** browser, HWND parent, UINT number,
                          CSdkWebEventCallback* callback) {
    if (!browser || !IsWindow(parent) || !SurfViewWindow::RegisterWindowClass()) return false;
    CSdkSurfView* view = new CSdkSurfView;
    view->window_ = new SurfViewWindow(view, callback, number);
    view->m_hWnd = CreateWindowExW(0, SurfViewWindow::ClassName(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                   0, 0, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(number)),
                                   vantor::ThisModule(), view->window_);
    if (!view->m_hWnd) {
        delete view;
        return false;
    }
    Trace(L"create " + std::to_wstring(number) + (callback ? L"" : L" without callback"));
    *browser = view;
    return true;
}

void CSdkSurfView::SetUIHandler(CSdkWebDocHostUIHandler* handler) {
    if (!window_->Usable()) return;
    window_->SetUIHandler(handler);
    Trace(handler ? L"uihandler set" : L"uihandler cleared");
}

bool CSdkSurfView::Navigate(const char* url) { return url && Navigate(vantor::AnsiToWide(url).c_str()); }

bool CSdkSurfView::Navigate(const wchar_t* url) {
    if (!url || !window_->Usable()) return false;
    SurfViewWindow::Scope scope(window_);
    Trace(std::wstring(L"navigate ") + url);
    return window_->session().Navigate(url);
}

bool CSdkSurfView::GoBack() {
    if (!window_->Usable()) return false;
    SurfViewWindow::Scope scope(window_);
    Trace(L"back");
    return window_->session().GoBack();
}

bool CSdkSurfView::GoForward() {
    if (!window_->Usable()) return false;
    SurfViewWindow::Scope scope(window_);
    Trace(L"forward");
    return window_->session().GoForward();
}

void CSdkSurfView::ClearTraveLog() {
    if (!window_->Usable()) return;
    Trace(L"cleartravellog");
    window_->session().ClearHistory();
}

void CSdkSurfView::RemoveScrollBar() {
    if (!window_->Usable()) return;
    Trace(L"removescrollbar");
    window_->RemoveScrollBars();
}

bool CSdkSurfView::IsObject(IDispatch* frame) const {
    if (!frame || !window_->top()) return false;
    if (frame == window_->top()) return true;
    // Compared by identity, as COM objects are.
    vantor::ComPtr<IUnknown> a, b;
    frame->QueryInterface(IID_IUnknown, a.put_void());
    window_->top()->QueryInterface(IID_IUnknown, b.put_void());
    return a && a.get() == b.get();
}

bool CSdkSurfView::GetDocSize(long* cx, long* cy) const { return window_->DocSize(cx, cy); }

void CSdkSurfView::ScrollIE(long x, long y) {
    if (!window_->Usable()) return;
    Trace(L"scroll " + std::to_wstring(x) + L" " + std::to_wstring(y));
    window_->Scroll(x, y);
}

bool CSdkSurfView::PreTranslateMessage(MSG* msg) {
    if (!msg || !window_->Usable() || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
    if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd)) return false;
    switch (msg->wParam) {
        case VK_TAB:
        case VK_DELETE:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            if (msg->message == WM_KEYDOWN) Trace(L"key " + std::to_wstring(msg->wParam));
            return true;
    }
    return false;
}

namespace {

bool Answer(const pageengine::PageSession& session, const std::wstring& name, const std::wstring& args,
            VARIANT* result) {
    const pageengine::PageDocument* page = session.Complete() ? session.Current() : nullptr;
    const pageengine::PageFunction* function = page ? page->Function(name) : nullptr;
    Trace(pageengine::ScriptTraceLine(name, args, function != nullptr));
    if (!function) return false;
    pageengine::AnswerFunction(*function, result);
    return true;
}

}  // namespace

bool CSdkSurfView::CallJScript(const char* name, std::vector<nimbrel::ki_string>& args, VARIANT* result) {
    if (!name || !window_->Usable()) return false;
    return Answer(window_->session(), vantor::AnsiToWide(name), ArgumentList(args, Narrow), result);
}

bool CSdkSurfView::CallJScript(const wchar_t* name, std::vector<nimbrel::ki_wstring>& args, VARIANT* result) {
    if (!name || !window_->Usable()) return false;
    return Answer(window_->session(), name, ArgumentList(args, Wide), result);
}
