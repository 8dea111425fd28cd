#include "PageMessages.h"

#include "PumpingJoin.h"

namespace enrolwizard {

// A platform result travels as the message result; a page that is gone answers 0, which no
// call takes for success.
int MessagePlatform::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return static_cast<int>(SendMessageW(page_, message, wParam, lParam));
}

int MessagePlatform::RegisterUser(const std::string&) { return Send(kRegisterUser, 0, 0); }
int MessagePlatform::Login() { return Send(kLogin); }
int MessagePlatform::FindFirstService(ZumServiceInfo* out) { return Send(kFindFirstService, 0, reinterpret_cast<LPARAM>(out)); }
int MessagePlatform::FindNextService(ZumServiceInfo* out) { return Send(kFindNextService, 0, reinterpret_cast<LPARAM>(out)); }
int MessagePlatform::FindServiceClose() { return Send(kFindServiceClose); }
int MessagePlatform::GetCustomerPublicInfo(ZumCustomerPublicInfo* out) {
    return Send(kGetPublicInfo, 0, reinterpret_cast<LPARAM>(out));
}
int MessagePlatform::SubscribeService(const std::string& id, const std::string& parameters) {
    return Send(kSubscribeService, reinterpret_cast<WPARAM>(id.c_str()), reinterpret_cast<LPARAM>(parameters.c_str()));
}
int MessagePlatform::WriteCompanionSettings() { return Send(kWriteCompanion); }
void MessagePlatform::Acknowledge() { Send(kShortSignUp); }
void MessagePlatform::SetResult(int) {}  // the page sets the wizard result when registration succeeds

bool HandlePlatformMessage(BindingPlatform& platform, const std::string& registrationText, UINT message,
                           WPARAM wParam, LPARAM lParam, LRESULT* answer) {
    switch (message) {
    case kAcknowledge:
    case kShortSignUp: *answer = ZumSuccess; return true;
    case kFindFirstService: *answer = platform.FindFirstService(reinterpret_cast<ZumServiceInfo*>(lParam)); return true;
    case kFindNextService: *answer = platform.FindNextService(reinterpret_cast<ZumServiceInfo*>(lParam)); return true;
    case kFindServiceClose: *answer = platform.FindServiceClose(); return true;
    case kLogin: *answer = platform.Login(); return true;
    case kSubscribeService:
        *answer = platform.SubscribeService(reinterpret_cast<const char*>(wParam), reinterpret_cast<const char*>(lParam));
        return true;
    case kRegisterUser: {
        *answer = platform.RegisterUser(registrationText);
        if (*answer == ZumSuccess) platform.SetResult(1);
        return true;
    }
    case kWriteCompanion: *answer = platform.WriteCompanionSettings(); return true;
    case kGetPublicInfo: *answer = platform.GetCustomerPublicInfo(reinterpret_cast<ZumCustomerPublicInfo*>(lParam)); return true;
    default: return false;
    }
}

bool SignUpWorker::Start(HWND page, const std::string& text) {
    if (thread_) return false;
    page_ = page;
    text_ = text;
    services_.clear();
    thread_ = CreateThread(nullptr, 0, &SignUpWorker::Run, this, 0, nullptr);
    return thread_ != nullptr;
}

DWORD WINAPI SignUpWorker::Run(void* self) {
    SignUpWorker* worker = static_cast<SignUpWorker*>(self);
    MessagePlatform platform(worker->page_);
    SignUpOutcome outcome = RunSignUp(platform, worker->text_, &worker->services_);
    PostMessageW(worker->page_, outcome == SignUpOutcome::Registered ? kSignUpSucceeded : kSignUpFailed, 0, 0);
    return 0;
}

bool SignUpWorker::Join() {
    if (joining_) return false;
    if (!thread_) return true;
    joining_ = true;
    vantor::JoinPumping(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
    joining_ = false;
    return true;
}

}  // namespace enrolwizard
