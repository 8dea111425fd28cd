// A chat service as the plug-in makes it, with real chat windows, in a test process.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include "ChatDialog.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "ImService.h"
#include "OleHost.h"

namespace cdtest {

class WindowClient {
public:
    explicit WindowClient(HostContext book = kBook) {
        OleInitialize(nullptr);
        chatdesk::ImService::Setup setup;
        setup.book = book;
        setup.instance = GetModuleHandleW(nullptr);
        setup.ownModule = GetModuleHandleW(nullptr);
        setup.factory = &factory_;
        service_ = chatdesk::ImService::Create(setup);
    }
    ~WindowClient() {
        chatdesk::ImService::Destroy(service_);
        chatdesk::SetActiveInPlaceObject(nullptr);
        OleUninitialize();
    }
    WindowClient(const WindowClient&) = delete;
    WindowClient& operator=(const WindowClient&) = delete;

    // Logged in to the IM server, which holds a session for `ownId`.
    bool WaitForLogin(const char* ownId = kOwnId) {
        return Eventually([this, ownId] { return service_->LoggedIn() && HasSession(ownId); }, 8000);
    }
    chatdesk::ImService* operator->() const { return service_; }
    chatdesk::ChatDialog* Window(const char* id) {
        return static_cast<chatdesk::ChatDialog*>(service_->Find(id));
    }
    // Opens the chat with the friend and waits for its link attempt to end.
    chatdesk::ChatDialog* Open(FriendHandle entry, const char* id) {
        service_->DoCommand(1, reinterpret_cast<INT_PTR>(entry));
        chatdesk::ChatDialog* window = Window(id);
        if (window) Eventually([window] { return !window->ThreadsRunning(); }, 8000);
        return window;
    }

private:
    chatdesk::ChatDialogFactory factory_;
    chatdesk::ImService* service_ = nullptr;
};

}  // namespace cdtest
