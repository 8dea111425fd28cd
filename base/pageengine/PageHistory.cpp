#include "PageHistory.h"

namespace pageengine {

// Longer histories lose their oldest entries.
const size_t kMaxEntries = 100;

void PageHistory::Push(const std::wstring& url) {
    entries_.resize(static_cast<size_t>(index_ + 1));
    entries_.push_back(url);
    if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
    index_ = static_cast<int>(entries_.size()) - 1;
}

void PageHistory::MoveTo(int index) {
    if (index >= 0 && index < size()) index_ = index;
}

void PageHistory::Clear() {
    if (index_ < 0) return;
    std::wstring current = entries_[static_cast<size_t>(index_)];
    entries_.assign(1, current);
    index_ = 0;
}

}  // namespace pageengine
