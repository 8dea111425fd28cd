// What a received message asks for: which handler takes it, for which chat, whether a chat
// window must be opened for it and which receipt goes back. The decision only; windows,
// sockets and contact lookups stay with the caller, which passes what it knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace chatdesk {

enum class ImHandler {
    None,               // no action: ignored code, dropped or invalid message
    LoginReply,         // "001B"
    PeerLinkRequest,    // "002S": find or open (hidden) the requester's window, start a link attempt
    ChatTextPlain,      // "003S"
    ChatTextFormatted,  // "003S"
    ChatTextReceipt,    // "003B"
    FileOffer,          // "004S"
    FileOfferReply,     // "004B" (with the connection's direct-link flag)
    FileBlock,          // "005S"
    FileBlockAck,       // "005B"
    TypingNotice,       // "012S"
    OfflineStoreReply,  // "014B"
    OfflinePlain,       // "015B" of 931 bytes
    OfflineFormatted,   // "015B" of 961 bytes
    FileCancel,         // "020S"
};

// Why a message went nowhere, or what the caller should note on the debugger.
enum class ImDispatchNote {
    None,
    InvalidMessage,     // bad length, an unterminated or unfit id: dropped, no window, no file
    ServerOnly,         // a message only the IM server sends, arriving on a direct link
    NoWindow,           // for a chat without an open window
    BlackListedText,    // "这是黑名单用户发送过来的聊天内容，抛弃"
    BlackListedOffer,   // "这是黑名单用户发送过来的文件传输请求，抛弃"
    WrongReceiver,      // a chat text for another account
    FileCancelled,      // "对方取消了文件传输"
};

struct ImDispatchInput {
    const uint8_t* message = nullptr;
    size_t length = 0;
    bool directLink = false;  // came on a direct link, not the IM-server connection
    std::string ownId;
    std::function<bool(const std::string&)> isBlackListed;
    std::function<bool(const std::string&)> hasWindow;
};

struct ImDispatchDecision {
    ImHandler handler = ImHandler::None;
    std::string targetId;     // the chat the message belongs to
    bool openWindow = false;  // no window is open for targetId: make one
    char receipt = 0;         // '0', '3', '6', or 0 for none
    ImDispatchNote note = ImDispatchNote::None;
};

ImDispatchDecision DecideDispatch(const ImDispatchInput& in);

}  // namespace chatdesk
