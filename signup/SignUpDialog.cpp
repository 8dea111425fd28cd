#include "SignUpDialog.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "CommonKit.h"
#include "ModulePath.h"
#include "PumpingJoin.h"
#include "SignUp.h"
#include "SignUpIds.h"
#include "SignUpLogic.h"
#include "Sync.h"
#include "Text.h"
#include "outside/RostLedger.h"

namespace signup {
namespace {

// The sign-up windows being shown, the first opened first: a page of one may ask for
// another sign-up while it is up.
vantor::CriticalSection g_openLock;
std::vector<HWND> g_openWindows;
const int kStatusStrip = 25;

void Forget(HWND window) {
    vantor::Lock lock(g_openLock);
    g_openWindows.erase(std::remove(g_openWindows.begin(), g_openWindows.end(), window), g_openWindows.end());
}

}  // namespace

std::vector<HWND> OpenSignUpWindows() {
    vantor::Lock lock(g_openLock);
    return g_openWindows;
}

SignUpDialog::SignUpDialog(int serviceType, HostContext context, HMODULE container)
    : PageFrame(SKINFRAME_BUTTON_CLOSE | SKINFRAME_BUTTON_MINIMIZE),
      serviceType_(serviceType),
      context_(context),
      container_(container) {}

SignUpDialog::~SignUpDialog() {
    JoinWorker();
    delete[] request_;
    if (rostLedger_) FreeLibrary(rostLedger_);
}

int SignUpDialog::Run(HINSTANCE module, HWND parent) {
    int result = DoModal(module, IDD_SIGNUP, parent);
    // The window can also go with its owner, while an apply still runs.
    JoinWorker();
    return result < 0 ? 0 : result;
}

void SignUpDialog::JoinWorker() {
    if (!worker_) return;
    vantor::JoinPumping(worker_);
    CloseHandle(worker_);
    worker_ = nullptr;
}

INT_PTR SignUpDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case UM_SIGNUP_APPLY:
        OnApplyRequest(static_cast<int>(wParam), reinterpret_cast<char*>(lParam));
        return 0;
    case UM_SIGNUP_DONE:
        OnApplyDone();
        return 0;
    default:
        return CSkinFrame::DialogProc(message, wParam, lParam);
    }
}

bool SignUpDialog::OnInitDialog() {
    CSkinFrame::OnInitDialog();
    CenterWindow(m_hWnd, nullptr);
    SetWindowTextW(m_hWnd, L"服务注册");
    {
        vantor::Lock lock(g_openLock);
        g_openWindows.push_back(m_hWnd);
    }

    OpenBrowser(reinterpret_cast<HINSTANCE>(vantor::ThisModule()));

    rostLedger_ = vantor::LoadProgramLibrary(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(rostLedger_, "RostLedger_GetCurrentAccount");
    if (current) account_ = current(context_);

    char base[260] = {};
    if (!_GetProfileStringA("CommonUrl", "ServiceUrl", base, sizeof base, "config\\commprof.cfg")) base[0] = '\0';
    if (browser()) browser()->Navigate(ServicePageUrl(base, serviceType_).c_str());
    PostMessageW(m_hWnd, WM_SIZE, 0, 0);
    return true;
}

void SignUpDialog::Layout() {
    RECT area = LayOutBrowser(kStatusStrip);
    RECT strip;
    GetRealClientRect(&strip);
    strip.top = area.bottom + 6;
    strip.left += 4;
    MoveWindow(GetDlgItem(m_hWnd, IDC_SIGNUP_BUSY), strip.left, strip.top, strip.right - strip.left,
               strip.bottom - strip.top, TRUE);
}

void SignUpDialog::OnClose() {
    if (worker_) {
        if (pendingClose_ != 0) pendingClose_ = SIGNUP_USER_CLOSED;
        return;
    }
    if (!CloseBrowser()) return;
    CSkinFrame::OnClose();
}

bool SignUpDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE && worker_) {
        // An end from outside (0) stays asked for even when the user closes as well.
        if (pendingClose_ != 0) pendingClose_ = static_cast<int>(lParam);
        return true;
    }
    return CSkinFrame::OnSysCommand(command, lParam);
}

void SignUpDialog::OnDestroy() {
    CloseBrowser();
    ExitSdkSurfView(reinterpret_cast<HINSTANCE>(vantor::ThisModule()));
    Forget(m_hWnd);
}

void SignUpDialog::OnDocumentComplete(IDispatch*, VARIANT*) {
    if (browser()) browser()->RemoveScrollBar();
}

void SignUpDialog::OnHandleWevCustomEventA(int id, const char* a1) {
    int type = RequestedService(id, a1);
    if (!type) return;
    pagebridge::ScriptCall grade = pagebridge::CallPageScript(browser(), "JS_GetGrade", {a1});
    if (FAILED(grade.hr)) return;
    RequestText text = MakeGradeRequest(grade.text);
    if (PostMessageW(m_hWnd, UM_SIGNUP_APPLY, static_cast<WPARAM>(type), reinterpret_cast<LPARAM>(text.get()))) {
        text.release();
    }
}

void SignUpDialog::OnApplyRequest(int serviceType, char* text) {
    RequestText owned(text);
    // The running worker owns the text it applies with: a second request is dropped.
    if (worker_) return;
    request_ = owned.release();
    requestType_ = serviceType;
    worker_ = CreateThread(nullptr, 0, WorkerMain, this, 0, nullptr);
    if (!worker_) {
        delete[] request_;
        request_ = nullptr;
    }
}

DWORD WINAPI SignUpDialog::WorkerMain(LPVOID self) {
    static_cast<SignUpDialog*>(self)->Work();
    return 0;
}

void SignUpDialog::Work() {
    InterlockedExchange(&applied_, 0);
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    HWND window = m_hWnd;
    ApplyWork work;
    work.apply = vantor::ProcAddress<ApplyServiceFn>(core, "Cco_ApplyServiceA");
    work.busy = [window](bool show) { ShowWindow(GetDlgItem(window, IDC_SIGNUP_BUSY), show ? SW_SHOW : SW_HIDE); };
    work.refused = [window] { MessageBoxW(window, L"服务注册失败，请重试！", L"注册服务", MB_OK | MB_ICONERROR); };
    work.accountId = [this]() -> std::string {
        auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(rostLedger_, "RostLedger_GetFriendInfoA");
        FriendInfoA record;
        memset(&record, 0, sizeof record);
        if (!info || !account_ || !info(context_, account_, &record)) return std::string();
        return vantor::FieldText(record.id);
    };
    work.programDir = vantor::ProgramDir();
    if (RunApply(work, requestType_, request_)) InterlockedExchange(&applied_, 1);
    delete[] request_;
    request_ = nullptr;
    if (core) FreeLibrary(core);
    PostMessageW(window, UM_SIGNUP_DONE, 0, 0);
}

void SignUpDialog::OnApplyDone() {
    JoinWorker();
    int result = pendingClose_ >= 0 ? pendingClose_ : static_cast<int>(InterlockedCompareExchange(&applied_, 0, 0));
    PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, result);
}

}  // namespace signup
