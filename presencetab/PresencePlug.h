// The presence tab's object: a hidden dialog that serialises every presence event onto
// the user-interface thread, the one-second timer, the workers (heart beat, proxy
// messages, online friends, online status, own status) and the peer channel.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "AddressAsker.h"
#include "BeatClock.h"
#include "FriendNotices.h"
#include "OnlineWork.h"
#include "PeerChannel.h"
#include "PeerDispatch.h"
#include "PresenceMessages.h"
#include "Sync.h"
#include "VantorTypes.h"

namespace presence {

class PresenceDialog;

class PresencePlug {
public:
    // Null when the hidden window cannot be made.
    static PresencePlug* Create(HWND parent, HMODULE container, HostContext book);
    // Stops every worker and the listener, then frees the object.
    static void Destroy(PresencePlug* plug);

    HWND Window() const { return window_; }
    void DoCommand(int command, INT_PTR parameter);

    // The module whose dialog templates the windows are made from.
    static void SetResourceModule(HMODULE module);
    static HMODULE ResourceModule();

    // For the verification dialogs: the contact book, the direct road to friends' clients
    // (a road that always fails once the channel is gone) and our own local TCP port.
    HostContext Book() const { return book_; }
    PeerSender& Peers();
    WORD LocalPort() const { return localPort_; }
    // The open modeless dialogs, closed before the plug-in goes.
    void DialogOpened(PresenceDialog* dialog);
    void DialogClosed(PresenceDialog* dialog);
    // A friend request went to `id` (window thread): its first answer will be taken.
    void NoteAsked(const std::string& id) { peerMemory_.asked.insert(id); }

private:
    enum Signal { kStop, kBeat, kProxy, kOnline, kOnlineStatus, kOwnStatus, kSignals };

    PresencePlug(HWND parent, HMODULE container, HostContext book);
    ~PresencePlug();

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnStart();
    void OnTimer();
    void OnDestroy();
    void OnRelogin();
    void OnPeerPacket(PeerPacket* packet, DWORD from);
    void OnSendersAnswered();
    NoticeSink Notifier();
    void OnFriendRemoved(const PresenceNotice* notice);
    void OnFriendStatus(const FriendStatusNotice* notice);
    void OnSelfStatus(WORD status);
    void OnSelfStatusEnded();
    void OnVerifyRequest(const PresenceNotice* notice);
    void OnVerifyAccepted(const PresenceNotice* notice);
    void OnVerifyRefused(const PresenceNotice* notice);
    void OnAddFriend(const FriendInfoA* target);
    void OnAddFriendW(const FriendInfoW* target);
    // Raises the open dialog of that kind for that user; false when there is none.
    bool RaiseOpen(int kind, const char* id);
    // Whether another dialog of that kind may open; a debugger line when not.
    bool RoomFor(int kind);
    // Ends every open dialog, its threads included.
    void CloseDialogs();
    void JoinWorker(HANDLE* thread);
    void PreventUser(const PreventUserParam* param);
    // The channel's send without a reply; fails once the channel is gone.
    SendOnlyCall PeerSend();

    // Workers, each with the object as parameter.
    static DWORD WINAPI HeartBeatThread(void* self);
    static DWORD WINAPI ProxyThread(void* self);
    static DWORD WINAPI OnlineFriendsThread(void* self);
    static DWORD WINAPI OnlineStatusThread(void* self);
    static DWORD WINAPI OwnStatusThread(void* self);
    void RunHeartBeat();
    void RunProxy();
    void RunOnlineFriends();
    void RunOnlineStatus();
    void RunOwnStatus();
    void RefreshOnlineCount();
    void ProcessProxyMessages();
    bool StartWorker(LPTHREAD_START_ROUTINE routine, HANDLE* thread);
    // Waits for stop or `signal`; false on stop.
    bool WaitFor(Signal signal);

    WORD RequestedStatus();

    HWND parent_;
    HMODULE container_;
    HostContext book_;
    HMODULE richEdit_ = nullptr;
    // Read by commands on their callers' threads too.
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> destroying_{false};
    // Set once the plug-in goes: no dialog opens any more.
    bool closingDialogs_ = false;
    std::vector<PresenceDialog*> dialogs_;
    PeerMemory peerMemory_;
    // Asks the presence server where senders are, for the dispatch of their records.
    AddressAsker addressAsker_;

    HANDLE events_[kSignals] = {};
    HANDLE beatThread_ = nullptr;
    HANDLE proxyThread_ = nullptr;
    HANDLE onlineThread_ = nullptr;
    HANDLE onlineStatusThread_ = nullptr;
    HANDLE ownStatusThread_ = nullptr;

    BeatClock clock_;
    PendingFriends pending_;
    WORD localPort_ = 6082;
    DWORD localAddress_ = INADDR_ANY;
    std::unique_ptr<PeerChannel> peers_;

    // The own status last asked for and the one the last complete pass spread.
    vantor::CriticalSection statusLock_;
    WORD requestedStatus_ = 0;
    WORD spreadStatus_ = 0;
};

}  // namespace presence
