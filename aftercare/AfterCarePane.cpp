#include "AfterCarePane.h"

#include <cstring>

#include "AfterCareIds.h"
#include "AfterCareLogic.h"
#include "CommonKit.h"
#include "ModulePath.h"
#include "Text.h"
#include "VantorMessages.h"
#include "outside/OrderHub.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"

namespace aftercare {
namespace {

const int kBottomStrip = 15;
const char kCommonProfile[] = "config\\commprof.cfg";
const char kUiProfile[] = "config\\uiprof.cfg";

// The hooked pane of this module and its hook; the window's thread only.
AfterCarePane* g_hookedPane = nullptr;
HWND g_hookedWindow = nullptr;
HHOOK g_hook = nullptr;
// The pane whose window is being made: a window that fails during its creation leaves the
// object to the caller.
thread_local AfterCarePane* t_opening = nullptr;

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(vantor::ThisModule()); }

std::string ServiceUrl() {
    char url[1024] = {};
    return _GetProfileStringA("CommonUrl", "ServiceUrl", url, sizeof url, kCommonProfile) ? url : "";
}

}  // namespace

AfterCarePane::AfterCarePane(HMODULE container, HostContext context, INT_PTR reserved)
    : PageFrame(SKINFRAME_BUTTON_CLOSE), reserved_(reserved), context_(context), container_(container) {
    memset(&policy_, 0, sizeof policy_);
}

AfterCarePane::~AfterCarePane() = default;

bool AfterCarePane::Open() {
    t_opening = this;
    bool made = Create(Module(), IDD_AFTERCARE, GetDesktopWindow());
    t_opening = nullptr;
    return made;
}

INT_PTR AfterCarePane::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case UM_AFTERCARE_APPLIED:
        OnApplied();
        return 0;
    case UM_AFTERCARE_FAILED:
        OnFailed();
        return 0;
    default:
        return CSkinFrame::DialogProc(message, wParam, lParam);
    }
}

bool AfterCarePane::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    CenterWindow(m_hWnd, nullptr);
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    if (OpenBrowser(Module())) ShowWindow(browser()->m_hWnd, SW_SHOW);
    ReadPolicy();

    std::string base = ServiceUrl();
    if (base.empty()) return true;  // no service page: the pane stays hidden and does nothing
    if (browser()) browser()->Navigate(PageUrl(base, PolicyStatus(policy_)).c_str());
    SetWindowTextW(m_hWnd, Caption().c_str());

    PostMessageW(m_hWnd, WM_SIZE, 0, 0);
    ShowWindow(m_hWnd, SW_SHOW);
    if (!g_hook) {
        g_hookedPane = this;
        g_hookedWindow = m_hWnd;
        g_hook = SetWindowsHookExW(WH_GETMESSAGE, KeyboardHook, nullptr, GetCurrentThreadId());
    }
    return true;
}

void AfterCarePane::ReadPolicy() {
    HMODULE ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto query =
        vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyA>(ledger, "RostLedger_QueryFriendServicePolicyA");
    FriendHandle account = current ? current(context_) : nullptr;
    if (account && query && !query(context_, account, kAfterSaleService, &policy_)) memset(&policy_, 0, sizeof policy_);
    if (ledger) FreeLibrary(ledger);
}

std::wstring AfterCarePane::Caption() const {
    char caption[64] = {};
    if (!_GetProfileStringA("Dialog", "Caption", caption, sizeof caption, kUiProfile)) caption[0] = '\0';
    return vantor::AnsiToWide(caption);
}

LRESULT CALLBACK AfterCarePane::KeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
        g_hookedPane) {
        bool pageKey = msg->wParam == VK_TAB || msg->wParam == VK_DELETE;
        CSdkSurfView* browser = g_hookedPane->browser();
        bool pageTakes = pageKey && browser && browser->PreTranslateMessage(msg);
        if (!pageTakes && IsDialogMessageW(g_hookedWindow, msg)) {
            // Handled by the dialog: dispatching it again would act twice.
            msg->message = WM_NULL;
            msg->wParam = 0;
            msg->lParam = 0;
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

void AfterCarePane::Layout() { LayOutBrowser(kBottomStrip); }

void AfterCarePane::OnDocumentComplete(IDispatch* frame, VARIANT*) {
    CSdkSurfView* page = browser();
    if (!page) return;
    page->RemoveScrollBar();
    if (page->IsObject(frame)) pagebridge::CallPageScript(page, "JS_SetAfterServiceInfo", PageInfoArguments(policy_));
}

void AfterCarePane::OnHandleWevCustomEventA(int id, const char* a1) {
    if (!TakesEvents(PolicyStatus(policy_))) return;
    if (id == 1) {
        MessageBoxW(m_hWnd, vantor::AnsiToWide(a1 ? a1 : "").c_str(), Caption().c_str(), MB_OK | MB_ICONWARNING);
    } else if (id == 2) {
        Apply(pagebridge::CallPageScript(browser(), "JS_GetAfterServiceInfo", std::vector<std::string>()).text);
    }
}

// The bridge hands every event over narrow; a browser that reads elements as wide text
// reaches this twin.
void AfterCarePane::OnHandleWevCustomEventW(int id, const wchar_t* a1) {
    if (!TakesEvents(PolicyStatus(policy_))) return;
    if (id == 1) {
        MessageBoxW(m_hWnd, a1 ? a1 : L"", Caption().c_str(), MB_OK | MB_ICONWARNING);
    } else if (id == 2) {
        lastMessage_.clear();
        Apply(pagebridge::CallPageScript(browser(), L"JS_GetAfterServiceInfo", std::vector<std::wstring>()).text);
    }
}

void AfterCarePane::Apply(const std::string& form) {
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    HMODULE keeper = vantor::LoadProgramLibrary(L"RostKeeper.dll");
    ApplyBinding binding;
    binding.apply = vantor::ProcAddress<ApplyServiceFn>(core, "Cco_ApplyServiceA");
    binding.lastMessage = vantor::ProcAddress<LastMessageFn>(core, "Cco_GetLastMsg");
    binding.update = vantor::ProcAddress<UpdatePolicyFn>(keeper, "RostKeeper_UpdateServicePolicyDataA");
    bool accepted = ApplyAfterSale(binding, context_, form, &policy_, &lastMessage_);
    if (keeper) FreeLibrary(keeper);
    if (core) FreeLibrary(core);
    PostMessageW(m_hWnd, accepted ? UM_AFTERCARE_APPLIED : UM_AFTERCARE_FAILED, 0, 0);
}

void AfterCarePane::OnApplied() {
    std::string base = ServiceUrl();
    if (base.empty()) return;
    int status = PolicyStatus(policy_);
    if (status == 1) applied_ = true;
    if (browser()) browser()->Navigate(PageUrl(base, status).c_str());
}

void AfterCarePane::OnFailed() {
    MessageBoxW(m_hWnd, FailureText(lastMessage_).c_str(), Caption().c_str(), MB_OK | MB_ICONERROR);
}

void AfterCarePane::NotifyOwner() {
    HWND owner = _TabPlug_GetSafeHwnd(container_, PLUG_PANE_OWNER);
    if (owner) PostMessageW(owner, UM_PANE_CLOSED, 0, applied_ ? 1 : 0);
}

bool AfterCarePane::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) != SC_CLOSE) return CSkinFrame::OnSysCommand(command, lParam);
    // The caption's close button asks the information pane; the window stays.
    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
    if (action) action(PLUG_INFO_PANE, 1, -7);
    return true;
}

void AfterCarePane::OnClose() { NotifyOwner(); }

void AfterCarePane::OnDestroy() {
    NotifyOwner();
    if (g_hookedWindow == m_hWnd) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        g_hookedPane = nullptr;
        g_hookedWindow = nullptr;
    }
    CloseBrowser();
    ExitSdkSurfView(Module());
}

void AfterCarePane::OnNcDestroy() {
    if (this != t_opening) delete this;
}

}  // namespace aftercare
