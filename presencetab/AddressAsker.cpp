#include "AddressAsker.h"

#include <algorithm>

#include "ThreadWait.h"

namespace presence {

AddressAsker::~AddressAsker() {
    Join();
    if (wake_) CloseHandle(wake_);
}

bool AddressAsker::Start(HANDLE stop, HWND window, UINT message) {
    if (thread_) return true;
    if (!wake_) wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!wake_ || !stop) return false;
    stop_ = stop;
    window_ = window;
    message_ = message;
    thread_ = CreateThread(nullptr, 0, Thread, this, 0, nullptr);
    return thread_ != nullptr;
}

bool AddressAsker::Queue(const std::string& id) {
    if (!thread_ || WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return false;
    {
        vantor::Lock lock(lock_);
        // An ask of that id still to come answers for this one too.
        if (std::find(queue_.begin(), queue_.end(), id) == queue_.end()) queue_.push_back(id);
    }
    SetEvent(wake_);
    return true;
}

void AddressAsker::Join() {
    JoinPumping(&thread_);
    vantor::Lock lock(lock_);
    queue_.clear();
}

DWORD WINAPI AddressAsker::Thread(void* self) {
    static_cast<AddressAsker*>(self)->Run();
    return 0;
}

void AddressAsker::Run() {
    HANDLE both[2] = {stop_, wake_};
    for (;;) {
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return;
        std::string id;
        bool queued = false;
        {
            vantor::Lock lock(lock_);
            if (!queue_.empty()) {
                id = queue_.front();
                queue_.pop_front();
                queued = true;
            }
        }
        if (!queued) {
            if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
            continue;
        }
        FriendStatus status = {};
        bool found = ask_(id, &status);
        answers_.Answered(id, found, status);
        PostMessageW(window_, message_, 0, 0);
    }
}

}  // namespace presence
