// An IM service made in this process, as TabPlug_Create makes it, with an optional chat
// window double; destroyed at the end of the scope.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "ChatDouble.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "ImService.h"

namespace cdtest {

class Service {
public:
    explicit Service(chatdesk::ChatWindowFactory* factory = nullptr) {
        chatdesk::ImService::Setup setup;
        setup.book = Contacts().friendEntry ? kBook : 0;
        setup.instance = GetModuleHandleW(nullptr);
        setup.ownModule = GetModuleHandleW(nullptr);
        setup.factory = factory;
        service_ = chatdesk::ImService::Create(setup);
    }
    ~Service() { chatdesk::ImService::Destroy(service_); }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Logged in, and the fake has the session.
    bool WaitForLogin(DWORD timeoutMs = 8000) {
        return Eventually([this] { return service_->LoggedIn() && HasSession(kOwnId); }, timeoutMs);
    }

    chatdesk::ImService* operator->() const { return service_; }
    chatdesk::ImService* get() const { return service_; }

private:
    chatdesk::ImService* service_ = nullptr;
};

}  // namespace cdtest
