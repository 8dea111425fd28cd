#include "WizardDialog.h"

#include <memory>

#include "BrowserSite.h"
#include "PageBridge.h"
#include "PageMessages.h"
#include "Text.h"
#include "WizardIds.h"

namespace enrolwizard {

namespace {

struct Wizard {
    HINSTANCE module = nullptr;
    PageUrls urls;
    std::string text1, text2;  // kept for the caller; the sign-up does not use them
    volatile LONG result = 0;
    HWND main = nullptr;
    HWND signUp = nullptr;
    HWND agreement = nullptr;
    HWND shown = nullptr;
    bool closing = false;
    ZumBinding zum;
};

// What both pages share: the browser in place over control 1001, "about:blank" first with the
// UI handler put on it, and the event URLs taken out of navigation.
class Page : public BrowserEvents {
public:
    Page(Wizard* wizard, HWND hwnd) : wizard_(wizard), hwnd_(hwnd), site_(hwnd, this) {}
    virtual ~Page() = default;

    void Open(const std::string& url) {
        RECT area = {};
        if (HWND place = GetDlgItem(hwnd_, IDC_ENROL_BROWSER)) {
            GetWindowRect(place, &area);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
        } else {
            GetClientRect(hwnd_, &area);
        }
        if (FAILED(site_.Open(area))) return;
        site_.Navigate(L"about:blank");
        site_.Navigate(vantor::AnsiToWide(url));
    }
    // The page's window is going: the browser goes with it. The object itself goes now, or,
    // when one of its own handlers is still on the stack (waiting for the worker while
    // messages are dispatched), once that handler returns.
    void Retire() {
        Finish();
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        site_.Close();
        retired_ = true;
        if (busy_ == 0) delete this;
    }

    bool OnBeforeNavigate(const VARIANT* url) override {
        pagebridge::Decision d = pagebridge::DecideWizardNavigation(url);
        if (d.verdict != pagebridge::Verdict::Event) return false;
        int id = 0;
        std::string text;
        if (ReadEventElement(d.element, &id, &text)) OnCommand(id, text);
        return true;
    }
    void OnDocumentComplete(bool topLevel, const std::wstring& url) override {
        if (url == L"about:blank") {
            site_.SetUiHandler(&ui_);
            return;
        }
        OnPageLoaded(topLevel);
    }

    // Private messages; false for the dialog's own.
    virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

protected:
    // Waits for whatever the page still runs before it goes.
    virtual void Finish() {}

    // Marks a handler that may dispatch messages (and so see the page's window go) while it runs.
    class Busy {
    public:
        explicit Busy(Page* page) : page_(page) { ++page_->busy_; }
        ~Busy() {
            if (--page_->busy_ == 0 && page_->retired_) delete page_;
        }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        Page* page_;
    };

    virtual void OnCommand(int, const std::string&) {}
    virtual void OnPageLoaded(bool) {}

    Wizard* wizard_;
    HWND hwnd_;
    BrowserSite site_;
    UiHandler ui_;
    int busy_ = 0;
    bool retired_ = false;
};

class SignUpPage : public Page {
public:
    SignUpPage(Wizard* wizard, HWND hwnd)
        : Page(wizard, hwnd), platform_(wizard->zum, SystemCompanionPlace(), &wizard->result) {}

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) override {
        if (message == kSignUpSucceeded || message == kSignUpFailed) {
            *answer = 0;
            Busy busy(this);
            if (!worker_.Join()) {
                // Arrived inside another wait for the worker: take it up once that one ends.
                PostMessageW(hwnd_, message, wParam, lParam);
            } else if (retired_) {
                // The wizard closed while this waited: nothing is left to show it on.
            } else if (message == kSignUpSucceeded) {
                SendMessageW(hwnd_, kListServices, 0, 0);
                SendMessageW(hwnd_, kShortSignUp, 0, 0);
                site_.CallScript(L"JS_RegisterUserSucceed", {});
            } else {
                site_.CallScript(L"JS_Display_FailMsg", {FailureText(wizard_->zum.GetLastError())});
            }
            return true;
        }
        if (message == kListServices) {
            site_.CallScript(L"JS_ClearServicePolicy", {});
            for (const ZumServiceInfo& s : worker_.Services()) {
                site_.CallScript(L"JS_AddServicePolicy",
                                 {vantor::FieldText(s.id), vantor::FieldText(s.name), vantor::FieldText(s.description)});
            }
            *answer = 0;
            return true;
        }
        return HandlePlatformMessage(platform_, text_, message, wParam, lParam, answer);
    }

protected:
    // The worker's platform calls still need this window: a close waits for it first.
    void Finish() override { worker_.Join(); }

    void OnCommand(int id, const std::string& text) override {
        switch (CommandFor(id)) {
        case PageCommand::KeepText: text_ = text; break;
        case PageCommand::StartWorker: worker_.Start(hwnd_, text_); break;
        case PageCommand::Close: PostMessageW(wizard_->main, WM_CLOSE, 0, 0); break;
        case PageCommand::ShowAgreement: PostMessageW(wizard_->main, kShowPage, 2, 0); break;
        case PageCommand::Finish:
            InterlockedExchange(&wizard_->result, 100);
            PostMessageW(wizard_->main, WM_CLOSE, 0, 0);
            break;
        case PageCommand::None: break;
        }
    }

private:
    BindingPlatform platform_;
    SignUpWorker worker_;
    std::string text_;
};

class AgreementPage : public Page {
public:
    using Page::Page;

protected:
    void OnPageLoaded(bool topLevel) override {
        if (topLevel) EnableWindow(GetDlgItem(hwnd_, IDC_ENROL_ACCEPT), TRUE);
    }
};

INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Page* page = reinterpret_cast<Page*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        Wizard* wizard = reinterpret_cast<Wizard*>(lParam);
        bool signUp = wizard->signUp == nullptr && GetDlgItem(hwnd, IDC_ENROL_ACCEPT) == nullptr;
        page = signUp ? static_cast<Page*>(new SignUpPage(wizard, hwnd)) : new AgreementPage(wizard, hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
        page->Open(signUp ? wizard->urls.signUp : wizard->urls.agreement);
        return TRUE;
    }
    case WM_COMMAND: {
        Wizard* wizard = page ? reinterpret_cast<Wizard*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA)) : nullptr;
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: return TRUE;  // Enter and Escape do nothing on a page
        case IDC_ENROL_GIVE_UP:
            if (wizard) {
                InterlockedExchange(&wizard->result, 0);
                PostMessageW(wizard->main, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return TRUE;
        case IDC_ENROL_ACCEPT:
            if (wizard) PostMessageW(wizard->main, kShowPage, 1, 0);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        if (page) page->Retire();
        return FALSE;
    }
    LRESULT answer = 0;
    if (page && message >= WM_USER && page->OnMessage(message, wParam, lParam, &answer)) {
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    return FALSE;
}

void ShowPage(Wizard* wizard, int which) {
    HWND& page = which == 2 ? wizard->agreement : wizard->signUp;
    if (!page) {
        page = CreateDialogParamW(wizard->module, MAKEINTRESOURCEW(which == 2 ? IDD_ENROL_AGREEMENT : IDD_ENROL_SIGNUP),
                                  wizard->main, PageProc, reinterpret_cast<LPARAM>(wizard));
        if (!page) return;
        RECT client;
        GetClientRect(wizard->main, &client);
        SetWindowPos(page, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
    }
    if (wizard->shown && wizard->shown != page) ShowWindow(wizard->shown, SW_HIDE);
    ShowWindow(page, SW_SHOW);
    wizard->shown = page;
}

INT_PTR CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Wizard* wizard = reinterpret_cast<Wizard*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        wizard = reinterpret_cast<Wizard*>(lParam);
        wizard->main = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        PostMessageW(hwnd, kShowPage, 1, 0);
        return TRUE;
    case kShowPage:
        if (wizard && (wParam == 1 || wParam == 2)) ShowPage(wizard, static_cast<int>(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;  // no Enter or Escape ending
    case WM_CLOSE:
        // A second close arriving while the first waits for the worker changes nothing.
        if (wizard && wizard->closing) return TRUE;
        if (wizard) {
            wizard->closing = true;
            // Destroying the sign-up page first waits for its worker, whose calls still run.
            if (wizard->signUp) DestroyWindow(wizard->signUp);
            if (wizard->agreement) DestroyWindow(wizard->agreement);
            wizard->signUp = wizard->agreement = wizard->shown = nullptr;
        }
        EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int RunWizard(HINSTANCE module, const PageUrls& urls, const char* text1, const char* text2) {
    auto wizard = std::make_unique<Wizard>();
    wizard->module = module;
    wizard->urls = urls;
    wizard->text1 = text1 ? text1 : "";
    wizard->text2 = text2 ? text2 : "";
    DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_ENROL_MAIN), nullptr, MainProc, reinterpret_cast<LPARAM>(wizard.get()));
    return static_cast<int>(wizard->result);
}

}  // namespace enrolwizard
