// The IM service object behind ChatDesk's plug handle: the hidden service window, the
// TCP layer, the login to the IM server through the gatekeeper, the registry of open chat
// windows and the routing of every received message.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "AddressAnswers.h"
#include "ChatWindow.h"
#include "ContactBook.h"
#include "Handles.h"
#include "ImConfig.h"
#include "ImTcpLayer.h"
#include "Sync.h"
#include "VantorTypes.h"

namespace chatdesk {

// Messages of the service window.
constexpr UINT kMsgStartNetwork = WM_USER + 2001;
constexpr UINT kMsgOpenChatWindow = WM_USER + 2002;  // sent; lParam the window object
constexpr UINT kMsgFetchOffline = WM_USER + 2015;
constexpr UINT kMsgStartLogin = WM_USER + 2018;      // wParam 1: pause before the first attempt
constexpr UINT kMsgLoginEnded = WM_USER + 2019;
constexpr UINT_PTR kRetryTimer = 11;
constexpr DWORD kRetryPauseMs = 10000;
constexpr int kServiceDialog = 106;

// Flags of kMsgOpenChatWindow.
constexpr WPARAM kOpenLinkAttempt = 0x1;
constexpr WPARAM kOpenRecordView = 0x2;
constexpr WPARAM kOpenHidden = 0x4;
constexpr WPARAM kOpenPeerFetch = 0x80000000;
// Results of kMsgOpenChatWindow.
constexpr LRESULT kOpenFailed = 0;
constexpr LRESULT kOpenCreated = 1;
constexpr LRESULT kOpenAlreadyOpen = 2;  // a window for that peer was there first: use it

constexpr size_t kMaxChatWindows = 64;

class ImService : public ImTcpOwner {
public:
    struct Setup {
        HWND parent = nullptr;
        HMODULE container = nullptr;
        HostContext book = 0;
        HINSTANCE instance = nullptr;  // holds dialog 106
        HMODULE ownModule = nullptr;   // registered for contact notices; its folder holds the libraries
        ChatWindowFactory* factory = nullptr;
        bool oleInitialized = false;   // undone by whoever made the service
    };
    // The service with its window, or null when the window cannot be made.
    static ImService* Create(const Setup& setup);
    // Destroys the window (which stops everything) and frees the object.
    static void Destroy(ImService* service);

    HWND Window() const { return window_; }
    const ContactBook& Contacts() const { return contacts_; }

    // Chat window registry (service lock inside).
    bool Register(const std::string& peerId, ChatWindow* window);
    // Removes the entry, then waits (pumping) until no handler holds the window.
    void Unregister(const std::string& peerId, ChatWindow* window);
    ChatWindow* Find(const std::string& peerId);
    size_t WindowCount();

    // The connection a chat window sends on directly (a reference for the caller), and its swap.
    ConnectionRef DirectLinkOf(ChatWindow* window);
    void SetDirectLink(ChatWindow* window, ImConnection* connection);

    bool HasServerLink();
    bool LoggedIn() const { return loggedIn_.load(); }
    uint32_t ServerAddress() const { return serverAddress_.load(); }
    void CloseConnection(ImConnection* connection);
    // Through the TCP layer: a connection with one reference for the caller, or null.
    ImConnection* Connect(uint32_t address, uint16_t port);
    bool RelaySend(const void* bytes, size_t length);
    bool DirectSend(ImConnection* connection, const void* bytes, size_t length);
    bool IsDirectLink(ImConnection* connection) const;
    bool NetworkStarted() const { return layer_.load() != nullptr; }
    // The own listening port: direct link attempts go to this port of the peer.
    uint16_t ListenPort() const {
        ImTcpLayer* layer = layer_.load();
        return layer ? layer->Port() : 0;
    }
    int StatusPictureCount() const;
    HIMAGELIST StatusPictures() const { return images_; }
    const Setup& Settings() const { return setup_; }

    // Plug-in commands and contact notices.
    void DoCommand(int command, INT_PTR parameter);
    void OnFriendChanged(FriendHandle entry);
    void OnFriendRemoved(FriendHandle entry);

    // ImTcpOwner
    void OnAccepted(ImConnection* connection) override;
    bool OnMessage(ImConnection* connection, const uint8_t* message, size_t length) override;
    void OnClosed(ImConnection* connection) override;
    bool HoldsLink(ImConnection* connection) override;

private:
    explicit ImService(const Setup& setup);
    ~ImService();

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void StartNetwork();
    void StartLogin(bool pauseFirst);
    void OnLoginEnded();
    LRESULT OpenChatWindow(WPARAM flags, ChatWindow* window);
    void Stop();
    void LoadStatusPictures();

    // Login (ImLogin.cpp).
    static DWORD WINAPI LoginThread(void* self);
    void LoginLoop(bool pauseFirst);
    bool LoginAttempt();
    void OnLoginReply(ImConnection* connection, const uint8_t* message, size_t length);
    // Swaps the server link under the lock; the old one is closed. The logged-in flag
    // goes with the link.
    void ReplaceServerLink(ImConnection* connection);

    // Routing (ImRouting.cpp).
    ChatWindow* FindHeld(const std::string& peerId);  // with a handler reference
    void Drop(ChatWindow* window);
    void SendReceipt(ImConnection* via, const uint8_t* text, const std::string& ownId, const std::string& sender,
                     char result);
    // A window for the peer, opened through the service window when there is none; held.
    ChatWindow* OpenForMessage(const std::string& peerId, ImConnection* via, bool directLink, WPARAM flags);
    void Route(int handler, ChatWindow* window, ImConnection* via, const uint8_t* message, size_t length,
               bool directLink);
    void OpenChat(int command, INT_PTR parameter);
    // Whether the connection comes from the peer: it is the peer's window's direct link, or
    // its remote address is where the window's record, the contact book or the presence
    // server says the peer is (a local address only behind our own public address).
    bool FromKnownAddress(const std::string& peerId, ImConnection* via);

    Setup setup_;
    ContactBook contacts_;
    HMODULE richEdit_ = nullptr;
    HWND window_ = nullptr;
    std::unique_ptr<ImTcpLayer> layerOwner_;
    std::atomic<ImTcpLayer*> layer_{nullptr};

    vantor::CriticalSection lock_;  // the service lock
    vantor::imkit::AddressAnswers serverAnswers_;  // where the presence server said friends are
    std::map<std::string, ChatWindow*> windows_;
    ImConnection* serverLink_ = nullptr;

    HANDLE loginThread_ = nullptr;  // user-interface thread only
    bool loginWanted_ = false;      // a login asked for while a thread was still held
    bool loginWantedPause_ = false;
    // The gatekeeper's web library, loaded by the first login attempt and held until the
    // service stops: freed after every attempt, it went every ten seconds while the
    // gatekeeper failed, and a library that goes while another thread raises an exception
    // (each debug line is one) can leave that thread calling the exception handler its
    // runtime registered, after its code is gone. Login threads only, one at a time; Stop
    // frees it once the login thread and the network's threads have ended.
    vantor::UniqueModule webFetch_;
    bool stopping_ = false;
    HANDLE stopEvent_ = nullptr;
    UINT_PTR retryTimer_ = 0;
    std::atomic<bool> loggedIn_{false};
    std::atomic<uint32_t> serverAddress_{0};
    std::atomic<uint16_t> serverPort_{0};
    HIMAGELIST images_ = nullptr;
    bool eventsRegistered_ = false;
    // Made at start-up, destroyed after the network has stopped.
    OfflineView* offline_ = nullptr;
};

}  // namespace chatdesk
