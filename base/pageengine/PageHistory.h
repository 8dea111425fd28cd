// The travel log: the addresses of loaded top documents and where the user stands in it.
#pragma once

#include <string>
#include <vector>

namespace pageengine {

class PageHistory {
public:
    // A new document: the entries ahead of the current one are dropped.
    void Push(const std::wstring& url);
    // Moves to an entry that Back/ForwardTarget gave.
    void MoveTo(int index);
    // Keeps only the current entry.
    void Clear();

    bool CanBack() const { return index_ > 0; }
    bool CanForward() const { return index_ + 1 < static_cast<int>(entries_.size()); }
    // Index of the entry behind / ahead, or -1.
    int BackTarget() const { return CanBack() ? index_ - 1 : -1; }
    int ForwardTarget() const { return CanForward() ? index_ + 1 : -1; }
    const std::wstring& At(int index) const { return entries_[static_cast<size_t>(index)]; }
    int size() const { return static_cast<int>(entries_.size()); }
    int index() const { return index_; }

private:
    std::vector<std::wstring> entries_;
    int index_ = -1;
};

}  // namespace pageengine
