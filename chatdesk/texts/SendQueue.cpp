// The outgoing queue, its thread and the bookkeeping of receipts and offers.
#include "SendQueue.h"

namespace chatdesk {

namespace {

// The record key of an offer link position: 0 stays "no offer".
uint32_t OfferKey(size_t sendLinkAt) { return static_cast<uint32_t>(sendLinkAt + 1); }

}  // namespace

bool SendQueue::Enqueue(const uint8_t* message, size_t length, size_t textOffset) {
    QueueRecord record;
    if (!MakeQueueRecord(message, length, textOffset, &record)) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(record);
    }
    filled_.notify_one();
    return true;
}

void SendQueue::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    filled_.notify_all();
}

bool SendQueue::PopFront(QueueRecord* record) {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) return false;
    *record = queue_.front();
    queue_.pop_front();
    return true;
}

void SendQueue::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            filled_.wait(guard, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) break;  // stopped
        }
        QueueRecord record;
        while (PopFront(&record)) {
            transport_.Debug(L"从消息发送队列中取出一个进行发送\n");
            Send(record);
        }
    }
    transport_.QueueEnded();
    transport_.Debug(L"发送聊天信息线程结束了！\n");
}

void SendQueue::Send(QueueRecord& record) {
    // In the records before it leaves: its receipt may come back before this thread
    // would get to it after the send.
    transport_.Record(record);
    transport_.WaitForLinkAttempt();
    bool sent = transport_.SendDirect(record.message, record.length);
    if (!sent) {
        // A relayed text waits for its receipt. It joins the list before it leaves, so
        // that a receipt faster than this thread still finds it.
        {
            std::lock_guard<std::mutex> guard(lock_);
            waiting_.push_back(record);
        }
        sent = transport_.SendRelay(record.message, record.length);
        if (!sent) RemoveWaiting(RecordStamp(record), nullptr);
    }
    transport_.TextTaken();
    if (sent) return;
    // Neither path took it: the IM server keeps it for the peer, if that works.
    ImBytes store = RecordOfflineStore(record);
    if (store.empty() || !transport_.SendRelay(store.data(), store.size())) {
        transport_.ShowNotice(TextNotice::NotSent, RecordText(record));
    }
}

bool SendQueue::RemoveWaiting(const std::string& stamp, QueueRecord* removed) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (!RecordHasStamp(*it, stamp)) continue;
        if (removed) *removed = *it;
        waiting_.erase(it);
        return true;
    }
    return false;
}

bool SendQueue::TakeReceipt(const uint8_t* message, size_t length, char* result, std::string* stamp) {
    ChatTextReceipt receipt;
    if (!ReadChatTextReceipt(message, length, &receipt)) {
        *result = 0;
        return false;
    }
    *result = receipt.result;
    *stamp = receipt.stamp;
    if (receipt.result != kReceiptDelivered) return false;
    transport_.Debug(L"聊天信息发送的反馈表明发送成功了！\n");
    RemoveWaiting(receipt.stamp, nullptr);
    return true;
}

SendQueue::Failure SendQueue::FailedText(char result, const std::string& stamp) {
    Failure failure;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (!RecordHasStamp(*it, stamp)) continue;
        failure.found = true;
        failure.text = RecordText(*it);
        if (result == kReceiptWrongReceiver) {
            failure.dropLink = true;
            waiting_.erase(it);
        } else {
            failure.offer = true;
        }
        break;
    }
    return failure;
}

bool SendQueue::SetOfferKey(const std::string& stamp, size_t sendLinkAt) {
    std::lock_guard<std::mutex> guard(lock_);
    for (QueueRecord& record : waiting_) {
        if (record.linkKey != 0 || !RecordHasStamp(record, stamp)) continue;
        record.linkKey = OfferKey(sendLinkAt);
        return true;
    }
    return false;
}

bool SendQueue::SendOffer(size_t sendLinkAt) {
    ImBytes store;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const QueueRecord& record : waiting_) {
            if (record.linkKey != OfferKey(sendLinkAt)) continue;
            store = RecordOfflineStore(record);
            break;
        }
    }
    return !store.empty() && transport_.SendRelay(store.data(), store.size());
}

bool SendQueue::GiveUpOffer(size_t sendLinkAt) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (it->linkKey != OfferKey(sendLinkAt)) continue;
        waiting_.erase(it);
        return true;
    }
    return false;
}

SendQueue::StoreAnswer SendQueue::TakeStoreReply(const uint8_t* message, size_t length) {
    StoreAnswer answer;
    OfflineStoreReply reply;
    if (!ReadOfflineStoreReply(message, length, &reply)) return answer;
    QueueRecord record;
    if (!RemoveWaiting(reply.stamp, &record)) return answer;
    answer.found = true;
    answer.stored = reply.result == '0';
    answer.text = RecordText(record);
    if (answer.stored) transport_.Debug(L"留言发送成功了\n");
    return answer;
}

std::vector<std::string> SendQueue::Tick() {
    std::vector<std::string> timedOut;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        // A text with an offer has had its answer: it waits for the user, not for a receipt.
        if (it->linkKey == 0 && ++it->age > kTextReceiptTicks) {
            timedOut.push_back(RecordText(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return timedOut;
}

size_t SendQueue::Queued() const {
    std::lock_guard<std::mutex> guard(lock_);
    return queue_.size();
}

size_t SendQueue::Waiting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return waiting_.size();
}

}  // namespace chatdesk
