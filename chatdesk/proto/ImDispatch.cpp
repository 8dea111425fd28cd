#include "ImDispatch.h"

#include "ImCodes.h"
#include "ImMessages.h"

namespace chatdesk {

namespace {

ImDispatchDecision Drop(ImDispatchNote note) {
    ImDispatchDecision d;
    d.note = note;
    return d;
}

bool Ask(const std::function<bool(const std::string&)>& test, const std::string& id) { return test && test(id); }

// A message routed to an open chat window by the id at `idAt`; `size` is its only length.
ImDispatchDecision ToOpenWindow(const ImDispatchInput& in, ImHandler handler, size_t idAt, size_t size,
                                ImDispatchNote note = ImDispatchNote::None) {
    std::string id;
    if (in.length != size || !ReadImId(in.message + idAt, kImIdField, &id)) return Drop(ImDispatchNote::InvalidMessage);
    if (!Ask(in.hasWindow, id)) {
        ImDispatchDecision d = Drop(note == ImDispatchNote::None ? ImDispatchNote::NoWindow : note);
        d.targetId = id;
        return d;
    }
    ImDispatchDecision d;
    d.handler = handler;
    d.targetId = id;
    d.note = note;
    return d;
}

ImDispatchDecision OnChatText(const ImDispatchInput& in) {
    ChatText text;
    if (!ReadChatText(in.message, in.length, &text)) return Drop(ImDispatchNote::InvalidMessage);
    ImDispatchDecision d;
    d.targetId = text.senderId;
    if (text.receiverId != in.ownId) {
        d.receipt = kReceiptWrongReceiver;
        d.note = ImDispatchNote::WrongReceiver;
        return d;
    }
    if (Ask(in.isBlackListed, text.senderId)) {
        d.receipt = kReceiptBlackListed;
        d.note = ImDispatchNote::BlackListedText;
        return d;
    }
    d.receipt = kReceiptDelivered;
    d.handler = text.formatted ? ImHandler::ChatTextFormatted : ImHandler::ChatTextPlain;
    d.openWindow = !Ask(in.hasWindow, text.senderId);
    return d;
}

ImDispatchDecision OnFileOffer(const ImDispatchInput& in) {
    FileOffer offer;
    if (!ReadFileOffer(in.message, in.length, &offer)) return Drop(ImDispatchNote::InvalidMessage);
    ImDispatchDecision d;
    d.targetId = offer.offererId;
    // A sender whose window is open already is not checked against the black list.
    if (!Ask(in.hasWindow, offer.offererId)) {
        if (Ask(in.isBlackListed, offer.offererId)) {
            d.note = ImDispatchNote::BlackListedOffer;
            return d;
        }
        d.openWindow = true;
    }
    d.handler = ImHandler::FileOffer;
    return d;
}

ImDispatchDecision OnPeerLinkRequest(const ImDispatchInput& in) {
    PeerLinkRequest request;
    if (!ReadPeerLinkRequest(in.message, in.length, &request)) return Drop(ImDispatchNote::InvalidMessage);
    ImDispatchDecision d;
    d.handler = ImHandler::PeerLinkRequest;
    d.targetId = request.requesterId;
    d.openWindow = !Ask(in.hasWindow, request.requesterId);
    return d;
}

ImDispatchDecision OnOfflineDelivery(const ImDispatchInput& in) {
    OfflineMessage stored;
    if (!ReadOfflineMessage(in.message, in.length, &stored)) return Drop(ImDispatchNote::InvalidMessage);
    ImDispatchDecision d;
    d.handler = stored.formatted ? ImHandler::OfflineFormatted : ImHandler::OfflinePlain;
    d.targetId = stored.senderId;
    return d;
}

}  // namespace

ImDispatchDecision DecideDispatch(const ImDispatchInput& in) {
    if (!in.message || in.length < kImHeaderSize) return Drop(ImDispatchNote::InvalidMessage);
    const uint8_t* code = in.message + kImCodeOffset;

    // Login answers, link requests, store answers and deliveries are the IM server's to
    // give: a peer on a direct link cannot speak for it.
    bool serverOnly =
        SameImCode(code, "001B") || SameImCode(code, "002S") || SameImCode(code, "014B") || SameImCode(code, "015B");
    if (serverOnly && in.directLink) return Drop(ImDispatchNote::ServerOnly);

    if (SameImCode(code, "001B")) {
        ImLoginReply reply;
        if (!ReadImLoginReply(in.message, in.length, &reply)) return Drop(ImDispatchNote::InvalidMessage);
        ImDispatchDecision d;
        d.handler = ImHandler::LoginReply;
        return d;
    }
    if (SameImCode(code, "002S")) return OnPeerLinkRequest(in);
    if (SameImCode(code, "003S")) return OnChatText(in);
    if (SameImCode(code, "004S")) return OnFileOffer(in);
    if (SameImCode(code, "003B")) return ToOpenWindow(in, ImHandler::ChatTextReceipt, 84, kChatTextReceiptSize);
    if (SameImCode(code, "004B")) return ToOpenWindow(in, ImHandler::FileOfferReply, 84, kFileOfferReplySize);
    if (SameImCode(code, "005S")) return ToOpenWindow(in, ImHandler::FileBlock, 84, kFileBlockSize);
    if (SameImCode(code, "005B")) return ToOpenWindow(in, ImHandler::FileBlockAck, 84, kFileBlockAckSize);
    if (SameImCode(code, "014B")) return ToOpenWindow(in, ImHandler::OfflineStoreReply, 84, kOfflineStoreReplySize);
    if (SameImCode(code, "012S")) return ToOpenWindow(in, ImHandler::TypingNotice, 64, kTypingNoticeSize);
    if (SameImCode(code, "020S"))
        return ToOpenWindow(in, ImHandler::FileCancel, 64, kFileCancelSize, ImDispatchNote::FileCancelled);
    if (SameImCode(code, "015B")) return OnOfflineDelivery(in);
    return ImDispatchDecision{};
}

}  // namespace chatdesk
