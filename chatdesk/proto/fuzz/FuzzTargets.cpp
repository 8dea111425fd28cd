// The fuzz targets of the protocol core; FUZZ_<NAME> picks the one this binary runs.
// Inputs are copied into buffers of exactly their size, so any read past a message's end
// is caught by the address sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ImDispatch.h"
#include "ImFramer.h"
#include "ImMessages.h"

using namespace chatdesk;

namespace {

// Plays the input back in pieces whose sizes come from a small generator, with pauses.
class ChunkSource : public ImByteSource {
public:
    ChunkSource(const uint8_t* data, size_t size, uint32_t seed) : data_(data), size_(size), state_(seed | 1) {}

    Result Read(uint8_t* buffer, size_t size, int waitMs) override {
        if (at_ >= size_) return {Status::Closed, 0, 0};
        uint32_t r = Next();
        if (seedsPauses() && r % 97 == 0) return {Status::TimedOut, 0, 0};
        size_t n = 1 + r % 700;
        if (n > size) n = size;
        if (n > size_ - at_) n = size_ - at_;
        std::memcpy(buffer, data_ + at_, n);
        at_ += n;
        return {Status::Data, n, 0};
    }

private:
    bool seedsPauses() const { return (state_ & 0x10000) != 0; }
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    uint32_t state_;
};

class WholeSource : public ImByteSource {
public:
    WholeSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    Result Read(uint8_t* buffer, size_t size, int) override {
        if (at_ >= size_) return {Status::Closed, 0, 0};
        size_t n = size < size_ - at_ ? size : size_ - at_;
        std::memcpy(buffer, data_ + at_, n);
        at_ += n;
        return {Status::Data, n, 0};
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

ImDispatchDecision Dispatch(const std::vector<uint8_t>& msg, uint8_t flags) {
    ImDispatchInput in;
    in.message = msg.data();
    in.length = msg.size();
    in.directLink = flags & 1;
    in.ownId = "10001";
    in.isBlackListed = [flags](const std::string& id) { return (flags & 2) && !id.empty() && id[0] == '2'; };
    in.hasWindow = [flags](const std::string& id) { return (flags & 4) && !id.empty() && id.size() < 6; };
    ImDispatchDecision d = DecideDispatch(in);
    if (d.openWindow && d.targetId.empty()) abort();
    if (d.receipt && d.receipt != '0' && d.receipt != '3' && d.receipt != '6') abort();
    return d;
}

template <typename Layout>
void Read(bool (*reader)(const uint8_t*, size_t, Layout*), const uint8_t* data, size_t size) {
    std::vector<uint8_t> msg(data, data + size);
    Layout out{};
    reader(msg.data(), msg.size(), &out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(FUZZ_FRAMER)
    if (size < 1) return 0;
    uint32_t seed = data[0] * 2654435761u;
    const uint8_t* stream = data + 1;
    size_t length = size - 1;

    WholeSource whole(stream, length);
    ChunkSource pieces(stream, length, seed);
    ImFramer a(whole);
    ImFramer b(pieces);
    for (;;) {
        ImFrame fa = a.Next();
        if (fa.length > kImBufferSize) abort();
        if (fa.kind == ImFrame::Kind::Message) {
            std::vector<uint8_t> msg(a.Buffer(), a.Buffer() + fa.length);
            Dispatch(msg, data[0]);
        }
        ImFrame fb = b.Next();
        // Pieces change nothing, except that a pause inside a message may end it early.
        if (fb.kind == ImFrame::Kind::Stalled) break;
        if (fa.kind != fb.kind || fa.length != fb.length) abort();
        if (fa.kind == ImFrame::Kind::Message && std::memcmp(a.Buffer(), b.Buffer(), fa.length) != 0) abort();
        if (fa.kind != ImFrame::Kind::Message && fa.kind != ImFrame::Kind::Skipped &&
            fa.kind != ImFrame::Kind::Dropped)
            break;
    }
#elif defined(FUZZ_DISPATCH)
    if (size < 1) return 0;
    std::vector<uint8_t> msg(data + 1, data + size);
    Dispatch(msg, data[0]);
#elif defined(FUZZ_READ_LOGIN)
    Read(ReadImLogin, data, size);
#elif defined(FUZZ_READ_LOGIN_REPLY)
    Read(ReadImLoginReply, data, size);
#elif defined(FUZZ_READ_PEER_LINK_REQUEST)
    std::vector<uint8_t> msg(data, data + size);
    PeerLinkRequest out;
    if (ReadPeerLinkRequest(msg.data(), msg.size(), &out)) {
        uint32_t ip;
        uint16_t port;
        ParseIpv4(out.address, &ip);
        ParsePort(out.port, &port);
    }
#elif defined(FUZZ_READ_PEER_LINK_REPLY)
    Read(ReadPeerLinkReply, data, size);
#elif defined(FUZZ_READ_CHAT_TEXT)
    std::vector<uint8_t> msg(data, data + size);
    ChatText out;
    if (ReadChatText(msg.data(), msg.size(), &out)) {
        if (out.text.size() > 800 || out.status.size() != 2 || out.format.face.size() > 32) abort();
        // A chat text read back is one an offline store can be made from.
        ImBytes store = BuildOfflineStore(msg.data(), msg.size());
        OfflineMessage stored;
        if (!ReadOfflineMessage(store.data(), store.size(), &stored) || stored.text != out.text) abort();
        ImBytes again = BuildChatText(out);
        ChatText back;
        if (!ReadChatText(again.data(), again.size(), &back) || back.text != out.text) abort();
    }
#elif defined(FUZZ_READ_CHAT_TEXT_RECEIPT)
    Read(ReadChatTextReceipt, data, size);
#elif defined(FUZZ_READ_OFFLINE_MESSAGE)
    std::vector<uint8_t> msg(data, data + size);
    OfflineMessage out;
    if (ReadOfflineMessage(msg.data(), msg.size(), &out) && (out.text.size() > 800 || out.face.size() > 20)) abort();
#elif defined(FUZZ_READ_OFFLINE_STORE_REPLY)
    Read(ReadOfflineStoreReply, data, size);
#elif defined(FUZZ_READ_OFFLINE_FETCH)
    Read(ReadOfflineFetch, data, size);
#elif defined(FUZZ_READ_FILE_OFFER)
    std::vector<uint8_t> msg(data, data + size);
    FileOffer out;
    if (ReadFileOffer(msg.data(), msg.size(), &out) && out.path.size() > 256) abort();
#elif defined(FUZZ_READ_FILE_OFFER_REPLY)
    Read(ReadFileOfferReply, data, size);
#elif defined(FUZZ_READ_FILE_BLOCK)
    std::vector<uint8_t> msg(data, data + size);
    FileBlock out;
    if (ReadFileBlock(msg.data(), msg.size(), &out)) {
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < out.count; ++i) sink = sink ^ out.data[i];  // inside the message
        (void)sink;
    }
#elif defined(FUZZ_READ_FILE_BLOCK_ACK)
    Read(ReadFileBlockAck, data, size);
#elif defined(FUZZ_READ_TYPING_NOTICE)
    Read(ReadTypingNotice, data, size);
#elif defined(FUZZ_READ_FILE_CANCEL)
    Read(ReadFileCancel, data, size);
#else
#error "no fuzz target chosen"
#endif
    return 0;
}
