// Sent chat texts waiting for their receipt, aged once a second by the chat window's
// timer. Plain code; the caller holds the chat window's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace chatdesk {

constexpr int kReceiptTicks = 10;  // an entry older than this is reported

class WaitingList {
public:
    // A sent text (the whole message) and where its text begins (149 plain, 191 formatted).
    void Add(const std::vector<uint8_t>& message, size_t textOffset);
    // Removes the first entry with this 20-character stamp; false when none waits.
    bool Answer(const std::string& stamp);
    // Ages every entry by one tick and hands back the texts of those now past the limit,
    // removed from the list, oldest first.
    std::vector<std::string> Tick();
    size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        std::vector<uint8_t> message;
        size_t textOffset;
        int age;
    };
    std::vector<Entry> entries_;
};

}  // namespace chatdesk
