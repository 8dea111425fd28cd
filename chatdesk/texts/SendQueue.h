// A chat window's outgoing texts: the queue that its queue thread empties in order, the
// list of relayed texts that wait for a receipt, the receipts and time-outs that clear that
// list, and the offline-message offers shown for refused texts.
//
// Plain C++ (standard threads and locks) over a small transport interface, so that all of
// it runs without a window or a socket. The window runs `Run` on its queue thread; every
// other call may come from any thread. The lock is never held while calling the transport.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "QueueRecord.h"
#include "TextLines.h"

namespace chatdesk {

// What the queue needs of its chat window.
class ChatTransport {
public:
    virtual ~ChatTransport() = default;
    // Over the window's direct link; false when it has none or the send failed.
    virtual bool SendDirect(const uint8_t* bytes, size_t length) = 0;
    // Through the IM server; false when that failed.
    virtual bool SendRelay(const uint8_t* bytes, size_t length) = 0;
    // Returns once no direct-link attempt of the window runs any more.
    virtual void WaitForLinkAttempt() {}
    // Adds a text taken from the queue to the chat records, before it is sent (whatever
    // becomes of it).
    virtual void Record(const QueueRecord& record) {}
    // A text has left: the user's typing is no longer news for the peer.
    virtual void TextTaken() {}
    // A notice line about one text (ANSI text as the message carries it).
    virtual void ShowNotice(TextNotice notice, const std::string& text) {}
    virtual void Debug(const wchar_t* line) {}
    // The queue thread is about to end.
    virtual void QueueEnded() {}
};

// Ticks a relayed text may wait for its receipt; it is reported at the next one.
constexpr uint32_t kTextReceiptTicks = 10;

class SendQueue {
public:
    explicit SendQueue(ChatTransport& transport) : transport_(transport) {}
    SendQueue(const SendQueue&) = delete;
    SendQueue& operator=(const SendQueue&) = delete;

    // Appends a text at the back (user-interface thread); false when it is no chat text.
    bool Enqueue(const uint8_t* message, size_t length, size_t textOffset);
    // The queue thread: sends each queued text in order until Stop is asked for and the
    // queue is empty.
    void Run();
    void Stop();

    // A "003B" (receive thread). '0' clears the first waiting text of its stamp (true);
    // any other result is for the user-interface thread, through FailedText (false, with
    // the result and the stamp).
    bool TakeReceipt(const uint8_t* message, size_t length, char* result, std::string* stamp);

    struct Failure {
        bool found = false;
        std::string text;       // for the notice line
        bool dropLink = false;  // '3': the record is gone; drop the link, refetch the peer
        bool offer = false;     // other results: the record waits; show the offer
    };
    // A refused text (user-interface thread). For an offer, the caller shows the notice and
    // the offer line and then keys the record with SetOfferKey.
    Failure FailedText(char result, const std::string& stamp);
    // Keys the first waiting record of the stamp that has no offer yet by its offer's
    // "发送留言" link position.
    bool SetOfferKey(const std::string& stamp, size_t sendLinkAt);
    // "发送留言" clicked: the text goes to the IM server as an offline message, by relay
    // (it stays waiting for the server's answer). False when no record has that key or
    // the send failed.
    bool SendOffer(size_t sendLinkAt);
    // "放弃留言" clicked (its "发送留言" position): the record is dropped; nothing is sent.
    bool GiveUpOffer(size_t sendLinkAt);

    struct StoreAnswer {
        bool found = false;
        bool stored = false;
        std::string text;
    };
    // A "014B" (receive thread): the record of its stamp leaves the list.
    StoreAnswer TakeStoreReply(const uint8_t* message, size_t length);

    // One time-out tick: every waiting text ages; the texts of those past the limit are
    // returned and leave the list.
    std::vector<std::string> Tick();

    size_t Queued() const;
    size_t Waiting() const;

private:
    bool PopFront(QueueRecord* record);
    void Send(QueueRecord& record);
    bool RemoveWaiting(const std::string& stamp, QueueRecord* removed);

    ChatTransport& transport_;
    mutable std::mutex lock_;
    std::condition_variable filled_;
    bool stop_ = false;
    std::deque<QueueRecord> queue_;
    std::vector<QueueRecord> waiting_;
};

}  // namespace chatdesk
