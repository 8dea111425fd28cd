// A chat service as the plug-in makes it, with real chat windows, in a test process.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>

#include "ChatDialog.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "ImService.h"
#include "OleHost.h"
#include "Screenshot.h"
#include "TestSupport.h"

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
    // Command 1 for the contact: its chat window, made or shown, without waiting for more.
    chatdesk::ChatDialog* Show(FriendHandle entry, const char* id) {
        service_->DoCommand(1, reinterpret_cast<INT_PTR>(entry));
        return Window(id);
    }
    // Opens the chat with the friend and waits for its link attempt to end.
    chatdesk::ChatDialog* Open(FriendHandle entry, const char* id) {
        chatdesk::ChatDialog* window = Show(entry, id);
        if (window) Eventually([window] { return !window->ThreadsRunning(); }, 10000);
        return window;
    }
    // Logged in, the friend's scripted peer started with `peerSettings`, the chat with the
    // friend open: its window, or null with the step that failed reported.
    chatdesk::ChatDialog* OpenWithPeer(const std::string& peerSettings = std::string());

private:
    chatdesk::ChatDialogFactory factory_;
    chatdesk::ImService* service_ = nullptr;
};

// Starts the fake server's scripted peer `id`; `settings` adds to its query ("&receipt=1",
// "&source=127.0.0.x").
inline bool StartScriptedPeer(const char* id, const std::string& settings = std::string()) {
    return Fake().Control(std::string("peer/start?id=") + id + settings).substr(0, 1) == "0";
}

inline chatdesk::ChatDialog* WindowClient::OpenWithPeer(const std::string& peerSettings) {
    if (!WaitForLogin()) {
        ADD_FAILURE() << "no login to the IM server";
        return nullptr;
    }
    if (!StartScriptedPeer(kFriendId, peerSettings)) {
        ADD_FAILURE() << "the peer " << kFriendId << " did not start";
        return nullptr;
    }
    chatdesk::ChatDialog* window = Open(Contacts().friendEntry, kFriendId);
    if (!window) ADD_FAILURE() << "no chat window for " << kFriendId;
    return window;
}

// Closes a chat window as its close box does; whether it was gone within `ms`.
inline bool CloseChat(chatdesk::ChatDialog* window, DWORD ms = 5000) {
    HWND dialog = window->Window();
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return Eventually([dialog] { return !IsWindow(dialog); }, ms);
}

// What a RichEdit shows, in the ANSI code page.
inline std::string EditText(HWND edit) {
    // Room for two bytes a character: the RichEdit counts characters.
    int room = 2 * GetWindowTextLengthW(edit) + 1;
    std::string text(room, '\0');
    text.resize(GetWindowTextA(edit, &text[0], room));
    return text;
}

inline bool Contains(const std::string& text, const char* utf8) {
    return text.find(testkit::Ansi(utf8)) != std::string::npos;
}

// Saves a picture under "screenshots", and beside the parent's stage when the child runs
// in a program folder of its own.
inline void SaveChatPicture(const testkit::Capture& picture, const wchar_t* name) {
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::SaveBitmapFile(picture, testkit::ProgramDir() + L"screenshots\\" + name);
    wchar_t stage[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"CHATDESK_SHOT_DIR", stage, MAX_PATH)) {
        CreateDirectoryW(stage, nullptr);
        testkit::SaveBitmapFile(picture, std::wstring(stage) + L"\\" + name);
    }
}

}  // namespace cdtest
