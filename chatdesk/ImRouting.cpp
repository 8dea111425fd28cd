// Every received message goes where the dispatch decision says: the login answer to the
// service, chat messages to the window of their peer (opened on the user-interface thread
// when the message asks for one), receipts back on the connection the text came on.
#include <cstring>

#include "DebugOut.h"
#include "GatekeeperReply.h"
#include "ImCodes.h"
#include "ImDispatch.h"
#include "ImMessages.h"
#include "ImService.h"
#include "PeerPath.h"

namespace chatdesk {

namespace {

void NoteLine(ImDispatchNote note) {
    switch (note) {
    case ImDispatchNote::BlackListedText:
        vantor::DebugLine(L"这是黑名单用户发送过来的聊天内容，抛弃\n");
        break;
    case ImDispatchNote::BlackListedOffer:
        vantor::DebugLine(L"这是黑名单用户发送过来的文件传输请求，抛弃\n");
        break;
    case ImDispatchNote::FileCancelled:
        vantor::DebugLine(L"对方取消了文件传输\n");
        break;
    case ImDispatchNote::InvalidMessage:
        vantor::DebugLine(L"ChatDesk: an invalid message was dropped\n");
        break;
    case ImDispatchNote::ServerOnly:
        vantor::DebugLine(L"ChatDesk: a server message came on a direct link and was dropped\n");
        break;
    default:
        break;
    }
}

}  // namespace

ChatWindow* ImService::FindHeld(const std::string& peerId) {
    vantor::Lock lock(lock_);
    auto found = windows_.find(peerId);
    if (found == windows_.end()) return nullptr;
    found->second->handlers_.fetch_add(1);
    return found->second;
}

void ImService::Drop(ChatWindow* window) {
    if (window) window->handlers_.fetch_sub(1);
}

void ImService::SendReceipt(ImConnection* via, const uint8_t* text, const std::string& ownId,
                            const std::string& sender, char result) {
    if (!layer_.load()) return;
    ChatTextReceipt receipt;
    receipt.stamp.assign(reinterpret_cast<const char*>(text) + 64, kImStampSize);
    receipt.senderId = ownId;
    receipt.textSenderId = sender;
    receipt.result = result;
    ImBytes bytes = BuildChatTextReceipt(receipt);
    via->SendAll(bytes.data(), bytes.size());
}

bool ImService::FromKnownAddress(const std::string& peerId, ImConnection* via) {
    uint32_t address = via->RemoteAddress();
    if (peerId.empty() || !vantor::imkit::IsKnownAddress(address)) return false;
    bool hasWindow = false;
    FriendStatus windowPeer = {};
    {
        vantor::Lock lock(lock_);
        auto found = windows_.find(peerId);
        if (found != windows_.end()) {
            if (found->second->directLink_ == via) return true;
            hasWindow = true;
            windowPeer = found->second->Peer().status;
        }
    }
    FriendInfoA own = {};
    contacts_.OwnRecord(&own);
    if (hasWindow && vantor::imkit::SpeaksFrom(own.status, windowPeer, address)) return true;
    FriendInfoA record = {};
    if (!contacts_.FriendById(peerId, &record)) return false;
    if (vantor::imkit::SpeaksFrom(own.status, record.status, address)) return true;
    // A friend may speak before the presence tab has told the book where it is: the
    // presence server's answer is kept a while, so every message of that time (the
    // friend's own and anyone's naming it) is held against the one answer. A message that
    // comes while another's ask is under way waits for that answer however slowly the
    // server gives it, as long as the ask itself may run.
    using vantor::imkit::AddressAnswers;
    AddressAnswers::Answer answer = serverAnswers_.Confirm(
        peerId, [&](FriendStatus* out) { return contacts_.ServerStatus(peerId, out); }, AddressAnswers::kKeepMs);
    return answer.found && vantor::imkit::SpeaksFrom(own.status, answer.status, address);
}

ChatWindow* ImService::OpenForMessage(const std::string& peerId, ImConnection* via, bool directLink, WPARAM flags) {
    ChatWindow* window = setup_.factory ? setup_.factory->MakeChatWindow() : nullptr;
    if (!window) return nullptr;
    strncpy(window->Peer().id, peerId.c_str(), sizeof window->Peer().id - 1);
    if (directLink) SetDirectLink(window, via);
    LRESULT result = window_ ? SendMessageW(window_, kMsgOpenChatWindow, flags, reinterpret_cast<LPARAM>(window)) : 0;
    if (result != kOpenCreated) {
        SetDirectLink(window, nullptr);
        window->Discard();
    }
    if (result == kOpenFailed) return nullptr;
    ChatWindow* held = FindHeld(peerId);
    if (held && directLink && result == kOpenAlreadyOpen) SetDirectLink(held, via);
    return held;
}

bool ImService::OnMessage(ImConnection* connection, const uint8_t* message, size_t length) {
    bool directLink = IsDirectLink(connection);
    const uint8_t* code = message + kImCodeOffset;
    bool chatText = length >= kImHeaderSize && SameImCode(code, "003S");

    ImDispatchInput in;
    in.message = message;
    in.length = length;
    in.directLink = directLink;
    if (chatText) in.ownId = contacts_.OwnId();
    in.isBlackListed = [this](const std::string& id) { return contacts_.IsBlackListed(id); };
    in.hasWindow = [this](const std::string& id) { return Find(id) != nullptr; };
    ImDispatchDecision d = DecideDispatch(in);
    NoteLine(d.note);
    // A direct link speaks only for the peer at its end: a message naming another peer
    // is neither answered nor routed (a text that cannot come directly comes by the server).
    if (directLink && d.handler != ImHandler::None && !FromKnownAddress(d.targetId, connection)) {
        vantor::DebugLine(L"ChatDesk: a message came on a direct link from an address that is not the peer's and was dropped\n");
        return false;
    }
    if (d.receipt) SendReceipt(connection, message, in.ownId, d.targetId, d.receipt);

    switch (d.handler) {
    case ImHandler::None:
        return false;
    case ImHandler::LoginReply:
        OnLoginReply(connection, message, length);
        return true;
    case ImHandler::OfflinePlain:
    case ImHandler::OfflineFormatted:
        if (offline_) offline_->ShowMessage(message, length, d.handler == ImHandler::OfflineFormatted);
        return true;
    default:
        break;
    }

    ChatWindow* window = FindHeld(d.targetId);
    if (!window && d.openWindow) {
        WPARAM flags = kOpenPeerFetch;
        if (d.handler == ImHandler::PeerLinkRequest) flags = kOpenHidden;
        else if (!directLink) flags |= kOpenLinkAttempt;
        window = OpenForMessage(d.targetId, connection, directLink, flags);
    } else if (window && directLink &&
               (d.handler == ImHandler::ChatTextPlain || d.handler == ImHandler::ChatTextFormatted)) {
        SetDirectLink(window, connection);
    }
    if (!window) return false;
    Route(static_cast<int>(d.handler), window, connection, message, length, directLink);
    Drop(window);
    return true;
}

void ImService::Route(int handler, ChatWindow* window, ImConnection* via, const uint8_t* message, size_t length,
                      bool directLink) {
    switch (static_cast<ImHandler>(handler)) {
    case ImHandler::PeerLinkRequest: {
        PeerLinkRequest request;
        if (!ReadPeerLinkRequest(message, length, &request)) return;
        uint32_t address = 0;
        uint16_t port = 0;
        ParseIpv4(request.address, &address);
        ParsePort(request.port, &port);
        window->TakeLinkRequest(request.requesterId, NetworkOrder(address), port);
        return;
    }
    case ImHandler::ChatTextPlain:
        window->OnChatText(via, message, length, false);
        return;
    case ImHandler::ChatTextFormatted:
        window->OnChatText(via, message, length, true);
        return;
    case ImHandler::ChatTextReceipt:
        window->OnChatTextReceipt(message, length);
        return;
    case ImHandler::FileOffer:
        window->OnFileOffer(via, message, length);
        return;
    case ImHandler::FileOfferReply:
        window->OnFileOfferReply(message, length, directLink);
        return;
    case ImHandler::FileBlock:
        window->OnFileBlock(via, message, length);
        return;
    case ImHandler::FileBlockAck:
        window->OnFileBlockAck(message, length);
        return;
    case ImHandler::TypingNotice:
        window->OnTypingNotice(message, length);
        return;
    case ImHandler::OfflineStoreReply:
        window->OnOfflineStoreReply(message, length);
        return;
    case ImHandler::FileCancel:
        window->OnFileCancel(message, length);
        return;
    default:
        return;
    }
}

void ImService::OpenChat(int command, INT_PTR parameter) {
    FriendInfoA record = {};
    if (parameter) {
        if (!contacts_.FriendRecord(reinterpret_cast<FriendHandle>(parameter), &record) || !record.id[0]) {
            vantor::DebugLine(L"没有找到对应用户的数据\n");
            return;
        }
    }
    std::string id(record.id, strnlen(record.id, sizeof record.id));
    ChatWindow* open = FindHeld(id);
    if (open) {
        if (command == 8 && !open->RecordViewOpen() && open->Window()) open->OpenRecordView();
        // A window made hidden for a link request is shown when the user asks for it.
        if (open->Window()) {
            ShowWindow(open->Window(), SW_SHOW);
            SetForegroundWindow(open->Window());
        }
        Drop(open);
        return;
    }
    ChatWindow* window = setup_.factory ? setup_.factory->MakeChatWindow() : nullptr;
    if (!window) return;
    window->Peer() = record;
    LRESULT result = SendMessageW(window_, kMsgOpenChatWindow, command == 8 ? 3 : 1, reinterpret_cast<LPARAM>(window));
    if (result != kOpenCreated) window->Discard();
}

}  // namespace chatdesk
