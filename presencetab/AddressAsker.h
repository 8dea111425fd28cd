// Asks the presence server where senders are, on a thread of its own, so that the window's
// thread never waits for the server: each answer goes into the answers kept, and the window
// is posted a message to take it up. The thread lives from Start to Join, within the
// window's life.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "AddressAnswers.h"
#include "Sync.h"

namespace presence {

class AddressAsker {
public:
    // The server's addresses of `id`; false when it could not say.
    using Ask = std::function<bool(const std::string& id, FriendStatus* out)>;

    AddressAsker(vantor::imkit::AddressAnswers& answers, Ask ask) : answers_(answers), ask_(std::move(ask)) {}
    ~AddressAsker();
    AddressAsker(const AddressAsker&) = delete;
    AddressAsker& operator=(const AddressAsker&) = delete;

    // Starts the thread, which ends once `stop` (a manual-reset event) is set; each answer
    // posts `message` to `window`.
    bool Start(HANDLE stop, HWND window, UINT message);
    // Queues an ask of `id` (one at most for each id not asked yet, however slowly the
    // server answers); false when the thread does not run or is stopping.
    bool Queue(const std::string& id);
    // Waits for the thread, messages flowing; the stop event is set first. Asks not begun
    // are dropped.
    void Join();

private:
    static DWORD WINAPI Thread(void* self);
    void Run();

    vantor::imkit::AddressAnswers& answers_;
    Ask ask_;
    HANDLE stop_ = nullptr;
    HANDLE wake_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    UINT message_ = 0;
    vantor::CriticalSection lock_;
    std::deque<std::string> queue_;
};

}  // namespace presence
