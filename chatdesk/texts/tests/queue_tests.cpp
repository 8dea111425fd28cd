// The send queue over a scripted transport: order, paths, receipts, time-outs, offers.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "SendQueue.h"

using namespace chatdesk;

namespace {

class FakeTransport : public ChatTransport {
public:
    bool direct = false;
    bool relay = true;
    bool relayStore = true;
    // Called inside SendRelay, as a server answering at once would.
    std::function<void(const ImBytes&)> onRelay;

    bool SendDirect(const uint8_t* bytes, size_t length) override {
        if (!direct) return false;
        Add(&directSent, bytes, length);
        return true;
    }
    bool SendRelay(const uint8_t* bytes, size_t length) override {
        ImBytes m(bytes, bytes + length);
        bool store = length == kOfflineStorePlainSize || length == kOfflineStoreFormattedSize;
        if (!(store ? relayStore : relay)) return false;
        Add(&relayed, bytes, length);
        if (onRelay) onRelay(m);
        return true;
    }
    void Record(const QueueRecord& record) override {
        std::lock_guard<std::mutex> g(lock);
        records.push_back(RecordText(record));
        changed.notify_all();
    }
    void ShowNotice(TextNotice notice, const std::string& text) override {
        std::lock_guard<std::mutex> g(lock);
        notices.push_back(text);
    }
    void TextTaken() override {
        std::lock_guard<std::mutex> g(lock);
        ++taken;
        changed.notify_all();
    }
    void QueueEnded() override { ended = true; }

    // Waits until `count` texts left the queue.
    bool WaitUntilSent(size_t count) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::seconds(5), [&] { return taken >= count; });
    }
    size_t Recorded() {
        std::lock_guard<std::mutex> g(lock);
        return records.size();
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<ImBytes> directSent, relayed;
    std::vector<std::string> records, notices;
    size_t taken = 0;
    bool ended = false;

private:
    void Add(std::vector<ImBytes>* to, const uint8_t* bytes, size_t length) {
        std::lock_guard<std::mutex> g(lock);
        to->emplace_back(bytes, bytes + length);
    }
};

ImBytes Text(const std::string& text, const std::string& stamp, bool formatted = false) {
    ChatText m;
    m.stamp = stamp;
    m.senderId = "10001";
    m.receiverId = "20002";
    m.formatted = formatted;
    m.format = {"SimSun", 180, 0, 0};
    m.text = text;
    m.status = "1*";
    return BuildChatText(m);
}

ImBytes Receipt(const std::string& stamp, char result) {
    return BuildChatTextReceipt({stamp, "20002", "10001", result});
}

const char kStampA[] = "20261209100000000000";
const char kStampB[] = "20261209100000001000";

// The queue with its thread, stopped at the end of the scope.
struct Running {
    FakeTransport transport;
    SendQueue queue{transport};
    std::thread thread{[this] { queue.Run(); }};
    ~Running() {
        queue.Stop();
        thread.join();
    }
    void Send(const ImBytes& m, bool formatted = false) {
        ASSERT_TRUE(queue.Enqueue(m.data(), m.size(), formatted ? 191 : 149));
    }
};

}  // namespace

TEST(QueueRecords, HoldTheLargestTextAndRefuseOthers) {
    QueueRecord record;
    ImBytes biggest = Text(std::string(800, 'x'), kStampA, true);
    ASSERT_EQ(995u, biggest.size());
    ASSERT_TRUE(MakeQueueRecord(biggest.data(), biggest.size(), 191, &record));
    EXPECT_EQ(std::string(800, 'x'), RecordText(record));
    EXPECT_EQ(961u, RecordOfflineStore(record).size());
    EXPECT_FALSE(MakeQueueRecord(biggest.data(), biggest.size(), 149, &record)) << "wrong offset";
    EXPECT_FALSE(MakeQueueRecord(biggest.data(), biggest.size() - 1, 191, &record));
    ImBytes plain = Text("abc", kStampA);
    ASSERT_TRUE(MakeQueueRecord(plain.data(), plain.size(), 149, &record));
    EXPECT_EQ(931u, RecordOfflineStore(record).size());
    EXPECT_TRUE(RecordHasStamp(record, kStampA));
    EXPECT_EQ(0u, record.linkKey);
    EXPECT_EQ(0u, record.age);
}

TEST(SendQueues, TextsLeaveInOrderDirectFirstRelayedOnesWait) {
    Running r;
    r.transport.direct = true;
    r.Send(Text("one", kStampA));
    r.Send(Text("two", kStampB));
    ASSERT_TRUE(r.transport.WaitUntilSent(2));
    ASSERT_EQ(2u, r.transport.directSent.size());
    EXPECT_EQ('o', r.transport.directSent[0][149]);
    EXPECT_EQ('t', r.transport.directSent[1][149]);
    EXPECT_TRUE(r.transport.relayed.empty());
    // Sent directly: nothing waits, nothing ever times out.
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(r.queue.Tick().empty());

    r.transport.direct = false;  // the direct send fails: relayed at once
    r.Send(Text("three", kStampA));
    ASSERT_TRUE(r.transport.WaitUntilSent(3));
    EXPECT_EQ(1u, r.transport.relayed.size());
    EXPECT_EQ(1u, r.queue.Waiting());
}

TEST(SendQueues, ADeliveredReceiptClearsItsTextEvenWhenFasterThanTheQueue) {
    Running r;
    char result = 0;
    std::string stamp;
    // The server answers inside the relay send, before the queue thread goes on: the
    // text is in the records by then.
    r.transport.onRelay = [&](const ImBytes& m) {
        EXPECT_EQ(1u, r.transport.Recorded()) << "answered before it was recorded";
        std::string s(reinterpret_cast<const char*>(m.data() + 64), 20);
        ImBytes receipt = Receipt(s, '0');
        EXPECT_TRUE(r.queue.TakeReceipt(receipt.data(), receipt.size(), &result, &stamp));
    };
    r.Send(Text("one", kStampA), false);
    ASSERT_TRUE(r.transport.WaitUntilSent(1));
    EXPECT_EQ(0u, r.queue.Waiting());
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(r.queue.Tick().empty());
}

TEST(SendQueues, UnansweredTextsTimeOutOnTheEleventhTickAndLateReceiptsFindNothing) {
    Running r;
    r.Send(Text("one", kStampA));
    r.Send(Text("two", kStampB));
    ASSERT_TRUE(r.transport.WaitUntilSent(2));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(r.queue.Tick().empty()) << i;
    std::vector<std::string> out = r.queue.Tick();
    ASSERT_EQ(2u, out.size()) << "both texts of the same moment on the same tick";
    EXPECT_EQ("one", out[0]);
    EXPECT_EQ("two", out[1]);
    char result = 0;
    std::string stamp;
    ImBytes late = Receipt(kStampA, '0');
    r.queue.TakeReceipt(late.data(), late.size(), &result, &stamp);
    EXPECT_EQ(0u, r.queue.Waiting());
}

TEST(SendQueues, NoPathStoresOfflineAtOnceOrShowsTheFailure) {
    for (bool storeWorks : {true, false}) {
        FakeTransport transport;
        transport.relay = false;
        transport.relayStore = storeWorks;
        SendQueue queue(transport);
        std::thread thread([&] { queue.Run(); });
        ImBytes text = Text("first", kStampA);
        ASSERT_TRUE(queue.Enqueue(text.data(), text.size(), 149));
        queue.Stop();  // the queue is emptied before the thread ends
        thread.join();
        if (storeWorks) {
            ASSERT_EQ(1u, transport.relayed.size());
            EXPECT_EQ(931u, transport.relayed[0].size()) << "stored offline at once";
            EXPECT_TRUE(transport.notices.empty());
        } else {
            ASSERT_EQ(1u, transport.notices.size());
            EXPECT_EQ("first", transport.notices[0]);
        }
        EXPECT_EQ(1u, transport.records.size());
        EXPECT_EQ(0u, queue.Waiting());
    }
}

TEST(SendQueues, RefusedTextsGetOffersKeyedByLinkPosition) {
    Running r;
    r.Send(Text("a", kStampA));
    r.Send(Text("b", kStampB, true), true);
    ASSERT_TRUE(r.transport.WaitUntilSent(2));
    char result = 0;
    std::string stamp;
    ImBytes refused = Receipt(kStampA, '1');
    EXPECT_FALSE(r.queue.TakeReceipt(refused.data(), refused.size(), &result, &stamp));
    EXPECT_EQ('1', result);
    SendQueue::Failure f = r.queue.FailedText(result, stamp);
    ASSERT_TRUE(f.found);
    EXPECT_TRUE(f.offer);
    EXPECT_EQ("a", f.text);
    EXPECT_TRUE(r.queue.SetOfferKey(kStampA, 120));
    f = r.queue.FailedText('6', kStampB);
    ASSERT_TRUE(f.offer);
    EXPECT_TRUE(r.queue.SetOfferKey(kStampB, 260));
    // Offers wait for the user, not for a receipt.
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(r.queue.Tick().empty());

    EXPECT_FALSE(r.queue.SendOffer(121)) << "no offer at that position";
    ASSERT_TRUE(r.queue.SendOffer(260));
    ASSERT_EQ(3u, r.transport.relayed.size());
    EXPECT_EQ(961u, r.transport.relayed[2].size());
    EXPECT_EQ(2u, r.queue.Waiting()) << "until the server answers";
    ImBytes failed = BuildOfflineStoreReply({kStampB, "20002", '1'});
    SendQueue::StoreAnswer answer = r.queue.TakeStoreReply(failed.data(), failed.size());
    EXPECT_TRUE(answer.found);
    EXPECT_FALSE(answer.stored);
    EXPECT_EQ("b", answer.text);
    EXPECT_FALSE(r.queue.TakeStoreReply(failed.data(), failed.size()).found);

    size_t before = r.transport.relayed.size();
    EXPECT_TRUE(r.queue.GiveUpOffer(120));
    EXPECT_EQ(before, r.transport.relayed.size()) << "giving up sends nothing";
    EXPECT_EQ(0u, r.queue.Waiting());
}

TEST(SendQueues, AWrongReceiverDropsTheTextWithoutOffer) {
    Running r;
    r.Send(Text("a", kStampA));
    ASSERT_TRUE(r.transport.WaitUntilSent(1));
    SendQueue::Failure f = r.queue.FailedText('3', kStampA);
    EXPECT_TRUE(f.found);
    EXPECT_TRUE(f.dropLink);
    EXPECT_FALSE(f.offer);
    EXPECT_EQ(0u, r.queue.Waiting());
    EXPECT_FALSE(r.queue.FailedText('1', kStampA).found);
}

TEST(SendQueues, StoppingEndsTheThreadOnce) {
    FakeTransport transport;
    SendQueue queue(transport);
    std::thread thread([&] { queue.Run(); });
    queue.Stop();
    thread.join();
    EXPECT_TRUE(transport.ended);
    EXPECT_FALSE(queue.Enqueue(nullptr, 0, 149));
}
