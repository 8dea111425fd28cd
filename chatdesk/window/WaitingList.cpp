#include "WaitingList.h"

#include <algorithm>
#include <cstring>

#include "ChatRecord.h"

namespace chatdesk {

void WaitingList::Add(const std::vector<uint8_t>& message, size_t textOffset) {
    entries_.push_back({message, textOffset, 0});
}

bool WaitingList::Answer(const std::string& stamp) {
    if (stamp.size() != 20) return false;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->message.size() >= kStampOffset + 20 &&
            std::memcmp(it->message.data() + kStampOffset, stamp.data(), 20) == 0) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<std::string> WaitingList::Tick() {
    std::vector<std::string> reported;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (++it->age <= kReceiptTicks) {
            ++it;
            continue;
        }
        // The length characters stand just before the text: their value covers the text
        // and its two status characters.
        std::string text;
        if (it->textOffset >= 4 && it->message.size() >= it->textOffset) {
            int n = ReadLengthDigits(it->message.data() + it->textOffset - 4);
            size_t count = n >= 2 ? static_cast<size_t>(n - 2) : 0;
            count = std::min({count, kRecordTextRoom, it->message.size() - it->textOffset});
            text.assign(reinterpret_cast<const char*>(it->message.data()) + it->textOffset, count);
        }
        reported.push_back(text);
        it = entries_.erase(it);
    }
    return reported;
}

}  // namespace chatdesk
