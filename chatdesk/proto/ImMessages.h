// Builders and bounded readers of every IM message layout.
//
// Builders zero-fill the whole message, put the code in bytes 60-63 and (for what a client
// sends) CR LF in the last two bytes. Readers take a message and the length the framing
// gave it, check the code and the length, read every text within its field and refuse a
// message whose ids are unterminated or unfit to name a window or a file: a false result
// means the message is invalid and must be dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ImText.h"

namespace chatdesk {

using ImBytes = std::vector<uint8_t>;

constexpr size_t kImIdField = 20;
constexpr size_t kImLoginIdField = 140;
constexpr size_t kImFaceField = 32;
constexpr size_t kImStoredFaceField = 20;
constexpr size_t kImPathField = 256;
constexpr size_t kImBlockData = 4096;

// Message lengths.
constexpr size_t kImLoginSize = 206;
constexpr size_t kImLoginReplySize = 67;
constexpr size_t kPeerLinkRequestSize = 126;
constexpr size_t kPeerLinkReplySize = 127;
constexpr size_t kChatTextPlainBase = 153;      // + L
constexpr size_t kChatTextFormattedBase = 195;  // + L
constexpr size_t kChatTextPlainOffset = 149;
constexpr size_t kChatTextFormattedOffset = 191;
constexpr size_t kChatTextReceiptSize = 147;
constexpr size_t kFileOfferSize = 410;
constexpr size_t kFileOfferReplySize = 151;
constexpr size_t kFileBlockSize = 4251;
constexpr size_t kFileBlockAckSize = 127;
constexpr size_t kTypingNoticeSize = 127;
constexpr size_t kOfflineStorePlainSize = 931;
constexpr size_t kOfflineStoreFormattedSize = 961;
constexpr size_t kOfflineStoreReplySize = 127;
constexpr size_t kOfflineFetchSize = 86;
constexpr size_t kFileCancelSize = 106;

// Receipt results.
constexpr char kReceiptDelivered = '0';
constexpr char kReceiptWrongReceiver = '3';
constexpr char kReceiptBlackListed = '6';

struct ImLogin {
    std::string ownId;
};
ImBytes BuildImLogin(const ImLogin& m);
bool ReadImLogin(const uint8_t* msg, size_t length, ImLogin* out);

struct ImLoginReply {
    char result = '0';  // '0' success
};
ImBytes BuildImLoginReply(const ImLoginReply& m);
bool ReadImLoginReply(const uint8_t* msg, size_t length, ImLoginReply* out);

struct PeerLinkRequest {
    std::string requesterId;
    std::string address;  // dotted-decimal IPv4 text
    std::string port;     // decimal text
};
// The IM server's message; it carries no CR LF.
ImBytes BuildPeerLinkRequest(const PeerLinkRequest& m);
bool ReadPeerLinkRequest(const uint8_t* msg, size_t length, PeerLinkRequest* out);
// Strict dotted-decimal IPv4 ("a.b.c.d", each 0-255) in host order.
bool ParseIpv4(const std::string& text, uint32_t* address);
// Decimal 0-65535.
bool ParsePort(const std::string& text, uint16_t* port);

struct PeerLinkReply {
    std::string ownId;
    std::string peerId;
    bool linked = false;
};
ImBytes BuildPeerLinkReply(const PeerLinkReply& m);
bool ReadPeerLinkReply(const uint8_t* msg, size_t length, PeerLinkReply* out);

// The format block of a formatted chat text, as the wire carries it.
struct ChatFormat {
    std::string face;      // at most 31 bytes travel
    long heightTwips = 0;  // travels as twips / 10, two characters
    uint32_t effects = 0;  // bold 1, italic 2, underline 4, strike-out 8
    uint32_t colour = 0;   // 0x00BBGGRR
};

struct ChatText {
    std::string stamp;  // 20 characters
    std::string senderId;
    std::string receiverId;
    bool formatted = false;
    ChatFormat format;     // formatted form only
    std::string text;      // ANSI, "^>" for line breaks, at most 800 bytes
    std::string status;    // the two status characters
};
// Texts over 800 bytes are cut (a byte cut: callers cut at a character boundary first).
ImBytes BuildChatText(const ChatText& m);
bool ReadChatText(const uint8_t* msg, size_t length, ChatText* out);
// Reading the format block back gives the height in the wire's precision (twips / 10 * 10)
// and the effects of the code.

struct ChatTextReceipt {
    std::string stamp;
    std::string senderId;      // who sends the receipt: the text's receiver
    std::string textSenderId;
    char result = kReceiptDelivered;
};
ImBytes BuildChatTextReceipt(const ChatTextReceipt& m);
bool ReadChatTextReceipt(const uint8_t* msg, size_t length, ChatTextReceipt* out);

// "014S" from the client and "015B" from the server carry the same stored message.
struct OfflineMessage {
    std::string stamp;
    std::string senderId;
    std::string receiverId;
    bool formatted = false;
    std::string face;         // at most 20 bytes
    long heightTwips = 0;
    char formatCode = '0';
    uint32_t colour = 0;
    std::string text;         // at most 800 bytes, no status characters
};
// The offline store of a queued chat text (the whole "003S"); empty when that is no valid
// chat text.
ImBytes BuildOfflineStore(const uint8_t* chatText, size_t length);
// A stored message handed back as "015B": the store with the new code and without its
// final CR LF (929 or 959 bytes).
ImBytes BuildOfflineDelivery(const ImBytes& store);
// Reads "014S" (931/961) or "015B" (as dispatched: 931/961). The length digits are
// clamped to what the message holds: at most 800 bytes of text are taken.
bool ReadOfflineMessage(const uint8_t* msg, size_t length, OfflineMessage* out);

struct OfflineStoreReply {
    std::string stamp;
    std::string peerId;  // the stored message's receiver: the chat it belongs to
    char result = '0';   // '0' stored
};
ImBytes BuildOfflineStoreReply(const OfflineStoreReply& m);
bool ReadOfflineStoreReply(const uint8_t* msg, size_t length, OfflineStoreReply* out);

struct OfflineFetch {
    std::string ownId;
};
ImBytes BuildOfflineFetch(const OfflineFetch& m);
bool ReadOfflineFetch(const uint8_t* msg, size_t length, OfflineFetch* out);

struct FileOffer {
    std::string stamp;
    std::string offererId;
    std::string receiverId;
    std::string path;   // the offerer's full path, at most 256 bytes (cut to the field)
    uint64_t size = 0;  // only the low 32 bits travel
};
ImBytes BuildFileOffer(const FileOffer& m);
bool ReadFileOffer(const uint8_t* msg, size_t length, FileOffer* out);

struct FileOfferReply {
    std::string stamp;  // zero on a rejection
    std::string replierId;
    std::string offererId;
    bool accepted = false;
    uint32_t resume = 0;
};
ImBytes BuildFileOfferReply(const FileOfferReply& m);
bool ReadFileOfferReply(const uint8_t* msg, size_t length, FileOfferReply* out);

struct FileBlock {
    std::string stamp;
    std::string offererId;
    std::string receiverId;
    uint32_t number = 0;
    const uint8_t* data = nullptr;  // into the message read; `count` bytes
    uint32_t count = 0;             // 0 to 4096
};
// Always 4251 bytes; `count` over 4096 is cut to 4096.
ImBytes BuildFileBlock(const FileBlock& m);
// False as well for a count over 4096: such a block cannot be taken.
bool ReadFileBlock(const uint8_t* msg, size_t length, FileBlock* out);

struct FileBlockAck {
    std::string stamp;
    std::string ackerId;
    std::string offererId;
    bool stop = false;
};
ImBytes BuildFileBlockAck(const FileBlockAck& m);
bool ReadFileBlockAck(const uint8_t* msg, size_t length, FileBlockAck* out);

struct TypingNotice {
    std::string senderId;
    std::string receiverId;
    char state = '0';  // '0' typing, '2' stopped
};
ImBytes BuildTypingNotice(const TypingNotice& m);
bool ReadTypingNotice(const uint8_t* msg, size_t length, TypingNotice* out);

struct FileCancel {
    std::string cancellerId;
    std::string otherId;
};
ImBytes BuildFileCancel(const FileCancel& m);
bool ReadFileCancel(const uint8_t* msg, size_t length, FileCancel* out);

// Little-endian u32 fields.
uint32_t ReadU32(const uint8_t* p);
void WriteU32(uint8_t* p, uint32_t value);

}  // namespace chatdesk
