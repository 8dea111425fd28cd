// What the IM service needs of a chat window: its peer, its direct link, the creation of
// its dialog on the user-interface thread and the handlers of the messages routed to it.
//
// The service owns the registry of open windows; a window registers itself when its
// dialog is created and unregisters when it is destroyed. Handlers run on receive threads
// with a reference the service holds for the call, never under the service lock.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ContactRecords.h"
#include "ImConnection.h"
#include "OfflineView.h"

namespace chatdesk {

class ImService;

class ChatWindow {
public:
    virtual ~ChatWindow() = default;

    // Peer record; the id is the registry key.
    FriendInfoA& Peer() { return peer_; }
    // The peer's public address (network order), read as the window guards its record.
    virtual uint32_t PeerPublicAddress() { return peer_.status.publicIp; }

    // Creates the dialog, hidden (user-interface thread); the window registers itself
    // under its peer id. False: no dialog, the caller destroys the object.
    virtual bool CreateDialogWindow(ImService& service) = 0;
    virtual HWND Window() const = 0;
    // Destroys the dialog (user-interface thread); the window unregisters itself and the
    // object is freed.
    virtual void DestroyDialogWindow() = 0;
    // Frees an object whose dialog was never made.
    virtual void Discard() { delete this; }

    virtual void StartLinkAttempt() {}
    // The peer asked through the server for a direct link at that address (network order)
    // and port: keep them and try it (receive thread).
    virtual void TakeLinkRequest(const std::string& requesterId, uint32_t address, uint16_t port) {
        strncpy(peer_.id, requesterId.c_str(), sizeof peer_.id - 1);
        peer_.status.publicIp = address;
        peer_.status.publicPort = port;
        StartLinkAttempt();
    }
    virtual void StartPeerFetch() {}
    virtual bool RecordViewOpen() const { return false; }
    virtual void OpenRecordView() {}
    // The window's direct link was closed (after the service forgot it).
    virtual void LinkDropped() {}
    // A changed contact record (from the contact store, on its thread).
    virtual void TakeRecord(const FriendInfoA& record) {}

    // Routed messages (receive threads). `length` is the whole message.
    virtual void OnChatText(ImConnection* via, const uint8_t* msg, size_t length, bool formatted) {}
    virtual void OnChatTextReceipt(const uint8_t* msg, size_t length) {}
    virtual void OnFileOffer(ImConnection* via, const uint8_t* msg, size_t length) {}
    virtual void OnFileOfferReply(const uint8_t* msg, size_t length, bool directLink) {}
    virtual void OnFileBlock(ImConnection* via, const uint8_t* msg, size_t length) {}
    virtual void OnFileBlockAck(const uint8_t* msg, size_t length) {}
    virtual void OnTypingNotice(const uint8_t* msg, size_t length) {}
    virtual void OnOfflineStoreReply(const uint8_t* msg, size_t length) {}
    virtual void OnFileCancel(const uint8_t* msg, size_t length) {}

private:
    friend class ImService;
    FriendInfoA peer_ = {};
    // Guarded by the service lock.
    ImConnection* directLink_ = nullptr;
    std::atomic<LONG> handlers_{0};
};

// Makes chat window objects (no dialog yet); null when none can be made.
class ChatWindowFactory {
public:
    virtual ~ChatWindowFactory() = default;
    virtual ChatWindow* MakeChatWindow() = 0;
    // The offline-message window's object (no window yet); null when there is none.
    virtual OfflineView* MakeOfflineView() { return nullptr; }
};

}  // namespace chatdesk
