// Which handler, which chat, whether to open a window and which receipt, per message.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ImDispatch.h"
#include "ImMessages.h"
#include "Samples.h"

namespace chatdesk {
namespace {

struct Client {
    std::set<std::string> blackList;
    std::set<std::string> windows;
    bool direct = false;

    ImDispatchDecision Decide(const ImBytes& msg, size_t length = 0) const {
        ImDispatchInput in;
        in.message = msg.data();
        in.length = length ? length : msg.size();
        in.directLink = direct;
        in.ownId = "10001";
        in.isBlackListed = [this](const std::string& id) { return blackList.count(id) > 0; };
        in.hasWindow = [this](const std::string& id) { return windows.count(id) > 0; };
        return DecideDispatch(in);
    }
};

TEST(ImDispatch, ChatTextReceipts) {
    Client client;
    ImDispatchDecision d = client.Decide(BuildChatText(SampleText(false)));
    EXPECT_EQ(d.handler, ImHandler::ChatTextPlain);
    EXPECT_EQ(d.targetId, "20002");
    EXPECT_TRUE(d.openWindow);
    EXPECT_EQ(d.receipt, '0');

    client.windows.insert("20002");
    d = client.Decide(BuildChatText(SampleText(true)));
    EXPECT_EQ(d.handler, ImHandler::ChatTextFormatted);
    EXPECT_FALSE(d.openWindow);

    ChatText elsewhere = SampleText(false);
    elsewhere.receiverId = "99999";
    d = client.Decide(BuildChatText(elsewhere));
    EXPECT_EQ(d.handler, ImHandler::None);
    EXPECT_EQ(d.receipt, '3');
    EXPECT_FALSE(d.openWindow);

    client.blackList.insert("20002");
    d = client.Decide(BuildChatText(SampleText(false)));
    EXPECT_EQ(d.handler, ImHandler::None);
    EXPECT_EQ(d.receipt, '6');
    EXPECT_EQ(d.note, ImDispatchNote::BlackListedText);
}

TEST(ImDispatch, InvalidChatTextsGetNoReceiptAndNoWindow) {
    Client client;
    for (const char* sender : {"..\\..\\x", "a/b", "", "."}) {
        ChatText m = SampleText(false);
        m.senderId = sender;
        ImDispatchDecision d = client.Decide(BuildChatText(m));
        EXPECT_EQ(d.handler, ImHandler::None) << sender;
        EXPECT_EQ(d.receipt, 0) << sender;
        EXPECT_FALSE(d.openWindow) << sender;
        EXPECT_EQ(d.note, ImDispatchNote::InvalidMessage) << sender;
    }
    ImBytes unterminated = BuildChatText(SampleText(false));
    std::memset(unterminated.data() + 84, '7', 20);
    EXPECT_EQ(client.Decide(unterminated).note, ImDispatchNote::InvalidMessage);
    ImBytes digits = BuildChatText(SampleText(false));
    std::memcpy(digits.data() + 145, "9999", 4);
    EXPECT_EQ(client.Decide(digits).receipt, 0);
}

TEST(ImDispatch, FileOffersFromTheBlackListOnlyWithoutAnOpenWindow) {
    Client client;
    client.blackList.insert("20002");
    ImBytes offer = BuildFileOffer({"20261209093015123000", "20002", "10001", "C:\\a.txt", 3});
    ImDispatchDecision d = client.Decide(offer);
    EXPECT_EQ(d.handler, ImHandler::None);
    EXPECT_EQ(d.note, ImDispatchNote::BlackListedOffer);
    EXPECT_FALSE(d.openWindow);

    client.windows.insert("20002");
    d = client.Decide(offer);
    EXPECT_EQ(d.handler, ImHandler::FileOffer);
    EXPECT_FALSE(d.openWindow);

    Client fresh;
    d = fresh.Decide(offer);
    EXPECT_EQ(d.handler, ImHandler::FileOffer);
    EXPECT_TRUE(d.openWindow);
    EXPECT_EQ(d.targetId, "20002");
}

TEST(ImDispatch, MessagesForOpenWindowsOnly) {
    const char* stamp = "20261209093015123000";
    std::vector<uint8_t> data(10, 1);
    struct Case {
        ImBytes msg;
        ImHandler handler;
    } cases[] = {
        {BuildChatTextReceipt({stamp, "20002", "10001", '0'}), ImHandler::ChatTextReceipt},
        {BuildFileOfferReply({stamp, "20002", "10001", true, 0}), ImHandler::FileOfferReply},
        {BuildFileBlock({stamp, "20002", "10001", 0, data.data(), 10}), ImHandler::FileBlock},
        {BuildFileBlockAck({stamp, "20002", "10001", false}), ImHandler::FileBlockAck},
        {BuildOfflineStoreReply({stamp, "20002", '0'}), ImHandler::OfflineStoreReply},
        {BuildTypingNotice({"20002", "10001", '0'}), ImHandler::TypingNotice},
        {BuildFileCancel({"20002", "10001"}), ImHandler::FileCancel},
    };
    for (const Case& c : cases) {
        Client client;
        ImDispatchDecision d = client.Decide(c.msg);
        EXPECT_EQ(d.handler, ImHandler::None);
        EXPECT_FALSE(d.openWindow);
        client.windows.insert("20002");
        d = client.Decide(c.msg);
        EXPECT_EQ(d.handler, c.handler);
        EXPECT_EQ(d.targetId, "20002");
        EXPECT_EQ(d.receipt, 0);
    }
    Client client;
    EXPECT_EQ(client.Decide(BuildFileCancel({"20002", "10001"})).note, ImDispatchNote::FileCancelled);
}

TEST(ImDispatch, ServerMessagesCountOnlyFromTheServer) {
    ImBytes text = BuildChatText(SampleText(false, "stored"));
    ImBytes store = BuildOfflineStore(text.data(), text.size());
    ImBytes delivery = BuildOfflineDelivery(store);
    ImBytes formattedText = BuildChatText(SampleText(true, "stored"));
    ImBytes formattedDelivery = BuildOfflineDelivery(BuildOfflineStore(formattedText.data(), formattedText.size()));
    delivery.resize(931, 0);
    formattedDelivery.resize(961, 0);

    Client server;
    server.windows.insert("20002");
    EXPECT_EQ(server.Decide(BuildImLoginReply({'0'})).handler, ImHandler::LoginReply);
    EXPECT_EQ(server.Decide(delivery).handler, ImHandler::OfflinePlain);
    EXPECT_EQ(server.Decide(formattedDelivery).handler, ImHandler::OfflineFormatted);
    EXPECT_EQ(server.Decide(delivery, 930).handler, ImHandler::None);  // by length only
    EXPECT_EQ(server.Decide(formattedDelivery, 931).handler, ImHandler::None);
    ImDispatchDecision link = server.Decide(BuildPeerLinkRequest({"30003", "127.0.0.3", "60000"}));
    EXPECT_EQ(link.handler, ImHandler::PeerLinkRequest);
    EXPECT_EQ(link.targetId, "30003");
    EXPECT_TRUE(link.openWindow);
    EXPECT_EQ(server.Decide(BuildOfflineStoreReply({"20261209093015123000", "20002", '0'})).handler,
              ImHandler::OfflineStoreReply);

    Client peer = server;
    peer.direct = true;
    for (const ImBytes& msg : {BuildImLoginReply({'0'}), delivery, formattedDelivery,
                               BuildPeerLinkRequest({"30003", "127.0.0.3", "60000"}),
                               BuildOfflineStoreReply({"20261209093015123000", "20002", '0'})}) {
        ImDispatchDecision d = peer.Decide(msg);
        EXPECT_EQ(d.handler, ImHandler::None);
        EXPECT_EQ(d.note, ImDispatchNote::ServerOnly);
        EXPECT_FALSE(d.openWindow);
    }
    // A peer's own messages are fine on the link.
    EXPECT_EQ(peer.Decide(BuildChatText(SampleText(false))).handler, ImHandler::ChatTextPlain);
}

TEST(ImDispatch, IgnoredCodesDoNothing) {
    Client client;
    client.windows.insert("20002");
    ImBytes text = BuildChatText(SampleText(false));
    for (const ImBytes& msg : {BuildPeerLinkReply({"20002", "10001", true}), BuildOfflineFetch({"20002"}),
                               BuildOfflineStore(text.data(), text.size()), BuildImLogin({"20002"})}) {
        ImDispatchDecision d = client.Decide(msg);
        EXPECT_EQ(d.handler, ImHandler::None);
        EXPECT_EQ(d.receipt, 0);
        EXPECT_FALSE(d.openWindow);
    }
    ImBytes shortOne(10, 0);
    EXPECT_EQ(client.Decide(shortOne).note, ImDispatchNote::InvalidMessage);
}

}  // namespace
}  // namespace chatdesk
