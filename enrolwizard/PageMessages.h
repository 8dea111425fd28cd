// The sign-up page's private messages: the worker sends one for every platform call, so
// that each call runs on the dialog thread, and posts the end of the sign-up.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "BindingPlatform.h"
#include "EnrolLogic.h"

namespace enrolwizard {

enum : UINT {
    kShowPage = 5120,            // to the main dialog: wParam 1 sign-up page, 2 agreement page
    kSignUpSucceeded = 5124,
    kSignUpFailed = 5125,
    kListServices = 5126,
    kAcknowledge = 5127,
    kFindFirstService = 5129,
    kFindNextService = 5130,
    kFindServiceClose = 5131,
    kLogin = 5132,
    kSubscribeService = 5133,    // wParam id text, lParam parameter text
    kRegisterUser = 5134,        // lParam the platform's record (null)
    kShortSignUp = 5135,
    kWriteCompanion = 5136,
    kGetPublicInfo = 5137,
};

// The worker's view of the platform: every call a message sent to the page.
class MessagePlatform : public Platform {
public:
    explicit MessagePlatform(HWND page) : page_(page) {}

    int RegisterUser(const std::string& text) override;
    int Login() override;
    int FindFirstService(ZumServiceInfo* out) override;
    int FindNextService(ZumServiceInfo* out) override;
    int FindServiceClose() override;
    int GetCustomerPublicInfo(ZumCustomerPublicInfo* out) override;
    int SubscribeService(const std::string& id, const std::string& parameters) override;
    int WriteCompanionSettings() override;
    void Acknowledge() override;
    void SetResult(int result) override;

private:
    int Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HWND page_;
};

// What the page does with one of the worker's messages; false for any other message. The
// registration text is the page's own (the worker's text only travels for the record).
bool HandlePlatformMessage(BindingPlatform& platform, const std::string& registrationText, UINT message,
                           WPARAM wParam, LPARAM lParam, LRESULT* answer);

// The sign-up thread of one page: at most one at a time; the page's thread waits for it while
// dispatching messages, so that the calls it sends still get through.
class SignUpWorker {
public:
    ~SignUpWorker() { Join(); }

    // False while a worker is held: a second start does nothing.
    bool Start(HWND page, const std::string& text);
    bool Held() const { return thread_ != nullptr; }
    // Waits for the thread while dispatching this thread's messages, then closes its handle.
    // False when called again from a message dispatched inside a wait: the outer wait is the
    // one that ends it.
    bool Join();
    // The records the last sign-up found; read after Join.
    const std::vector<ZumServiceInfo>& Services() const { return services_; }

private:
    static DWORD WINAPI Run(void* self);

    HANDLE thread_ = nullptr;
    bool joining_ = false;
    HWND page_ = nullptr;
    std::string text_;
    std::vector<ZumServiceInfo> services_;
};

}  // namespace enrolwizard
