// Messages of every layout, built the way a peer or the IM server sends them.
#pragma once

#include <string>
#include <vector>

#include "ImMessages.h"

namespace chatdesk {

inline ChatText SampleText(bool formatted, const std::string& text = "hello") {
    ChatText m;
    m.stamp = "20261209093015123000";
    m.senderId = "20002";
    m.receiverId = "10001";
    m.formatted = formatted;
    m.format = {"SimSun", 180, kEffectBold | kEffectUnderline, 0x0000ff};
    m.text = text;
    m.status = "1*";
    return m;
}

// One of each code a client may receive or send, in a stream a server could write.
inline std::vector<ImBytes> SampleMessages() {
    std::vector<ImBytes> all;
    all.push_back(BuildImLogin({"10001"}));
    all.push_back(BuildImLoginReply({'0'}));
    all.push_back(BuildPeerLinkRequest({"20002", "127.0.0.2", "60000"}));
    all.push_back(BuildPeerLinkReply({"10001", "20002", true}));
    all.push_back(BuildChatText(SampleText(false)));
    all.push_back(BuildChatText(SampleText(true)));
    all.push_back(BuildChatTextReceipt({"20261209093015123000", "10001", "20002", '0'}));
    all.push_back(BuildFileOffer({"20261209093015123000", "20002", "10001", "C:\\data\\a.bin", 10000}));
    all.push_back(BuildFileOfferReply({"20261209093015123000", "10001", "20002", true, 4096}));
    std::vector<uint8_t> data(4096, 0x5A);
    all.push_back(BuildFileBlock({"20261209093015123000", "20002", "10001", 1, data.data(), 4096}));
    all.push_back(BuildFileBlockAck({"20261209093015123000", "10001", "20002", false}));
    all.push_back(BuildTypingNotice({"20002", "10001", '0'}));
    ImBytes plain = BuildChatText(SampleText(false, "stored"));
    ImBytes formatted = BuildChatText(SampleText(true, "stored formatted"));
    all.push_back(BuildOfflineStore(plain.data(), plain.size()));
    all.push_back(BuildOfflineStoreReply({"20261209093015123000", "20002", '0'}));
    all.push_back(BuildOfflineFetch({"10001"}));
    all.push_back(BuildOfflineDelivery(BuildOfflineStore(plain.data(), plain.size())));
    all.push_back(BuildOfflineDelivery(BuildOfflineStore(formatted.data(), formatted.size())));
    all.push_back(BuildFileCancel({"20002", "10001"}));
    return all;
}

}  // namespace chatdesk
